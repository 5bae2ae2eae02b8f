#include "tests/support/LogFile.h"

#include "platform/Utf8.h"
#include "tests/support/TempFolder.h"

namespace testsupport {
namespace {

WString g_strLogPath;

// The time stamp comes first, then the level padded to five and the source.
CLogLine ParseLine(const WString& line) {
    const size_t stampLength = 24;
    const WString source = L" Quorvex  ";
    const size_t sourceAt = line.size() < stampLength ? WString::npos : line.find(source, stampLength);
    if (sourceAt == WString::npos) return {L"", line};
    WString level = line.substr(stampLength, sourceAt - stampLength);
    while (!level.empty() && level.back() == L' ') level.pop_back();
    return {level, line.substr(sourceAt + source.size())};
}

}  // namespace

void PrintTo(const CLogLine& line, std::ostream* os) {
    const WString text = line.level + L" " + line.text;
    *os << std::string(text.begin(), text.end());
}

CLogLine Info(const WString& text) { return {L"INFO", text}; }
CLogLine Error(const WString& text) { return {L"ERROR", text}; }

CTestLogFile::CTestLogFile() {
    WCHAR temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    g_strLogPath = WString(temp) + L"quorvex-test-" + std::to_wstring(GetCurrentProcessId()) + L".log";
    DeleteFileW(g_strLogPath.c_str());
    SetEnvironmentVariableW(L"QUORVEX_LOG", g_strLogPath.c_str());
}

CTestLogFile::~CTestLogFile() { DeleteFileW(g_strLogPath.c_str()); }

CLogWatch::CLogWatch() : m_nStart(ReadBytes(g_strLogPath).size()) {}

std::vector<CLogLine> CLogWatch::NewLines() const {
    const std::string all = ReadBytes(g_strLogPath);
    const std::string bytes = all.size() > m_nStart ? all.substr(m_nStart) : std::string();
    std::vector<CLogLine> lines;
    size_t begin = 0;
    for (size_t end = bytes.find("\r\n"); end != std::string::npos; end = bytes.find("\r\n", begin)) {
        lines.push_back(ParseLine(CUtf8::ToUtf16(bytes.substr(begin, end - begin))));
        begin = end + 2;
    }
    return lines;
}

}  // namespace testsupport
