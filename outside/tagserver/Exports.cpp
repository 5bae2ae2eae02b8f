// The entry points of TagServer.dll.
#include "ClassFactory.h"
#include "Module.h"
#include "Registration.h"
#include "TagServerLib.h"
#include "TypeInfoCache.h"
#include "platform/ModuleThreadRuntime.h"

using tagserver::CModule;

namespace {

tagserver::CTagServerFactory g_factory;

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    if (reason == DLL_PROCESS_ATTACH) CModule::SetInstance(instance);
    if (reason == DLL_PROCESS_DETACH && !reserved) ReleaseThreadRuntime();
    return TRUE;
}

STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (!IsEqualCLSID(rclsid, CLSID_TagServer)) return CLASS_E_CLASSNOTAVAILABLE;
    return g_factory.QueryInterface(riid, ppv);
}

STDAPI DllCanUnloadNow() {
    if (CModule::InUse()) return S_FALSE;
    tagserver::CTypeInfoCache::Release();
    return S_OK;
}

STDAPI DllRegisterServer() { return tagserver::CRegistration::Register(); }

STDAPI DllUnregisterServer() { return tagserver::CRegistration::Unregister(); }
