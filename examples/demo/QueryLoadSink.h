// The client's handler of QueryLoad: it reports both versions and lets the
// read go on. It answers IMarshal through the free-threaded marshaler, so the
// connection point's global interface table can hold it without a proxy.
#pragma once
#include "Quorvex3.h"
#include "platform/ComPtr.h"

class CQueryLoadSink : public IDispatch {
public:
    CQueryLoadSink();
    CQueryLoadSink(const CQueryLoadSink&) = delete;
    CQueryLoadSink& operator=(const CQueryLoadSink&) = delete;

    HRESULT Connect(IUnknown* source);
    void Disconnect();
    bool Called() const { return m_bCalled; }

    // Lives on the client's stack: the count is kept only to honour the contract.
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&m_nRef)); }
    STDMETHODIMP_(ULONG) Release() override { return static_cast<ULONG>(InterlockedDecrement(&m_nRef)); }
    STDMETHODIMP GetTypeInfoCount(UINT* pctinfo) override;
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    STDMETHODIMP Invoke(DISPID dispid, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                        UINT*) override;

private:
    LONG m_nRef = 1;
    bool m_bCalled = false;
    CComPtr<IUnknown> m_pMarshaler;
    CComPtr<IConnectionPoint> m_pPoint;
    DWORD m_dwCookie = 0;
};
