// The enumerators a connection point hands out: IEnumConnections over
// connection records and IEnumConnectionPoints over connection points.
//
// An enumerator owns its elements together with the references they carry.
// A clone shares the elements of the enumerator that owns them and keeps that
// one alive, so the elements outlive the original for as long as any clone
// lives. Every enumerator holds a lock on the module while it lives, because
// its code lives in the module.
#pragma once
#include "platform/Platform.h"
#include "platform/ComPtr.h"
#include "server/Module.h"

#include <memory>
#include <new>
#include <ocidl.h>

// How an element is handed out (a reference added) and given up.
struct CCopyConnectData {
    static void Copy(CONNECTDATA* pTo, const CONNECTDATA* pFrom) {
        *pTo = *pFrom;
        if (pTo->pUnk) pTo->pUnk->AddRef();
    }
    static void Destroy(CONNECTDATA* p) {
        if (p->pUnk) p->pUnk->Release();
    }
};

template <class I>
struct CCopyInterface {
    static void Copy(I** ppTo, I* const* ppFrom) {
        *ppTo = *ppFrom;
        if (*ppTo) (*ppTo)->AddRef();
    }
    static void Destroy(I** pp) {
        if (*pp) (*pp)->Release();
    }
};

template <class Base, const IID* piid, class T, class Copy>
class CComEnum final : public Base {
public:
    // A new enumerator with a reference count of 0 and no elements, or null
    // when there is no memory for it.
    static CComEnum* CreateInstance() { return new (std::nothrow) CComEnum(); }

    CComEnum(const CComEnum&) = delete;
    CComEnum& operator=(const CComEnum&) = delete;

    // Takes over nCount elements, with the references they already hold.
    void TakeOver(std::unique_ptr<T[]> pElements, ULONG nCount) {
        DestroyOwnedElements();
        m_pOwned = std::move(pElements);
        m_pElements = m_pOwned.get();
        m_nCount = nCount;
        m_nPos = 0;
    }

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, *piid)) {
            *ppv = static_cast<Base*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }

    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&m_nRef)); }

    STDMETHODIMP_(ULONG) Release() override {
        const LONG nRef = InterlockedDecrement(&m_nRef);
        if (nRef == 0) delete this;
        return static_cast<ULONG>(nRef);
    }

    STDMETHODIMP Next(ULONG celt, T* rgelt, ULONG* pceltFetched) override {
        if (!rgelt || (celt != 1 && !pceltFetched)) return E_POINTER;
        ULONG nFetched = 0;
        while (nFetched < celt && m_nPos < m_nCount) {
            Copy::Copy(&rgelt[nFetched], &m_pElements[m_nPos]);
            ++nFetched;
            ++m_nPos;
        }
        if (pceltFetched) *pceltFetched = nFetched;
        return nFetched == celt ? S_OK : S_FALSE;
    }

    STDMETHODIMP Skip(ULONG celt) override {
        const ULONG nLeft = m_nCount - m_nPos;
        if (celt > nLeft) {
            m_nPos = m_nCount;
            return S_FALSE;
        }
        m_nPos += celt;
        return S_OK;
    }

    STDMETHODIMP Reset() override {
        m_nPos = 0;
        return S_OK;
    }

    STDMETHODIMP Clone(Base** ppEnum) override {
        if (!ppEnum) return E_POINTER;
        *ppEnum = nullptr;
        CComEnum* pClone = CreateInstance();
        if (!pClone) return E_OUTOFMEMORY;
        pClone->m_pDataOwner = m_pDataOwner ? m_pDataOwner : CComPtr<IUnknown>(static_cast<Base*>(this));
        pClone->m_pElements = m_pElements;
        pClone->m_nCount = m_nCount;
        pClone->m_nPos = m_nPos;
        pClone->AddRef();
        *ppEnum = pClone;
        return S_OK;
    }

private:
    CComEnum() { _Module.Lock(); }

    ~CComEnum() {
        DestroyOwnedElements();
        _Module.Unlock();
    }

    void DestroyOwnedElements() {
        if (!m_pOwned) return;
        for (ULONG i = 0; i < m_nCount; ++i) Copy::Destroy(&m_pOwned[i]);
        m_pOwned.reset();
    }

    LONG m_nRef = 0;
    std::unique_ptr<T[]> m_pOwned;       // set when this enumerator owns the elements
    CComPtr<IUnknown> m_pDataOwner;      // set in a clone: the owner of the elements
    T* m_pElements = nullptr;
    ULONG m_nCount = 0;
    ULONG m_nPos = 0;
};

using CComEnumConnections = CComEnum<IEnumConnections, &IID_IEnumConnections, CONNECTDATA, CCopyConnectData>;
using CComEnumConnectionPoints =
    CComEnum<IEnumConnectionPoints, &IID_IEnumConnectionPoints, IConnectionPoint*, CCopyInterface<IConnectionPoint>>;
