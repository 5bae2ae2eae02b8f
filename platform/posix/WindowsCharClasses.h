// How the Windows C runtime classifies each 16-bit code (iswspace, iswalpha,
// iswdigit, iswxdigit, iswcntrl, iswprint), for the Linux layer: the same
// answers on every machine, whatever the locale, so that the reader built for
// Linux judges a file exactly as the component does.
#pragma once
#include "platform/Platform.h"

#include <cstdint>

enum WindowsCharClass : std::uint8_t {
    WCC_SPACE = 1,
    WCC_ALPHA = 2,
    WCC_DIGIT = 4,
    WCC_XDIGIT = 8,
    WCC_CNTRL = 16,
    WCC_PRINT = 32,
};

// The WindowsCharClass bits that the Windows runtime gives ch.
std::uint8_t WindowsCharClasses(WCHAR ch);
