#include "tests/support/Registry.h"

#include <algorithm>
#include <cwchar>

namespace testsupport {

bool KeyExists(HKEY root, const WString& path) {
    HKEY h = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS) return false;
    RegCloseKey(h);
    return true;
}

bool ReadString(HKEY root, const WString& path, const WCHAR* valueName, WString& value) {
    WCHAR data[2048] = {};
    DWORD bytes = sizeof data - sizeof(WCHAR);
    DWORD type = 0;
    HKEY h = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS) return false;
    const LONG error = RegQueryValueExW(h, valueName, nullptr, &type, reinterpret_cast<BYTE*>(data), &bytes);
    RegCloseKey(h);
    if (error != ERROR_SUCCESS || type != REG_SZ) return false;
    value.assign(data, wcsnlen(data, bytes / sizeof(WCHAR)));
    return true;
}

namespace {

// The sorted names of a key's subkeys or values.
std::vector<WString> Names(HKEY root, const WString& path, bool values) {
    std::vector<WString> names;
    HKEY h = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS) return names;
    WCHAR name[256];
    for (DWORD i = 0, length = 256;
         (values ? RegEnumValueW(h, i, name, &length, nullptr, nullptr, nullptr, nullptr)
                 : RegEnumKeyExW(h, i, name, &length, nullptr, nullptr, nullptr, nullptr)) == ERROR_SUCCESS;
         ++i, length = 256)
        names.emplace_back(name, length);
    RegCloseKey(h);
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace

std::vector<WString> SubkeyNames(HKEY root, const WString& path) { return Names(root, path, false); }
std::vector<WString> ValueNames(HKEY root, const WString& path) { return Names(root, path, true); }

}  // namespace testsupport
