#include "reader/CharClass.h"

#ifndef _WIN32
static_assert(CCharClass::SPACE == WCC_SPACE && CCharClass::ALPHA == WCC_ALPHA && CCharClass::DIGIT == WCC_DIGIT &&
                  CCharClass::XDIGIT == WCC_XDIGIT && CCharClass::CNTRL == WCC_CNTRL && CCharClass::PRINT == WCC_PRINT,
              "the Linux layer's table uses the same bits");
#endif

// ASCII answers do not depend on the locale, so filling the table before main
// (and before a program picks its locale) gives the answers it will see.
const CCharClass::AsciiTable CCharClass::s_ascii = CCharClass::FillAscii();

CCharClass::AsciiTable CCharClass::FillAscii() {
    AsciiTable table{};
    for (WCHAR ch = 0; ch < table.size(); ++ch)
        for (CLASS c : {SPACE, ALPHA, DIGIT, XDIGIT, CNTRL, PRINT})
            if (Classify(ch, c)) table[ch] |= c;
    return table;
}
