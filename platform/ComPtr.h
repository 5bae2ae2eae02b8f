// Owner of one interface reference: released on every path.
#pragma once
#include "platform/Platform.h"

#include <utility>

template <class T>
class CComPtr {
public:
    CComPtr() = default;
    CComPtr(T* p) : m_p(p) { if (m_p) m_p->AddRef(); }  // adds its own reference
    CComPtr(const CComPtr& other) : CComPtr(other.m_p) {}
    CComPtr(CComPtr&& other) noexcept : m_p(other.Detach()) {}
    CComPtr& operator=(CComPtr other) noexcept { std::swap(m_p, other.m_p); return *this; }
    ~CComPtr() { Release(); }

    T* Get() const { return m_p; }
    T* operator->() const { return m_p; }
    explicit operator bool() const { return m_p != nullptr; }
    // Releases the current reference and gives the address for an out-parameter.
    T** Out() { Release(); return &m_p; }
    void Release() { if (T* p = std::exchange(m_p, nullptr)) p->Release(); }
    // Takes over a reference the caller already owns.
    void Attach(T* p) { Release(); m_p = p; }
    T* Detach() { return std::exchange(m_p, nullptr); }

    template <class Q>
    HRESULT QueryInterface(const IID& iid, CComPtr<Q>& result) const {
        return QueryInterfaceOf(m_p, iid, result);
    }

private:
    T* m_p = nullptr;
};

// Interface iid of object into result. No object, or a null pointer handed
// out with success, is E_NOINTERFACE: success always means a usable result.
template <class Q>
HRESULT QueryInterfaceOf(IUnknown* object, const IID& iid, CComPtr<Q>& result) {
    if (!object) {
        result.Release();
        return E_NOINTERFACE;
    }
    const HRESULT hr = object->QueryInterface(iid, reinterpret_cast<void**>(result.Out()));
    return SUCCEEDED(hr) && !result ? E_NOINTERFACE : hr;
}
