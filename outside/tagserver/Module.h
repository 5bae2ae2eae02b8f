// Module-wide state of TagServer.dll: its instance handle and the counts that
// tell when it may be unloaded.
#pragma once
#include "platform/Platform.h"

namespace tagserver {

class CModule {
public:
    static void SetInstance(HINSTANCE instance);
    static HINSTANCE Instance();
    static WString FileName();
    static void ObjectCreated();
    static void ObjectDestroyed();
    static void Lock();
    static void Unlock();
    static bool InUse();
};

// Counts one live object of the module for as long as it exists.
class CModuleObjectCount {
public:
    CModuleObjectCount() { CModule::ObjectCreated(); }
    CModuleObjectCount(const CModuleObjectCount&) = delete;
    CModuleObjectCount& operator=(const CModuleObjectCount&) = delete;
    ~CModuleObjectCount() { CModule::ObjectDestroyed(); }
};

}  // namespace tagserver
