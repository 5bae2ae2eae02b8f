// The reader: bytes in, tokens or the error out, for the file format (every
// row of the format table runs twice, as 8-bit text and as UTF-16 with the
// byte-order mark, and must read the same both ways); and its count of line
// ends, which Read sizes its pair buffer by. Every row and the fuzz corpus are
// also read along the general path only, which must give what the fast path
// for the usual assignment gives, and every row from the same bytes in memory
// and from a handle that earlier readers left at the end, which must read as
// the file does from its start.
// Outcomes are short strings, compared whole:
//   v[1.4.2]  p[1.0.0.1][abc]  s[1.0.0.1]  ;[text]  t[text]  i[text]
//   parse@2[1.0.0.1="abc]Expected: Closing quote
// Characters outside printable ASCII are written \uXXXX, a backslash \\.
#include "platform/Bstr.h"
#include "platform/Utf8.h"
#include "reader/ConfigReader.h"
#include "tests/reader/ReaderPaths.h"
#include "tests/support/TempFile.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <exception>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace {

using readerpaths::Show;
using readerpaths::ShowError;
using testsupport::CTempFile;
using Outcome = std::vector<std::string>;

std::string ShowToken(WCHAR token, const CBstr& name, const CBstr& value) {
    if (name.IsNull() || value.IsNull()) return "null string for token " + std::string(1, char(token));
    std::string shown = std::string(1, static_cast<char>(token)) + "[" + Show(name.ToString()) + "]";
    if (token == CConfigReader::TOKEN_TAG_VALUE || value.Length() != 0) shown += "[" + Show(value.ToString()) + "]";
    return shown;
}

// Shown from a copy, as a by-value handler takes it, once the reader is gone:
// the text and message are the exception's own.
template <class E>
std::string ShowCopy(const char* kind, const E& e, std::unique_ptr<CConfigReader>& reader) {
    const E copy(e);
    reader.reset();
    return ShowError(kind, copy);
}

// Scans an initialised reader to the end of input or the first exception.
Outcome Scan(std::unique_ptr<CConfigReader> reader) {
    Outcome outcome;
    try {
        for (int guard = 0; guard < 100000; ++guard) {
            CBstr name, value;
            const WCHAR token = reader->Scan(name.Out(), value.Out());
            if (token == CConfigReader::TOKEN_END_OF_FILE) {
                if (!name.IsNull() || !value.IsNull()) outcome.push_back("strings written at the end");
                if (reader->Scan(name.Out(), value.Out()) != token) outcome.push_back("no end when scanned again");
                return outcome;
            }
            outcome.push_back(ShowToken(token, name, value));
        }
        outcome.push_back("no end of input");
    } catch (const CConfigReader::parse_exception& e) {
        outcome.push_back(ShowCopy("parse", e, reader));
    } catch (const CConfigReader::new_dovel_required_exception& e) {
        outcome.push_back(ShowCopy("newer", e, reader));
    } catch (const CConfigReader::unexpected_exception& e) {
        outcome.push_back(ShowCopy("unexpected", e, reader));
    }
    return outcome;
}

Outcome ScanFile(HANDLE file) {
    auto reader = std::make_unique<CConfigReader>(file);
    if (FAILED(reader->Init())) return {"Init failed"};
    return Scan(std::move(reader));
}

// The bytes read from a file; the fast path for the usual tag assignment must
// give what the general path gives, and the same bytes given in memory must
// read alike, the encoding judged alike. Each reader reads the whole file from
// its start, wherever the readers before it left the handle.
Outcome ScanBytes(const std::string& bytes) {
    CTempFile temp(bytes);
    CFileHandle file = temp.OpenForReading();
    if (!file.IsValid()) return {"cannot open the test file"};
    const std::string pathsDifference = readerpaths::CompareBothWays(file.Get());
    Outcome outcome = ScanFile(file.Get());
    auto fromText = std::make_unique<CConfigReader>(INVALID_HANDLE_VALUE);
    if (FAILED(fromText->InitFromText(reinterpret_cast<const BYTE*>(bytes.data()), bytes.size()))) return {"InitFromText failed"};
    const Outcome textOutcome = Scan(std::move(fromText));
    if (textOutcome != outcome)
        for (const std::string& step : textOutcome) outcome.push_back("from text in memory: " + step);
    if (!pathsDifference.empty()) outcome.push_back("the paths part at " + pathsDifference);
    return outcome;
}

// Each 8-bit character as one little-endian 16-bit unit (Latin-1 to UTF-16).
std::string Utf16(const std::string& latin1) {
    std::string bytes;
    for (char c : latin1) {
        bytes += c;
        bytes += '\0';
    }
    return bytes;
}

const std::string kMark = "\xFF\xFE";


// A TAB is printable on Windows, and so in the line text of an error on every platform.
const std::string kTab = "\\u0009";

struct FormatCase {
    const char* name;
    std::string input;
    Outcome expected;
};

const std::string kWorkedExample =
    "1.4.2\r\n"
    "1.0.2A.FF=\"data\\\\in\\tend\"\r\n"
    "1.0.2A.100=\r\n"
    "; added by hand\r\n"
    "   1.0.2B.1=\"-1\"\r\n"
    "!OPTIONS CAN_IGNORE\r\n"
    "color = blue\r\n"
    "!END\r\n"
    "!TEST CAN_IGNORE\r\n"
    "check point 1\r\n"
    "!END\r\n";

const std::string kOpenTest = "1.0\r\n!TEST CAN_IGNORE\r\n";
const std::string kOpenIgnored = "1.0\r\n!X CAN_IGNORE\r\n";

TEST(ReaderFormat, BothEncodings) {
    const std::vector<FormatCase> cases = {
        {"worked example", kWorkedExample,
         {"v[1.4.2]", "p[1.0.2A.FF][data\\\\in\\u0009end]", "s[1.0.2A.100]", ";[ added by hand]", "p[1.0.2B.1][-1]",
          "i[color = blue]", "t[check point 1]"}},
        // lines and line break runs
        {"blank lines only", "\r\n\r\n", {"parse@2[]Expected: Numeric digit"}},
        {"comment before the version", "; c\r\n1.0\r\n", {"parse@1[;]Expected: Numeric digit"}},
        {"blank before the version", " 1.0\r\n", {"parse@1[ ]Expected: Numeric digit"}},
        {"blank line then indented version", "\r\n  1.0\r\n", {"v[1.0]"}},
        {"LF alone is white space", "1.0\n1.0.0.1=\"a\"\n", {"v[1.0]", "parse@1[1.0]Expected: Hex digit"}},
        {"CR alone ends lines", "1.0\r1.0.0.1=\"a\"\r2.0.0.2=\r", {"v[1.0]", "p[1.0.0.1][a]", "s[2.0.0.2]"}},
        {"blank and white-only lines are swallowed", "1.0\r\n\r\n \t \r\n\r  1.0.0.1=\"a\"\r\n",
         {"v[1.0]", "p[1.0.0.1][a]"}},
        {"line numbers count every CR", "1.0\r\n\r\n\r\n1.0.0.1=\"a\"\r\n  2.0.0.2=x",
         {"v[1.0]", "p[1.0.0.1][a]", "parse@5[  2.0.0.2=x]Expected: \""}},
        {"TAB is in the line text only where printable", "1.0\r\n\t1.0.0.1=x",
         {"v[1.0]", "parse@2[" + kTab + "1.0.0.1=x]Expected: \""}},
        {"U+001A ends the input", "1.0\r\n1.0.0.1=\"a\"\x1A" "2.0.0.2=junk", {"v[1.0]", "p[1.0.0.1][a]"}},
        {"U+001A with a section open", "1.0\r\n!X CAN_IGNORE\r\n\x1A!END\r\n",
         {"v[1.0]", "parse@2[!X CAN_IGNORE]Expected: END statement"}},
        // last line without line end
        {"version", "1.0", {"v[1.0]"}},
        {"quoted value", "1.0\r\n1.0.0.1=\"a\"", {"v[1.0]", "p[1.0.0.1][a]"}},
        {"section statement", "1.0\r\n!X CAN_IGNORE\r\n!END", {"v[1.0]"}},
        {"empty assignment needs its line end", "1.0\r\n1.0.0.1=", {"v[1.0]", "parse@2[1.0.0.1=]Expected: \""}},
        {"comment", "1.0\r\n;last", {"v[1.0]", ";[last]"}},
        {"test line", "1.0\r\n!TEST CAN_IGNORE\r\nx",
         {"v[1.0]", "t[x]", "parse@3[x]Expected: END statement"}},
        // version statement
        {"digit groups of any length", "0001.99999999999999999999\r\n", {"v[0001.99999999999999999999]"}},
        {"four groups", "1.4.2.7\r\n", {"v[1.4.2]", "parse@1[1.4.2.]Expected: Hex digit"}},
        {"one group", "1\r\n", {"parse@1[1]Expected: ."}},
        {"group missing after the dot", "1.\r\n", {"parse@1[1.]Expected: Numeric digit"}},
        {"UTF-8 mark is not recognised", "\xEF\xBB\xBF" "1.0\r\n", {"parse@1[\\u00EF]Expected: Numeric digit"}},
        {"a second version is a tag assignment", "1.0\r\n1.0\r\n", {"v[1.0]", "parse@2[1.0]Expected: ."}},
        {"comment right after the version", "1.0;c\r\n", {"v[1.0]", ";[c]"}},
        // tag assignments
        {"identifier as written", "1.0\r\n0001.0.2a.fF=\"x\"\r\n", {"v[1.0]", "p[0001.0.2a.fF][x]"}},
        {"three groups", "1.0\r\n1.0.2=\"x\"\r\n", {"v[1.0]", "parse@2[1.0.2=]Expected: ."}},
        {"five groups", "1.0\r\n1.0.2.3.4=\"x\"\r\n", {"v[1.0]", "parse@2[1.0.2.3.]Expected: ="}},
        {"white around =", "1.0\r\n1.0.0.1 \t= \t\"x\"\r\n", {"v[1.0]", "p[1.0.0.1][x]"}},
        {"white then line end is empty", "1.0\r\n1.0.0.1  =  \r\n", {"v[1.0]", "s[1.0.0.1]"}},
        {"no = before the line end", "1.0\r\n1.0.0.1\r\n", {"v[1.0]", "parse@2[1.0.0.1]Expected: ="}},
        {"value without quotes", "1.0\r\n1.0.0.1=abc\r\n", {"v[1.0]", "parse@2[1.0.0.1=a]Expected: \""}},
        {"not a hex digit", "1.0\r\nG.0.0.1=\"x\"\r\n", {"v[1.0]", "parse@2[G]Expected: Hex digit"}},
        {"non-ASCII after the last group", "1.0\r\n1.0.0.1\xE9=\"x\"\r\n", {"v[1.0]", "parse@2[1.0.0.1\\u00E9]Expected: ="}},
        {"blank after the closing quote", "1.0\r\n1.0.0.1=\"a\" \r\n",
         {"v[1.0]", "p[1.0.0.1][a]", "parse@2[1.0.0.1=\"a\" ]Expected: Hex digit"}},
        {"two statements on one line", "1.0\r\n1.0.0.1=\"a\"2.0.0.2=\"b\"\r\n",
         {"v[1.0]", "p[1.0.0.1][a]", "p[2.0.0.2][b]"}},
        // quoted values and escapes
        {"every escape", "1.0\r\n1.0.0.1=\"\\\\ \\\" \\n\\N \\r\\R \\t\\T\"\r\n",
         {"v[1.0]", "p[1.0.0.1][\\\\ \" \\u000A\\u000A \\u000D\\u000D \\u0009\\u0009]"}},
        {"\\x is refused", "1.0\r\n1.0.0.1=\"a\\x41\"\r\n",
         {"v[1.0]", "parse@2[1.0.0.1=\"a\\\\x]Expected: Escaped character (BACKSLASH, N, T, R, QUOTE)"}},
        {"backslash at the end of input", "1.0\r\n1.0.0.1=\"a\\",
         {"v[1.0]", "parse@2[1.0.0.1=\"a\\\\]Expected: Escaped character (BACKSLASH, N, T, R, QUOTE)"}},
        {"raw TAB", "1.0\r\n1.0.0.1=\"a\tb\"\r\n", {"v[1.0]", "parse@2[1.0.0.1=\"a" + kTab + "]Expected: Closing quote"}},
        {"DEL", "1.0\r\n1.0.0.1=\"a\x7F\"\r\n", {"v[1.0]", "parse@2[1.0.0.1=\"a]Expected: Closing quote"}},
        {"C1 control", "1.0\r\n1.0.0.1=\"a\x85\"\r\n", {"v[1.0]", "parse@2[1.0.0.1=\"a]Expected: Closing quote"}},
        {"closing quote missing on its line", "1.0\r\n1.0.0.1=\"abc\r\n2.0.0.2=\"x\"\r\n",
         {"v[1.0]", "parse@2[1.0.0.1=\"abc]Expected: Closing quote"}},
        {"closing quote missing at the end of input", "1.0\r\n1.0.0.1=\"abc",
         {"v[1.0]", "parse@2[1.0.0.1=\"abc]Expected: Closing quote"}},
        {"long value, closing quote missing at the end of input", "1.0\r\n1.0.0.1=\"" + std::string(40, 'c'),
         {"v[1.0]", "parse@2[1.0.0.1=\"" + std::string(40, 'c') + "]Expected: Closing quote"}},
        {"long value with an escape far in", "1.0\r\n1.0.0.1=\"" + std::string(20, 'a') + "\\t" + std::string(20, 'b') + "\"\r\n",
         {"v[1.0]", "p[1.0.0.1][" + std::string(20, 'a') + "\\u0009" + std::string(20, 'b') + "]"}},
        {"non-ASCII characters stand as themselves", "1.0\r\n1.0.0.1=\"caf\xE9 \xA0;\"\r\n",
         {"v[1.0]", "p[1.0.0.1][caf\\u00E9 \\u00A0;]"}},
        // comments
        {"directly after a closing quote", "1.0\r\n1.0.0.1=\"a\";note\r\n", {"v[1.0]", "p[1.0.0.1][a]", ";[note]"}},
        {"blank before the ;", "1.0\r\n1.0.0.1=\"a\" ;note\r\n",
         {"v[1.0]", "p[1.0.0.1][a]", "parse@2[1.0.0.1=\"a\" ]Expected: Hex digit"}},
        {"white space kept", "1.0\r\n;  two  \t\r\n", {"v[1.0]", ";[  two  \\u0009]"}},
        {"empty comment", "1.0\r\n;\r\n", {"v[1.0]", ";[]"}},
        {"a null character ends the text", "1.0\r\n;a" + std::string(1, '\0') + "b\r\n", {"v[1.0]", ";[a]"}},
        {"recognised in ignored and test sections", "1.0\r\n!X CAN_IGNORE\r\n;a\r\n!END\r\n!TEST CAN_IGNORE\r\n;b\r\n!END",
         {"v[1.0]", ";[a]", ";[b]"}},
        // sections where lines are processed
        {"!END with none open", "1.0\r\n!END\r\n", {"v[1.0]", "parse@2[!END]Expected: Unexpected END"}},
        {"TEST CAN_IGNORE opens a test section", "1.0\r\n!TEST CAN_IGNORE\r\n a b \r\n!END\r\n",
         {"v[1.0]", "t[a b ]"}},
        {"TEST MUST_UNDERSTAND opens a test section", "1.0\r\n!TEST MUST_UNDERSTAND\r\nab\r\n!END\r\n",
         {"v[1.0]", "t[ab]"}},
        {"name CAN_IGNORE opens an ignored section", "1.0\r\n!X_1 CAN_IGNORE\r\n1.0.0.1=bad\r\n!END\r\n",
         {"v[1.0]", "i[1.0.0.1=bad]"}},
        {"name END", "1.0\r\n!OPTIONS END\r\n", {"v[1.0]", "unexpected@2[!OPTIONS END]Unexpected directive"}},
        {"white inside the statement", "1.0\r\n! X \t CAN_IGNORE\r\n!  END\r\n", {"v[1.0]"}},
        {"lower-case end is an identifier", "1.0\r\n!end CAN_IGNORE\r\nx\r\n!END\r\n", {"v[1.0]", "i[x]"}},
        {"letters and digits beyond ASCII as Windows classifies them", "1.0\r\n!CAF\xC9\xB2 CAN_IGNORE\r\n!END\r\n",
         {"v[1.0]"}},
        {"identifier beginning with _", "1.0\r\n!_X CAN_IGNORE\r\n",
         {"v[1.0]", "parse@2[!_]Expected: Name character (A-Z, 0-9, _)"}},
        {"directive missing", "1.0\r\n!end\r\n", {"v[1.0]", "parse@2[!end]Expected: Name character (A-Z, 0-9, _)"}},
        {"unknown directive", "1.0\r\n!X MAYBE\r\n",
         {"v[1.0]", "parse@2[!X MAYBE]Expected: Section directive, one of CAN_IGNORE, MUST_UNDERSTAND, END."}},
        {"section left open", "1.0\r\n!X CAN_IGNORE\r\n", {"v[1.0]", "parse@2[!X CAN_IGNORE]Expected: END statement"}},
        // sections where lines are tested
        {"name MUST_UNDERSTAND", kOpenTest + "!X MUST_UNDERSTAND\r\n",
         {"v[1.0]", "newer@3[!X MUST_UNDERSTAND]Section is not understood"}},
        {"name END", kOpenTest + "!X END\r\n", {"v[1.0]", "unexpected@3[!X END]Unexpected directive"}},
        {"TEST END", kOpenTest + "!TEST END\r\n", {"v[1.0]", "unexpected@3[!TEST END]Unexpected directive"}},
        {"nested test and ignored sections", kOpenTest + "!TEST CAN_IGNORE\r\na\r\n!X CAN_IGNORE\r\nb\r\n!END\r\n!END\r\nc\r\n!END\r\n",
         {"v[1.0]", "t[a]", "i[b]", "t[c]"}},
        {"the rest of a statement's line is a test line", "1.0\r\n!TEST CAN_IGNORE x \r\n!END\r\n",
         {"v[1.0]", "t[ x ]"}},
        // sections where lines are ignored
        {"every statement opens a further ignored level",
         kOpenIgnored + "!Y MUST_UNDERSTAND\r\n!TEST END\r\n!Z END\r\n!TEST CAN_IGNORE\r\nline\r\n!END\r\n!END\r\n!END\r\n!END\r\n!END\r\n",
         {"v[1.0]", "i[line]"}},
        {"levels are counted", kOpenIgnored + "!Y CAN_IGNORE\r\n!END\r\nstill ignored\r\n!END\r\n1.0.0.1=\"p\"\r\n",
         {"v[1.0]", "i[still ignored]", "p[1.0.0.1][p]"}},
        {"directive still validated", kOpenIgnored + "!Y MAYBE\r\n",
         {"v[1.0]", "parse@3[!Y MAYBE]Expected: Section directive, one of CAN_IGNORE, MUST_UNDERSTAND, END."}},
        {"names still validated", kOpenIgnored + "!_Y CAN_IGNORE\r\n",
         {"v[1.0]", "parse@3[!_]Expected: Name character (A-Z, 0-9, _)"}},
        {"ignored lines keep trailing white", kOpenIgnored + "  a = \"b\t \r\n!END\r\n", {"v[1.0]", "i[a = \"b\\u0009 ]"}},
    };
    for (const FormatCase& c : cases) {
        EXPECT_EQ(c.expected, ScanBytes(c.input)) << "8-bit: " << c.name;
        EXPECT_EQ(c.expected, ScanBytes(kMark + Utf16(c.input))) << "UTF-16: " << c.name;
    }
}

// The fuzzer compares the two paths on every input it makes; its seeds are
// compared here on every run.
TEST(ReaderPaths, FuzzCorpusReadsAlikeAlongBothPaths) {
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(QUORVEX_FUZZ_CORPUS)) {
#ifdef _WIN32
        const WString path = entry.path().native();
#else
        const WString path = CUtf8::ToUtf16(entry.path().native());
#endif
        CFileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(file.IsValid()) << entry.path();
        EXPECT_EQ("", readerpaths::CompareBothWays(file.Get())) << entry.path().filename();
        ++files;
    }
    EXPECT_GE(files, 27);
}

// Cases that depend on the encoding itself.
TEST(ReaderFormat, Encodings) {
    const std::vector<FormatCase> cases = {
        {"UTF-16 without the mark", Utf16("1.0\r\n1.0.0.1=\"a\"\r\n"), {"v[1.0]", "p[1.0.0.1][a]"}},
        {"mark only", kMark, {"parse@1[]Expected: TagSpec version number"}},
        {"odd last byte dropped", kMark + Utf16("1.0\r\n1.0.0.1=\"a\"") + "X", {"v[1.0]", "p[1.0.0.1][a]"}},
        {"odd last byte forms no CR", kMark + Utf16("1.0\r\n1.0.0.1=") + "\x0D",
         {"v[1.0]", "parse@2[1.0.0.1=]Expected: \""}},
        {"surrogate pair is two characters", kMark + Utf16("1.0\r\n1.0.0.1=\"") + std::string("\x3D\xD8\x00\xDE", 4) + Utf16("\"\r\n"),
         {"v[1.0]", "p[1.0.0.1][\\uD83D\\uDE00]"}},
    };
    for (const FormatCase& c : cases) EXPECT_EQ(c.expected, ScanBytes(c.input)) << c.name;
}

TEST(ReaderFormat, BigEndianIsRefusedAtTheFirstStatement) {
    const std::string bigEndian = "\xFE\xFF" + std::string("\0" "1\0.\0" "0\0\r\0\n", 10);
    const Outcome outcome = ScanBytes(bigEndian);
    ASSERT_EQ(1u, outcome.size());
    EXPECT_EQ(0u, outcome[0].find("parse@1[")) << outcome[0];
    EXPECT_NE(std::string::npos, outcome[0].find("]Expected: Numeric digit")) << outcome[0];
}

// ---- Line ends

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
        {"end-of-input in a later block", std::string(21, '\r') + "\x1A\r\r", 21},
        {"UTF-16 with mark", kMark + Utf16("1.0\r\n1\r2\n"), 2},
        {"UTF-16 without mark", Utf16("1.0.0\r\n1.0.0.1 = \"x\"\r\n"), 2},
        // U+010D and U+0D0A hold a CR byte but are not line ends.
        {"UTF-16 units with a CR byte", kMark + std::string("\x0D\x01\x0A\x0D\x0D\x00", 6), 1},
        {"UTF-16 over several blocks", kMark + Utf16(std::string(20, '\r')) + std::string("\x0D\x01\x0A\x0D", 4) + Utf16("\r"), 21},
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
        error = ShowError("parse", e);
    }
    EXPECT_EQ("parse@" + std::to_string(nTags + 2) + "[1.0.0.1 = \"open]Expected: Closing quote", error);
    EXPECT_EQ(nTags + 2, reader.CountLineEnds());
}

}  // namespace

// ---- Text in memory, and the line of each token

// Each token as its character and the line its statement begins on.
std::vector<std::string> TokenLines(const std::string& bytes) {
    CConfigReader reader(INVALID_HANDLE_VALUE);
    if (FAILED(reader.InitFromText(reinterpret_cast<const BYTE*>(bytes.data()), bytes.size()))) return {"Init failed"};
    std::vector<std::string> lines;
    for (;;) {
        CBstr name, value;
        const WCHAR token = reader.Scan(name.Out(), value.Out());
        if (token == CConfigReader::TOKEN_END_OF_FILE) return lines;
        lines.push_back(std::string(1, static_cast<char>(token)) + "@" + std::to_string(reader.TokenLine()));
    }
}

TEST(ConfigReaderText, TokenLinesInBothEncodings) {
    const struct {
        const char* name;
        std::string text;
        std::vector<std::string> expected;
    } cases[] = {
        {"worked example", kWorkedExample, {"v@1", "p@2", "s@3", ";@4", "p@5", "i@7", "t@10"}},
        {"blank lines before the version and between tags", "\r\n\r\n1.0\r\n\r\n1.0.0.1=\"a\"\r\n\r\n\r\n1.0.0.2=\r\n",
         {"v@3", "p@5", "s@8"}},
        {"a comment directly after a tag shares its line", "1.0\r\n1.0.0.1=\"a\";c\r\n1.0.0.2=\r\n",
         {"v@1", "p@2", ";@2", "s@3"}},
        {"CR alone ends a line, as CR LF does", "1.0\r1.0.0.1=\"a\"\r\n\r1.0.0.2=\r", {"v@1", "p@2", "s@4"}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.expected, TokenLines(c.text)) << c.name << " (8-bit)";
        EXPECT_EQ(c.expected, TokenLines(kMark + Utf16(c.text))) << c.name << " (UTF-16)";
    }
}
