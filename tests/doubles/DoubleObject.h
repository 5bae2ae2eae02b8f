// Reference counting and an inert IDispatch for the doubles: Quorvex3 calls
// the tag server through vtables, never by name.
#pragma once
#include "platform/Platform.h"

namespace doubles {

template <class Interface>
class CDoubleObject : public Interface {
public:
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&m_nRefs)); }
    STDMETHODIMP_(ULONG) Release() override {
        const LONG count = InterlockedDecrement(&m_nRefs);
        if (count == 0) delete this;
        return static_cast<ULONG>(count);
    }

protected:
    virtual ~CDoubleObject() = default;

private:
    LONG m_nRefs = 0;
};

template <class Interface>
class CDispatchDouble : public CDoubleObject<Interface> {
public:
    STDMETHODIMP GetTypeInfoCount(UINT* count) override {
        if (count) *count = 0;
        return count ? S_OK : E_POINTER;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return E_NOTIMPL;
    }
};

// Answers IUnknown and IDispatch and nothing else: an object of the wrong kind.
class CPlainDispatch final : public CDispatchDouble<IDispatch> {
public:
    STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
        if (!object) return E_POINTER;
        *object = nullptr;
        if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IDispatch)) return E_NOINTERFACE;
        *object = static_cast<IDispatch*>(this);
        AddRef();
        return S_OK;
    }
};

}  // namespace doubles
