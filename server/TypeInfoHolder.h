// The type description of one dual interface, loaded once per module from
// the registered type library, with a cache of its member names.
#pragma once
#include "platform/Bstr.h"
#include "platform/Platform.h"

#include <atomic>
#include <vector>

class CComTypeInfoHolder {
public:
    CComTypeInfoHolder(const GUID* pguid, const GUID* plibid, WORD wMajor, WORD wMinor)
        : m_pguid(pguid), m_plibid(plibid), m_wMajor(wMajor), m_wMinor(wMinor) {}
    CComTypeInfoHolder(const CComTypeInfoHolder&) = delete;
    CComTypeInfoHolder& operator=(const CComTypeInfoHolder&) = delete;

    HRESULT GetTypeInfo(UINT itinfo, LCID lcid, ITypeInfo** pptinfo);
    HRESULT GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid, DISPID* rgdispid);
    HRESULT Invoke(IDispatch* p, DISPID dispidMember, REFIID riid, LCID lcid, WORD wFlags, DISPPARAMS* pdispparams,
                   VARIANT* pvarResult, EXCEPINFO* pexcepinfo, UINT* puArgErr);

    // Termination callback: releases the description and the name cache.
    static void WINAPI Cleanup(DWORD_PTR dw);

private:
    struct CNameEntry {
        CBstr bstrName;
        DISPID id;
    };

    HRESULT EnsureTI(LCID lcid);
    HRESULT LoadTI(LCID lcid);
    void BuildNameCache(ITypeInfo* pInfo);
    bool FindCachedName(LPCOLESTR name, DISPID* pid) const;

    const GUID* m_pguid;
    const GUID* m_plibid;
    WORD m_wMajor;
    WORD m_wMinor;
    std::atomic<ITypeInfo*> m_pInfo{nullptr};
    std::vector<CNameEntry> m_names;
};
