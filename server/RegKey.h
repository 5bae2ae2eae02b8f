// Owner of one open registry key: closed on every path.
#pragma once
#include "platform/Platform.h"

#include <utility>

class CRegKey {
public:
    CRegKey() = default;
    CRegKey(const CRegKey&) = delete;
    CRegKey& operator=(const CRegKey&) = delete;
    ~CRegKey() { Close(); }

    HKEY Get() const { return m_hKey; }
    // Both return the platform's error code (ERROR_SUCCESS on success).
    LONG Create(HKEY hParent, const WString& name);
    LONG Open(HKEY hParent, const WString& name);
    LONG SetStringValue(const WCHAR* name, const WString& data);
    bool HasSubkeys() const;
    void Close();

private:
    HKEY m_hKey = nullptr;
};
