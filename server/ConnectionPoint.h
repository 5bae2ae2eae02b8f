// A connection point for one outgoing interface, safe for several threads.
//
// Sinks are kept in the process's global interface table, so an event raised
// on any thread reaches each sink through a pointer valid in that thread's
// apartment. The connection point's lock guards the sink list and the table
// calls made with its cookies; nothing is locked while a sink is called or a
// cookie is revoked in Unadvise, so sinks may advise and unadvise from inside
// an event.
#pragma once
#include "platform/Platform.h"
#include "platform/ComPtr.h"
#include "platform/CriticalSection.h"
#include "server/DynamicUnkArray.h"
#include "server/Enumerators.h"

#include <memory>
#include <new>
#include <ocidl.h>
#include <olectl.h>

// The connection point's own vtable inside its owner. The first slot has a
// name of its own so that the owner's QueryInterface does not override it;
// AddRef and Release are left to the owner, so the connection point shares
// the owner's reference count. The slot order is that of IConnectionPoint.
template <const IID* piid>
class IConnectionPointLocator {
public:
    virtual HRESULT STDMETHODCALLTYPE LocatorQueryInterface(REFIID riid, void** ppv) = 0;
    virtual ULONG STDMETHODCALLTYPE AddRef() = 0;
    virtual ULONG STDMETHODCALLTYPE Release() = 0;
    virtual HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID* pIID) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetConnectionPointContainer(IConnectionPointContainer** ppCPC) = 0;
    virtual HRESULT STDMETHODCALLTYPE Advise(IUnknown* pUnkSink, DWORD* pdwCookie) = 0;
    virtual HRESULT STDMETHODCALLTYPE Unadvise(DWORD dwCookie) = 0;
    virtual HRESULT STDMETHODCALLTYPE EnumConnections(IEnumConnections** ppEnum) = 0;

    IConnectionPoint* AsConnectionPoint() { return reinterpret_cast<IConnectionPoint*>(this); }

protected:
    ~IConnectionPointLocator() = default;
};

template <class T, const IID* piid, class CDV = CComDynamicUnkArray>
class IConnectionPointImplMT : public IConnectionPointLocator<piid> {
public:
    IConnectionPointImplMT() {
        m_hrGIT = CoCreateInstance(CLSID_StdGlobalInterfaceTable, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IGlobalInterfaceTable, reinterpret_cast<void**>(m_pGIT.Out()));
        if (SUCCEEDED(m_hrGIT) && !m_pGIT) m_hrGIT = E_NOINTERFACE;
    }

    IConnectionPointImplMT(const IConnectionPointImplMT&) = delete;
    IConnectionPointImplMT& operator=(const IConnectionPointImplMT&) = delete;

    ~IConnectionPointImplMT() { RevokeAll(); }

    HRESULT STDMETHODCALLTYPE LocatorQueryInterface(REFIID riid, void** ppv) override {
        if (!IsEqualIID(riid, IID_IConnectionPoint) && !IsEqualIID(riid, IID_IUnknown)) {
            if (ppv) *ppv = nullptr;
            return E_NOINTERFACE;
        }
        if (!ppv) return E_POINTER;
        *ppv = this->AsConnectionPoint();
        this->AddRef();
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID* pIID) override {
        if (!pIID) return E_POINTER;
        *pIID = *piid;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE GetConnectionPointContainer(IConnectionPointContainer** ppCPC) override {
        if (!ppCPC) return E_POINTER;
        *ppCPC = nullptr;
        IUnknown* pOwner = static_cast<T*>(this)->GetControllingUnknown();
        return pOwner->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(ppCPC));
    }

    HRESULT STDMETHODCALLTYPE Advise(IUnknown* pUnkSink, DWORD* pdwCookie) override {
        if (pdwCookie) *pdwCookie = 0;
        if (!pUnkSink || !pdwCookie) return E_POINTER;
        CComPtr<IUnknown> pSink;
        HRESULT hr = pUnkSink->QueryInterface(*piid, reinterpret_cast<void**>(pSink.Out()));
        if (hr == E_NOINTERFACE) return CONNECT_E_CANNOTCONNECT;
        if (FAILED(hr)) return hr;
        if (!m_pGIT) return m_hrGIT;

        CCriticalSectionLock lock(m_sec);
        DWORD dwCookie = 0;
        hr = m_pGIT->RegisterInterfaceInGlobal(pSink.Get(), *piid, &dwCookie);
        if (FAILED(hr)) return hr;
        if (!m_vec.Add(dwCookie)) {
            m_pGIT->RevokeInterfaceFromGlobal(dwCookie);
            return CONNECT_E_ADVISELIMIT;
        }
        *pdwCookie = dwCookie;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE Unadvise(DWORD dwCookie) override {
        if (!m_pGIT) return CONNECT_E_NOCONNECTION;
        bool bRemoved;
        {
            CCriticalSectionLock lock(m_sec);
            bRemoved = m_vec.Remove(dwCookie);
        }
        if (!bRemoved) return CONNECT_E_NOCONNECTION;
        return m_pGIT->RevokeInterfaceFromGlobal(dwCookie);
    }

    HRESULT STDMETHODCALLTYPE EnumConnections(IEnumConnections** ppEnum) override {
        if (!ppEnum) return E_POINTER;
        *ppEnum = nullptr;
        CComPtr<CComEnumConnections> pEnum(CComEnumConnections::CreateInstance());
        if (!pEnum) return E_OUTOFMEMORY;
        {
            CCriticalSectionLock lock(m_sec);
            const int nSlots = m_pGIT ? m_vec.GetSize() : 0;
            std::unique_ptr<CONNECTDATA[]> pRecords(new (std::nothrow) CONNECTDATA[static_cast<size_t>(nSlots)]);
            if (!pRecords) return E_OUTOFMEMORY;
            ULONG nFilled = 0;
            for (int i = 0; i < nSlots; ++i) {
                if (FillRecord(m_vec.GetAt(i), pRecords[nFilled])) ++nFilled;
            }
            pEnum->TakeOver(std::move(pRecords), nFilled);
        }
        return pEnum->QueryInterface(IID_IEnumConnections, reinterpret_cast<void**>(ppEnum));
    }

    // The sink in slot nIndex as a pointer for the calling apartment, with a
    // reference for the caller; null for an empty slot, an index out of range
    // or a sink the table cannot give.
    CComPtr<IUnknown> GetInterfaceAt(int nIndex) {
        CComPtr<IUnknown> pSink;
        if (!m_pGIT) return pSink;
        CCriticalSectionLock lock(m_sec);
        const DWORD dwCookie = m_vec.GetAt(nIndex);
        if (dwCookie == 0) return pSink;
        if (FAILED(m_pGIT->GetInterfaceFromGlobal(dwCookie, *piid, reinterpret_cast<void**>(pSink.Out()))))
            pSink.Release();
        return pSink;
    }

protected:
    // The number of slots in the sink list (free ones included).
    int GetSinkSlotCount() {
        CCriticalSectionLock lock(m_sec);
        return m_vec.GetSize();
    }

private:
    bool FillRecord(DWORD dwCookie, CONNECTDATA& record) {
        if (dwCookie == 0) return false;
        IUnknown* pSink = nullptr;
        if (FAILED(m_pGIT->GetInterfaceFromGlobal(dwCookie, *piid, reinterpret_cast<void**>(&pSink))) || !pSink)
            return false;
        record.pUnk = pSink;
        record.dwCookie = dwCookie;
        return true;
    }

    void RevokeAll() {
        if (!m_pGIT) return;
        const int nSlots = m_vec.GetSize();
        for (int i = 0; i < nSlots; ++i) {
            if (const DWORD dwCookie = m_vec.GetAt(i)) m_pGIT->RevokeInterfaceFromGlobal(dwCookie);
        }
    }

    CDV m_vec;
    CComPtr<IGlobalInterfaceTable> m_pGIT;
    CComAutoCriticalSection m_sec;
    HRESULT m_hrGIT = S_OK;  // why the table could not be obtained, if it could not
};
