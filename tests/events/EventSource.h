// A small object that raises QueryLoad through a connection point, as the
// configuration file object does, with IDispatch as its outgoing interface so
// that sinks in other apartments are reached through the platform's own
// IDispatch proxy. Made live by the framework's own object wrapper.
#pragma once
#include "platform/ComPtr.h"
#include "platform/Platform.h"
#include "server/ComObject.h"
#include "server/ConnectionPointContainer.h"
#include "server/EventProxy.h"

class CEventSource : public CComObjectRootEx<CComMultiThreadModel>,
                     public IConnectionPointContainerImpl<CEventSource>,
                     public CProxy_IConfigFileEvents<CEventSource, &IID_IDispatch> {
public:
    static CComPtr<CComObject<CEventSource>> Create() {
        return CComPtr<CComObject<CEventSource>>(new CComObject<CEventSource>());
    }

    BEGIN_COM_MAP(CEventSource)
        COM_INTERFACE_ENTRY(IConnectionPointContainer)
    END_COM_MAP()

    BEGIN_CONNECTION_POINT_MAP(CEventSource)
        CONNECTION_POINT_ENTRY(IID_IDispatch)
    END_CONNECTION_POINT_MAP()

    // The connection point as a client reaches it.
    CComPtr<IConnectionPoint> ConnectionPoint() {
        CComPtr<IConnectionPoint> pCP;
        FindConnectionPoint(IID_IDispatch, pCP.Out());
        return pCP;
    }
};
