// A file in the temporary folder holding given bytes, deleted when the owner
// goes. Written through the platform API so the same tests run everywhere.
#pragma once
#include "platform/FileHandle.h"
#include "platform/Platform.h"

#include <atomic>
#include <string>

#ifndef _WIN32
#include <cstdlib>
#include <unistd.h>
#endif

namespace testsupport {

class CTempFile {
public:
    explicit CTempFile(const std::string& bytes) : m_path(UniquePath()) {
        CFileHandle file(CreateFileW(m_path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                     nullptr));
        DWORD written = 0;
        WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    }
    CTempFile(const CTempFile&) = delete;
    CTempFile& operator=(const CTempFile&) = delete;
    ~CTempFile() { DeleteFileW(m_path.c_str()); }

    CFileHandle OpenForReading() const {
        return CFileHandle(CreateFileW(m_path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
    }

    // A path in the temporary folder that no other test uses.
    static WString UniquePath() {
        static std::atomic<unsigned> counter{0};
        const std::string name = "quorvex-test-" + std::to_string(ProcessId()) + "-" + std::to_string(++counter) +
                                 ".cfg";
        return TempFolder() + WString(name.begin(), name.end());
    }

private:
#ifdef _WIN32
    static unsigned long ProcessId() { return GetCurrentProcessId(); }
    static WString TempFolder() {
        WCHAR folder[MAX_PATH + 1] = {};
        GetTempPathW(MAX_PATH + 1, folder);
        return folder;
    }
#else
    static unsigned long ProcessId() { return static_cast<unsigned long>(getpid()); }
    static WString TempFolder() {
        const char* dir = std::getenv("TMPDIR");
        std::string folder = dir && *dir ? dir : "/tmp";
        if (folder.back() != '/') folder += '/';
        return WString(folder.begin(), folder.end());  // ASCII folder names only
    }
#endif

    WString m_path;
};

}  // namespace testsupport
