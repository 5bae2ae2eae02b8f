// Conversions between UTF-8 (command lines, terminal output) and 16-bit text.
#pragma once
#include "platform/Platform.h"

#include <string>

class CUtf8 {
public:
    // Surrogate pairs become one character; a lone surrogate becomes U+FFFD.
    static std::string FromUtf16(const WString& text);
    // Malformed bytes become U+FFFD each.
    static WString ToUtf16(const std::string& text);
};
