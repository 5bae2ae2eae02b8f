// A small object that raises QueryLoad through a connection point, as the
// configuration file object does, with IDispatch as its outgoing interface so
// that sinks in other apartments are reached through the platform's own
// IDispatch proxy.
#pragma once
#include "platform/ComPtr.h"
#include "platform/Platform.h"
#include "server/ConnectionPointContainer.h"
#include "server/EventProxy.h"

class CEventSource final : public IConnectionPointContainerImpl<CEventSource>,
                           public CProxy_IConfigFileEvents<CEventSource, &IID_IDispatch> {
public:
    static CComPtr<CEventSource> Create() { return CComPtr<CEventSource>(new CEventSource()); }

    BEGIN_CONNECTION_POINT_MAP(CEventSource)
        CONNECTION_POINT_ENTRY(IID_IDispatch)
    END_CONNECTION_POINT_MAP()

    IUnknown* GetControllingUnknown() { return static_cast<IConnectionPointContainer*>(this); }

    // The connection point as a client reaches it.
    CComPtr<IConnectionPoint> ConnectionPoint() {
        CComPtr<IConnectionPoint> pCP;
        FindConnectionPoint(IID_IDispatch, pCP.Out());
        return pCP;
    }

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IConnectionPointContainer)) {
            *ppv = static_cast<IConnectionPointContainer*>(this);
            AddRef();
            return S_OK;
        }
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&m_nRef)); }
    STDMETHODIMP_(ULONG) Release() override {
        const LONG nRef = InterlockedDecrement(&m_nRef);
        if (nRef == 0) delete this;
        return static_cast<ULONG>(nRef);
    }

private:
    CEventSource() = default;
    ~CEventSource() = default;

    LONG m_nRef = 0;
};
