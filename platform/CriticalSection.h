// A critical section that lives as long as its owner, and a scoped lock on it.
#pragma once
#include "platform/Platform.h"

class CComAutoCriticalSection {
public:
    CComAutoCriticalSection() { InitializeCriticalSection(&m_sec); }
    CComAutoCriticalSection(const CComAutoCriticalSection&) = delete;
    CComAutoCriticalSection& operator=(const CComAutoCriticalSection&) = delete;
    ~CComAutoCriticalSection() { DeleteCriticalSection(&m_sec); }

    void Lock() { EnterCriticalSection(&m_sec); }
    void Unlock() { LeaveCriticalSection(&m_sec); }

private:
    CRITICAL_SECTION m_sec;
};

class CCriticalSectionLock {
public:
    explicit CCriticalSectionLock(CComAutoCriticalSection& sec) : m_sec(sec) { m_sec.Lock(); }
    CCriticalSectionLock(const CCriticalSectionLock&) = delete;
    CCriticalSectionLock& operator=(const CCriticalSectionLock&) = delete;
    ~CCriticalSectionLock() { m_sec.Unlock(); }

private:
    CComAutoCriticalSection& m_sec;
};
