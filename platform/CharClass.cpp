#include "platform/CharClass.h"

#ifndef _WIN32
static_assert(int{CCharClass::SPACE} == WCC_SPACE && int{CCharClass::ALPHA} == WCC_ALPHA &&
                  int{CCharClass::DIGIT} == WCC_DIGIT && int{CCharClass::XDIGIT} == WCC_XDIGIT &&
                  int{CCharClass::CNTRL} == WCC_CNTRL && int{CCharClass::PRINT} == WCC_PRINT,
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
