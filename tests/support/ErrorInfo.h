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

}  // namespace testsupport
