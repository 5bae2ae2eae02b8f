// A QueryLoad sink that records every call it receives and can be told what
// to do while it is being called (set Cancel, write a result, advise or
// unadvise others), and its advice on a connection point.
#pragma once
#include "TagDoubles.h"
#include "platform/ComPtr.h"
#include "platform/Platform.h"

#include <gtest/gtest.h>
#include <ocidl.h>

#include <functional>
#include <string>
#include <vector>

namespace testsupport {

// What one call reached the sink with, as the sink saw it.
struct CReceivedCall {
    DISPID dispid = 0;
    bool bNullIid = false;
    LCID lcid = 0;
    WORD wFlags = 0;
    UINT cArgs = 0;
    UINT cNamedArgs = 0;
    bool bHasResult = false;
    bool bQueryLoadShape = false;  // BSTR, BSTR, VARIANT_BOOL* (last argument first)
    std::wstring strFileVersion;
    std::wstring strDbVersion;
    VARIANT_BOOL bCancelOnEntry = 0;
    DWORD dwThreadId = 0;
};

class CRecordingSink final : public doubles::CDoubleObject<IDispatch> {
public:
    // Runs inside Invoke with the sink, the Cancel argument and the result.
    using Action = std::function<void(CRecordingSink& sink, VARIANT_BOOL* pCancel, VARIANT* pResult)>;

    // Answers IUnknown, IDispatch and eventIid; asked for eventIid it fails
    // with hrEventIid instead, when that is a failure.
    static CComPtr<CRecordingSink> Create(const IID& eventIid, HRESULT hrEventIid = S_OK) {
        return CComPtr<CRecordingSink>(new CRecordingSink(eventIid, hrEventIid));
    }

    void OnCall(Action action) { m_action = std::move(action); }
    void ReturnFromInvoke(HRESULT hr) { m_hrInvoke = hr; }
    const std::vector<CReceivedCall>& Calls() const { return m_calls; }
    size_t CallCount() const { return m_calls.size(); }
    // The references held on the sink besides the caller's own.
    LONG OtherReferences() const { return References() - 1; }

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        const bool eventIid = IsEqualIID(riid, m_eventIid) != FALSE;
        const bool known = eventIid || IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch);
        const HRESULT hr = eventIid && FAILED(m_hrEventIid) ? m_hrEventIid : known ? S_OK : E_NOINTERFACE;
        *ppv = hr == S_OK ? static_cast<IDispatch*>(this) : nullptr;
        if (hr == S_OK) AddRef();
        return hr;
    }
    STDMETHODIMP Invoke(DISPID dispid, REFIID riid, LCID lcid, WORD wFlags, DISPPARAMS* pParams, VARIANT* pResult,
                        EXCEPINFO*, UINT*) override {
        CReceivedCall call;
        call.dispid = dispid;
        call.bNullIid = IsEqualIID(riid, IID_NULL) != FALSE;
        call.lcid = lcid;
        call.wFlags = wFlags;
        call.bHasResult = pResult != nullptr;
        call.dwThreadId = GetCurrentThreadId();
        VARIANT_BOOL* pCancel = nullptr;
        const VARIANT* args = pParams ? pParams->rgvarg : nullptr;
        call.cArgs = pParams ? pParams->cArgs : 0;
        call.cNamedArgs = pParams ? pParams->cNamedArgs : 0;
        call.bQueryLoadShape = call.cArgs == 3 && V_VT(&args[0]) == VT_BSTR && V_VT(&args[1]) == VT_BSTR &&
                               V_VT(&args[2]) == (VT_BYREF | VT_BOOL);
        if (call.bQueryLoadShape) {
            call.strDbVersion = Text(V_BSTR(&args[0]));
            call.strFileVersion = Text(V_BSTR(&args[1]));
            pCancel = V_BOOLREF(&args[2]);
            call.bCancelOnEntry = *pCancel;
        }
        m_calls.push_back(call);
        if (m_action) m_action(*this, pCancel, pResult);
        return m_hrInvoke;
    }

private:
    CRecordingSink(const IID& eventIid, HRESULT hrEventIid) : m_eventIid(eventIid), m_hrEventIid(hrEventIid) {}
    ~CRecordingSink() = default;

    static std::wstring Text(BSTR bstr) { return bstr ? std::wstring(bstr, SysStringLen(bstr)) : std::wstring(); }

    IID m_eventIid;
    HRESULT m_hrEventIid;
    HRESULT m_hrInvoke = S_OK;
    Action m_action;
    std::vector<CReceivedCall> m_calls;
};

// What a client answers QueryLoad with: Cancel, and a failure code left in the result.
inline CRecordingSink::Action Answer(bool bCancel, HRESULT hrResult = S_OK) {
    return [bCancel, hrResult](CRecordingSink&, VARIANT_BOOL* pCancel, VARIANT* pResult) {
        if (bCancel && pCancel) *pCancel = VARIANT_TRUE;
        if (FAILED(hrResult) && pResult) {
            V_VT(pResult) = VT_ERROR;
            V_ERROR(pResult) = hrResult;
        }
    };
}

// Advises sink on a connection point and gives the cookie, which is never 0.
inline DWORD Advise(IConnectionPoint* point, IDispatch* sink) {
    DWORD dwCookie = 0;
    EXPECT_EQ(S_OK, point->Advise(sink, &dwCookie));
    EXPECT_NE(0u, dwCookie);
    return dwCookie;
}

// A sink advised on an object's connection point for eventIid until the end of scope.
class CAdvisedSink {
public:
    CAdvisedSink(IUnknown* source, const IID& eventIid, IDispatch* sink) {
        CComPtr<IConnectionPointContainer> container;
        if (SUCCEEDED(source->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(container.Out()))) &&
            SUCCEEDED(container->FindConnectionPoint(eventIid, m_pPoint.Out())))
            m_pPoint->Advise(sink, &m_nCookie);
    }
    ~CAdvisedSink() {
        if (m_nCookie) m_pPoint->Unadvise(m_nCookie);
    }
    CAdvisedSink(const CAdvisedSink&) = delete;
    CAdvisedSink& operator=(const CAdvisedSink&) = delete;

private:
    CComPtr<IConnectionPoint> m_pPoint;
    DWORD m_nCookie = 0;
};

}  // namespace testsupport
