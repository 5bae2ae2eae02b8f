#include "server/Module.h"

#include "server/Registrar.h"
#include "server/RegistryView.h"
#include "server/TypeLibRegistration.h"

#include <new>

CComModule _Module;

namespace {

// The module path as the script quotes it: single quotes doubled.
WString QuotedForScript(const WString& path) {
    WString quoted;
    for (WCHAR c : path) {
        quoted += c;
        if (c == L'\'') quoted += L'\'';
    }
    return quoted;
}

}  // namespace

HRESULT CComModule::Init(CObjectMapEntry* pObjectMap, HINSTANCE hInstance, const GUID* /*plibid*/) {
    m_pObjMap = pObjectMap;
    m_hInst = hInstance;
    for (CObjectMapEntry* p = m_pObjMap; p && !p->IsTerminator(); ++p) p->pCF = nullptr;
    return S_OK;
}

void CComModule::Term() {
    for (CObjectMapEntry* p = m_pObjMap; p && !p->IsTerminator(); ++p) {
        if (IUnknown* pCF = p->pCF) {
            p->pCF = nullptr;
            pCF->Release();
        }
    }
    std::vector<CTermFunc> termFuncs;
    {
        CCriticalSectionLock lock(m_csObjMap);
        termFuncs.swap(m_termFuncs);
    }
    for (auto it = termFuncs.rbegin(); it != termFuncs.rend(); ++it) it->pFunc(it->dw);
}

HRESULT CComModule::AddTermFunc(PFN_TERM_FUNC pFunc, DWORD_PTR dw) {
    try {
        CCriticalSectionLock lock(m_csObjMap);
        m_termFuncs.push_back(CTermFunc{pFunc, dw});
        return S_OK;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

CObjectMapEntry* CComModule::FindEntry(REFCLSID rclsid) const {
    for (CObjectMapEntry* p = m_pObjMap; p && !p->IsTerminator(); ++p)
        if (InlineIsEqualGUID(rclsid, *p->pclsid)) return p;
    return nullptr;
}

HRESULT CComModule::CreateClassObject(CObjectMapEntry& entry) {
    CCriticalSectionLock lock(m_csObjMap);
    if (entry.pCF) return S_OK;
    IUnknown* pCF = nullptr;
    HRESULT hr = entry.pfnGetClassObject(reinterpret_cast<void*>(entry.pfnCreateInstance), IID_IUnknown,
                                         reinterpret_cast<void**>(&pCF));
    if (SUCCEEDED(hr)) InterlockedExchangePointer(reinterpret_cast<void* volatile*>(&entry.pCF), pCF);
    return hr;
}

HRESULT CComModule::GetClassObject(REFCLSID rclsid, REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    CObjectMapEntry* pEntry = FindEntry(rclsid);
    if (!pEntry) return CLASS_E_CLASSNOTAVAILABLE;
    IUnknown* pCF = static_cast<IUnknown*>(
        InterlockedCompareExchangePointer(reinterpret_cast<void* volatile*>(&pEntry->pCF), nullptr, nullptr));
    if (!pCF) {
        HRESULT hr = CreateClassObject(*pEntry);
        if (FAILED(hr)) return hr;
        pCF = pEntry->pCF;
    }
    HRESULT hr = pCF->QueryInterface(riid, ppv);
    if (SUCCEEDED(hr) && !*ppv) hr = CLASS_E_CLASSNOTAVAILABLE;
    return hr;
}

HRESULT CComModule::RegisterServer(BOOL bRegTypeLib) {
    for (CObjectMapEntry* p = m_pObjMap; p && !p->IsTerminator(); ++p) {
        HRESULT hr = p->pfnUpdateRegistry(TRUE);
        if (FAILED(hr)) return hr;
    }
    return bRegTypeLib ? RegisterModuleTypeLib(m_hInst) : S_OK;
}

HRESULT CComModule::UnregisterServer(BOOL bUnRegTypeLib) {
    // The other architecture's module still needs the ProgIDs, the type
    // library key and the interface keys that both share: only this
    // architecture's class keys and type library entry go.
    if (OtherViewRegistersAClass()) {
        for (CObjectMapEntry* p = m_pObjMap; p && !p->IsTerminator(); ++p)
            RegDeleteTreeW(HKEY_CLASSES_ROOT, ClassKeyName(*p->pclsid).c_str());
        if (bUnRegTypeLib) UnregisterModuleTypeLibEntry(m_hInst);
        return S_OK;
    }
    for (CObjectMapEntry* p = m_pObjMap; p && !p->IsTerminator(); ++p)
        p->pfnUpdateRegistry(FALSE);
    if (bUnRegTypeLib) UnregisterModuleTypeLib(m_hInst);
    return S_OK;
}

bool CComModule::OtherViewRegistersAClass() const {
    for (CObjectMapEntry* p = m_pObjMap; p && !p->IsTerminator(); ++p)
        if (OtherViewRegistersClass(*p->pclsid)) return true;
    return false;
}

HRESULT CComModule::UpdateRegistryFromResource(UINT nResID, BOOL bRegister) {
    try {
        const WString modulePath = ModuleFilePath(m_hInst);
        CRegistrar registrar;
        registrar.AddReplacement(L"Module", QuotedForScript(modulePath));
        return registrar.ResourceRegister(modulePath, nResID, L"REGISTRY", bRegister);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}
