#include "TagDatabase.h"

#include "ErrorReport.h"
#include "platform/Bstr.h"

namespace tagserver {

HRESULT CTagDatabase::Create(CComPtr<CTagDatabase>& database) {
    return CallGuarded([&] {
        database = CComPtr<CTagDatabase>(new CTagDatabase);
        return S_OK;
    });
}

STDMETHODIMP CTagDatabase::QueryInterface(REFIID riid, void** object) {
    if (!object) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) ||
        IsEqualIID(riid, IID_ITagDatabase)) {
        *object = static_cast<ITagDatabase*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) CTagDatabase::Release() {
    const ULONG count = m_refs.Decrement();
    if (count == 0) delete this;
    return count;
}

STDMETHODIMP CTagDatabase::get_Name(BSTR* pVal) {
    if (!pVal) return E_POINTER;
    *pVal = SysAllocString(L"Quorvex3 reference tag database");
    return *pVal ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP CTagDatabase::get_TagSpecVersion(BSTR* pVal) {
    if (!pVal) return E_POINTER;
    CCriticalSectionLock lock(m_lock);
    *pVal = SysAllocStringLen(m_strTagSpecVersion.data(), static_cast<UINT>(m_strTagSpecVersion.size()));
    return *pVal ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP CTagDatabase::put_TagSpecVersion(BSTR newVal) {
    return CallGuarded([&] {
        WString version(newVal ? newVal : L"", SysStringLen(newVal));
        CCriticalSectionLock lock(m_lock);
        m_strTagSpecVersion.swap(version);
        return S_OK;
    });
}

}  // namespace tagserver
