#include "server/RegistryView.h"

#include "platform/UniqueResource.h"

namespace {

// The flag that opens the other view, or 0 where there is none: a 32-bit
// process outside WoW64 would be given its own view for KEY_WOW64_64KEY.
REGSAM OtherViewFlag() {
#ifdef _WIN64
    return KEY_WOW64_32KEY;
#else
    BOOL underWow64 = FALSE;
    return IsWow64Process(GetCurrentProcess(), &underWow64) && underWow64 ? KEY_WOW64_64KEY : 0;
#endif
}

}  // namespace

WString ClassKeyName(REFCLSID clsid) {
    WCHAR text[39] = {};
    StringFromGUID2(clsid, text, 39);
    return WString(L"CLSID\\") + text;
}

bool OtherViewRegistersClass(REFCLSID clsid) {
    const REGSAM otherView = OtherViewFlag();
    if (!otherView) return false;
    CUniqueResource<CRegKeyTraits> key;
    return RegOpenKeyExW(HKEY_CLASSES_ROOT, (ClassKeyName(clsid) + L"\\InprocServer32").c_str(), 0,
                         KEY_READ | otherView, key.Out()) == ERROR_SUCCESS;
}
