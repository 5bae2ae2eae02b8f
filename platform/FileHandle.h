// Owner of one file handle: closed on every path.
#pragma once
#include "platform/Platform.h"

#include <utility>

class CFileHandle {
public:
    CFileHandle() = default;
    explicit CFileHandle(HANDLE h) : m_h(h) {}
    CFileHandle(const CFileHandle&) = delete;
    CFileHandle& operator=(const CFileHandle&) = delete;
    CFileHandle(CFileHandle&& other) noexcept : m_h(other.Detach()) {}
    CFileHandle& operator=(CFileHandle&& other) noexcept { Attach(other.Detach()); return *this; }
    ~CFileHandle() { Attach(INVALID_HANDLE_VALUE); }

    HANDLE Get() const { return m_h; }
    bool IsValid() const { return m_h != INVALID_HANDLE_VALUE && m_h != nullptr; }
    void Attach(HANDLE h) { if (h != m_h) { if (IsValid()) CloseHandle(m_h); m_h = h; } }
    HANDLE Detach() { return std::exchange(m_h, INVALID_HANDLE_VALUE); }
    void Close() { Attach(INVALID_HANDLE_VALUE); }

private:
    HANDLE m_h = INVALID_HANDLE_VALUE;
};
