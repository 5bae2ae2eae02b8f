// What makes a class creatable: its class id, the creators the object map
// uses, and error reporting under its class id.
#pragma once
#include "server/ClassFactory.h"
#include "server/ComObject.h"
#include "server/ErrorInfo.h"
#include "server/Module.h"

template <class T, const CLSID* pclsid>
class CComCoClass {
public:
    typedef CComCreator2<CComCreator<CComObject<T>>, CComCreator<CComAggObject<T>>> _CreatorClass;
    typedef CComCreator<CComObjectCached<CComClassFactory>> _ClassFactoryCreatorClass;

    static const CLSID& WINAPI GetObjectCLSID() { return *pclsid; }
    // No description: the class takes part in module-wide registration.
    static const WCHAR* WINAPI GetObjectDescription() { return nullptr; }
    static const void* WINAPI GetCategoryMap() { return nullptr; }
    static void WINAPI ObjectMain(bool) {}

    static HRESULT WINAPI Error(LPCOLESTR lpszDesc, const IID& iid, HRESULT hRes) {
        return AtlSetErrorInfo(*pclsid, lpszDesc, 0, nullptr, iid, hRes, _Module.GetResourceInstance());
    }
    static HRESULT WINAPI Error(UINT nID, const IID& iid, HRESULT hRes) {
        return AtlReportError(*pclsid, nID, iid, hRes, _Module.GetResourceInstance());
    }
};
