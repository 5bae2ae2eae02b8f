#include "contracts/Log.h"

#include "LogTestSupport.h"
#include "platform/ComPtr.h"

#include <gtest/gtest.h>

#include <regex>
#include <set>

using logtest::CScopedEnvironment;
using logtest::CTempFile;

namespace {

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

std::vector<LogLine> RunProbeInto(const CTempFile& file, const wchar_t* level, const wchar_t* mode) {
    CScopedEnvironment logFile(L"QUORVEX_LOG", file.Path().c_str());
    CScopedEnvironment logLevel(L"QUORVEX_LOG_LEVEL", level);
    EXPECT_EQ(0, logtest::RunLogProbe(mode));
    std::vector<LogLine> lines;
    for (const std::wstring& line : logtest::SplitLogLines(file.ReadBytes())) lines.push_back(ParseLine(line));
    return lines;
}

TEST(LogInstance, NullExactlyWhileUnavailableIsOne) {
    const struct {
        const wchar_t* value;
        bool available;
    } cases[] = {{nullptr, true}, {L"1", false}, {L"0", true}, {L"", true}, {L"yes", true}};
    for (const auto& c : cases) {
        CScopedEnvironment unavailable(L"QUORVEX_LOG_UNAVAILABLE", c.value);
        utilities::CLog* first = utilities::CLog::GetInstance();
        EXPECT_EQ(c.available, first != nullptr) << "QUORVEX_LOG_UNAVAILABLE=" << (c.value ? c.value : L"(unset)");
        EXPECT_EQ(first, utilities::CLog::GetInstance()) << "one instance per process";
    }
    EXPECT_TRUE(FAILED(utilities::CLog::InitError));
}

TEST(LogInstance, ExceptionKeepsItsCodeThroughCopiesAndBaseClass) {
    try {
        throw utilities::CLog::log_exception(utilities::CLog::InitError);
    } catch (const std::exception& error) {
        const auto* logError = dynamic_cast<const utilities::CLog::log_exception*>(&error);
        ASSERT_NE(nullptr, logError);
        const utilities::CLog::log_exception copy(*logError);
        EXPECT_EQ(utilities::CLog::InitError, copy.m_nCode);
    }
}

TEST(LogFile, EachKindOfLineIsWrittenAsFormatted) {
    CTempFile file;
    const std::vector<LogLine> lines = RunProbeInto(file, nullptr, L"lines");
    const std::vector<LogLine> expected = {
        {L"INFO", L"Quorvex", L"ready text 100%s %d stays as it is"},
        {L"INFO", L"Quorvex", L"Opening/Creating configuration file C:\\data\\a b.cfg"},
        {L"ERROR", L"Quorvex", L"d=-42 u=4000000000 c=Z x=0000beef"},
        {L"ERROR", L"Other", L"plain error"},
        {L"DEBUG1", L"Quorvex", L"debug at 1"},
        {L"DEBUG2", L"Quorvex", L"debug at 2"},
        {L"DEBUG3", L"Quorvex", L"debug at 3"},
        {L"DEBUG4", L"Quorvex", L"debug at 4"},
        {L"DEBUG5", L"Quorvex", L"debug at 5"},
        {L"DEBUG6", L"Quorvex", L"debug at 6"},
        {L"DEBUG7", L"Quorvex", L"debug at 7"},
        {L"DEBUG8", L"Quorvex", L"debug at 8"},
        {L"DEBUG8", L"Quorvex", L"Terminated"},
    };
    ASSERT_EQ(expected.size(), lines.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(expected[i].level, lines[i].level) << "line " << i;
        EXPECT_EQ(expected[i].source, lines[i].source) << "line " << i;
        EXPECT_EQ(expected[i].text, lines[i].text) << "line " << i;
    }
    const std::string bytes = file.ReadBytes();
    EXPECT_NE(std::string::npos, bytes.find(" INFO  Quorvex  ready text"));
    EXPECT_EQ("\r\n", bytes.substr(bytes.size() - 2));
}

TEST(LogFile, DebugLevelVariableSetsMostVerboseLevelWritten) {
    const struct {
        const wchar_t* value;
        long mostVerbose;
    } cases[] = {{nullptr, 8}, {L"3", 3}, {L"0", 0}, {L"10", 10}, {L"12", 10}, {L"-1", 0}, {L"junk", 8}, {L"4x", 8}};
    for (const auto& c : cases) {
        CTempFile file;
        long highest = 0;
        size_t debugLines = 0;
        for (const LogLine& line : RunProbeInto(file, c.value, L"lines")) {
            if (line.text.rfind(L"debug at ", 0) != 0) continue;
            ++debugLines;
            highest = std::stol(line.text.substr(9));
        }
        const std::wstring label = c.value ? c.value : L"(unset)";
        EXPECT_EQ(c.mostVerbose, highest) << "QUORVEX_LOG_LEVEL=" << label;
        EXPECT_EQ(static_cast<size_t>(c.mostVerbose), debugLines) << "QUORVEX_LOG_LEVEL=" << label;
    }
}

TEST(LogFile, AppendsAfterWhatTheFileHolds) {
    CTempFile file;
    file.Write("earlier line\r\n");
    CScopedEnvironment logFile(L"QUORVEX_LOG", file.Path().c_str());
    CScopedEnvironment logLevel(L"QUORVEX_LOG_LEVEL", L"0");
    ASSERT_EQ(0, logtest::RunLogProbe(L"lines"));
    const std::vector<std::wstring> lines = logtest::SplitLogLines(file.ReadBytes());
    ASSERT_EQ(5u, lines.size());
    EXPECT_EQ(L"earlier line", lines[0]);
}

TEST(LogFile, LinesOfConcurrentThreadsStayWhole) {
    CTempFile file;
    const std::vector<LogLine> lines = RunProbeInto(file, nullptr, L"threads");
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
    CScopedEnvironment logFile(L"QUORVEX_LOG", L"C:\\no such folder\\q.log");
    EXPECT_EQ(0, logtest::RunLogProbe(L"lines"));
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
        ASSERT_EQ(0u, text.rfind(c.code, 0)) << testing::PrintToString(text);
        if (!c.systemHasText) {
            EXPECT_EQ(c.code, text);
            continue;
        }
        ASSERT_GT(text.size(), 12u) << testing::PrintToString(text);
        EXPECT_EQ(L' ', text[10]);
        EXPECT_EQ(std::wstring::npos, text.find_first_of(L"\r\n")) << testing::PrintToString(text);
        EXPECT_NE(L' ', text.back());
    }
}

CComPtr<IErrorInfo> MakeErrorInfo(const wchar_t* description) {
    CComPtr<ICreateErrorInfo> create;
    EXPECT_EQ(S_OK, CreateErrorInfo(create.Out()));
    create->SetDescription(const_cast<LPOLESTR>(description));
    CComPtr<IErrorInfo> info;
    create.QueryInterface(IID_IErrorInfo, info);
    return info;
}

TEST(ErrorInfoTest, ReportsWithoutTakingTheThreadsErrorInformation) {
    SetErrorInfo(0, nullptr);
    EXPECT_FALSE(utility::testIErrorInfoGenerated());
    EXPECT_FALSE(utility::testIErrorInfoGenerated());

    CComPtr<IErrorInfo> set = MakeErrorInfo(L"set by the tag server");
    ASSERT_TRUE(set);
    SetErrorInfo(0, set.Get());
    EXPECT_TRUE(utility::testIErrorInfoGenerated());
    EXPECT_TRUE(utility::testIErrorInfoGenerated()) << "the first test must leave it in place";

    CComPtr<IErrorInfo> kept;
    ASSERT_EQ(S_OK, GetErrorInfo(0, kept.Out()));
    EXPECT_EQ(set.Get(), kept.Get());
    EXPECT_FALSE(utility::testIErrorInfoGenerated()) << "GetErrorInfo above took it";
}

TEST(VersionInfoTest, FixedFieldsOfAModulesVersionResource) {
    HMODULE library = GetModuleHandleW(L"QuorvexLog.dll");
    ASSERT_NE(nullptr, library);
    utility::CVersionInfo version;
    version.setModule(library);
    EXPECT_EQ(QUORVEX_EXPECTED_PRODUCT_VERSION, version.getVersionInfoFixedValue(utility::eFIXED_PRODUCT_VERSION));
    EXPECT_EQ(QUORVEX_EXPECTED_LOG_FILE_VERSION, version.getVersionInfoFixedValue(utility::eFIXED_FILE_VERSION));
    const std::wstring path = version.getModuleFileName();
    EXPECT_EQ(logtest::ProgramFolder() + L"QuorvexLog.dll", path);
}

TEST(VersionInfoTest, ModuleWithoutVersionResourceGivesEmptyText) {
    HMODULE program = GetModuleHandleW(nullptr);
    utility::CVersionInfo version;
    version.setModule(program);
    EXPECT_EQ(L"", version.getVersionInfoFixedValue(utility::eFIXED_PRODUCT_VERSION));
    EXPECT_EQ(L"", version.getVersionInfoFixedValue(utility::eFIXED_FILE_VERSION));
    EXPECT_EQ(logtest::ProgramFolder() + L"outside_log_tests.exe", version.getModuleFileName());
}

}  // namespace
