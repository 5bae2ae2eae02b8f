// Programs beside the test program, run as the prefix runs them (under Wine,
// a Windows program started from a Windows program stays in the same prefix).
#pragma once
#include "platform/Platform.h"

#include <string>

namespace testsupport {

// Folder of the running test program, with a trailing backslash.
WString ProgramFolder();
// Quorvex3.dll beside the test program.
WString Quorvex3Path();

// Runs a program (e.g. regsvr32) and returns its exit code, or -1 when it cannot start.
DWORD RunProgram(const WString& commandLine, const WString& folder = WString());

std::string Narrow(const WString& text);

}  // namespace testsupport
