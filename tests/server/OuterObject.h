// The outer object of an aggregate, on the stack of a test: counts its
// references and answers IUnknown and IMarshal (standing for an interface of
// its own) itself.
#pragma once
#include "platform/Platform.h"

class COuter : public IUnknown {
public:
    STDMETHOD_(ULONG, AddRef)() override { return ++m_nRef; }
    STDMETHOD_(ULONG, Release)() override { return --m_nRef; }
    STDMETHOD(QueryInterface)(REFIID iid, void** ppv) override {
        ++m_nQueries;
        if (InlineIsEqualGUID(iid, IID_IUnknown) || InlineIsEqualGUID(iid, IID_IMarshal)) {
            *ppv = this;
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG m_nRef = 1;
    int m_nQueries = 0;
};
