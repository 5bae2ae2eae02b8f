// What Quorvex3 relies on of the logging library: the line format, the debug
// level, and HRESULT texts.
#include "contracts/Log.h"

#include "tests/support/ComTestSupport.h"

#include <gtest/gtest.h>

#include <regex>

using namespace testsupport;

namespace {

// Runs LogProbe.exe with the log in file at the given debug level (null:
// unset); each line as "LEVEL|source|text". A line of another shape fails.
std::vector<std::string> ProbeLines(const WString& file, const wchar_t* level) {
    SetEnvironmentVariableW(L"QUORVEX_LOG", file.c_str());
    SetEnvironmentVariableW(L"QUORVEX_LOG_LEVEL", level);
    EXPECT_EQ(0u, RunProgram(L"\"" + ProgramFolder() + L"LogProbe.exe\""));
    static const std::regex shape(
        "^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3} (INFO |ERROR|DEBUG\\d+) (\\S+)  (.*)$");
    const std::string bytes = ReadBytes(file);
    std::vector<std::string> lines;
    for (size_t start = 0, end; (end = bytes.find("\r\n", start)) != std::string::npos; start = end + 2) {
        const std::string line = bytes.substr(start, end - start);
        std::smatch match;
        if (!std::regex_match(line, match, shape)) ADD_FAILURE() << "malformed log line: " << line;
        std::string kind = match[1].str();
        if (!kind.empty() && kind.back() == ' ') kind.pop_back();
        lines.push_back(kind + "|" + match[2].str() + "|" + match[3].str());
    }
    return lines;
}

// Each kind of line is appended as formatted, debug lines up to the level the
// variable sets (an unset or unreadable one meaning 8, a higher one 10).
TEST(LogFile, EachKindOfLineIsAppendedUpToTheDebugLevel) {
    const struct {
        const wchar_t* value;
        int mostVerbose;
    } cases[] = {{nullptr, 8}, {L"3", 3}, {L"0", 0}, {L"10", 10}, {L"12", 10}, {L"-1", 0}, {L"junk", 8}, {L"4x", 8},
                 {L" +5\t", 5}, {L"99999999999999999999", 10}, {L"\uFF15", 8}, {L"-", 8}};
    for (const auto& c : cases) {
        CTempFolder folder;
        const WString file = folder.File(L"q.log");
        ASSERT_TRUE(WriteBytes(file, "1999-01-01 00:00:00.000 INFO  Quorvex  earlier line\r\n"));
        std::vector<std::string> expected = {
            "INFO|Quorvex|earlier line",
            "INFO|Quorvex|ready text 100%s %d stays as it is",
            "INFO|Quorvex|Opening/Creating configuration file C:\\data\\a b.cfg",
            "ERROR|Quorvex|d=-42 u=4000000000 c=Z x=0000beef",
            "ERROR|Other|plain error",
        };
        for (int level = 1; level <= c.mostVerbose; ++level)
            expected.push_back("DEBUG" + std::to_string(level) + "|Quorvex|debug at " + std::to_string(level));
        EXPECT_EQ(expected, ProbeLines(file, c.value))
            << testing::PrintToString(std::wstring(c.value ? c.value : L"-"));
    }
    EXPECT_TRUE(ProbeLines(L"C:\\no such folder\\q.log", nullptr).empty()) << "an unopenable file is skipped";
}

TEST(HResultText, CodeInEightUpperHexDigitsThenSystemText) {
    const struct {
        HRESULT hr;
        const wchar_t* code;
        bool systemHasText;
    } cases[] = {{HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), L"0x80070002 ", true},
                 {E_OUTOFMEMORY, L"0x8007000E ", true},
                 {static_cast<HRESULT>(0xA00F1234), L"0xA00F1234", false}};
    for (const auto& c : cases) {
        const std::wstring text = utility::genHResultAsString(c.hr);
        EXPECT_EQ(0u, text.rfind(c.code, 0)) << testing::PrintToString(text);
        EXPECT_EQ(c.systemHasText, text.size() > 12);
        EXPECT_EQ(std::wstring::npos, text.find_first_of(L"\r\n"));
        EXPECT_NE(L' ', text.back());
    }
}

}  // namespace
