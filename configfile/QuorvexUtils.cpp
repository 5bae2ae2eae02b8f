#include "configfile/QuorvexUtils.h"

#include "server/Module.h"

namespace Quorvex_Utils {

const wchar_t* GetResourceString(int id) {
    // One buffer per thread: concurrent failures on other threads cannot
    // overwrite a text this thread is still formatting. A plain array needs
    // no constructor or destructor, so no per-thread registration either.
    static thread_local wchar_t ResourceString[256];
    ResourceString[0] = L'\0';
    LoadStringW(_Module.GetResourceInstance(), static_cast<UINT>(id), ResourceString, 256);
    return ResourceString;
}

CSysErrorMessage::~CSysErrorMessage() {
    if (m_pszMessage) LocalFree(m_pszMessage);
}

const wchar_t* CSysErrorMessage::GetMessageString(unsigned long code) {
    if (m_bLookedUp) return m_pszMessage;
    m_bLookedUp = true;
    const DWORD flags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
    if (FormatMessageW(flags, nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                       reinterpret_cast<LPWSTR>(&m_pszMessage), 0, nullptr) == 0)
        m_pszMessage = nullptr;
    return m_pszMessage;
}

}  // namespace Quorvex_Utils
