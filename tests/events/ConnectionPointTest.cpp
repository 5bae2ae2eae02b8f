// The event connection point of a real ConfigFile object, made by the
// registered server the way a client makes it: the container, advising and
// unadvising, the failure codes, the enumerators and the references they hold.
#include "Quorvex3.h"
#include "platform/ComPtr.h"
#include "tests/support/ComTestSupport.h"
#include "tests/support/ConfigFileObject.h"

#include <gtest/gtest.h>

#include <olectl.h>

#include <set>

namespace {

using namespace testsupport;

const testing::Environment* const g_environment = testing::AddGlobalTestEnvironment(new CComTestEnvironment);

class ConfigFileEvents : public testing::Test {
protected:
    void SetUp() override {
        m_pContainer = NewConfigFile<IConnectionPointContainer>(IID_IConnectionPointContainer);
        ASSERT_TRUE(m_pContainer);
        ASSERT_EQ(S_OK, m_pContainer->FindConnectionPoint(DIID__IConfigFileEvents, m_pCP.Out()));
    }
    static CComPtr<CRecordingSink> NewSink(HRESULT hrEventIid = S_OK) {
        return CRecordingSink::Create(DIID__IConfigFileEvents, hrEventIid);
    }
    CComPtr<IEnumConnections> Enumerate() {
        CComPtr<IEnumConnections> pEnum;
        EXPECT_EQ(S_OK, m_pCP->EnumConnections(pEnum.Out()));
        return pEnum;
    }
    // Takes up to nWanted records and gives back their cookies (references released).
    static std::vector<DWORD> NextCookies(IEnumConnections* pEnum, ULONG nWanted, HRESULT hrExpected) {
        std::vector<CONNECTDATA> records(nWanted + 1);
        ULONG nFetched = 99;
        EXPECT_EQ(hrExpected, pEnum->Next(nWanted, records.data(), &nFetched));
        std::vector<DWORD> cookies;
        for (ULONG i = 0; i < nFetched; ++i) {
            cookies.push_back(records[i].dwCookie);
            records[i].pUnk->Release();
        }
        return cookies;
    }

    CNeutralLocaleTypeLibEntry m_typeLibEntry{LIBID_Quorvex3};
    CComPtr<IConnectionPointContainer> m_pContainer;
    CComPtr<IConnectionPoint> m_pCP;
};

TEST_F(ConfigFileEvents, ContainerOffersOnePointForTheEventInterfaceOnly) {
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

    // The point names its interface and its container.
    IID iid = IID_NULL;
    EXPECT_EQ(S_OK, m_pCP->GetConnectionInterface(&iid));
    EXPECT_TRUE(IsEqualIID(DIID__IConfigFileEvents, iid));
    CComPtr<IConnectionPointContainer> pOwner;
    EXPECT_EQ(S_OK, m_pCP->GetConnectionPointContainer(pOwner.Out()));
    EXPECT_EQ(m_pContainer.Get(), pOwner.Get());
}

TEST_F(ConfigFileEvents, RefusedAdviseLeavesCookieZeroAndTheSinkUnheld) {
    const struct {
        const char* name;
        bool bNullSink;
        bool bNullCookie;
        HRESULT hrSinkQuery;
        HRESULT hrExpected;
    } cases[] = {
        {"null sink", true, false, S_OK, E_POINTER},
        {"null cookie", false, true, S_OK, E_POINTER},
        {"sink without the interface", false, false, E_NOINTERFACE, CONNECT_E_CANNOTCONNECT},
        {"sink query fails otherwise", false, false, E_UNEXPECTED, E_UNEXPECTED},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CComPtr<CRecordingSink> sink = NewSink(c.hrSinkQuery);
        DWORD dwCookie = 1234;
        EXPECT_EQ(c.hrExpected, m_pCP->Advise(c.bNullSink ? nullptr : sink.Get(), c.bNullCookie ? nullptr : &dwCookie));
        EXPECT_EQ(c.bNullCookie ? 1234u : 0u, dwCookie);
        EXPECT_EQ(0, sink->OtherReferences());
    }
    EXPECT_EQ(std::vector<DWORD>{}, NextCookies(Enumerate().Get(), 1, S_FALSE));
}

TEST_F(ConfigFileEvents, EachAdviseGetsItsOwnCookieAndUnadviseTakesItOnce) {
    CComPtr<CRecordingSink> a = NewSink();
    CComPtr<CRecordingSink> b = NewSink();
    const DWORD dwB = Advise(m_pCP.Get(), b.Get());
    std::set<DWORD> cookies{Advise(m_pCP.Get(), a.Get()), dwB, Advise(m_pCP.Get(), a.Get())};
    EXPECT_EQ(3u, cookies.size());
    EXPECT_EQ(3u, NextCookies(Enumerate().Get(), 4, S_FALSE).size());
    for (DWORD dwNever : {0ul, 0xFFFFFFFFul, *cookies.rbegin() + 1})
        EXPECT_EQ(CONNECT_E_NOCONNECTION, m_pCP->Unadvise(dwNever));
    EXPECT_GT(b->OtherReferences(), 0);
    EXPECT_EQ(S_OK, m_pCP->Unadvise(dwB));
    EXPECT_EQ(0, b->OtherReferences());
    EXPECT_EQ(CONNECT_E_NOCONNECTION, m_pCP->Unadvise(dwB));

    // The object's end releases every sink still advised.
    m_pCP.Release();
    m_pContainer.Release();
    EXPECT_EQ(0, a->OtherReferences());
}

// Two sinks with a free slot between them.
class ConnectionsEnumerator : public ConfigFileEvents {
protected:
    void SetUp() override {
        ConfigFileEvents::SetUp();
        for (int i = 0; i < 3; ++i) {
            m_sinks.push_back(NewSink());
            m_cookies.push_back(Advise(m_pCP.Get(), m_sinks.back().Get()));
        }
        ASSERT_EQ(S_OK, m_pCP->Unadvise(m_cookies[1]));
    }
    std::vector<DWORD> Both() const { return {m_cookies[0], m_cookies[2]}; }

    std::vector<CComPtr<CRecordingSink>> m_sinks;
    std::vector<DWORD> m_cookies;
};

TEST_F(ConnectionsEnumerator, ListsTheSinksAndHoldsThemWhileSkipResetNextAndClonesWalkTheSameElements) {
    const LONG nAdvised = m_sinks[0]->OtherReferences();
    CComPtr<IEnumConnections> pEnum = Enumerate();
    EXPECT_GT(m_sinks[0]->OtherReferences(), nAdvised);
    EXPECT_EQ(Both(), NextCookies(pEnum.Get(), 4, S_FALSE));
    EXPECT_EQ(S_OK, pEnum->Reset());
    EXPECT_EQ(S_OK, pEnum->Skip(1));
    CComPtr<IEnumConnections> pClone, pCloneOfClone;
    ASSERT_EQ(S_OK, pEnum->Clone(pClone.Out()));
    ASSERT_EQ(S_OK, pClone->Clone(pCloneOfClone.Out()));
    EXPECT_EQ(std::vector<DWORD>{m_cookies[2]}, NextCookies(pEnum.Get(), 1, S_OK));
    EXPECT_EQ(std::vector<DWORD>{}, NextCookies(pEnum.Get(), 1, S_FALSE));
    EXPECT_EQ(std::vector<DWORD>{m_cookies[2]}, NextCookies(pClone.Get(), 1, S_OK));  // a clone moves on its own
    EXPECT_EQ(S_OK, pEnum->Reset());
    EXPECT_EQ(S_FALSE, pEnum->Skip(3));
    EXPECT_EQ(std::vector<DWORD>{}, NextCookies(pEnum.Get(), 2, S_FALSE));
    EXPECT_EQ(S_OK, pEnum->Reset());
    EXPECT_EQ(S_OK, pEnum->Skip(1));
    EXPECT_EQ(S_FALSE, pEnum->Skip(0xFFFFFFFF));  // no wrap-around past the end
    EXPECT_EQ(std::vector<DWORD>{}, NextCookies(pEnum.Get(), 1, S_FALSE));

    // The original may go, the sinks be unadvised and the object released:
    // the clone's references stand, and the enumerators keep the server loaded.
    CComPtr<IEnumConnectionPoints> pPoints;
    ASSERT_EQ(S_OK, m_pContainer->EnumConnectionPoints(pPoints.Out()));
    pEnum.Release();
    pClone.Release();
    ASSERT_EQ(S_OK, m_pCP->Unadvise(m_cookies[2]));
    EXPECT_GT(m_sinks[2]->OtherReferences(), 0);
    m_pCP.Release();
    m_pContainer.Release();
    EXPECT_EQ(S_FALSE, Quorvex3CanUnloadNow());
    pPoints.Release();
    EXPECT_EQ(S_FALSE, Quorvex3CanUnloadNow());
    EXPECT_EQ(S_OK, pCloneOfClone->Reset());
    EXPECT_EQ(Both(), NextCookies(pCloneOfClone.Get(), 2, S_OK));
    pCloneOfClone.Release();
    EXPECT_EQ(S_OK, Quorvex3CanUnloadNow());
    EXPECT_EQ(0, m_sinks[0]->OtherReferences());
    EXPECT_EQ(0, m_sinks[2]->OtherReferences());
}

}  // namespace
