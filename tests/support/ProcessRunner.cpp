#include "tests/support/ProcessRunner.h"

#include "platform/FileHandle.h"
#include "platform/Utf8.h"

namespace testsupport {

WString ProgramFolder() {
    WCHAR path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    WString folder(path);
    return folder.substr(0, folder.find_last_of(L"\\/") + 1);
}

WString Quorvex3Path() { return ProgramFolder() + L"Quorvex3.dll"; }

DWORD RunProgram(const WString& commandLine, const WString& folder) {
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    WString line = commandLine;
    if (!CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr,
                        folder.empty() ? nullptr : folder.c_str(), &startup, &process))
        return static_cast<DWORD>(-1);
    const CFileHandle thread(process.hThread), owner(process.hProcess);
    WaitForSingleObject(owner.Get(), INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(owner.Get(), &code);
    return code;
}

std::string Narrow(const WString& text) { return CUtf8::FromUtf16(text); }

}  // namespace testsupport
