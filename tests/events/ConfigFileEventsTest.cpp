// The event connection point of a real ConfigFile object, made by the
// registered server the way a client makes it.
#include "Quorvex3.h"
#include "platform/ComPtr.h"

#include "tests/support/ComApartment.h"
#include "tests/support/NeutralLocaleTypeLib.h"
#include "tests/support/QueryLoadSink.h"

#include <gtest/gtest.h>

#include <olectl.h>

namespace {

using namespace testsupport;

HRESULT ServerCanUnloadNow() {
    HMODULE hServer = GetModuleHandleW(L"Quorvex3.dll");
    if (!hServer) return E_UNEXPECTED;
    using CanUnloadNow = HRESULT(STDAPICALLTYPE*)();
    auto pfn = reinterpret_cast<CanUnloadNow>(reinterpret_cast<void*>(GetProcAddress(hServer, "DllCanUnloadNow")));
    return pfn ? pfn() : E_UNEXPECTED;
}

class ConfigFileEvents : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(S_OK, CoCreateInstance(CLSID_ConfigFile, nullptr, CLSCTX_INPROC_SERVER, IID_IConnectionPointContainer,
                                         reinterpret_cast<void**>(m_pContainer.Out())));
        ASSERT_EQ(S_OK, m_pContainer->FindConnectionPoint(DIID__IConfigFileEvents, m_pCP.Out()));
    }

    CNeutralLocaleTypeLibEntry m_typeLibEntry{LIBID_Quorvex3};
    CComApartment m_apartment{COINIT_APARTMENTTHREADED};
    CComPtr<IConnectionPointContainer> m_pContainer;
    CComPtr<IConnectionPoint> m_pCP;
};

TEST_F(ConfigFileEvents, ContainerOffersTheEventInterfaceOnly) {
    CComPtr<IConfigFile> pFile;
    ASSERT_EQ(S_OK, m_pContainer->QueryInterface(IID_IConfigFile, reinterpret_cast<void**>(pFile.Out())));
    CComPtr<IConnectionPointContainer> pContainer;
    ASSERT_EQ(S_OK, pFile->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(pContainer.Out())));
    EXPECT_EQ(m_pContainer.Get(), pContainer.Get());

    IID iid = IID_NULL;
    EXPECT_EQ(S_OK, m_pCP->GetConnectionInterface(&iid));
    EXPECT_TRUE(IsEqualIID(DIID__IConfigFileEvents, iid));
    CComPtr<IConnectionPointContainer> pOwner;
    EXPECT_EQ(S_OK, m_pCP->GetConnectionPointContainer(pOwner.Out()));
    EXPECT_EQ(m_pContainer.Get(), pOwner.Get());
    for (const IID* piid : {&IID_IConfigFile, &IID_IDispatch, &IID_IUnknown}) {
        IConnectionPoint* pCP = m_pCP.Get();
        EXPECT_EQ(CONNECT_E_NOCONNECTION, m_pContainer->FindConnectionPoint(*piid, &pCP));
        EXPECT_EQ(nullptr, pCP);
    }
    CComPtr<IEnumConnectionPoints> pEnum;
    ASSERT_EQ(S_OK, m_pContainer->EnumConnectionPoints(pEnum.Out()));
    IConnectionPoint* points[2] = {};
    ULONG nFetched = 0;
    EXPECT_EQ(S_FALSE, pEnum->Next(2, points, &nFetched));
    ASSERT_EQ(1u, nFetched);
    EXPECT_EQ(m_pCP.Get(), points[0]);
    points[0]->Release();
}

// Advising and firing on this object are exercised by the Read tests.
TEST_F(ConfigFileEvents, LiveEnumeratorKeepsTheServerLoaded) {
    CComPtr<CRecordingSink> sink = CRecordingSink::Create(DIID__IConfigFileEvents);
    CComPtr<CRecordingSink> plain = CRecordingSink::Create(DIID__IConfigFileEvents, E_NOINTERFACE);
    DWORD dwCookie = 0;
    EXPECT_EQ(CONNECT_E_CANNOTCONNECT, m_pCP->Advise(plain.Get(), &dwCookie));
    ASSERT_EQ(S_OK, m_pCP->Advise(sink.Get(), &dwCookie));
    CComPtr<IEnumConnections> pConnections;
    ASSERT_EQ(S_OK, m_pCP->EnumConnections(pConnections.Out()));
    CComPtr<IEnumConnectionPoints> pPoints;
    ASSERT_EQ(S_OK, m_pContainer->EnumConnectionPoints(pPoints.Out()));
    CComPtr<IEnumConnections> pClone;
    ASSERT_EQ(S_OK, pConnections->Clone(pClone.Out()));

    // The points enumerator holds the object; the others hold only the sink.
    m_pCP.Release();
    m_pContainer.Release();
    EXPECT_EQ(S_FALSE, ServerCanUnloadNow());
    pPoints.Release();
    EXPECT_EQ(S_FALSE, ServerCanUnloadNow());
    pConnections.Release();
    EXPECT_EQ(S_FALSE, ServerCanUnloadNow());
    pClone.Release();
    EXPECT_EQ(S_OK, ServerCanUnloadNow());
    EXPECT_EQ(0, sink->OtherReferences());
}

}  // namespace
