#include "server/ClassFactory.h"

#include "server/Module.h"

STDMETHODIMP CComClassFactory::CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppvObject) {
    if (!ppvObject) return E_POINTER;
    *ppvObject = nullptr;
    // An aggregate must hand its outer object the inner unknown, nothing else.
    if (pUnkOuter && !InlineIsEqualGUID(riid, IID_IUnknown)) return CLASS_E_NOAGGREGATION;
    if (!m_pfnCreateInstance) return E_UNEXPECTED;
    return m_pfnCreateInstance(pUnkOuter, riid, ppvObject);
}

STDMETHODIMP CComClassFactory::LockServer(BOOL fLock) {
    if (fLock)
        _Module.Lock();
    else
        _Module.Unlock();
    return S_OK;
}
