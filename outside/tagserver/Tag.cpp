#include "Tag.h"

#include "ErrorReport.h"
#include "Tags.h"

namespace tagserver {

CTag::CTag(CTags* owner, const WString& id, bool shared) : m_pOwner(owner), m_strId(id), m_bShared(shared) {}

CTag::~CTag() = default;

HRESULT CTag::Create(CTags* owner, const WString& id, bool shared, CComPtr<CTag>& tag) {
    return CallGuarded([&] {
        tag = CComPtr<CTag>(new CTag(owner, id, shared));
        return S_OK;
    });
}

STDMETHODIMP CTag::QueryInterface(REFIID riid, void** object) {
    if (!object) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) || IsEqualIID(riid, IID_ITag)) {
        *object = static_cast<ITag*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) CTag::Release() {
    const ULONG count = m_bShared ? m_pOwner->ReleaseSharedTag(*this) : m_refs.Decrement();
    if (count == 0) delete this;
    return count;
}

STDMETHODIMP CTag::get_ID(BSTR* pVal) {
    if (!pVal) return E_POINTER;
    *pVal = SysAllocStringLen(m_strId.data(), static_cast<UINT>(m_strId.size()));
    return *pVal ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP CTag::get_Value(VARIANT* pVal) {
    if (!pVal) return E_POINTER;
    VariantInit(pVal);
    return m_pOwner->CopyValueOf(m_strId, pVal);
}

STDMETHODIMP CTag::put_Value(VARIANT newVal) { return m_pOwner->PutValueOf(m_strId, newVal); }

}  // namespace tagserver
