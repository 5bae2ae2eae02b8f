// The standard wide-character tests on a 16-bit code, the one classification
// that the reader and the writer's escaping share, with a table for ASCII so
// that the scanner's inner loops avoid a call per character. Windows answers
// with its C runtime, whose wide tests take no locale; the Linux build with
// the Linux layer's copy of that runtime's answers, so both judge and write a
// file alike (glibc, for one, would not count TAB as printable, and its
// answers beyond ASCII follow the locale).
#pragma once
#include "platform/Platform.h"

#include <array>
#include <cstdint>
#include <cwctype>

#ifndef _WIN32
#include "platform/posix/WindowsCharClasses.h"
#endif

class CCharClass {
public:
    enum CLASS : std::uint8_t { SPACE = 1, ALPHA = 2, DIGIT = 4, XDIGIT = 8, CNTRL = 16, PRINT = 32 };

    static bool IsSpace(WCHAR ch) { return Is(ch, SPACE); }
    static bool IsAlpha(WCHAR ch) { return Is(ch, ALPHA); }
    static bool IsDigit(WCHAR ch) { return Is(ch, DIGIT); }
    static bool IsXDigit(WCHAR ch) { return Is(ch, XDIGIT); }
    static bool IsCntrl(WCHAR ch) { return Is(ch, CNTRL); }
    static bool IsPrint(WCHAR ch) { return Is(ch, PRINT); }

    using AsciiTable = std::array<std::uint8_t, 128>;

private:
    static bool Is(WCHAR ch, CLASS c) { return ch < 128 ? (s_ascii[ch] & c) != 0 : Classify(ch, c); }

    // The answer without the ASCII table.
#ifdef _WIN32
    static bool Classify(WCHAR ch, CLASS c) {
        const wint_t wc = static_cast<wint_t>(ch);
        switch (c) {
            case SPACE: return std::iswspace(wc) != 0;
            case ALPHA: return std::iswalpha(wc) != 0;
            case DIGIT: return std::iswdigit(wc) != 0;
            case XDIGIT: return std::iswxdigit(wc) != 0;
            case CNTRL: return std::iswcntrl(wc) != 0;
            case PRINT: return std::iswprint(wc) != 0;
        }
        return false;
    }
#else
    static bool Classify(WCHAR ch, CLASS c) { return (WindowsCharClasses(ch) & c) != 0; }
#endif

    static AsciiTable FillAscii();
    static const AsciiTable s_ascii;
};
