// The connection point container of an object and its connection map: the
// table of the object's connection points, each found by the identifier of
// its outgoing interface.
//
// An object lists its connection points between BEGIN_CONNECTION_POINT_MAP
// and END_CONNECTION_POINT_MAP, one CONNECTION_POINT_ENTRY per outgoing
// interface; each entry names a base IConnectionPointImplMT<T, &iid, ...>.
#pragma once
#include "platform/Platform.h"
#include "platform/ComPtr.h"
#include "server/ConnectionPoint.h"
#include "server/Enumerators.h"

#include <memory>
#include <new>
#include <ocidl.h>
#include <olectl.h>

template <class T>
struct CConnectionMapEntry {
    const IID* piid;  // null ends the map
    IConnectionPoint* (*pfnGetConnectionPoint)(T* pOwner);
};

#define BEGIN_CONNECTION_POINT_MAP(x)                                   \
    static const CConnectionMapEntry<x>* GetConnectionMap() {           \
        using ConnectionMapOwner = x;                                   \
        static const CConnectionMapEntry<x> s_connectionMap[] = {
#define CONNECTION_POINT_ENTRY(iid)                                     \
            {&iid, [](ConnectionMapOwner* pOwner) {                     \
                 return static_cast<IConnectionPointLocator<&iid>*>(pOwner)->AsConnectionPoint(); \
             }},
#define END_CONNECTION_POINT_MAP()                                      \
            {nullptr, nullptr}};                                        \
        return s_connectionMap;                                         \
    }

template <class T>
class IConnectionPointContainerImpl : public IConnectionPointContainer {
public:
    STDMETHODIMP FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) override {
        if (!ppCP) return E_POINTER;
        *ppCP = nullptr;
        for (const CConnectionMapEntry<T>* pEntry = T::GetConnectionMap(); pEntry->piid; ++pEntry) {
            if (IsEqualIID(riid, *pEntry->piid)) {
                IConnectionPoint* pCP = pEntry->pfnGetConnectionPoint(static_cast<T*>(this));
                pCP->AddRef();
                *ppCP = pCP;
                return S_OK;
            }
        }
        return CONNECT_E_NOCONNECTION;
    }

    STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints** ppEnum) override {
        if (!ppEnum) return E_POINTER;
        *ppEnum = nullptr;
        CComPtr<CComEnumConnectionPoints> pEnum(CComEnumConnectionPoints::CreateInstance());
        if (!pEnum) return E_OUTOFMEMORY;
        const ULONG nCount = CountConnectionPoints();
        std::unique_ptr<IConnectionPoint*[]> pPoints(new (std::nothrow) IConnectionPoint*[nCount]);
        if (!pPoints) return E_OUTOFMEMORY;
        const CConnectionMapEntry<T>* pEntry = T::GetConnectionMap();
        for (ULONG i = 0; i < nCount; ++i, ++pEntry) {
            pPoints[i] = pEntry->pfnGetConnectionPoint(static_cast<T*>(this));
            pPoints[i]->AddRef();
        }
        pEnum->TakeOver(std::move(pPoints), nCount);
        return pEnum->QueryInterface(IID_IEnumConnectionPoints, reinterpret_cast<void**>(ppEnum));
    }

private:
    static ULONG CountConnectionPoints() {
        ULONG nCount = 0;
        for (const CConnectionMapEntry<T>* pEntry = T::GetConnectionMap(); pEntry->piid; ++pEntry) ++nCount;
        return nCount;
    }
};
