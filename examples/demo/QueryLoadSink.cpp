#include "QueryLoadSink.h"

#include "ConsoleText.h"

#include <string>

CQueryLoadSink::CQueryLoadSink() {
    CoCreateFreeThreadedMarshaler(this, m_pMarshaler.Out());
}

HRESULT CQueryLoadSink::Connect(IUnknown* source) {
    CComPtr<IConnectionPointContainer> container;
    HRESULT hr = source->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(container.Out()));
    if (SUCCEEDED(hr)) hr = container->FindConnectionPoint(DIID__IConfigFileEvents, m_pPoint.Out());
    if (SUCCEEDED(hr)) hr = m_pPoint->Advise(this, &m_dwCookie);
    return hr;
}

void CQueryLoadSink::Disconnect() {
    if (m_pPoint && m_dwCookie) m_pPoint->Unadvise(m_dwCookie);
    m_pPoint.Release();
    m_dwCookie = 0;
}

STDMETHODIMP CQueryLoadSink::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (IsEqualIID(riid, IID_IMarshal) && m_pMarshaler) return m_pMarshaler->QueryInterface(riid, ppv);
    if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IDispatch) &&
        !IsEqualIID(riid, DIID__IConfigFileEvents))
        return E_NOINTERFACE;
    *ppv = static_cast<IDispatch*>(this);
    AddRef();
    return S_OK;
}

STDMETHODIMP CQueryLoadSink::GetTypeInfoCount(UINT* pctinfo) {
    if (!pctinfo) return E_POINTER;
    *pctinfo = 0;
    return S_OK;
}

// QueryLoad(Cancel, FileVersion, DbVersion): the arguments arrive last first.
STDMETHODIMP CQueryLoadSink::Invoke(DISPID dispid, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                                    UINT*) {
    if (dispid != 1) return DISP_E_MEMBERNOTFOUND;
    if (!params || params->cArgs != 3 || V_VT(&params->rgvarg[0]) != VT_BSTR ||
        V_VT(&params->rgvarg[1]) != VT_BSTR || V_VT(&params->rgvarg[2]) != (VT_BYREF | VT_BOOL))
        return DISP_E_BADPARAMCOUNT;
    m_bCalled = true;
    const wchar_t* fileVersion = V_BSTR(&params->rgvarg[1]);
    const wchar_t* dbVersion = V_BSTR(&params->rgvarg[0]);
    Print(L"QueryLoad: the file has TagSpec version " + std::wstring(fileVersion ? fileVersion : L"") +
          L", the tag database " + std::wstring(dbVersion ? dbVersion : L"") +
          (lstrcmpW(fileVersion, dbVersion) == 0 ? L"" : L" (they differ; loading anyway)"));
    *V_BOOLREF(&params->rgvarg[2]) = VARIANT_FALSE;
    return S_OK;
}
