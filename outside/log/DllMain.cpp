// The entry point of QuorvexLog.dll: nothing to set up, the thread runtime to
// release on unload.
#include "platform/ModuleThreadRuntime.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
    if (reason == DLL_PROCESS_DETACH && !reserved) ReleaseThreadRuntime();
    return TRUE;
}
