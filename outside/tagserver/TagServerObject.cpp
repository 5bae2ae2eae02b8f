#include "TagServerObject.h"

#include "ErrorReport.h"
#include "Tags.h"

namespace tagserver {

HRESULT CTagServer::Create(REFIID riid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    return CallGuarded([&] {
        CComPtr<CTagDatabase> database;
        const HRESULT hr = CTagDatabase::Create(database);
        if (FAILED(hr)) return hr;
        CComPtr<CTagServer> server(new CTagServer(database.Get()));
        return server->QueryInterface(riid, object);
    });
}

STDMETHODIMP CTagServer::QueryInterface(REFIID riid, void** object) {
    if (!object) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) ||
        IsEqualIID(riid, IID_ITagServer)) {
        *object = static_cast<ITagServer*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) CTagServer::Release() {
    const ULONG count = m_refs.Decrement();
    if (count == 0) delete this;
    return count;
}

STDMETHODIMP CTagServer::get_Database(ITagDatabase** ppDatabase) {
    if (!ppDatabase) return E_POINTER;
    *ppDatabase = m_pDatabase.Get();
    (*ppDatabase)->AddRef();
    return S_OK;
}

STDMETHODIMP CTagServer::get_Name(BSTR* pVal) {
    if (!pVal) return E_POINTER;
    *pVal = SysAllocString(L"Quorvex3 reference tag server");
    return *pVal ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP CTagServer::CreateTags(ITags** ppTags) {
    return CTags::Create(m_pDatabase.Get(), ppTags);
}

}  // namespace tagserver
