// The module record: one per process, set up when the DLL is loaded.
// It counts the locks that keep the module loaded, owns the table of
// creatable classes with their cached class objects, and runs termination
// callbacks when the module is unloaded.
#pragma once
#include "platform/CriticalSection.h"
#include "platform/Platform.h"
#include "server/ObjectMap.h"

#include <vector>

typedef void(WINAPI* PFN_TERM_FUNC)(DWORD_PTR dw);

class CComModule {
public:
    CComModule() = default;
    CComModule(const CComModule&) = delete;
    CComModule& operator=(const CComModule&) = delete;

    // The type library is found in the module itself: its id is not kept.
    HRESULT Init(CObjectMapEntry* pObjectMap, HINSTANCE hInstance, const GUID* plibid);
    void Term();

    LONG Lock() { return InterlockedIncrement(&m_nLockCnt); }
    LONG Unlock() { return InterlockedDecrement(&m_nLockCnt); }
    LONG GetLockCount() const { return m_nLockCnt; }

    HINSTANCE GetModuleInstance() const { return m_hInst; }
    HINSTANCE GetResourceInstance() const { return m_hInst; }

    // Runs pFunc(dw) when the module terminates; the latest added runs first.
    HRESULT AddTermFunc(PFN_TERM_FUNC pFunc, DWORD_PTR dw);

    HRESULT GetClassObject(REFCLSID rclsid, REFIID riid, void** ppv);
    HRESULT RegisterServer(BOOL bRegTypeLib = TRUE);
    // While the other architecture's module is registered (64-bit Windows),
    // the keys both share are left to it.
    HRESULT UnregisterServer(BOOL bUnRegTypeLib = TRUE);
    // Applies the registrar script resource nResID of this module.
    HRESULT UpdateRegistryFromResource(UINT nResID, BOOL bRegister);

    // Guards the creation of the cached class objects.
    CComAutoCriticalSection m_csObjMap;
    // Guards the first load of the type information of the dispatch layer.
    CComAutoCriticalSection m_csTypeInfoHolder;

private:
    struct CTermFunc {
        PFN_TERM_FUNC pFunc;
        DWORD_PTR dw;
    };

    CObjectMapEntry* FindEntry(REFCLSID rclsid) const;
    bool OtherViewRegistersAClass() const;
    HRESULT CreateClassObject(CObjectMapEntry& entry);

    volatile LONG m_nLockCnt = 0;
    HINSTANCE m_hInst = nullptr;
    CObjectMapEntry* m_pObjMap = nullptr;
    std::vector<CTermFunc> m_termFuncs;
};

extern CComModule _Module;
