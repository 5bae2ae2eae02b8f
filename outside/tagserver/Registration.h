// Self-registration of TagServer.dll: class, ProgID and type library.
#pragma once
#include "platform/Platform.h"

namespace tagserver {

class CRegistration {
public:
    static HRESULT Register();
    // Removes what Register wrote; keys that are already gone are no failure.
    static HRESULT Unregister();
};

}  // namespace tagserver
