// Owner of one open registry key: closed on every path.
#pragma once
#include "platform/UniqueResource.h"

class CRegKey : public CUniqueResource<CRegKeyTraits> {
public:
    // Both return the platform's error code (ERROR_SUCCESS on success).
    LONG Create(HKEY hParent, const WString& name);
    LONG Open(HKEY hParent, const WString& name);
    LONG SetStringValue(const WCHAR* name, const WString& data);
    bool HasSubkeys() const;
};
