// The reader as an object: loading from a handle, the scanning contract at the
// end of input, and the exceptions it throws.
#include "tests/reader/ReaderHarness.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace {

using reader_test::ScanBytes;
using reader_test::ScanFile;
using testsupport::CTempFile;

const char kSmallFile[] = "1.0\r\n1.0.0.1=\"a\"\r\n";

TEST(ConfigReader, ScanAtTheEndReturnsEndAgainAndLeavesTheStringsAlone) {
    CTempFile temp("1.0\r\n");
    CFileHandle file = temp.OpenForReading();
    CConfigReader reader(file.Get());
    ASSERT_EQ(S_OK, reader.Init());
    CBstr name, value;
    ASSERT_EQ(CConfigReader::TOKEN_VERSION, reader.Scan(name.Out(), value.Out()));
    ASSERT_FALSE(value.IsNull());  // an empty BSTR, not null
    EXPECT_EQ(0u, value.Length());

    BSTR sentinelName = reinterpret_cast<BSTR>(&name);
    BSTR sentinelValue = reinterpret_cast<BSTR>(&value);
    for (int i = 0; i < 2; ++i) {
        BSTR n = sentinelName, v = sentinelValue;
        EXPECT_EQ(CConfigReader::TOKEN_END_OF_FILE, reader.Scan(&n, &v));
        EXPECT_EQ(sentinelName, n);
        EXPECT_EQ(sentinelValue, v);
    }
}

TEST(ConfigReader, ReadsTheWholeFileWhereverTheHandleStands) {
    CTempFile temp(kSmallFile);
    CFileHandle file = temp.OpenForReading();
    char skipped[6];
    DWORD read = 0;
    ASSERT_TRUE(ReadFile(file.Get(), skipped, sizeof skipped, &read, nullptr));
    const std::vector<std::string> expected = {"v[1.0]", "p[1.0.0.1][a]"};
    EXPECT_EQ(expected, ScanFile(file.Get()));
    EXPECT_EQ(expected, ScanFile(file.Get()));  // and again, after reading to the end
}

TEST(ConfigReader, SeesWhatWasWrittenThroughTheSameHandle) {
    CTempFile temp("");
    CFileHandle file = temp.OpenForReadingAndWriting();
    ASSERT_TRUE(file.IsValid());
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(file.Get(), kSmallFile, sizeof kSmallFile - 1, &written, nullptr));
    EXPECT_EQ((std::vector<std::string>{"v[1.0]", "p[1.0.0.1][a]"}), ScanFile(file.Get()));
}

TEST(ConfigReader, InitReturnsFileSystemFailures) {
    CTempFile temp(kSmallFile);
    CFileHandle writeOnly(CreateFileW(temp.Path().c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(writeOnly.IsValid());
    EXPECT_EQ((std::vector<std::string>{"Init 0x80070005"}), ScanFile(writeOnly.Get()));

    CFileHandle closed = temp.OpenForReading();
    HANDLE stale = closed.Get();
    closed.Close();
    EXPECT_EQ((std::vector<std::string>{"Init 0x80070006"}), ScanFile(stale));
}

TEST(ConfigReader, CountsLinesThroughALargeFile) {
    std::string text = "1.0\r\n";
    for (int line = 2; line < 20000; ++line) text += "1.0.0." + std::to_string(line) + "=\"v\"\r\n";
    text += "1.0.0.0=\"\\q\"\r\n";
    const std::vector<std::string> outcome = ScanBytes(text);
    ASSERT_EQ(20000u, outcome.size());
    EXPECT_EQ("p[1.0.0.19999][v]", outcome[19998]);
    EXPECT_EQ("parse@20000[1.0.0.0=\"\\\\q]Expected: Escaped character (BACKSLASH, N, T, R, QUOTE)", outcome.back());
}

// ---- Exceptions -------------------------------------------------------------------

template <class E>
void ExpectCopyKeepsFieldsAndWhatIsNotTheMessage() {
    const WCHAR text[] = {'a', '=', 0};
    const WCHAR message[] = {'m', 's', 'g', 0};
    E copy = [&] {
        E original(7, text, message);
        return E(original);
    }();
    EXPECT_EQ(7u, copy.m_nLine);
    EXPECT_EQ(WString(text), copy.m_strLineText);
    EXPECT_EQ(WString(message), copy.m_strMessage);
    EXPECT_STREQ(std::exception().what(), copy.what());
}

TEST(ConfigReader, ExceptionsCopyTheirFieldsAndKeepTheBaseText) {
    ExpectCopyKeepsFieldsAndWhatIsNotTheMessage<CConfigReader::parse_exception>();
    ExpectCopyKeepsFieldsAndWhatIsNotTheMessage<CConfigReader::new_dovel_required_exception>();
    ExpectCopyKeepsFieldsAndWhatIsNotTheMessage<CConfigReader::unexpected_exception>();
}

TEST(ConfigReader, AnExceptionOutlivesItsReader) {
    CTempFile temp("1.0\r\n1.0.0.1=\"open\r\n");
    CFileHandle file = temp.OpenForReading();
    std::optional<CConfigReader::parse_exception> caught;
    {
        CConfigReader reader(file.Get());
        ASSERT_EQ(S_OK, reader.Init());
        CBstr name, value;
        reader.Scan(name.Out(), value.Out());
        try {
            reader.Scan(name.Out(), value.Out());
            FAIL() << "no exception";
        } catch (const CConfigReader::parse_exception& e) {  // copied, as a by-value handler would
            caught.emplace(e);
        }
    }
    ASSERT_TRUE(caught.has_value());
    EXPECT_EQ(2u, caught->m_nLine);
    EXPECT_EQ("1.0.0.1=\"open", reader_test::Show(caught->m_strLineText));
}

}  // namespace
