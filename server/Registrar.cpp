#include "server/Registrar.h"

#include "server/RegKey.h"
#include "platform/Win32Error.h"

#include <vector>

namespace {

// Keys that other classes share: kept while anything is still under them.
bool IsSharedKeyName(const WString& name) {
    return lstrcmpiW(name.c_str(), L"CLSID") == 0 || lstrcmpiW(name.c_str(), L"TYPELIB") == 0;
}

HRESULT LoadResourceText(HMODULE hModule, UINT nID, const WCHAR* szType, WString& text) {
    HRSRC hResource = FindResourceW(hModule, MAKEINTRESOURCEW(nID), szType);
    if (!hResource) return HResultFromLastError();
    HGLOBAL hData = LoadResource(hModule, hResource);
    if (!hData) return HResultFromLastError();
    const DWORD size = SizeofResource(hModule, hResource);
    const char* bytes = static_cast<const char*>(LockResource(hData));
    if (!bytes) return HResultFromLastError();
    std::vector<char> terminated(bytes, bytes + size);
    terminated.push_back('\0');
    const int chars = MultiByteToWideChar(CP_ACP, 0, terminated.data(), -1, nullptr, 0);
    if (chars <= 0) return HResultFromLastError();
    std::vector<WCHAR> wide(chars);
    MultiByteToWideChar(CP_ACP, 0, terminated.data(), -1, wide.data(), chars);
    text.assign(wide.data());
    return S_OK;
}

}  // namespace

CRegistrar::CRegistrar() {
    MapRoot(L"HKCR", HKEY_CLASSES_ROOT);
    MapRoot(L"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT);
    MapRoot(L"HKCU", HKEY_CURRENT_USER);
    MapRoot(L"HKEY_CURRENT_USER", HKEY_CURRENT_USER);
    MapRoot(L"HKLM", HKEY_LOCAL_MACHINE);
    MapRoot(L"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE);
    MapRoot(L"HKU", HKEY_USERS);
    MapRoot(L"HKEY_USERS", HKEY_USERS);
}

void CRegistrar::MapRoot(const WString& name, HKEY hKey) { m_roots[ToUpper(name)] = hKey; }

HRESULT CRegistrar::ResourceRegister(const WString& modulePath, UINT nID, const WCHAR* szType, BOOL bRegister) {
    const CLoadedModule module(LoadLibraryExW(modulePath.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    if (!module.IsValid()) return HResultFromLastError();
    WString text;
    HRESULT hr = LoadResourceText(module.Get(), nID, szType, text);
    if (FAILED(hr)) return hr;
    return ApplyScript(text, bRegister);
}

HRESULT CRegistrar::ApplyScript(const WString& text, BOOL bRegister) {
    HRESULT hr = m_script.Parse(text);
    if (FAILED(hr)) return hr;
    for (const CRegistryRoot& root : m_script.Roots()) {
        HKEY hRoot = nullptr;
        hr = FindRoot(root.strName, hRoot);
        if (FAILED(hr)) return hr;
        for (const CRegistryKey& key : root.keys) {
            if (bRegister) {
                hr = RegisterKey(hRoot, key);
                if (FAILED(hr)) return hr;
            } else {
                UnregisterKey(hRoot, key);
            }
        }
    }
    return S_OK;
}

HRESULT CRegistrar::FindRoot(const WString& name, HKEY& hKey) const {
    auto found = m_roots.find(ToUpper(name));
    if (found == m_roots.end()) return DISP_E_EXCEPTION;
    hKey = found->second;
    return S_OK;
}

HRESULT CRegistrar::RegisterKey(HKEY hParent, const CRegistryKey& key) {
    if (key.bForceRemove) {
        const LONG deleted = RegDeleteTreeW(hParent, key.strName.c_str());
        if (deleted != ERROR_SUCCESS && deleted != ERROR_FILE_NOT_FOUND) return HResultFromWin32Error(deleted);
    }
    CRegKey regKey;
    LONG error = regKey.Create(hParent, key.strName);
    if (error == ERROR_SUCCESS && key.bHasDefault) error = regKey.SetStringValue(nullptr, key.strDefault);
    for (const CRegistryValue& value : key.values) {
        if (error != ERROR_SUCCESS) break;
        error = regKey.SetStringValue(value.strName.c_str(), value.strData);
    }
    if (error != ERROR_SUCCESS) return HResultFromWin32Error(error);
    for (const CRegistryKey& subkey : key.subkeys) {
        HRESULT hr = RegisterKey(regKey.Get(), subkey);
        if (FAILED(hr)) return hr;
    }
    return S_OK;
}

void CRegistrar::UnregisterKey(HKEY hParent, const CRegistryKey& key) {
    CRegKey regKey;
    if (regKey.Open(hParent, key.strName) != ERROR_SUCCESS) return;
    for (const CRegistryKey& subkey : key.subkeys) UnregisterKey(regKey.Get(), subkey);
    for (const CRegistryValue& value : key.values) RegDeleteValueW(regKey.Get(), value.strName.c_str());
    const bool keep = key.bNoRemove || (IsSharedKeyName(key.strName) && regKey.HasSubkeys());
    regKey.Close();
    if (!keep) RegDeleteTreeW(hParent, key.strName.c_str());
}
