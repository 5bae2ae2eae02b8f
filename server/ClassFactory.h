// The class object: makes instances through the creator the object map gave
// it and counts LockServer calls on the module.
#pragma once
#include "server/ObjectMap.h"
#include "server/ObjectRoot.h"

class CComClassFactory : public IClassFactory, public CComObjectRootEx<CComMultiThreadModel> {
public:
    BEGIN_COM_MAP(CComClassFactory)
        COM_INTERFACE_ENTRY(IClassFactory)
    END_COM_MAP()

    // The creator arrives through the class-object creator's argument.
    void SetVoid(void* pv) { m_pfnCreateInstance = reinterpret_cast<PFN_CREATOR>(pv); }

    STDMETHOD(CreateInstance)(IUnknown* pUnkOuter, REFIID riid, void** ppvObject) override;
    STDMETHOD(LockServer)(BOOL fLock) override;

private:
    PFN_CREATOR m_pfnCreateInstance = nullptr;
};
