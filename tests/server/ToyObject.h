// A small creatable class for exercising the object framework: it records
// what the framework does to it.
#pragma once
#include "server/CoClass.h"
#include "server/ObjectRoot.h"

// {5B0B6E2A-8C1D-4E55-9F3A-2D7C6B1E0F41}
inline const CLSID CLSID_Toy = {0x5b0b6e2a, 0x8c1d, 0x4e55, {0x9f, 0x3a, 0x2d, 0x7c, 0x6b, 0x1e, 0x0f, 0x41}};

struct CToyRecord {
    int nFinalConstructs = 0;
    int nFinalReleases = 0;
    LONG nRefInFinalRelease = -1;
    LONG nLocksInFinalRelease = -1;
    HRESULT hrFinalConstruct = S_OK;
};

class CToy : public IPersist,
             public ISupportErrorInfo,
             public CComObjectRootEx<CComSingleThreadModel>,
             public CComCoClass<CToy, &CLSID_Toy> {
public:
    static CToyRecord record;

    static HRESULT WINAPI UpdateRegistry(BOOL) { return S_OK; }

    BEGIN_COM_MAP(CToy)
        COM_INTERFACE_ENTRY(IPersist)
        COM_INTERFACE_ENTRY(ISupportErrorInfo)
    END_COM_MAP()

    HRESULT FinalConstruct() {
        ++record.nFinalConstructs;
        return record.hrFinalConstruct;
    }
    void FinalRelease() {
        ++record.nFinalReleases;
        record.nRefInFinalRelease = m_dwRef;
        record.nLocksInFinalRelease = _Module.GetLockCount();
    }

    STDMETHOD(GetClassID)(CLSID* pClassID) override {
        *pClassID = CLSID_Toy;
        return S_OK;
    }
    STDMETHOD(InterfaceSupportsErrorInfo)(REFIID) override { return S_FALSE; }
};
