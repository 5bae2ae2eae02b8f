#include "tests/support/Registry.h"

#include "platform/UniqueResource.h"

#include <algorithm>

namespace testsupport {

using CKey = CUniqueResource<CRegKeyTraits>;

bool KeyExists(HKEY root, const WString& path, REGSAM view) {
    CKey key;
    return RegOpenKeyExW(root, path.c_str(), 0, KEY_READ | view, key.Out()) == ERROR_SUCCESS;
}

WString ValueOf(HKEY root, const WString& path, const WCHAR* valueName) {
    WCHAR data[2048] = {};
    DWORD bytes = sizeof data;
    return RegGetValueW(root, path.c_str(), valueName, RRF_RT_REG_SZ, nullptr, data, &bytes) == ERROR_SUCCESS
               ? WString(data)
               : WString(L"<missing>");
}

std::vector<WString> SubkeyNames(HKEY root, const WString& path) {
    std::vector<WString> names;
    CKey key;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, key.Out()) != ERROR_SUCCESS) return names;
    WCHAR name[256];
    for (DWORD i = 0, length = 256;
         RegEnumKeyExW(key.Get(), i, name, &length, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
         ++i, length = 256)
        names.emplace_back(name, length);
    std::sort(names.begin(), names.end());
    return names;
}

bool SetValue(HKEY root, const WString& path, const WCHAR* valueName, const WString& value, REGSAM view) {
    CKey key;
    return RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr, key.Out(), nullptr) ==
               ERROR_SUCCESS &&
           RegSetValueExW(key.Get(), valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>((value.size() + 1) * sizeof(WCHAR))) == ERROR_SUCCESS;
}

}  // namespace testsupport
