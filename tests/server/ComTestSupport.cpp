#include "tests/server/ComTestSupport.h"

#include "platform/FileHandle.h"

#include <algorithm>

namespace testsupport {

WString ProgramFolder() {
    WCHAR path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    WString folder(path);
    return folder.substr(0, folder.find_last_of(L"\\/") + 1);
}

WString Quorvex3Path() { return ProgramFolder() + L"Quorvex3.dll"; }

CErrorSnapshot TakeErrorInfo() {
    CErrorSnapshot snapshot;
    CComPtr<IErrorInfo> pInfo;
    if (GetErrorInfo(0, pInfo.Out()) != S_OK || !pInfo) return snapshot;
    snapshot.bPresent = true;
    CBstr text;
    if (SUCCEEDED(pInfo->GetDescription(text.Out()))) snapshot.strDescription = text.ToString();
    if (SUCCEEDED(pInfo->GetSource(text.Out()))) snapshot.strSource = text.ToString();
    pInfo->GetGUID(&snapshot.guid);
    return snapshot;
}

void ClearErrorInfo() { SetErrorInfo(0, nullptr); }

CTempFolder::CTempFolder(const WString& prefix) {
    WCHAR temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    static LONG counter = 0;
    for (;;) {
        m_strPath = WString(temp) + prefix + L"-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                    std::to_wstring(InterlockedIncrement(&counter));
        if (CreateDirectoryW(m_strPath.c_str(), nullptr)) break;
    }
}

namespace {

void DeleteTree(const WString& folder) {
    WIN32_FIND_DATAW data;
    HANDLE hFind = FindFirstFileW((folder + L"\\*").c_str(), &data);
    if (hFind != INVALID_HANDLE_VALUE) {
        do {
            const WString name = data.cFileName;
            if (name == L"." || name == L"..") continue;
            const WString path = folder + L"\\" + name;
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                DeleteTree(path);
            else {
                SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(path.c_str());
            }
        } while (FindNextFileW(hFind, &data));
        FindClose(hFind);
    }
    RemoveDirectoryW(folder.c_str());
}

}  // namespace

CTempFolder::~CTempFolder() { DeleteTree(m_strPath); }

bool FileExists(const WString& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool WriteBytes(const WString& path, const std::string& bytes) {
    CFileHandle file(
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    return file.IsValid() && WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size();
}

std::string ReadBytes(const WString& path) {
    CFileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
    std::string bytes;
    char buffer[4096];
    DWORD read = 0;
    while (file.IsValid() && ReadFile(file.Get(), buffer, sizeof buffer, &read, nullptr) && read > 0)
        bytes.append(buffer, read);
    return bytes;
}

bool KeyExists(HKEY root, const WString& path) {
    HKEY h = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS) return false;
    RegCloseKey(h);
    return true;
}

bool ReadString(HKEY root, const WString& path, const WCHAR* valueName, WString& value) {
    WCHAR data[2048] = {};
    DWORD bytes = sizeof data - sizeof(WCHAR);
    DWORD type = 0;
    HKEY h = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS) return false;
    const LONG error = RegQueryValueExW(h, valueName, nullptr, &type, reinterpret_cast<BYTE*>(data), &bytes);
    RegCloseKey(h);
    if (error != ERROR_SUCCESS || type != REG_SZ) return false;
    value.assign(data, wcsnlen(data, bytes / sizeof(WCHAR)));
    return true;
}

namespace {

// The sorted names of a key's subkeys or values.
std::vector<WString> Names(HKEY root, const WString& path, bool values) {
    std::vector<WString> names;
    HKEY h = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS) return names;
    WCHAR name[256];
    for (DWORD i = 0, length = 256;
         (values ? RegEnumValueW(h, i, name, &length, nullptr, nullptr, nullptr, nullptr)
                 : RegEnumKeyExW(h, i, name, &length, nullptr, nullptr, nullptr, nullptr)) == ERROR_SUCCESS;
         ++i, length = 256)
        names.emplace_back(name, length);
    RegCloseKey(h);
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace

std::vector<WString> SubkeyNames(HKEY root, const WString& path) { return Names(root, path, false); }
std::vector<WString> ValueNames(HKEY root, const WString& path) { return Names(root, path, true); }

DWORD RunProgram(const WString& commandLine, const WString& folder) {
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    WString line = commandLine;
    if (!CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr,
                        folder.empty() ? nullptr : folder.c_str(), &startup, &process))
        return static_cast<DWORD>(-1);
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return code;
}

std::string Narrow(const WString& text) {
    if (text.empty()) return std::string();
    const int bytes =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string narrow(bytes, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &narrow[0], bytes, nullptr, nullptr);
    return narrow;
}

}  // namespace testsupport
