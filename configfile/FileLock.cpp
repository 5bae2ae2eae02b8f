#include "configfile/FileLock.h"

#include "configfile/FileLockName.h"

#include <sddl.h>

namespace {

// Everyone may wait on and release the lock, so that objects of other users
// and of services share it; no one may change it otherwise.
const wchar_t kEveryoneMayTakeIt[] = L"D:(A;;0x00100001;;;WD)";  // SYNCHRONIZE | MUTEX_MODIFY_STATE
const DWORD kTakerAccess = SYNCHRONIZE | MUTEX_MODIFY_STATE;

}  // namespace

bool CFileLock::Create(const wchar_t* path) {
    m_hMutex.Close();
    const WString name = CFileLockName::Of(path);
    if (name.empty()) return true;
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, nullptr, FALSE};
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(kEveryoneMayTakeIt, SDDL_REVISION_1,
                                                              &attributes.lpSecurityDescriptor, nullptr))
        return false;
    m_hMutex.Attach(CreateMutexExW(&attributes, name.c_str(), 0, kTakerAccess));
    const DWORD error = GetLastError();
    LocalFree(attributes.lpSecurityDescriptor);
    SetLastError(error);
    return m_hMutex.IsValid();
}

// A lock whose holder ended without releasing it (a killed process) is taken
// over: the file it guarded is whole either way.
CFileLock::CHold::CHold(const CFileLock& lock) : m_hMutex(lock.m_hMutex.Get()), m_bHeld(true) {
    if (!lock.m_hMutex.IsValid()) {
        m_hMutex = nullptr;
        return;
    }
    const DWORD waited = WaitForSingleObject(m_hMutex, kWaitMilliseconds);
    m_bHeld = waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;
    if (waited == WAIT_TIMEOUT) SetLastError(ERROR_SHARING_VIOLATION);
}

// Keeps the last error of what was done under the lock.
CFileLock::CHold::~CHold() {
    if (!m_bHeld || !m_hMutex) return;
    const DWORD error = GetLastError();
    ReleaseMutex(m_hMutex);
    SetLastError(error);
}
