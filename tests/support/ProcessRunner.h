// Programs beside the test program, run as the prefix runs them (under Wine,
// a Windows program started from a Windows program stays in the same prefix).
#pragma once
#include "platform/FileHandle.h"
#include "platform/Platform.h"

#include <string>

namespace testsupport {

// The running test program's path, and its folder with a trailing backslash.
WString ProgramPath();
WString ProgramFolder();
// Quorvex3.dll beside the test program.
WString Quorvex3Path();
// DllCanUnloadNow of the Quorvex3.dll loaded in this process, E_UNEXPECTED when none is.
HRESULT Quorvex3CanUnloadNow();

// Starts a program and gives its process, invalid when it cannot start.
CFileHandle StartProgram(const WString& commandLine, const WString& folder = WString());
// The exit code of a process once it has ended, STILL_ACTIVE after the wait.
DWORD ExitCodeOf(const CFileHandle& process, DWORD waitMilliseconds = INFINITE);
// Runs a program (e.g. regsvr32) and returns its exit code, or -1 when it cannot start.
DWORD RunProgram(const WString& commandLine, const WString& folder = WString());

// An environment variable's value, "" when it is not set.
WString EnvironmentVariable(const wchar_t* name);

std::string Narrow(const WString& text);

}  // namespace testsupport
