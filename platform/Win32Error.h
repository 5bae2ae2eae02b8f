// Turning the platform's error codes into HRESULTs.
#pragma once
#include "platform/Platform.h"

// A positive code becomes 0x80070000 with its low 16 bits; any other value
// is returned unchanged.
inline HRESULT HResultFromWin32Error(DWORD error) {
    const LONG code = static_cast<LONG>(error);
    return code > 0 ? static_cast<HRESULT>((code & 0x0000FFFF) | 0x80070000) : static_cast<HRESULT>(code);
}

// The failure the platform just reported. A call that failed without setting
// an error code is errorWhenNone, so that a failure never reads as success.
inline HRESULT HResultFromLastError(DWORD errorWhenNone = ERROR_GEN_FAILURE) {
    const DWORD error = GetLastError();
    return HResultFromWin32Error(error != NO_ERROR ? error : errorWhenNone);
}
