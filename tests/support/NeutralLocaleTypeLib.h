// Wine's marshaler for type-library described interfaces looks only under
// locale 0 for the library's path, while our libraries are registered under
// 0x0409, so advising a sink (which marshals it into the global interface
// table) fails there with E_FAIL. While it lives, this gives the registered
// path under locale 0 as well; Windows needs no such entry.
#pragma once
#include "platform/Platform.h"

namespace testsupport {

class CNeutralLocaleTypeLibEntry {
public:
    explicit CNeutralLocaleTypeLibEntry(const GUID& libid) {
        WCHAR szLibid[40] = {};
        StringFromGUID2(libid, szLibid, 40);
        const WString strVersion = WString(L"TypeLib\\") + szLibid + L"\\1.0";
        const WString strPlatform = sizeof(void*) == 8 ? L"\\win64" : L"\\win32";
        m_strLocaleKey = strVersion + L"\\0";
        WCHAR szPath[MAX_PATH] = {};
        LONG cb = sizeof(szPath);
        HKEY hExisting = nullptr;
        if (RegQueryValueW(HKEY_CLASSES_ROOT, (strVersion + L"\\409" + strPlatform).c_str(), szPath, &cb) !=
            ERROR_SUCCESS)
            return;
        if (RegOpenKeyExW(HKEY_CLASSES_ROOT, m_strLocaleKey.c_str(), 0, KEY_READ, &hExisting) == ERROR_SUCCESS) {
            RegCloseKey(hExisting);  // someone else's entry: left alone
            return;
        }
        m_bCreated =
            RegSetValueW(HKEY_CLASSES_ROOT, (m_strLocaleKey + strPlatform).c_str(), REG_SZ, szPath, 0) == ERROR_SUCCESS;
    }
    CNeutralLocaleTypeLibEntry(const CNeutralLocaleTypeLibEntry&) = delete;
    CNeutralLocaleTypeLibEntry& operator=(const CNeutralLocaleTypeLibEntry&) = delete;
    ~CNeutralLocaleTypeLibEntry() {
        if (m_bCreated) RegDeleteTreeW(HKEY_CLASSES_ROOT, m_strLocaleKey.c_str());
    }

private:
    WString m_strLocaleKey;
    bool m_bCreated = false;
};

}  // namespace testsupport
