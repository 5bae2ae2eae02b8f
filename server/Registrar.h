// Applies a registrar script to the registry, in either direction.
#pragma once
#include "server/RegistryScript.h"

#include <map>

class CRegistrar {
public:
    CRegistrar();

    void AddReplacement(const WString& name, const WString& value) { m_script.AddReplacement(name, value); }
    // Makes a root name of the script stand for hKey (HKCR and friends are known).
    void MapRoot(const WString& name, HKEY hKey);

    // Applies resource nID of type szType of the module file at modulePath,
    // loaded as data only. The resource is 8-bit text of the system code page.
    HRESULT ResourceRegister(const WString& modulePath, UINT nID, const WCHAR* szType, BOOL bRegister);
    HRESULT ApplyScript(const WString& text, BOOL bRegister);

private:
    HRESULT FindRoot(const WString& name, HKEY& hKey) const;
    HRESULT RegisterKey(HKEY hParent, const CRegistryKey& key);
    void UnregisterKey(HKEY hParent, const CRegistryKey& key);

    CRegistryScript m_script;
    std::map<WString, HKEY> m_roots;  // upper-case names
};
