// The module's entry point and its four exports.
#include "Quorvex3.h"
#include "configfile/ConfigFile.h"
#include "platform/ModuleThreadRuntime.h"
#include "server/Module.h"

namespace {

CObjectMapEntry ObjectMap[] = {
    OBJECT_ENTRY(CLSID_ConfigFile, ConfigFile),
    OBJECT_MAP_TERMINATOR,
};

}  // namespace

// Thread notifications stay on: a leaving thread frees its thread-local storage.
extern "C" BOOL WINAPI DllMain(HINSTANCE hInstance, DWORD dwReason, LPVOID pReserved) {
    if (dwReason == DLL_PROCESS_ATTACH) {
        _Module.Init(ObjectMap, hInstance, &LIBID_Quorvex3);
    } else if (dwReason == DLL_PROCESS_DETACH) {
        _Module.Term();
        if (!pReserved) ReleaseThreadRuntime();
    }
    return TRUE;
}

STDAPI DllCanUnloadNow() { return _Module.GetLockCount() == 0 ? S_OK : S_FALSE; }

STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
    return _Module.GetClassObject(rclsid, riid, ppv);
}

STDAPI DllRegisterServer() { return _Module.RegisterServer(TRUE); }

STDAPI DllUnregisterServer() { return _Module.UnregisterServer(TRUE); }
