#include "server/TypeInfoHolder.h"

#include "platform/ComPtr.h"
#include "server/Module.h"

#include <cstring>
#include <new>

namespace {

const LCID kTypeLibLocale = MAKELCID(MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), SORT_DEFAULT);

}  // namespace

HRESULT CComTypeInfoHolder::EnsureTI(LCID lcid) {
    if (m_pInfo.load(std::memory_order_acquire)) return S_OK;
    CCriticalSectionLock lock(_Module.m_csTypeInfoHolder);
    if (m_pInfo.load(std::memory_order_relaxed)) return S_OK;
    return LoadTI(lcid);
}

HRESULT CComTypeInfoHolder::LoadTI(LCID lcid) {
    CComPtr<ITypeLib> pTypeLib;
    HRESULT hr = LoadRegTypeLib(*m_plibid, m_wMajor, m_wMinor, lcid, pTypeLib.Out());
    // The library is registered for US English only, and the platform does
    // not fall back from every caller locale to it (script engines pass 0).
    if (FAILED(hr) && lcid != kTypeLibLocale)
        hr = LoadRegTypeLib(*m_plibid, m_wMajor, m_wMinor, kTypeLibLocale, pTypeLib.Out());
    if (FAILED(hr)) return hr;
    CComPtr<ITypeInfo> pInfo;
    hr = pTypeLib->GetTypeInfoOfGuid(*m_pguid, pInfo.Out());
    if (FAILED(hr)) return hr;
    // Keep the extended form when the platform has one.
    CComPtr<ITypeInfo2> pInfo2;
    if (SUCCEEDED(pInfo.QueryInterface(IID_ITypeInfo2, pInfo2)))
        pInfo.Attach(static_cast<ITypeInfo*>(pInfo2.Detach()));
    try {
        BuildNameCache(pInfo.Get());
        hr = _Module.AddTermFunc(Cleanup, reinterpret_cast<DWORD_PTR>(this));
    } catch (const std::bad_alloc&) {
        hr = E_OUTOFMEMORY;
    }
    if (FAILED(hr)) {
        m_names.clear();
        return hr;
    }
    m_pInfo.store(pInfo.Detach(), std::memory_order_release);
    return S_OK;
}

void CComTypeInfoHolder::BuildNameCache(ITypeInfo* pInfo) {
    TYPEATTR* pAttr = nullptr;
    if (FAILED(pInfo->GetTypeAttr(&pAttr))) return;
    const WORD cFuncs = pAttr->cFuncs;
    pInfo->ReleaseTypeAttr(pAttr);
    m_names.reserve(cFuncs);
    for (WORD i = 0; i < cFuncs; ++i) {
        FUNCDESC* pFuncDesc = nullptr;
        if (FAILED(pInfo->GetFuncDesc(i, &pFuncDesc))) continue;
        const MEMBERID id = pFuncDesc->memid;
        pInfo->ReleaseFuncDesc(pFuncDesc);
        CBstr name;
        if (SUCCEEDED(pInfo->GetDocumentation(id, name.Out(), nullptr, nullptr, nullptr)) && !name.IsNull())
            m_names.push_back(CNameEntry{std::move(name), id});
    }
}

bool CComTypeInfoHolder::FindCachedName(LPCOLESTR name, DISPID* pid) const {
    if (!name) return false;
    const size_t length = lstrlenW(name);
    for (const CNameEntry& entry : m_names) {
        if (entry.bstrName.Length() == length &&
            std::memcmp(entry.bstrName.Get(), name, length * sizeof(WCHAR)) == 0) {
            *pid = entry.id;
            return true;
        }
    }
    return false;
}

HRESULT CComTypeInfoHolder::GetTypeInfo(UINT, LCID lcid, ITypeInfo** pptinfo) {
    if (!pptinfo) return E_POINTER;
    *pptinfo = nullptr;
    HRESULT hr = EnsureTI(lcid);
    if (FAILED(hr)) return hr;
    ITypeInfo* pInfo = m_pInfo.load(std::memory_order_acquire);
    pInfo->AddRef();
    *pptinfo = pInfo;
    return S_OK;
}

HRESULT CComTypeInfoHolder::GetIDsOfNames(REFIID, LPOLESTR* rgszNames, UINT cNames, LCID lcid, DISPID* rgdispid) {
    HRESULT hr = EnsureTI(lcid);
    if (FAILED(hr)) return hr;
    if (cNames > 0 && (!rgszNames || !rgdispid)) return E_POINTER;
    for (UINT i = 0; i < cNames; ++i) {
        // One name the cache does not know sends the whole list to the description.
        if (!FindCachedName(rgszNames[i], &rgdispid[i]))
            return m_pInfo.load(std::memory_order_acquire)->GetIDsOfNames(rgszNames, cNames, rgdispid);
    }
    return S_OK;
}

HRESULT CComTypeInfoHolder::Invoke(IDispatch* p, DISPID dispidMember, REFIID, LCID lcid, WORD wFlags,
                                   DISPPARAMS* pdispparams, VARIANT* pvarResult, EXCEPINFO* pexcepinfo,
                                   UINT* puArgErr) {
    HRESULT hr = EnsureTI(lcid);
    if (FAILED(hr)) return hr;
    return m_pInfo.load(std::memory_order_acquire)
        ->Invoke(p, dispidMember, wFlags, pdispparams, pvarResult, pexcepinfo, puArgErr);
}

void WINAPI CComTypeInfoHolder::Cleanup(DWORD_PTR dw) {
    CComTypeInfoHolder* pThis = reinterpret_cast<CComTypeInfoHolder*>(dw);
    if (ITypeInfo* pInfo = pThis->m_pInfo.exchange(nullptr)) pInfo->Release();
    pThis->m_names.clear();
}
