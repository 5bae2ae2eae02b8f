// Registering the type library that a module carries (or that lies beside
// it as a .tlb file).
#pragma once
#include "platform/Platform.h"

// Loads the type library of module hInst from the module file itself, else
// from the module path with its extension replaced by ".tlb". On success
// path holds the path that worked.
HRESULT LoadModuleTypeLib(HINSTANCE hInst, WString& path, ITypeLib** pptl);

HRESULT RegisterModuleTypeLib(HINSTANCE hInst);
// Passes over every failure: a module that was never registered is fine.
void UnregisterModuleTypeLib(HINSTANCE hInst);
// Removes only this architecture's entry of the registered type library
// (TypeLib\{libid}\<version>\<lcid>\win32 or win64), keeping the library
// and interface keys that the other architecture shares. Failures pass too.
void UnregisterModuleTypeLibEntry(HINSTANCE hInst);

// The module's file path (as the loader reports it), or "" on failure.
WString ModuleFilePath(HINSTANCE hInst);
