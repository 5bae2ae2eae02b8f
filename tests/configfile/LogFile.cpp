#include "tests/configfile/LogFile.h"

#include "tests/server/ComTestSupport.h"

using namespace testsupport;

namespace {

WString& LogPath() {
    static WString path;
    return path;
}

std::vector<std::string> AllLines() {
    std::vector<std::string> lines;
    const std::string bytes = ReadBytes(LogPath());
    size_t start = 0;
    while (start < bytes.size()) {
        size_t end = bytes.find("\r\n", start);
        if (end == std::string::npos) end = bytes.size();
        std::string line = bytes.substr(start, end - start);
        // "YYYY-MM-DD HH:MM:SS.mmm " comes first.
        lines.push_back(line.size() > 24 ? line.substr(24) : line);
        start = end + 2;
    }
    return lines;
}

}  // namespace

void CTestLog::Start() {
    WCHAR temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    LogPath() = WString(temp) + L"quorvex-test-log-" + std::to_wstring(GetCurrentProcessId()) + L".txt";
    DeleteFileW(LogPath().c_str());
    SetEnvironmentVariableW(L"QUORVEX_LOG", LogPath().c_str());
}

const WString& CTestLog::Path() { return LogPath(); }

size_t CTestLog::Mark() const { return AllLines().size(); }

std::vector<std::string> CTestLog::LinesSince(size_t mark) const {
    std::vector<std::string> lines = AllLines();
    return std::vector<std::string>(lines.begin() + std::min(mark, lines.size()), lines.end());
}
