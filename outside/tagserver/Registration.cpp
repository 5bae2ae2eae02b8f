#include "Registration.h"

#include "Module.h"
#include "TagServerLib.h"
#include "TypeInfoCache.h"
#include "platform/ComPtr.h"
#include "platform/Win32Error.h"

#include <utility>

namespace tagserver {
namespace {

const wchar_t kProgId[] = L"Quorvex3.TagServer";
const wchar_t kDescription[] = L"Quorvex3 reference tag server";

// An open registry key, closed on every path.
class CRegistryKey {
public:
    CRegistryKey() = default;
    CRegistryKey(const CRegistryKey&) = delete;
    CRegistryKey& operator=(const CRegistryKey&) = delete;
    ~CRegistryKey() {
        if (m_hKey) RegCloseKey(m_hKey);
    }
    HKEY* Out() { return &m_hKey; }
    HKEY Get() const { return m_hKey; }

private:
    HKEY m_hKey = nullptr;
};

WString GuidText(REFGUID guid) {
    wchar_t text[40];
    StringFromGUID2(guid, text, 40);
    return text;
}

// Writes the string value (null name: the key's default value), creating the key.
HRESULT SetString(const WString& keyPath, const wchar_t* name, const WString& value) {
    CRegistryKey key;
    LONG result = RegCreateKeyExW(HKEY_CLASSES_ROOT, keyPath.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                  KEY_WRITE, nullptr, key.Out(), nullptr);
    if (result == ERROR_SUCCESS)
        result = RegSetValueExW(key.Get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    return HRESULT_FROM_WIN32(result);
}

HRESULT DeleteTree(const WString& keyPath) {
    const LONG result = RegDeleteTreeW(HKEY_CLASSES_ROOT, keyPath.c_str());
    return result == ERROR_FILE_NOT_FOUND ? S_OK : HRESULT_FROM_WIN32(result);
}

HRESULT RegisterClassKeys(const WString& modulePath) {
    const WString classKey = L"CLSID\\" + GuidText(CLSID_TagServer);
    const std::pair<WString, std::pair<const wchar_t*, WString>> values[] = {
        {classKey, {nullptr, kDescription}},
        {classKey + L"\\InprocServer32", {nullptr, modulePath}},
        {classKey + L"\\InprocServer32", {L"ThreadingModel", L"Both"}},
        {classKey + L"\\ProgID", {nullptr, kProgId}},
        {classKey + L"\\TypeLib", {nullptr, GuidText(LIBID_QuorvexTagServer)}},
        {classKey + L"\\Version", {nullptr, L"1.0"}},
        {kProgId, {nullptr, kDescription}},
        {WString(kProgId) + L"\\CLSID", {nullptr, GuidText(CLSID_TagServer)}},
    };
    for (const auto& value : values) {
        const HRESULT hr = SetString(value.first, value.second.first, value.second.second);
        if (FAILED(hr)) return hr;
    }
    return S_OK;
}

HRESULT RegisterTypeLibrary(const WString& modulePath) {
    CComPtr<ITypeLib> library;
    const HRESULT hr = CTypeInfoCache::LoadLibrary(library.Out());
    if (FAILED(hr)) return hr;
    return RegisterTypeLib(library.Get(), const_cast<LPOLESTR>(modulePath.c_str()), nullptr);
}

}  // namespace

HRESULT CRegistration::Register() {
    try {
        const WString modulePath = CModule::FileName();
        if (modulePath.empty()) return HResultFromLastError();
        const HRESULT hr = RegisterClassKeys(modulePath);
        return FAILED(hr) ? hr : RegisterTypeLibrary(modulePath);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

HRESULT CRegistration::Unregister() {
    try {
        const SYSKIND kind = sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32;
        // A type library that is not registered is no failure here.
        UnRegisterTypeLib(LIBID_QuorvexTagServer, 1, 0, LOCALE_NEUTRAL, kind);
        const HRESULT hr = DeleteTree(L"CLSID\\" + GuidText(CLSID_TagServer));
        return FAILED(hr) ? hr : DeleteTree(kProgId);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

}  // namespace tagserver
