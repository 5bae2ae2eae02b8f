#include "Environment.h"

#include <cwchar>
#include <cwctype>

namespace utilities {

WString ReadEnvironment(const wchar_t* name) {
    WString value(64, L'\0');
    for (;;) {
        const DWORD length = GetEnvironmentVariableW(name, &value[0], static_cast<DWORD>(value.size()));
        if (length == 0) return WString();
        if (length < value.size()) {
            value.resize(length);
            return value;
        }
        // Too small: length is the size needed, terminator included.
        value.assign(length, L'\0');
    }
}

long ReadEnvironmentNumber(const wchar_t* name, long fallback) {
    const WString text = ReadEnvironment(name);
    if (text.empty()) return fallback;
    wchar_t* end = nullptr;
    const long number = std::wcstol(text.c_str(), &end, 10);
    while (end && std::iswspace(*end)) ++end;
    return (end && *end == L'\0') ? number : fallback;
}

}  // namespace utilities
