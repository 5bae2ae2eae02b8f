#include "server/RegKey.h"

LONG CRegKey::Create(HKEY hParent, const WString& name) {
    return RegCreateKeyExW(hParent, name.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_READ | KEY_WRITE,
                           nullptr, Out(), nullptr);
}

LONG CRegKey::Open(HKEY hParent, const WString& name) {
    return RegOpenKeyExW(hParent, name.c_str(), 0, KEY_READ | KEY_WRITE, Out());
}

LONG CRegKey::SetStringValue(const WCHAR* name, const WString& data) {
    const DWORD bytes = static_cast<DWORD>((data.size() + 1) * sizeof(WCHAR));
    return RegSetValueExW(Get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()), bytes);
}

bool CRegKey::HasSubkeys() const {
    DWORD subkeys = 0;
    if (RegQueryInfoKeyW(Get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr, nullptr, nullptr,
                         nullptr, nullptr) != ERROR_SUCCESS)
        return false;
    return subkeys > 0;
}
