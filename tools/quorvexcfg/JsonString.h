// JSON string literals for 16-bit text: printable ASCII stands as itself
// (with " and \ escaped), every other code unit is written \uXXXX, so lone
// surrogates and control characters survive the trip.
#pragma once
#include "platform/Platform.h"

#include <string>

class CJsonString {
public:
    // The text as a quoted JSON string, pure ASCII.
    static std::string Quote(const WString& text);
    static std::string Quote(const WCHAR* text, size_t length);
};
