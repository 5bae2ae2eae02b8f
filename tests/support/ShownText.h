// Text as test messages and outcome strings show it, whatever width wchar_t has.
#pragma once
#include "platform/Platform.h"

#include <cstdio>
#include <string>

namespace testsupport {

// Printable ASCII as itself, a backslash as \\ and every other unit as \uXXXX.
inline std::string Show(const WString& text) {
    std::string shown;
    for (WCHAR c : text) {
        if (c == '\\') {
            shown += "\\\\";
        } else if (c >= 0x20 && c < 0x7F) {
            shown += static_cast<char>(c);
        } else {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04X", static_cast<unsigned>(c));
            shown += escape;
        }
    }
    return shown;
}

}  // namespace testsupport
