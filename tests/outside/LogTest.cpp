// What Quorvex3 relies on of the logging library: the line format, the
// debug level, whole lines from concurrent threads, and HRESULT texts.
#include "contracts/Log.h"

#include "tests/support/ComTestSupport.h"

#include <gtest/gtest.h>

#include <regex>
#include <set>

using namespace testsupport;

namespace {

// Sets (or, with null, removes) an environment variable until the end of scope.
class CScopedEnvironment {
public:
    CScopedEnvironment(const wchar_t* name, const wchar_t* value) : m_strName(name) {
        wchar_t previous[1024];
        const DWORD length = GetEnvironmentVariableW(name, previous, 1024);
        m_bHadValue = length > 0 && length < 1024;
        if (m_bHadValue) m_strPrevious.assign(previous, length);
        SetEnvironmentVariableW(name, value);
    }
    ~CScopedEnvironment() { SetEnvironmentVariableW(m_strName.c_str(), m_bHadValue ? m_strPrevious.c_str() : nullptr); }
    CScopedEnvironment(const CScopedEnvironment&) = delete;
    CScopedEnvironment& operator=(const CScopedEnvironment&) = delete;

private:
    std::wstring m_strName;
    std::wstring m_strPrevious;
    bool m_bHadValue;
};

// Runs LogProbe.exe (beside this program) with QUORVEX_LOG naming the file;
// the file's lines as wide strings, without their CR LF ends.
std::vector<std::wstring> RunProbeInto(const WString& file, const wchar_t* level, const wchar_t* mode) {
    CScopedEnvironment logFile(L"QUORVEX_LOG", file.c_str());
    CScopedEnvironment logLevel(L"QUORVEX_LOG_LEVEL", level);
    EXPECT_EQ(0u, RunProgram(L"\"" + ProgramFolder() + L"LogProbe.exe\" " + mode));
    const std::string utf8 = ReadBytes(file);
    std::vector<std::wstring> lines;
    for (size_t start = 0; start < utf8.size();) {
        size_t end = utf8.find("\r\n", start);
        if (end == std::string::npos) end = utf8.size();
        const int length = static_cast<int>(end - start);
        std::wstring line(length, L'\0');
        line.resize(MultiByteToWideChar(CP_UTF8, 0, utf8.data() + start, length, &line[0], length));
        lines.push_back(line);
        start = end + 2;
    }
    return lines;
}

struct LogLine {
    std::wstring level;
    std::wstring source;
    std::wstring text;
};

// Splits "yyyy-mm-dd hh:mm:ss.mmm LEVEL source  text"; a line of any other
// shape fails the test.
LogLine ParseLine(const std::wstring& line) {
    static const std::wregex shape(
        L"^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3} (INFO |ERROR|DEBUG\\d+) (\\S+)  (.*)$");
    std::wsmatch match;
    if (!std::regex_match(line, match, shape)) {
        ADD_FAILURE() << "malformed log line: " << testing::PrintToString(line);
        return {};
    }
    std::wstring level = match[1].str();
    while (!level.empty() && level.back() == L' ') level.pop_back();
    return {level, match[2].str(), match[3].str()};
}

std::vector<LogLine> ProbeLines(const WString& file, const wchar_t* level, const wchar_t* mode, size_t skip = 0) {
    std::vector<LogLine> lines;
    for (const std::wstring& line : RunProbeInto(file, level, mode))
        if (skip > 0)
            --skip;
        else
            lines.push_back(ParseLine(line));
    return lines;
}

TEST(LogFile, EachKindOfLineIsAppendedAsFormatted) {
    CTempFolder folder;
    const WString file = folder.File(L"q.log");
    ASSERT_TRUE(WriteBytes(file, "earlier line\r\n"));
    const std::vector<LogLine> lines = ProbeLines(file, nullptr, L"lines", 1);
    std::vector<LogLine> expected = {
        {L"INFO", L"Quorvex", L"ready text 100%s %d stays as it is"},
        {L"INFO", L"Quorvex", L"Opening/Creating configuration file C:\\data\\a b.cfg"},
        {L"ERROR", L"Quorvex", L"d=-42 u=4000000000 c=Z x=0000beef"},
        {L"ERROR", L"Other", L"plain error"},
    };
    for (int level = 1; level <= 8; ++level)
        expected.push_back({L"DEBUG" + std::to_wstring(level), L"Quorvex", L"debug at " + std::to_wstring(level)});
    expected.push_back({L"DEBUG8", L"Quorvex", L"Terminated"});
    ASSERT_EQ(expected.size(), lines.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(expected[i].level, lines[i].level) << "line " << i;
        EXPECT_EQ(expected[i].source, lines[i].source) << "line " << i;
        EXPECT_EQ(expected[i].text, lines[i].text) << "line " << i;
    }
    const std::string bytes = ReadBytes(file);
    EXPECT_EQ(0u, bytes.find("earlier line\r\n"));
    EXPECT_NE(std::string::npos, bytes.find(" INFO  Quorvex  ready text"));
    EXPECT_EQ("\r\n", bytes.substr(bytes.size() - 2));
}

TEST(LogFile, DebugLevelVariableSetsMostVerboseLevelWritten) {
    const struct {
        const wchar_t* value;
        long mostVerbose;
    } cases[] = {{nullptr, 8}, {L"3", 3}, {L"0", 0}, {L"10", 10}, {L"12", 10}, {L"-1", 0}, {L"junk", 8}, {L"4x", 8}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.value ? c.value : L"(unset)")));
        CTempFolder folder;
        std::vector<long> levels;
        for (const LogLine& line : ProbeLines(folder.File(L"q.log"), c.value, L"lines"))
            if (line.text.rfind(L"debug at ", 0) == 0) levels.push_back(std::stol(line.text.substr(9)));
        EXPECT_EQ(static_cast<size_t>(c.mostVerbose), levels.size());
        EXPECT_EQ(c.mostVerbose, levels.empty() ? 0 : levels.back());
    }
}

TEST(LogFile, LinesOfConcurrentThreadsStayWhole) {
    CTempFolder folder;
    const std::vector<LogLine> lines = ProbeLines(folder.File(L"q.log"), nullptr, L"threads");
    ASSERT_EQ(4u * 250u, lines.size());
    const std::wregex text(L"thread (\\d) line (\\d+) x{300} end");
    std::set<std::wstring> seen;
    for (const LogLine& line : lines) {
        std::wsmatch match;
        ASSERT_TRUE(std::regex_match(line.text, match, text)) << testing::PrintToString(line.text);
        EXPECT_TRUE(seen.insert(match[1].str() + L"/" + match[2].str()).second) << "line written twice";
    }
}

TEST(LogFile, UnopenableFileLeavesDebuggerOutputOnly) {
    EXPECT_TRUE(RunProbeInto(L"C:\\no such folder\\q.log", nullptr, L"lines").empty());
}

TEST(HResultText, CodeInEightUpperHexDigitsThenSystemText) {
    const struct {
        HRESULT hr;
        const wchar_t* code;
        bool systemHasText;
    } cases[] = {
        {HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), L"0x80070002", true},
        {E_INVALIDARG, L"0x80070057", true},
        {E_OUTOFMEMORY, L"0x8007000E", true},
        {static_cast<HRESULT>(0xA00F1234), L"0xA00F1234", false},
    };
    for (const auto& c : cases) {
        const std::wstring text = utility::genHResultAsString(c.hr);
        SCOPED_TRACE(testing::PrintToString(text));
        ASSERT_EQ(0u, text.rfind(c.code, 0));
        if (!c.systemHasText) {
            EXPECT_EQ(c.code, text);
            continue;
        }
        ASSERT_GT(text.size(), 12u);
        EXPECT_EQ(L' ', text[10]);
        EXPECT_EQ(std::wstring::npos, text.find_first_of(L"\r\n"));
        EXPECT_NE(L' ', text.back());
    }
}

}  // namespace
