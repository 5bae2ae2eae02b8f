// The reader's count of line ends over the loaded file: what Read sizes its
// pair buffer by, so it must agree with how the reader numbers lines.
#include "tests/reader/ReaderHarness.h"

#include <gtest/gtest.h>

#include <exception>
#include <string>

namespace {

using reader_test::kMark;
using reader_test::Utf16;
using testsupport::CTempFile;

TEST(ConfigReaderLineEnds, CountsCarriageReturnsUpToTheEndOfInput) {
    struct Case {
        const char* name;
        std::string bytes;
        ULONG lineEnds;
    };
    const Case cases[] = {
        {"empty 8-bit file", "", 0},
        {"no line end", "1.0", 0},
        {"CR LF once each", "1.0\r\n1=\"a\"\r\n", 2},
        {"CR alone", "1.0\r1=\"a\"\r2", 2},
        {"LF alone not counted", "1.0\n1=\"a\"\n", 0},
        {"mixed", "a\r\r\nb\n\rc\n\r\n", 4},
        {"stops at the end-of-input character", "a\r\x1A\rb\r", 1},
        {"UTF-16 with mark", kMark + Utf16("1.0\r\n1\r2\n"), 2},
        {"UTF-16 without mark", Utf16("1.0.0\r\n1.0.0.1 = \"x\"\r\n"), 2},
        // U+010D and U+0D0A hold a CR byte but are not line ends.
        {"UTF-16 units with a CR byte", kMark + std::string("\x0D\x01\x0A\x0D\x0D\x00", 6), 1},
        {"UTF-16 odd last byte dropped", kMark + Utf16("a\r") + "\x0D", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CTempFile temp(c.bytes);
        CFileHandle file = temp.OpenForReading();
        CConfigReader reader(file.Get());
        EXPECT_EQ(0u, reader.CountLineEnds());  // nothing loaded yet
        ASSERT_EQ(S_OK, reader.Init());
        EXPECT_EQ(c.lineEnds, reader.CountLineEnds());
        CBstr name, value;
        try {
            reader.Scan(name.Out(), value.Out());  // the whole file is counted wherever the scan stands
        } catch (const std::exception&) {
        }
        EXPECT_EQ(c.lineEnds, reader.CountLineEnds());
    }
}

// The reader gives back the text it has passed: a large file is still counted
// whole afterwards, and an error on its last line still names it with its text.
TEST(ConfigReaderLineEnds, LargeFileCountedWholeAndLastLineNamedAfterTheScanPassedIt) {
    const ULONG nTags = 3 * CConfigReader::kGiveBackStep / 30;
    std::string text = "1.0.0\r\n";
    for (ULONG i = 0; i < nTags; ++i) text += "1.0.0." + std::to_string(i) + " = \"v\"\r\n";
    CTempFile temp(kMark + Utf16(text + "1.0.0.1 = \"open\r\n"));
    CFileHandle file = temp.OpenForReading();
    CConfigReader reader(file.Get());
    ASSERT_EQ(S_OK, reader.Init());
    std::string error = "none";
    try {
        for (CBstr name, value; reader.Scan(name.Out(), value.Out()) != CConfigReader::TOKEN_END_OF_FILE;) {
        }
    } catch (const CConfigReader::parse_exception& e) {
        error = reader_test::ShowError("parse", e);
    }
    EXPECT_EQ("parse@" + std::to_string(nTags + 2) + "[1.0.0.1 = \"open]Expected: Closing quote", error);
    EXPECT_EQ(nTags + 2, reader.CountLineEnds());
}

}  // namespace
