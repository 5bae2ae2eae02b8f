// The enumerators over connections and connection points: the enumerator
// contract and the references they hand out and hold.
#include "EventSourceFixture.h"

#include "AllocationFailure.h"
#include "server/Module.h"

namespace {

IUnknown* Identity(IUnknown* p) {
    CComPtr<IUnknown> pIdentity;
    p->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(pIdentity.Out()));
    return pIdentity.Get();  // the objects stay alive in the tests below
}

// Two sinks with a free slot between them.
class ConnectionsEnumerator : public EventSourceFixture {
protected:
    void SetUp() override {
        m_sinks = AdviseSinks({nullptr, nullptr, nullptr}, &m_cookies);
        ASSERT_EQ(S_OK, m_cp->Unadvise(m_cookies[1]));
    }

    CComPtr<IEnumConnections> Enumerate() {
        CComPtr<IEnumConnections> pEnum;
        EXPECT_EQ(S_OK, m_cp->EnumConnections(pEnum.Out()));
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
    std::vector<DWORD> Both() const { return {m_cookies[0], m_cookies[2]}; }

    std::vector<CComPtr<CRecordingSink>> m_sinks;
    std::vector<DWORD> m_cookies;
};

TEST_F(ConnectionsEnumerator, ListsTheAdvisedSinksAndHoldsThemUntilReleased) {
    const LONG nAdvised = m_sinks[0]->OtherReferences();
    CComPtr<IEnumConnections> pEnum = Enumerate();
    const LONG nEnumerated = m_sinks[0]->OtherReferences();
    EXPECT_GT(nEnumerated, nAdvised);

    CONNECTDATA records[4] = {};
    ULONG nFetched = 0;
    EXPECT_EQ(S_FALSE, pEnum->Next(4, records, &nFetched));
    ASSERT_EQ(2u, nFetched);
    EXPECT_EQ(m_cookies[0], records[0].dwCookie);
    EXPECT_EQ(m_cookies[2], records[1].dwCookie);
    EXPECT_EQ(Identity(m_sinks[0].Get()), Identity(records[0].pUnk));
    EXPECT_EQ(Identity(m_sinks[2].Get()), Identity(records[1].pUnk));
    EXPECT_EQ(nEnumerated + 1, m_sinks[0]->OtherReferences());  // handed out
    for (ULONG i = 0; i < nFetched; ++i) records[i].pUnk->Release();

    pEnum.Release();
    EXPECT_EQ(nAdvised, m_sinks[0]->OtherReferences());
    EXPECT_EQ(E_POINTER, m_cp->EnumConnections(nullptr));
}

TEST_F(ConnectionsEnumerator, SkipResetAndNextWalkTheSameElements) {
    CComPtr<IEnumConnections> pEnum = Enumerate();
    EXPECT_EQ(S_OK, pEnum->Skip(0));
    EXPECT_EQ(S_OK, pEnum->Skip(1));
    EXPECT_EQ(std::vector<DWORD>{m_cookies[2]}, NextCookies(pEnum.Get(), 1, S_OK));
    EXPECT_EQ(std::vector<DWORD>{}, NextCookies(pEnum.Get(), 1, S_FALSE));
    EXPECT_EQ(S_OK, pEnum->Reset());
    EXPECT_EQ(S_FALSE, pEnum->Skip(3));
    EXPECT_EQ(std::vector<DWORD>{}, NextCookies(pEnum.Get(), 2, S_FALSE));
    EXPECT_EQ(S_OK, pEnum->Reset());
    EXPECT_EQ(Both(), NextCookies(pEnum.Get(), 2, S_OK));
    EXPECT_EQ(S_FALSE, pEnum->Skip(1));
    EXPECT_EQ(S_OK, pEnum->Skip(0));
    EXPECT_EQ(S_OK, pEnum->Reset());
    EXPECT_EQ(S_OK, pEnum->Skip(1));
    EXPECT_EQ(S_FALSE, pEnum->Skip(0xFFFFFFFF));  // no wrap-around past the end
    EXPECT_EQ(std::vector<DWORD>{}, NextCookies(pEnum.Get(), 1, S_FALSE));
}

TEST_F(ConnectionsEnumerator, NextChecksItsArgumentsBeforeAnythingMoves) {
    const struct {
        const char* name;
        ULONG nCount;
        bool bNullArray;
        bool bNullFetched;
        HRESULT hr;
    } cases[] = {
        {"null array", 1, true, false, E_POINTER},
        {"null array without count pointer", 1, true, true, E_POINTER},
        {"two without count pointer", 2, false, true, E_POINTER},
        {"zero without count pointer", 0, false, true, E_POINTER},
        {"one without count pointer", 1, false, true, S_OK},
        {"zero with count pointer", 0, false, false, S_OK},
        {"two", 2, false, false, S_OK},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CComPtr<IEnumConnections> pEnum = Enumerate();
        CONNECTDATA records[2] = {};
        ULONG nFetched = 99;
        EXPECT_EQ(c.hr, pEnum->Next(c.nCount, c.bNullArray ? nullptr : records, c.bNullFetched ? nullptr : &nFetched));
        const ULONG nTaken = c.hr == E_POINTER ? 0 : c.nCount;
        if (!c.bNullFetched && c.hr != E_POINTER) {
            EXPECT_EQ(nTaken, nFetched);
        }
        for (ULONG i = 0; i < nTaken; ++i) records[i].pUnk->Release();
        const size_t nLeft = 2 - nTaken;
        EXPECT_EQ(nLeft, NextCookies(pEnum.Get(), 2, nLeft == 2 ? S_OK : S_FALSE).size());
    }
}

TEST_F(ConnectionsEnumerator, ClonesMoveOnTheirOwnAndKeepTheElementsAlive) {
    CComPtr<IEnumConnections> pEnum = Enumerate();
    EXPECT_EQ(S_OK, pEnum->Skip(1));
    CComPtr<IEnumConnections> pClone, pCloneOfClone;
    ASSERT_EQ(S_OK, pEnum->Clone(pClone.Out()));
    ASSERT_EQ(S_OK, pClone->Clone(pCloneOfClone.Out()));
    EXPECT_EQ(std::vector<DWORD>{m_cookies[2]}, NextCookies(pClone.Get(), 1, S_OK));
    EXPECT_EQ(std::vector<DWORD>{m_cookies[2]}, NextCookies(pEnum.Get(), 1, S_OK));
    EXPECT_EQ(S_OK, pClone->Reset());
    EXPECT_EQ(std::vector<DWORD>{m_cookies[0]}, NextCookies(pClone.Get(), 1, S_OK));
    EXPECT_EQ(E_POINTER, pEnum->Clone(nullptr));

    // The original may go and the sinks be unadvised: the clone's references stand.
    pEnum.Release();
    pClone.Release();
    ASSERT_EQ(S_OK, m_cp->Unadvise(m_cookies[2]));
    EXPECT_GT(m_sinks[2]->OtherReferences(), 0);
    EXPECT_EQ(S_OK, pCloneOfClone->Reset());
    EXPECT_EQ(Both(), NextCookies(pCloneOfClone.Get(), 2, S_OK));
    pCloneOfClone.Release();
    EXPECT_EQ(0, m_sinks[2]->OtherReferences());
}

TEST_F(ConnectionsEnumerator, WithoutMemoryEnumeratorsAndClonesFailCleanly) {
    CComPtr<IEnumConnections> pEnum = Enumerate();
    const LONG nBase = _Module.GetLockCount();
    const LONG nSinkRefs = m_sinks[0]->OtherReferences();
    const LONG nSourceRefs = m_source->RefCount();
    // Either the enumerator object or its records cannot be had.
    for (int nSucceeding : {0, 1}) {
        SCOPED_TRACE(nSucceeding);
        IEnumConnections* pConnections = pEnum.Get();
        IEnumConnectionPoints* pPoints = reinterpret_cast<IEnumConnectionPoints*>(this);
        IEnumConnections* pClone = pEnum.Get();
        {
            CNothrowAllocationFailure noMemory(nSucceeding);
            EXPECT_EQ(E_OUTOFMEMORY, m_cp->EnumConnections(&pConnections));
        }
        {
            CNothrowAllocationFailure noMemory(nSucceeding);
            EXPECT_EQ(E_OUTOFMEMORY, m_source->EnumConnectionPoints(&pPoints));
        }
        if (nSucceeding == 0) {
            CNothrowAllocationFailure noMemory;
            EXPECT_EQ(E_OUTOFMEMORY, pEnum->Clone(&pClone));
            EXPECT_EQ(nullptr, pClone);
        }
        EXPECT_EQ(nullptr, pConnections);
        EXPECT_EQ(nullptr, pPoints);
        EXPECT_EQ(nBase, _Module.GetLockCount());
        EXPECT_EQ(nSinkRefs, m_sinks[0]->OtherReferences());
        EXPECT_EQ(nSourceRefs, m_source->RefCount());
    }
    EXPECT_EQ(Both(), NextCookies(pEnum.Get(), 2, S_OK));
}

}  // namespace
