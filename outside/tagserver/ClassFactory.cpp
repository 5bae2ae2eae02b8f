#include "ClassFactory.h"

#include "Module.h"
#include "TagServerObject.h"

namespace tagserver {

STDMETHODIMP CTagServerFactory::QueryInterface(REFIID riid, void** object) {
    if (!object) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory)) {
        *object = static_cast<IClassFactory*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) CTagServerFactory::AddRef() {
    CModule::Lock();
    return 2;
}

STDMETHODIMP_(ULONG) CTagServerFactory::Release() {
    CModule::Unlock();
    return 1;
}

STDMETHODIMP CTagServerFactory::CreateInstance(IUnknown* outer, REFIID riid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    return CTagServer::Create(riid, object);
}

STDMETHODIMP CTagServerFactory::LockServer(BOOL lock) {
    if (lock)
        CModule::Lock();
    else
        CModule::Unlock();
    return S_OK;
}

}  // namespace tagserver
