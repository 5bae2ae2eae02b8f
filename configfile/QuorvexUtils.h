// Small utilities every ConfigFile operation uses: the module's message
// strings and the system's message texts.
#pragma once
#include "platform/Platform.h"

namespace Quorvex_Utils {

// String-table text id of this module, at most 255 characters. Every call on
// a thread overwrites that thread's buffer: copy the text before the next call.
const wchar_t* GetResourceString(int id);

// Owns one message text that the system allocates.
class CSysErrorMessage {
public:
    CSysErrorMessage() = default;
    CSysErrorMessage(const CSysErrorMessage&) = delete;
    CSysErrorMessage& operator=(const CSysErrorMessage&) = delete;
    ~CSysErrorMessage();

    // The system's text for code, or null when it has none. The first call
    // looks it up; later calls return that first answer.
    const wchar_t* GetMessageString(unsigned long code);

private:
    wchar_t* m_pszMessage = nullptr;
    bool m_bLookedUp = false;
};

}  // namespace Quorvex_Utils
