// The writer's text form: escapes, quoting and the tag line. The written form
// of every character is checked by roundtrip.every_character on both platforms.
#include "configfile/TagLineFormat.h"
#include "tests/support/ShownText.h"

#include <gtest/gtest.h>

#include <clocale>
#include <string>
#include <vector>

namespace {

using testsupport::Show;

// WString from a UTF-16 literal, whatever width wchar_t has.
WString W(const std::u16string& text) { return WString(text.begin(), text.end()); }

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

TEST(TagLineQuote, AStoppingEscapeLeavesTheTextAsItWas) {
    WString text = W(u"a\tb\nc");
    int calls = 0;
    bool done = CTagLineFormat::QuoteWith(text, [&calls](WCHAR, WString&) { return ++calls < 2; });
    EXPECT_FALSE(done);
    EXPECT_EQ(2, calls);
    EXPECT_EQ(Show(W(u"a\tb\nc")), Show(text));
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
        EXPECT_EQ(std::string("X") + c.line, Show(line)) << c.name;
    }
}

// With a version, the write tests compare whole files.
TEST(FileText, WithoutAVersionStartsWithMarkAndLineEnd) {
    WString noVersion;
    CTagLineFormat::StartText(noVersion, nullptr);
    EXPECT_EQ("\\uFEFF\\u000D\\u000A", Show(noVersion));
}

}  // namespace
