// How the writer puts tags into a configuration file: the byte-order mark and
// version line that open the text, the quoted and escaped form of a value, and
// the assembly of one `id=value` line. The component and quorvexcfg both write
// through this class, so a file made on Linux has the component's exact bytes.
#pragma once
#include "platform/Platform.h"

#include <cstddef>

class CTagLineFormat {
public:
    static constexpr WCHAR BYTE_ORDER_MARK = 0xFEFF;

    // True for the characters written as an escape rather than as themselves:
    // the double quote, the backslash and every control character (the class
    // the reader refuses inside quotes, the same on every platform).
    static bool NeedsEscape(WCHAR ch);
    // Appends the escape of ch: \t \n \r \" \\ for those five, otherwise \x and
    // the decimal code, zero-padded to at least four digits.
    static void AppendEscape(WCHAR ch, WString& out);
    // Replaces text by its quoted form with every character that needs it escaped.
    static void Quote(WString& text);
    // Quote with the escapes appended by appendEscape(ch, out), which appends
    // to out and returns false to stop; text is then left as it was and false
    // returned.
    template <class AppendEscapeFn>
    static bool QuoteWith(WString& text, AppendEscapeFn appendEscape);
    // Appends the identifier (up to its first null; null counts as empty), `=`
    // and valueInFileForm, which is either empty or already quoted.
    static void AppendAssignment(WString& line, const WCHAR* id, const WString& valueInFileForm);
    // Appends a whole tag line without its line end: a null value is a tag
    // without a value (`id=`), any other is cut at its first null and quoted.
    static void AppendTag(WString& line, const WCHAR* id, const WCHAR* valueOrNull);
    // Starts a file's text: the byte-order mark, the version (up to its first
    // null; null counts as empty) and a line end.
    static void StartText(WString& text, const WCHAR* version);
    static void AppendLineEnd(WString& text);
    // The UTF-16LE bytes of text, low byte first.
    static void AppendLittleEndianBytes(const WString& text, std::string& bytes);
};

template <class AppendEscapeFn>
bool CTagLineFormat::QuoteWith(WString& text, AppendEscapeFn appendEscape) {
    const WCHAR quote = '"';
    // The quoted form is built behind the text in the same string and then
    // moved to its front: a string reused for every tag needs no new memory.
    // Runs of characters between escapes are copied whole.
    const size_t length = text.size();
    text.push_back(quote);
    for (size_t i = 0; i < length; ++i) {
        size_t runEnd = i;
        while (runEnd < length && !NeedsEscape(text[runEnd])) ++runEnd;
        text.append(text, i, runEnd - i);
        if (runEnd == length) break;
        i = runEnd;
        if (!appendEscape(text[i], text)) {
            text.resize(length);
            return false;
        }
    }
    text.push_back(quote);
    text.erase(0, length);
    return true;
}
