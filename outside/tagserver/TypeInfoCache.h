// The type descriptions of this module's interfaces, loaded once from the
// type library embedded in the DLL (so no registration is needed to use them).
#pragma once
#include "platform/Platform.h"

namespace tagserver {

class CTypeInfoCache {
public:
    // A new reference to the type description of the interface.
    static HRESULT Get(REFIID iid, ITypeInfo** info);
    // The embedded type library itself, loaded without registering it.
    static HRESULT LoadLibrary(ITypeLib** library);
    // Drops the cached library; called when the module is about to be unloaded.
    static void Release();
};

}  // namespace tagserver
