// IDispatch of a dual interface, answered through the interface's type
// description (late binding reaches the same vtable members as C++ callers).
#pragma once
#include "TypeInfoCache.h"
#include "platform/ComPtr.h"

namespace tagserver {

template <class Interface>
class CDispatchObject : public Interface {
public:
    STDMETHODIMP GetTypeInfoCount(UINT* count) override {
        if (!count) return E_POINTER;
        *count = 1;
        return S_OK;
    }

    STDMETHODIMP GetTypeInfo(UINT index, LCID, ITypeInfo** info) override {
        if (!info) return E_POINTER;
        *info = nullptr;
        if (index != 0) return DISP_E_BADINDEX;
        return CTypeInfoCache::Get(__uuidof(Interface), info);
    }

    STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
        if (!IsEqualIID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
        CComPtr<ITypeInfo> info;
        const HRESULT hr = CTypeInfoCache::Get(__uuidof(Interface), info.Out());
        if (FAILED(hr)) return hr;
        return info->GetIDsOfNames(names, count, ids);
    }

    STDMETHODIMP Invoke(DISPID member, REFIID riid, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO* exception, UINT* argumentError) override {
        if (!IsEqualIID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
        CComPtr<ITypeInfo> info;
        const HRESULT hr = CTypeInfoCache::Get(__uuidof(Interface), info.Out());
        if (FAILED(hr)) return hr;
        // Script engines call properties such as _NewEnum and Item as methods:
        // a method call may read a property.
        if (flags & DISPATCH_METHOD) flags |= DISPATCH_PROPERTYGET;
        return info->Invoke(static_cast<Interface*>(this), member, flags, params, result, exception,
                            argumentError);
    }
};

}  // namespace tagserver
