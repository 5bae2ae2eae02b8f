#include "Module.h"

#include "TypeInfoCache.h"

namespace tagserver {
namespace {

HINSTANCE g_hInstance = nullptr;
LONG g_nObjects = 0;
LONG g_nLocks = 0;

}  // namespace

void CModule::SetInstance(HINSTANCE instance) { g_hInstance = instance; }

HINSTANCE CModule::Instance() { return g_hInstance; }

WString CModule::FileName() {
    WString path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(g_hInstance, &path[0], static_cast<DWORD>(path.size()));
        if (length == 0) return WString();
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.assign(path.size() * 2, L'\0');
    }
}

void CModule::ObjectCreated() { InterlockedIncrement(&g_nObjects); }

void CModule::ObjectDestroyed() { InterlockedDecrement(&g_nObjects); }

void CModule::Lock() { InterlockedIncrement(&g_nLocks); }

void CModule::Unlock() { InterlockedDecrement(&g_nLocks); }

bool CModule::InUse() {
    return InterlockedCompareExchange(&g_nObjects, 0, 0) != 0 || InterlockedCompareExchange(&g_nLocks, 0, 0) != 0;
}

}  // namespace tagserver
