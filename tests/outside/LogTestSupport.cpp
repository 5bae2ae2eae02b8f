#include "LogTestSupport.h"

#include "platform/FileHandle.h"

namespace logtest {

std::wstring ProgramFolder() {
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, length);
    return folder.substr(0, folder.find_last_of(L'\\') + 1);
}

CTempFile::CTempFile() {
    wchar_t folder[MAX_PATH];
    wchar_t name[MAX_PATH];
    GetTempPathW(MAX_PATH, folder);
    GetTempFileNameW(folder, L"qlg", 0, name);  // creates the file empty
    m_strPath = name;
}

CTempFile::~CTempFile() { DeleteFileW(m_strPath.c_str()); }

void CTempFile::Write(const std::string& bytes) const {
    CFileHandle file(CreateFileW(m_strPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

std::string CTempFile::ReadBytes() const {
    CFileHandle file(CreateFileW(m_strPath.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsValid()) return std::string();
    std::string bytes(GetFileSize(file.Get(), nullptr), '\0');
    DWORD read = 0;
    if (!bytes.empty()) ReadFile(file.Get(), &bytes[0], static_cast<DWORD>(bytes.size()), &read, nullptr);
    bytes.resize(read);
    return bytes;
}

CScopedEnvironment::CScopedEnvironment(const wchar_t* name, const wchar_t* value)
    : m_strName(name), m_bHadValue(false) {
    wchar_t previous[1024];
    const DWORD length = GetEnvironmentVariableW(name, previous, 1024);
    if (length > 0 && length < 1024) {
        m_bHadValue = true;
        m_strPrevious.assign(previous, length);
    }
    SetEnvironmentVariableW(name, value);
}

CScopedEnvironment::~CScopedEnvironment() {
    SetEnvironmentVariableW(m_strName.c_str(), m_bHadValue ? m_strPrevious.c_str() : nullptr);
}

int RunLogProbe(const std::wstring& argument) {
    std::wstring commandLine = L"\"" + ProgramFolder() + L"LogProbe.exe\" " + argument;
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process))
        return -1;
    CFileHandle processHandle(process.hProcess);
    CFileHandle threadHandle(process.hThread);
    WaitForSingleObject(process.hProcess, 60000);
    DWORD exitCode = static_cast<DWORD>(-1);
    GetExitCodeProcess(process.hProcess, &exitCode);
    return static_cast<int>(exitCode);
}

std::vector<std::wstring> SplitLogLines(const std::string& utf8) {
    std::vector<std::wstring> lines;
    size_t start = 0;
    while (start < utf8.size()) {
        size_t end = utf8.find("\r\n", start);
        if (end == std::string::npos) end = utf8.size();
        const int length = static_cast<int>(end - start);
        std::wstring line(length, L'\0');
        const int units = MultiByteToWideChar(CP_UTF8, 0, utf8.data() + start, length, &line[0], length);
        line.resize(units);
        lines.push_back(line);
        start = end + 2;
    }
    return lines;
}

}  // namespace logtest
