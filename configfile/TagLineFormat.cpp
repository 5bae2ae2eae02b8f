#include "configfile/TagLineFormat.h"

#include "platform/CharClass.h"

#include <string>

namespace {

const WCHAR kTab = 0x09;
const WCHAR kLineFeed = 0x0A;
const WCHAR kCarriageReturn = 0x0D;
const WCHAR kQuote = '"';
const WCHAR kBackslash = '\\';

// The named escape letter of ch, or 0 when ch has none.
WCHAR NamedEscapeOf(WCHAR ch) {
    switch (ch) {
    case kTab: return 't';
    case kLineFeed: return 'n';
    case kCarriageReturn: return 'r';
    case kQuote: return kQuote;
    case kBackslash: return kBackslash;
    default: return 0;
    }
}

void AppendUpToNull(WString& out, const WCHAR* text) {
    if (text) out.append(text, std::char_traits<WCHAR>::length(text));
}

}  // namespace

// The reader's own class of controls: every character it refuses inside the
// quotes is escaped, and every other one is written as itself.
bool CTagLineFormat::NeedsEscape(WCHAR ch) { return ch == kQuote || ch == kBackslash || CCharClass::IsCntrl(ch); }

void CTagLineFormat::AppendEscape(WCHAR ch, WString& out) {
    if (WCHAR letter = NamedEscapeOf(ch)) {
        out.push_back(kBackslash);
        out.push_back(letter);
        return;
    }
    // Decimal, not hexadecimal, as files of this format have always had it;
    // the width is a minimum, so codes of 10000 and more take five digits.
    WCHAR digits[5];
    int count = 0;
    for (unsigned code = ch; count == 0 || code != 0; code /= 10) digits[count++] = static_cast<WCHAR>('0' + code % 10);
    out.push_back(kBackslash);
    out.push_back('x');
    out.append(count < 4 ? 4 - count : 0, '0');
    while (count > 0) out.push_back(digits[--count]);
}

void CTagLineFormat::Quote(WString& text) {
    QuoteWith(text, [](WCHAR ch, WString& out) {
        AppendEscape(ch, out);
        return true;
    });
}

void CTagLineFormat::AppendAssignment(WString& line, const WCHAR* id, const WString& valueInFileForm) {
    AppendUpToNull(line, id);
    line.push_back('=');
    line.append(valueInFileForm);
}

void CTagLineFormat::AppendTag(WString& line, const WCHAR* id, const WCHAR* valueOrNull) {
    WString value;
    if (valueOrNull) {
        AppendUpToNull(value, valueOrNull);
        Quote(value);
    }
    AppendAssignment(line, id, value);
}

void CTagLineFormat::StartText(WString& text, const WCHAR* version) {
    text.push_back(BYTE_ORDER_MARK);
    AppendUpToNull(text, version);
    AppendLineEnd(text);
}

void CTagLineFormat::AppendLineEnd(WString& text) {
    text.push_back(kCarriageReturn);
    text.push_back(kLineFeed);
}

void CTagLineFormat::AppendLittleEndianBytes(const WString& text, std::string& bytes) {
    bytes.reserve(bytes.size() + 2 * text.size());
    for (WCHAR ch : text) {
        unsigned code = static_cast<unsigned>(ch) & 0xFFFF;
        bytes.push_back(static_cast<char>(code & 0xFF));
        bytes.push_back(static_cast<char>(code >> 8));
    }
}
