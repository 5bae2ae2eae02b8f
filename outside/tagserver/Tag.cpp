#include "Tag.h"

#include "ErrorReport.h"
#include "platform/Bstr.h"

namespace tagserver {

HRESULT CTag::Create(const WString& id, const VARIANT& value, CComPtr<CTag>& tag) {
    return CallGuarded([&] {
        CComPtr<CTag> created(new CTag(id));
        const HRESULT hr = created->SetValue(value);
        if (FAILED(hr)) return hr;
        tag = created;
        return S_OK;
    });
}

HRESULT CTag::SetValue(const VARIANT& value) {
    CVariant copy;
    // A script passes its variables by reference: keep the value, not the reference.
    const HRESULT hr = VariantCopyInd(copy.Get(), const_cast<VARIANT*>(&value));
    if (FAILED(hr)) return hr;
    CVariant old;
    {
        CCriticalSectionLock lock(m_lock);
        *old.Get() = m_value.Detach();
        *m_value.Get() = copy.Detach();
    }
    return S_OK;  // the old value is cleared outside the lock
}

HRESULT CTag::CopyValue(VARIANT* value) {
    VariantInit(value);
    CCriticalSectionLock lock(m_lock);
    return VariantCopy(value, m_value.Get());
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
    const ULONG count = m_refs.Decrement();
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
    return CopyValue(pVal);
}

STDMETHODIMP CTag::put_Value(VARIANT newVal) { return SetValue(newVal); }

}  // namespace tagserver
