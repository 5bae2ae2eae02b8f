#include "TagEnumerator.h"

#include "ErrorReport.h"
#include "Tags.h"

namespace tagserver {

CTagEnumerator::CTagEnumerator(CTags* owner, SharedTags tags, size_t position)
    : m_pOwner(owner), m_pTags(std::move(tags)), m_nPosition(position) {}

CTagEnumerator::~CTagEnumerator() = default;

HRESULT CTagEnumerator::Create(CTags* owner, SharedTags tags, IEnumVARIANT** enumerator) {
    if (!enumerator) return E_POINTER;
    *enumerator = nullptr;
    return CallGuarded([&] {
        CComPtr<CTagEnumerator> created(new CTagEnumerator(owner, std::move(tags), 0));
        *enumerator = created.Detach();
        return S_OK;
    });
}

STDMETHODIMP CTagEnumerator::QueryInterface(REFIID riid, void** object) {
    if (!object) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IEnumVARIANT)) {
        *object = static_cast<IEnumVARIANT*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) CTagEnumerator::Release() {
    const ULONG count = m_refs.Decrement();
    if (count == 0) delete this;
    return count;
}

STDMETHODIMP CTagEnumerator::Next(ULONG count, VARIANT* items, ULONG* fetched) {
    if (fetched) *fetched = 0;
    if (!items) return E_POINTER;
    if (count > 1 && !fetched) return E_INVALIDARG;
    CCriticalSectionLock lock(m_lock);
    ULONG given = 0;
    for (; given < count && m_nPosition < m_pTags->Count(); ++given, ++m_nPosition) {
        CComPtr<CTag> tag;
        const HRESULT hr = CallGuarded([&] {
            return CTag::Create(m_pOwner.Get(), WString(m_pTags->IdAt(m_nPosition)), false, tag);
        });
        if (FAILED(hr)) {
            for (ULONG i = 0; i < given; ++i) VariantClear(&items[i]);
            return hr;
        }
        VariantInit(&items[given]);
        V_VT(&items[given]) = VT_DISPATCH;
        V_DISPATCH(&items[given]) = static_cast<ITag*>(tag.Detach());
    }
    if (fetched) *fetched = given;
    return given == count ? S_OK : S_FALSE;
}

STDMETHODIMP CTagEnumerator::Skip(ULONG count) {
    CCriticalSectionLock lock(m_lock);
    const size_t left = m_pTags->Count() - m_nPosition;
    m_nPosition += count < left ? count : left;
    return count <= left ? S_OK : S_FALSE;
}

STDMETHODIMP CTagEnumerator::Reset() {
    CCriticalSectionLock lock(m_lock);
    m_nPosition = 0;
    return S_OK;
}

STDMETHODIMP CTagEnumerator::Clone(IEnumVARIANT** enumerator) {
    if (!enumerator) return E_POINTER;
    *enumerator = nullptr;
    CCriticalSectionLock lock(m_lock);
    return CallGuarded([&] {
        CComPtr<CTagEnumerator> created(new CTagEnumerator(m_pOwner.Get(), m_pTags, m_nPosition));
        *enumerator = created.Detach();
        return S_OK;
    });
}

}  // namespace tagserver
