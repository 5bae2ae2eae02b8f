// The wrappers that make a class with an interface map into a live object:
// plain (CComObject), aggregated (CComAggObject around CComContainedObject)
// and the cached class object (CComObjectCached), plus their creators.
#pragma once
#include "platform/CriticalSection.h"
#include "server/Module.h"
#include "server/ObjectRoot.h"

#include <new>

// A standalone object with its own count; holds a module lock while alive.
template <class Base>
class CComObject final : public Base {
public:
    explicit CComObject(void* = nullptr) {
        _Module.Lock();
        this->m_pSelfUnknown = this->GetUnknown();
    }
    ~CComObject() {
        this->m_dwRef = 1;
        this->FinalRelease();
        _Module.Unlock();
    }
    STDMETHOD_(ULONG, AddRef)() override { return this->InternalAddRef(); }
    STDMETHOD_(ULONG, Release)() override {
        ULONG count = this->InternalRelease();
        if (count == 0) delete this;
        return count;
    }
    STDMETHOD(QueryInterface)(REFIID iid, void** ppv) override { return this->_InternalQueryInterface(iid, ppv); }
};

// The object inside an aggregate: its count is the outer unknown's, and it
// asks the outer unknown first for any interface.
template <class Base>
class CComContainedObject : public Base {
public:
    explicit CComContainedObject(void* pOuter) {
        this->m_pOuterUnknown = static_cast<IUnknown*>(pOuter);
        this->m_pSelfUnknown = this->GetUnknown();
    }
    STDMETHOD_(ULONG, AddRef)() override { return this->m_pOuterUnknown->AddRef(); }
    STDMETHOD_(ULONG, Release)() override { return this->m_pOuterUnknown->Release(); }
    STDMETHOD(QueryInterface)(REFIID iid, void** ppv) override {
        HRESULT hr = this->m_pOuterUnknown->QueryInterface(iid, ppv);
        if (FAILED(hr)) hr = this->_InternalQueryInterface(iid, ppv);
        return hr;
    }
};

// The inner unknown of an aggregate: answers IUnknown with itself and every
// other interface from the contained object's map.
template <class Contained>
class CComAggObject final : public IUnknown {
public:
    explicit CComAggObject(void* pOuter) : m_contained(pOuter) { _Module.Lock(); }
    CComAggObject(const CComAggObject&) = delete;
    CComAggObject& operator=(const CComAggObject&) = delete;
    virtual ~CComAggObject() {
        m_dwRef = 1;
        m_contained.FinalRelease();
        _Module.Unlock();
    }

    HRESULT FinalConstruct() { return m_contained.FinalConstruct(); }
    void SetVoid(void*) {}

    STDMETHOD_(ULONG, AddRef)() override { return ++m_dwRef; }
    STDMETHOD_(ULONG, Release)() override {
        ULONG count = --m_dwRef;
        if (count == 0) delete this;
        return count;
    }
    STDMETHOD(QueryInterface)(REFIID iid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (InlineIsEqualGUID(iid, IID_IUnknown)) {
            *ppv = static_cast<IUnknown*>(this);
            AddRef();
            return S_OK;
        }
        return m_contained._InternalQueryInterface(iid, ppv);
    }

    LONG m_dwRef = 0;
    CComContainedObject<Contained> m_contained;
};

// The class object kept in the object map. Its count is guarded by its own
// lock; references beyond the cache's own hold one module lock in all.
template <class Base>
class CComObjectCached final : public Base {
public:
    explicit CComObjectCached(void* = nullptr) { this->m_pSelfUnknown = this->GetUnknown(); }
    ~CComObjectCached() {
        this->m_dwRef = 1;
        this->FinalRelease();
    }
    STDMETHOD_(ULONG, AddRef)() override {
        CCriticalSectionLock lock(m_csCached);
        ULONG count = this->InternalAddRef();
        if (count == 2) _Module.Lock();
        return count;
    }
    STDMETHOD_(ULONG, Release)() override {
        ULONG count;
        {
            CCriticalSectionLock lock(m_csCached);
            count = this->InternalRelease();
            if (count == 1) _Module.Unlock();
        }
        if (count == 0) delete this;
        return count;
    }
    STDMETHOD(QueryInterface)(REFIID iid, void** ppv) override { return this->_InternalQueryInterface(iid, ppv); }

private:
    CComAutoCriticalSection m_csCached;
};

// Makes one T1, runs FinalConstruct and hands out the requested interface;
// destroys the object again when either fails.
template <class T1>
class CComCreator {
public:
    static HRESULT WINAPI CreateInstance(void* pv, REFIID riid, void** ppv) {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        T1* p = nullptr;
        try {
            p = new T1(pv);
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
        p->SetVoid(pv);
        HRESULT hr = p->FinalConstruct();
        if (hr == S_OK) hr = p->QueryInterface(riid, ppv);
        if (hr != S_OK) {
            *ppv = nullptr;
            delete p;
        }
        return hr;
    }
};

// T1 without an outer unknown, T2 with one.
template <class T1, class T2>
class CComCreator2 {
public:
    static HRESULT WINAPI CreateInstance(void* pv, REFIID riid, void** ppv) {
        return pv ? T2::CreateInstance(pv, riid, ppv) : T1::CreateInstance(pv, riid, ppv);
    }
};
