// Helpers for tests of the logging library: temporary files, environment
// variables set for a scope, and running the log probe program.
#pragma once
#include "platform/Platform.h"

#include <string>
#include <vector>

namespace logtest {

// A unique file name in the temporary folder; the file is deleted at the end.
class CTempFile {
public:
    CTempFile();
    ~CTempFile();
    CTempFile(const CTempFile&) = delete;
    CTempFile& operator=(const CTempFile&) = delete;
    const std::wstring& Path() const { return m_strPath; }
    void Write(const std::string& bytes) const;
    std::string ReadBytes() const;

private:
    std::wstring m_strPath;
};

// Sets (or, with null, removes) an environment variable until the end of scope.
class CScopedEnvironment {
public:
    CScopedEnvironment(const wchar_t* name, const wchar_t* value);
    ~CScopedEnvironment();
    CScopedEnvironment(const CScopedEnvironment&) = delete;
    CScopedEnvironment& operator=(const CScopedEnvironment&) = delete;

private:
    std::wstring m_strName;
    std::wstring m_strPrevious;
    bool m_bHadValue;
};

// Runs LogProbe.exe (beside this program) with the argument; its exit code,
// or -1 when it could not be started.
int RunLogProbe(const std::wstring& argument);

// The file's UTF-8 lines as wide strings, without their CR LF ends.
std::vector<std::wstring> SplitLogLines(const std::string& utf8);

// The folder this program runs from, with a trailing backslash.
std::wstring ProgramFolder();

}  // namespace logtest
