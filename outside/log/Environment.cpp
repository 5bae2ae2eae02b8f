#include "Environment.h"

#include <climits>

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

// ASCII digits with an optional sign, blanks around them allowed: no locale
// decides what a number is. Too large a number saturates.
long ReadEnvironmentNumber(const wchar_t* name, long fallback) {
    const WString text = ReadEnvironment(name);
    const size_t first = text.find_first_not_of(L" \t");
    if (first == WString::npos) return fallback;
    const size_t end = text.find_last_not_of(L" \t") + 1;
    size_t at = first;
    const bool negative = text[at] == L'-';
    if (negative || text[at] == L'+') ++at;
    if (at == end) return fallback;
    long number = 0;
    for (; at < end; ++at) {
        const wchar_t c = text[at];
        if (c < L'0' || c > L'9') return fallback;
        const long digit = c - L'0';
        number = number > (LONG_MAX - digit) / 10 ? LONG_MAX : number * 10 + digit;
    }
    return negative ? -number : number;
}

}  // namespace utilities
