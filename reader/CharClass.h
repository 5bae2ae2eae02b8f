// The standard wide-character tests on a 16-bit code, with a table for ASCII so
// that the scanner's inner loops avoid a library call per character. The table
// is filled from the C library itself, so it gives exactly its answers on each
// platform (they differ: Windows counts TAB as printable, glibc does not).
#pragma once
#include "platform/Platform.h"

#include <array>
#include <cstdint>
#include <cwctype>

class CCharClass {
public:
    static bool IsSpace(WCHAR ch) { return ch < 128 ? Has(ch, SPACE) : std::iswspace(Wide(ch)) != 0; }
    static bool IsAlpha(WCHAR ch) { return ch < 128 ? Has(ch, ALPHA) : std::iswalpha(Wide(ch)) != 0; }
    static bool IsDigit(WCHAR ch) { return ch < 128 ? Has(ch, DIGIT) : std::iswdigit(Wide(ch)) != 0; }
    static bool IsXDigit(WCHAR ch) { return ch < 128 ? Has(ch, XDIGIT) : std::iswxdigit(Wide(ch)) != 0; }
    static bool IsCntrl(WCHAR ch) { return ch < 128 ? Has(ch, CNTRL) : std::iswcntrl(Wide(ch)) != 0; }
    static bool IsPrint(WCHAR ch) { return ch < 128 ? Has(ch, PRINT) : std::iswprint(Wide(ch)) != 0; }

    enum CLASS : std::uint8_t { SPACE = 1, ALPHA = 2, DIGIT = 4, XDIGIT = 8, CNTRL = 16, PRINT = 32 };
    using AsciiTable = std::array<std::uint8_t, 128>;

private:
    static wint_t Wide(WCHAR ch) { return static_cast<wint_t>(ch); }
    static bool Has(WCHAR ch, CLASS c) { return (s_ascii[ch] & c) != 0; }

    static AsciiTable FromLibrary();
    static const AsciiTable s_ascii;
};
