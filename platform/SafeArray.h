// Owner of one SAFEARRAY: destroyed (elements freed) on every path.
#pragma once
#include "platform/UniqueResource.h"

struct CSafeArrayTraits {
    using Resource = SAFEARRAY*;
    static Resource Invalid() { return nullptr; }
    static void Close(Resource psa) { SafeArrayDestroy(psa); }
};

using CSafeArray = CUniqueResource<CSafeArrayTraits>;
