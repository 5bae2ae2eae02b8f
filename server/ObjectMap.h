// One entry of the module's table of creatable classes.
#pragma once
#include "platform/Platform.h"

typedef HRESULT(WINAPI* PFN_CREATOR)(void* pOuter, REFIID riid, void** ppv);
typedef HRESULT(WINAPI* PFN_UPDATE_REGISTRY)(BOOL bRegister);

struct CObjectMapEntry {
    const CLSID* pclsid;
    PFN_UPDATE_REGISTRY pfnUpdateRegistry;
    PFN_CREATOR pfnGetClassObject;   // makes the class object (given the instance creator)
    PFN_CREATOR pfnCreateInstance;   // makes a plain or an aggregated object
    IUnknown* pCF;                   // the cached class object, empty until first asked for

    bool IsTerminator() const { return pclsid == nullptr; }
};

// Entry for a class T that derives from CComCoClass.
#define OBJECT_ENTRY(clsid, T)                                                 \
    {&clsid, T::UpdateRegistry, T::_ClassFactoryCreatorClass::CreateInstance, \
     T::_CreatorClass::CreateInstance, nullptr}
#define OBJECT_MAP_TERMINATOR {nullptr, nullptr, nullptr, nullptr, nullptr}
