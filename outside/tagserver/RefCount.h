// A thread-safe reference count; the owner deletes itself when it reaches 0.
#pragma once
#include "platform/Platform.h"

namespace tagserver {

class CRefCount {
public:
    ULONG Increment() { return static_cast<ULONG>(InterlockedIncrement(&m_nCount)); }
    ULONG Decrement() { return static_cast<ULONG>(InterlockedDecrement(&m_nCount)); }

private:
    LONG m_nCount = 0;
};

}  // namespace tagserver
