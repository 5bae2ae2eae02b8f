// The root every object of this module derives from: its reference count,
// its outer unknown when aggregated, and the table-driven QueryInterface.
#pragma once
#include "platform/Platform.h"

// One row of an interface map: the interface and where it lies in the object.
struct CInterfaceEntry {
    const IID* piid;
    DWORD_PTR dwOffset;
};

// Offset of base class B inside class D.
#define offsetofclass(B, D) (reinterpret_cast<DWORD_PTR>(static_cast<B*>(reinterpret_cast<D*>(8))) - 8)

// The interface map of a class: the rows in order, the first also answers
// IUnknown. A row is one line, e.g. COM_INTERFACE_ENTRY(ISupportErrorInfo).
#define BEGIN_COM_MAP(x)                                                                      \
public:                                                                                       \
    typedef x _ComMapClass;                                                                   \
    IUnknown* GetUnknown() {                                                                  \
        return reinterpret_cast<IUnknown*>(reinterpret_cast<BYTE*>(this) + _GetEntries()[0].dwOffset); \
    }                                                                                         \
    HRESULT _InternalQueryInterface(REFIID iid, void** ppv) {                                 \
        return InternalQueryInterface(this, _GetEntries(), iid, ppv);                         \
    }                                                                                         \
    static const CInterfaceEntry* _GetEntries() {                                             \
        static const CInterfaceEntry entries[] = {
#define COM_INTERFACE_ENTRY(I) {&IID_##I, offsetofclass(I, _ComMapClass)},
// Interface I answered by the vtable of base Via (e.g. IDispatch by the dual interface).
#define COM_INTERFACE_ENTRY2(I, Via) {&IID_##I, offsetofclass(Via, _ComMapClass)},
#define END_COM_MAP()       \
            {nullptr, 0}    \
        };                  \
        return entries;     \
    }

// Count changes for objects that one caller uses at a time: a plain counter.
class CComSingleThreadModel {
public:
    static ULONG Increment(volatile LONG* p) { return ++(*p); }
    static ULONG Decrement(volatile LONG* p) { return --(*p); }
};

// Count changes for objects shared between threads.
class CComMultiThreadModel {
public:
    static ULONG Increment(volatile LONG* p) { return InterlockedIncrement(p); }
    static ULONG Decrement(volatile LONG* p) { return InterlockedDecrement(p); }
};

class CComObjectRootBase {
public:
    // Hooks the creators call; a class overrides the ones it needs.
    HRESULT FinalConstruct() { return S_OK; }
    void FinalRelease() {}
    // The creator's argument; only the class factory keeps it.
    void SetVoid(void*) {}

    // The outer unknown when aggregated, else the object's own.
    IUnknown* GetControllingUnknown() const { return m_pOuterUnknown ? m_pOuterUnknown : m_pSelfUnknown; }

    static HRESULT InternalQueryInterface(void* pThis, const CInterfaceEntry* pEntries, REFIID iid, void** ppv);

    volatile LONG m_dwRef = 0;
    IUnknown* m_pOuterUnknown = nullptr;
    IUnknown* m_pSelfUnknown = nullptr;  // set by the object wrapper once constructed
};

template <class ThreadModel>
class CComObjectRootEx : public CComObjectRootBase {
public:
    ULONG InternalAddRef() { return ThreadModel::Increment(&m_dwRef); }
    ULONG InternalRelease() { return ThreadModel::Decrement(&m_dwRef); }
};

inline HRESULT CComObjectRootBase::InternalQueryInterface(void* pThis, const CInterfaceEntry* pEntries,
                                                          REFIID iid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    for (const CInterfaceEntry* p = pEntries; p->piid; ++p) {
        if (InlineIsEqualGUID(iid, *p->piid) || (p == pEntries && InlineIsEqualGUID(iid, IID_IUnknown))) {
            IUnknown* pUnk = reinterpret_cast<IUnknown*>(static_cast<BYTE*>(pThis) + p->dwOffset);
            pUnk->AddRef();
            *ppv = pUnk;
            return S_OK;
        }
    }
    return E_NOINTERFACE;
}
