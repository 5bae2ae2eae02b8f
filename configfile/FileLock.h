// The lock that ConfigFile objects of every process on the machine take for
// one configuration file: Open holds it around opening the file, and Write
// from letting go of the former file until it holds the new one, so that no
// object opens the file in the instant it is replaced.
#pragma once
#include "platform/FileHandle.h"

class CFileLock {
public:
    // How long a taker waits for an object that is replacing the file: longer
    // than a replace may take while another program delays it.
    static const DWORD kWaitMilliseconds = 3000;

    // The lock of the file at path, made if no process has it yet. A path
    // without a full form has no lock (nothing can open it either): true.
    // False, with the last error set, when the lock cannot be had.
    bool Create(const wchar_t* path);
    void Close() { m_hMutex.Close(); }

    // The lock taken for as long as it lives. Not taken within
    // kWaitMilliseconds: IsHeld is false, with ERROR_SHARING_VIOLATION as
    // the last error, as the file itself refuses a second opener.
    class CHold {
    public:
        explicit CHold(const CFileLock& lock);
        ~CHold();
        CHold(const CHold&) = delete;
        CHold& operator=(const CHold&) = delete;
        bool IsHeld() const { return m_bHeld; }

    private:
        HANDLE m_hMutex;
        bool m_bHeld;
    };

private:
    CFileHandle m_hMutex;  // null: no lock
};
