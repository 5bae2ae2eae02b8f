#include "reader/CharClass.h"

// ASCII answers do not depend on the locale, so filling the table before main
// (and before a program picks its locale) gives the answers it will see.
const CCharClass::AsciiTable CCharClass::s_ascii = CCharClass::FromLibrary();

CCharClass::AsciiTable CCharClass::FromLibrary() {
    AsciiTable table{};
    for (unsigned c = 0; c < table.size(); ++c) {
        const wint_t wc = static_cast<wint_t>(c);
        table[c] = static_cast<std::uint8_t>((std::iswspace(wc) ? SPACE : 0) | (std::iswalpha(wc) ? ALPHA : 0) |
                                             (std::iswdigit(wc) ? DIGIT : 0) | (std::iswxdigit(wc) ? XDIGIT : 0) |
                                             (std::iswcntrl(wc) ? CNTRL : 0) | (std::iswprint(wc) ? PRINT : 0));
    }
    return table;
}
