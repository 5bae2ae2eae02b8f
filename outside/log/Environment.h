// Reading this process's environment variables.
#pragma once
#include "platform/Platform.h"

namespace utilities {

// The variable's value; empty when it is not set.
WString ReadEnvironment(const wchar_t* name);

// The variable as a decimal number, or fallback when it is unset or not a number.
long ReadEnvironmentNumber(const wchar_t* name, long fallback);

}  // namespace utilities
