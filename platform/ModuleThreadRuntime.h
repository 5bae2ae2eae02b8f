// What the statically linked runtime of a DLL never gives back when the DLL is
// unloaded (the process goes on), released by hand:
// - the POSIX thread layer keeps, for each thread that used it (a lock, a
//   thread-safe static, an exception), a record holding a thread handle and an
//   event, freed from the DLL's thread-detach TLS callbacks when that thread
//   leaves, but never for the thread that unloads the DLL;
// - the C++ runtime's emergency pool for exceptions (about 72 KB).
#pragma once
#include "platform/Platform.h"

namespace __gnu_cxx {
void __freeres();  // the C++ runtime's own release call (used by leak checkers)
}

// Call from DllMain on DLL_PROCESS_DETACH of an unload (reserved argument
// null), after everything that could use the runtime again.
inline void ReleaseThreadRuntime(HINSTANCE module) {
    __gnu_cxx::__freeres();
    const BYTE* base = reinterpret_cast<const BYTE*>(module);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* headers = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& entry = headers->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_TLS];
    if (entry.VirtualAddress == 0) return;
    const auto* tls = reinterpret_cast<const IMAGE_TLS_DIRECTORY*>(base + entry.VirtualAddress);
    // The callbacks' address is a relocated virtual address, a null-ended list.
    const auto* callbacks = reinterpret_cast<PIMAGE_TLS_CALLBACK*>(tls->AddressOfCallBacks);
    for (const auto* callback = callbacks; callback && *callback; ++callback) (*callback)(module, DLL_THREAD_DETACH, nullptr);
}
