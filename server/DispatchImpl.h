// IDispatch for a dual interface T, answered from its type description in
// the registered type library.
#pragma once
#include "server/TypeInfoHolder.h"

template <class T, const IID* piid, const GUID* plibid, WORD wMajor = 1, WORD wMinor = 0>
class IDispatchImpl : public T {
public:
    STDMETHOD(GetTypeInfoCount)(UINT* pctinfo) override {
        if (!pctinfo) return E_POINTER;
        *pctinfo = 1;
        return S_OK;
    }
    STDMETHOD(GetTypeInfo)(UINT itinfo, LCID lcid, ITypeInfo** pptinfo) override {
        return _tih.GetTypeInfo(itinfo, lcid, pptinfo);
    }
    STDMETHOD(GetIDsOfNames)(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid, DISPID* rgdispid) override {
        return _tih.GetIDsOfNames(riid, rgszNames, cNames, lcid, rgdispid);
    }
    STDMETHOD(Invoke)(DISPID dispidMember, REFIID riid, LCID lcid, WORD wFlags, DISPPARAMS* pdispparams,
                      VARIANT* pvarResult, EXCEPINFO* pexcepinfo, UINT* puArgErr) override {
        return _tih.Invoke(static_cast<T*>(this), dispidMember, riid, lcid, wFlags, pdispparams, pvarResult,
                           pexcepinfo, puArgErr);
    }

    static CComTypeInfoHolder _tih;
};

template <class T, const IID* piid, const GUID* plibid, WORD wMajor, WORD wMinor>
CComTypeInfoHolder IDispatchImpl<T, piid, plibid, wMajor, wMinor>::_tih(piid, plibid, wMajor, wMinor);
