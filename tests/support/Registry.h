// The registry as registration tests read and prepare it: a missing key or value reads as not found.
#pragma once
#include "platform/Platform.h"

#include <vector>

namespace testsupport {

// view: 0 for the process's own registry view, or KEY_WOW64_32KEY / KEY_WOW64_64KEY.
bool KeyExists(HKEY root, const WString& path, REGSAM view = 0);
// The text of a REG_SZ value, or "<missing>".
WString ValueOf(HKEY root, const WString& path, const WCHAR* valueName = nullptr);
// The sorted names of a key's subkeys.
std::vector<WString> SubkeyNames(HKEY root, const WString& path);
// Creates the key if need be and sets a REG_SZ value in it; false when either fails.
bool SetValue(HKEY root, const WString& path, const WCHAR* valueName, const WString& value, REGSAM view = 0);

}  // namespace testsupport
