#include "tools/quorvexcfg/JsonString.h"

std::string CJsonString::Quote(const WString& text) { return Quote(text.data(), text.size()); }

std::string CJsonString::Quote(const WCHAR* text, size_t length) {
    static const char hex[] = "0123456789ABCDEF";
    std::string quoted;
    quoted.reserve(length + 2);
    quoted += '"';
    for (size_t i = 0; i < length; ++i) {
        const unsigned c = text[i];
        if (c == '"' || c == '\\') {
            quoted += '\\';
            quoted += static_cast<char>(c);
        } else if (c >= 0x20 && c <= 0x7E) {
            quoted += static_cast<char>(c);
        } else {
            const char escape[] = {'\\', 'u', hex[(c >> 12) & 15], hex[(c >> 8) & 15], hex[(c >> 4) & 15], hex[c & 15]};
            quoted.append(escape, sizeof escape);
        }
    }
    quoted += '"';
    return quoted;
}
