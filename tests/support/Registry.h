// Registry reading for registration tests: a missing key or value reads as not found.
#pragma once
#include "platform/Platform.h"

#include <vector>

namespace testsupport {

bool KeyExists(HKEY root, const WString& path);
bool ReadString(HKEY root, const WString& path, const WCHAR* valueName, WString& value);
std::vector<WString> SubkeyNames(HKEY root, const WString& path);
std::vector<WString> ValueNames(HKEY root, const WString& path);

}  // namespace testsupport
