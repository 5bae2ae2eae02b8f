#include "LogFile.h"

#include <string>

namespace utilities {
namespace {

std::string ToUtf8(const WString& text) {
    if (text.empty()) return std::string();
    const int length = static_cast<int>(text.size());
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
    std::string utf8(bytes, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), length, &utf8[0], bytes, nullptr, nullptr);
    return utf8;
}

HANDLE OpenForAppending(const WString& path) {
    if (path.empty()) return INVALID_HANDLE_VALUE;
    // Shared for reading and writing: other processes may log to the same file
    // and readers may watch it while it grows.
    return CreateFileW(path.c_str(), FILE_APPEND_DATA,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

CLogFile::CLogFile(const WString& path) : m_hFile(OpenForAppending(path)) {}

void CLogFile::Append(const WString& line) {
    if (!IsOpen()) return;
    const std::string bytes = ToUtf8(line);
    CCriticalSectionLock lock(m_lock);
    DWORD written = 0;
    WriteFile(m_hFile.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

}  // namespace utilities
