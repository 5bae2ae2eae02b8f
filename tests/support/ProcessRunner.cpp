#include "tests/support/ProcessRunner.h"

#include "platform/Utf8.h"

namespace testsupport {

WString ProgramPath() {
    WCHAR path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    return path;
}

WString ProgramFolder() {
    const WString path = ProgramPath();
    return path.substr(0, path.find_last_of(L"\\/") + 1);
}

WString Quorvex3Path() { return ProgramFolder() + L"Quorvex3.dll"; }

HRESULT Quorvex3CanUnloadNow() {
    using CanUnloadNow = HRESULT(STDAPICALLTYPE*)();
    const HMODULE server = GetModuleHandleW(L"Quorvex3.dll");
    auto pfn = reinterpret_cast<CanUnloadNow>(reinterpret_cast<void*>(GetProcAddress(server, "DllCanUnloadNow")));
    return server && pfn ? pfn() : E_UNEXPECTED;
}

CFileHandle StartProgram(const WString& commandLine, const WString& folder) {
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    WString line = commandLine;
    if (!CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr,
                        folder.empty() ? nullptr : folder.c_str(), &startup, &process))
        return CFileHandle();
    CloseHandle(process.hThread);
    return CFileHandle(process.hProcess);
}

DWORD ExitCodeOf(const CFileHandle& process, DWORD waitMilliseconds) {
    WaitForSingleObject(process.Get(), waitMilliseconds);
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(process.Get(), &code);
    return code;
}

DWORD RunProgram(const WString& commandLine, const WString& folder) {
    const CFileHandle process = StartProgram(commandLine, folder);
    return process.IsValid() ? ExitCodeOf(process) : static_cast<DWORD>(-1);
}

WString EnvironmentVariable(const wchar_t* name) {
    WCHAR value[MAX_PATH] = {};
    return GetEnvironmentVariableW(name, value, MAX_PATH) ? value : L"";
}

std::string Narrow(const WString& text) { return CUtf8::FromUtf16(text); }

}  // namespace testsupport
