#include "TagEnumerator.h"

#include "ErrorReport.h"

namespace tagserver {

HRESULT CTagEnumerator::Create(CTagList::Snapshot tags, IEnumVARIANT** enumerator) {
    if (!enumerator) return E_POINTER;
    *enumerator = nullptr;
    return CallGuarded([&] {
        return Create(std::make_shared<const CTagList::Snapshot>(std::move(tags)), 0, enumerator);
    });
}

HRESULT CTagEnumerator::Create(SharedTags tags, size_t position, IEnumVARIANT** enumerator) {
    return CallGuarded([&] {
        CComPtr<CTagEnumerator> created(new CTagEnumerator(std::move(tags), position));
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
    for (; given < count && m_nPosition < m_pTags->size(); ++given, ++m_nPosition) {
        VariantInit(&items[given]);
        IDispatch* tag = static_cast<ITag*>((*m_pTags)[m_nPosition].Get());
        tag->AddRef();
        V_VT(&items[given]) = VT_DISPATCH;
        V_DISPATCH(&items[given]) = tag;
    }
    if (fetched) *fetched = given;
    return given == count ? S_OK : S_FALSE;
}

STDMETHODIMP CTagEnumerator::Skip(ULONG count) {
    CCriticalSectionLock lock(m_lock);
    const size_t left = m_pTags->size() - m_nPosition;
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
    return Create(m_pTags, m_nPosition, enumerator);
}

}  // namespace tagserver
