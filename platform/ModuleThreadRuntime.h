// What the statically linked runtime of a DLL never gives back when the DLL is
// unloaded (the process goes on), released by hand:
// - the C++ runtime's emergency pool for exceptions (about 72 KB);
// - thread-local storage (the runtime's per-thread exception state among it),
//   which the module keeps itself for that reason (ModuleThreadLocals.cpp).
#pragma once
#include "platform/Platform.h"

namespace __gnu_cxx {
void __freeres();  // the C++ runtime's own release call (used by leak checkers)
}

// Frees every thread's thread-local storage of this module and its TLS slot.
void ReleaseModuleThreadLocals();

// Call from DllMain on DLL_PROCESS_DETACH of an unload (reserved argument
// null), after everything that could use the runtime again.
inline void ReleaseThreadRuntime() {
    __gnu_cxx::__freeres();
    ReleaseModuleThreadLocals();
}
