#include "TypeInfoCache.h"

#include "Module.h"
#include "platform/ComPtr.h"
#include "platform/CriticalSection.h"

namespace tagserver {
namespace {

// The library is never released at process exit: releasing COM objects while
// the process detaches its DLLs is unsafe. Release() drops it when unloading.
CComAutoCriticalSection g_cacheLock;
ITypeLib* g_pTypeLib = nullptr;

}  // namespace

HRESULT CTypeInfoCache::LoadLibrary(ITypeLib** library) {
    return LoadTypeLibEx(CModule::FileName().c_str(), REGKIND_NONE, library);
}

HRESULT CTypeInfoCache::Get(REFIID iid, ITypeInfo** info) {
    if (!info) return E_POINTER;
    *info = nullptr;
    CCriticalSectionLock lock(g_cacheLock);
    if (!g_pTypeLib) {
        const HRESULT hr = LoadLibrary(&g_pTypeLib);
        if (FAILED(hr)) return hr;
    }
    return g_pTypeLib->GetTypeInfoOfGuid(iid, info);
}

void CTypeInfoCache::Release() {
    CCriticalSectionLock lock(g_cacheLock);
    if (g_pTypeLib) g_pTypeLib->Release();
    g_pTypeLib = nullptr;
}

}  // namespace tagserver
