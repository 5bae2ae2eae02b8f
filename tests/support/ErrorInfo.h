// The calling thread's error information as a test sees it.
#pragma once
#include "platform/Platform.h"

namespace testsupport {

struct CErrorSnapshot {
    bool bPresent = false;
    WString strDescription;
    WString strSource;
    GUID guid = GUID_NULL;
};
// Takes (and so clears) the thread's error information.
CErrorSnapshot TakeErrorInfo();
void ClearErrorInfo();
// An HRESULT as the log and error descriptions begin it: "0x80070005".
WString HexCode(HRESULT hr);

}  // namespace testsupport
