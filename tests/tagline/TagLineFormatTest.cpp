// The writer's text form: escapes, quoting and the tag line.
#include "configfile/TagLineFormat.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <string>
#include <vector>

namespace {

// WString from a UTF-16 literal, whatever width wchar_t has.
WString W(const std::u16string& text) { return WString(text.begin(), text.end()); }

std::string Printable(const WString& text) {
    std::string out;
    for (WCHAR ch : text) {
        unsigned code = static_cast<unsigned>(ch);
        if (code >= 0x20 && code < 0x7F) {
            out.push_back(static_cast<char>(code));
        } else {
            char buf[16];
            std::snprintf(buf, sizeof buf, "<U+%04X>", code);
            out += buf;
        }
    }
    return out;
}

WString Quoted(const WString& value) {
    WString text = value;
    CTagLineFormat::Quote(text);
    return text;
}

// Whichever C locale the program has set, the same characters are escaped:
// the reader's classes, which take no locale either.
TEST(TagLineQuote, TheCLocaleChangesNoAnswer) {
    std::vector<bool> inC;
    for (unsigned code = 0; code <= 0xFFFF; ++code) inC.push_back(CTagLineFormat::NeedsEscape(WCHAR(code)));
    int locales = 0;
    for (const char* name : {"C.UTF-8", "en_US.UTF-8", ".1252", ".932", "English_United States.1252", ""}) {
        if (!std::setlocale(LC_ALL, name)) continue;
        ++locales;
        for (unsigned code = 0; code <= 0xFFFF; ++code)
            ASSERT_EQ(inC[code], CTagLineFormat::NeedsEscape(WCHAR(code))) << "code " << code << " in " << name;
    }
    std::setlocale(LC_ALL, "C");
    EXPECT_GT(locales, 1);
}

// Each character alone between quotes: named escapes, other controls as \x and
// the DECIMAL code of at least four digits, everything else as itself.
TEST(TagLineQuote, EachCharacterInItsFileForm) {
    const struct {
        char16_t ch;
        const char16_t* written;
    } cases[] = {
        {u'\t', u"\\t"}, {u'\n', u"\\n"}, {u'\r', u"\\r"}, {u'"', u"\\\""}, {u'\\', u"\\\\"},
        {0x0000, u"\\x0000"}, {0x0001, u"\\x0001"}, {0x0008, u"\\x0008"}, {0x000B, u"\\x0011"},
        {0x001B, u"\\x0027"}, {0x001F, u"\\x0031"}, {0x007F, u"\\x0127"}, {0x0085, u"\\x0133"},
        {0x009F, u"\\x0159"}, {0x200B, u"\\x8203"}, {0xFEFF, u"\\x65279"}, {0x2028, u"\u2028"},
        {u' ', u" "}, {u'a', u"a"}, {u'~', u"~"}, {u'=', u"="}, {u';', u";"},
        {u'\'', u"'"}, {0x00A0, u"\u00A0"}, {0x00E9, u"\u00E9"}, {0x4E2D, u"\u4E2D"}, {0xFFFD, u"\uFFFD"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Printable(W(u"\"") + W(c.written) + W(u"\"")), Printable(Quoted(WString(1, static_cast<WCHAR>(c.ch)))))
            << "code " << unsigned(c.ch);
    }
}

TEST(TagLineEscape, WidthIsAMinimumSoLargeCodesTakeFiveDigits) {
    struct { WCHAR ch; const char* written; } cases[] = {
        {0x0100, "\\x0256"}, {0x270F, "\\x9999"}, {0x2710, "\\x10000"}, {0xFFFF, "\\x65535"},
    };
    for (const auto& c : cases) {
        WString out = W(u"pre");
        CTagLineFormat::AppendEscape(c.ch, out);
        EXPECT_EQ(std::string("pre") + c.written, Printable(out)) << "code " << unsigned(c.ch);
    }
}

TEST(TagLineQuote, AStoppingEscapeLeavesTheTextAsItWas) {
    WString text = W(u"a\tb\nc");
    int calls = 0;
    bool done = CTagLineFormat::QuoteWith(text, [&calls](WCHAR, WString&) { return ++calls < 2; });
    EXPECT_FALSE(done);
    EXPECT_EQ(2, calls);
    EXPECT_EQ(Printable(W(u"a\tb\nc")), Printable(text));
}

struct TagCase {
    const char* name;
    const char16_t* id;     // null: no identifier at all
    const char16_t* value;  // null: a tag without a value
    size_t valueLength;     // 0: up to the terminator
    const char* line;
};

TEST(TagLine, AssemblesIdentifierEqualsAndTheQuotedValue) {
    const TagCase cases[] = {
        {"tag without value", u"1.0.2A.100", nullptr, 0, "1.0.2A.100="},
        {"empty string", u"1.0.2A.FF", u"", 0, "1.0.2A.FF=\"\""},
        {"boolean text", u"1.0.2B.1", u"-1", 0, "1.0.2B.1=\"-1\""},
        {"value cut at null", u"1.0.0.1", u"ab\0cd", 5, "1.0.0.1=\"ab\""},
        {"identifier cut at null", u"1.0.0.1\0junk", u"x", 0, "1.0.0.1=\"x\""},
        {"identifier as given", u"not an id", u"x", 0, "not an id=\"x\""},
        {"lower-case identifier", u"a.b.c.d", u"x", 0, "a.b.c.d=\"x\""},
        {"null identifier", nullptr, u"x", 0, "=\"x\""},
    };
    for (const TagCase& c : cases) {
        WString id = c.id ? W(c.id) : WString();
        WString value;
        if (c.value) value = c.valueLength ? W(std::u16string(c.value, c.valueLength)) : W(c.value);
        WString line = W(u"X");  // appended to what is there
        CTagLineFormat::AppendTag(line, c.id ? id.c_str() : nullptr, c.value ? value.c_str() : nullptr);
        EXPECT_EQ(std::string("X") + c.line, Printable(line)) << c.name;
    }
}

// With a version, the write tests compare whole files.
TEST(FileText, WithoutAVersionStartsWithMarkAndLineEnd) {
    WString noVersion;
    CTagLineFormat::StartText(noVersion, nullptr);
    EXPECT_EQ("<U+FEFF><U+000D><U+000A>", Printable(noVersion));
}

}  // namespace
