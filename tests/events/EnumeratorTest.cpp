// The enumerators over connections and connection points: the enumerator
// contract, the references they hand out and hold, and the module locks.
#include "EventSourceFixture.h"

#include "AllocationFailure.h"
#include "server/Module.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

namespace {

IUnknown* Identity(IUnknown* p) {
    CComPtr<IUnknown> pIdentity;
    p->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(pIdentity.Out()));
    return pIdentity.Get();  // the objects stay alive in the tests below
}

class ConnectionsEnumerator : public EventSourceFixture {
protected:
    void SetUp() override {
        for (CComPtr<CRecordingSink>& sink : m_sinks) {
            sink = NewSink();
            m_cookies.push_back(Advise(sink));
        }
        ASSERT_EQ(S_OK, m_cp->Unadvise(m_cookies[1]));  // leaves a free slot between two sinks
    }

    CComPtr<IEnumConnections> Enumerate() {
        CComPtr<IEnumConnections> pEnum;
        EXPECT_EQ(S_OK, m_cp->EnumConnections(pEnum.Out()));
        return pEnum;
    }

    // Takes up to nWanted records and gives them back (their references released).
    std::vector<DWORD> NextCookies(IEnumConnections* pEnum, ULONG nWanted, HRESULT hrExpected) {
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

    CComPtr<CRecordingSink> m_sinks[3];
    std::vector<DWORD> m_cookies;
};

TEST_F(ConnectionsEnumerator, ListsTheAdvisedSinksWithTheirCookies) {
    CComPtr<IEnumConnections> pEnum = Enumerate();
    CONNECTDATA records[4] = {};
    ULONG nFetched = 0;
    EXPECT_EQ(S_FALSE, pEnum->Next(4, records, &nFetched));
    ASSERT_EQ(2u, nFetched);
    EXPECT_EQ(m_cookies[0], records[0].dwCookie);
    EXPECT_EQ(m_cookies[2], records[1].dwCookie);
    EXPECT_EQ(Identity(m_sinks[0].Get()), Identity(records[0].pUnk));
    EXPECT_EQ(Identity(m_sinks[2].Get()), Identity(records[1].pUnk));
    for (ULONG i = 0; i < nFetched; ++i) records[i].pUnk->Release();
    EXPECT_EQ(E_POINTER, m_cp->EnumConnections(nullptr));
}

TEST_F(ConnectionsEnumerator, HandsOutReferencesAndHoldsItsOwnUntilReleased) {
    const LONG nAdvised = m_sinks[0]->OtherReferences();
    CComPtr<IEnumConnections> pEnum = Enumerate();
    const LONG nEnumerated = m_sinks[0]->OtherReferences();
    EXPECT_GT(nEnumerated, nAdvised);

    CONNECTDATA record{};
    ASSERT_EQ(S_OK, pEnum->Next(1, &record, nullptr));
    EXPECT_EQ(nEnumerated + 1, m_sinks[0]->OtherReferences());
    record.pUnk->Release();

    pEnum.Release();
    EXPECT_EQ(nAdvised, m_sinks[0]->OtherReferences());
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
    EXPECT_EQ((std::vector<DWORD>{m_cookies[0], m_cookies[2]}), NextCookies(pEnum.Get(), 2, S_OK));
    EXPECT_EQ(S_FALSE, pEnum->Skip(1));
    EXPECT_EQ(S_OK, pEnum->Skip(0));
    EXPECT_EQ(S_OK, pEnum->Reset());
    EXPECT_EQ(S_OK, pEnum->Skip(1));
    EXPECT_EQ(S_FALSE, pEnum->Skip(0xFFFFFFFF));  // no wrap-around past the end
    EXPECT_EQ(std::vector<DWORD>{}, NextCookies(pEnum.Get(), 1, S_FALSE));
}

struct NextArgumentsCase {
    const char* name;
    ULONG nCount;
    bool bNullArray;
    bool bNullFetched;
    HRESULT hr;
};
void PrintTo(const NextArgumentsCase& c, std::ostream* os) { *os << c.name; }

class EnumeratorNextArguments : public ConnectionsEnumerator,
                                public testing::WithParamInterface<NextArgumentsCase> {};

TEST_P(EnumeratorNextArguments, AreCheckedBeforeAnythingMoves) {
    const NextArgumentsCase& c = GetParam();
    CComPtr<IEnumConnections> pEnum = Enumerate();
    CONNECTDATA records[2] = {};
    ULONG nFetched = 99;
    EXPECT_EQ(c.hr, pEnum->Next(c.nCount, c.bNullArray ? nullptr : records, c.bNullFetched ? nullptr : &nFetched));
    const ULONG nTaken = c.hr == E_POINTER ? 0 : c.nCount;
    if (!c.bNullFetched && c.hr != E_POINTER) {
        EXPECT_EQ(nTaken, nFetched);
    }
    for (ULONG i = 0; i < nTaken; ++i) records[i].pUnk->Release();
    // A refused call did not move the position.
    const size_t nLeft = 2 - nTaken;
    EXPECT_EQ(nLeft, NextCookies(pEnum.Get(), 2, nLeft == 2 ? S_OK : S_FALSE).size());
}

INSTANTIATE_TEST_SUITE_P(
    Contract, EnumeratorNextArguments,
    testing::Values(NextArgumentsCase{"NullArray", 1, true, false, E_POINTER},
                    NextArgumentsCase{"NullArrayWithoutCountPointer", 1, true, true, E_POINTER},
                    NextArgumentsCase{"TwoWithoutCountPointer", 2, false, true, E_POINTER},
                    NextArgumentsCase{"ZeroWithoutCountPointer", 0, false, true, E_POINTER},
                    NextArgumentsCase{"OneWithoutCountPointer", 1, false, true, S_OK},
                    NextArgumentsCase{"ZeroWithCountPointer", 0, false, false, S_OK},
                    NextArgumentsCase{"Two", 2, false, false, S_OK}),
    [](const testing::TestParamInfo<NextArgumentsCase>& info) { return std::string(info.param.name); });

TEST_F(ConnectionsEnumerator, CloneStartsWhereTheOriginalIsAndMovesOnItsOwn) {
    CComPtr<IEnumConnections> pEnum = Enumerate();
    EXPECT_EQ(S_OK, pEnum->Skip(1));
    CComPtr<IEnumConnections> pClone;
    ASSERT_EQ(S_OK, pEnum->Clone(pClone.Out()));
    EXPECT_EQ(std::vector<DWORD>{m_cookies[2]}, NextCookies(pClone.Get(), 1, S_OK));
    EXPECT_EQ(std::vector<DWORD>{m_cookies[2]}, NextCookies(pEnum.Get(), 1, S_OK));
    EXPECT_EQ(S_OK, pClone->Reset());
    EXPECT_EQ(std::vector<DWORD>{m_cookies[0]}, NextCookies(pClone.Get(), 1, S_OK));
    EXPECT_EQ(E_POINTER, pEnum->Clone(nullptr));
}

TEST_F(ConnectionsEnumerator, CloneKeepsTheElementsAliveAfterTheOriginalGoes) {
    CComPtr<IEnumConnections> pEnum = Enumerate();
    CComPtr<IEnumConnections> pCloneOfClone;
    {
        CComPtr<IEnumConnections> pClone;
        ASSERT_EQ(S_OK, pEnum->Clone(pClone.Out()));
        ASSERT_EQ(S_OK, pClone->Clone(pCloneOfClone.Out()));
    }
    pEnum.Release();
    // The sinks may even be unadvised: the enumerator's references stand.
    ASSERT_EQ(S_OK, m_cp->Unadvise(m_cookies[2]));
    EXPECT_GT(m_sinks[2]->OtherReferences(), 0);
    EXPECT_EQ((std::vector<DWORD>{m_cookies[0], m_cookies[2]}), NextCookies(pCloneOfClone.Get(), 2, S_OK));
    pCloneOfClone.Release();
    EXPECT_EQ(0, m_sinks[2]->OtherReferences());
}

TEST_F(ConnectionsEnumerator, EachEnumeratorLocksTheModuleWhileItLives) {
    const LONG nBase = _Module.GetLockCount();
    CComPtr<IEnumConnections> pConnections = Enumerate();
    EXPECT_EQ(nBase + 1, _Module.GetLockCount());
    CComPtr<IEnumConnections> pClone;
    ASSERT_EQ(S_OK, pConnections->Clone(pClone.Out()));
    EXPECT_EQ(nBase + 2, _Module.GetLockCount());
    CComPtr<IEnumConnectionPoints> pPoints;
    ASSERT_EQ(S_OK, m_source->EnumConnectionPoints(pPoints.Out()));
    EXPECT_EQ(nBase + 3, _Module.GetLockCount());

    pClone.Release();
    EXPECT_EQ(nBase + 2, _Module.GetLockCount());
    pConnections.Release();
    EXPECT_EQ(nBase + 1, _Module.GetLockCount());
    pPoints.Release();
    EXPECT_EQ(nBase, _Module.GetLockCount());
}

// Which of the enumerator's allocations fails: the object or its records.
struct OutOfMemoryCase {
    const char* name;
    int nSucceeding;
};
void PrintTo(const OutOfMemoryCase& c, std::ostream* os) { *os << c.name; }

class EnumeratorsWithoutMemory : public ConnectionsEnumerator, public testing::WithParamInterface<OutOfMemoryCase> {};

TEST_P(EnumeratorsWithoutMemory, FailCleanly) {
    const LONG nBase = _Module.GetLockCount();
    const LONG nSinkRefs = m_sinks[0]->OtherReferences();
    const LONG nSourceRefs = m_source->RefCount();
    IEnumConnections* pConnections = reinterpret_cast<IEnumConnections*>(this);
    IEnumConnectionPoints* pPoints = reinterpret_cast<IEnumConnectionPoints*>(this);
    {
        CNothrowAllocationFailure noMemory(GetParam().nSucceeding);
        EXPECT_EQ(E_OUTOFMEMORY, m_cp->EnumConnections(&pConnections));
    }
    {
        CNothrowAllocationFailure noMemory(GetParam().nSucceeding);
        EXPECT_EQ(E_OUTOFMEMORY, m_source->EnumConnectionPoints(&pPoints));
    }
    EXPECT_EQ(nullptr, pConnections);
    EXPECT_EQ(nullptr, pPoints);
    EXPECT_EQ(nBase, _Module.GetLockCount());
    EXPECT_EQ(nSinkRefs, m_sinks[0]->OtherReferences());
    EXPECT_EQ(nSourceRefs, m_source->RefCount());
}

INSTANTIATE_TEST_SUITE_P(Allocations, EnumeratorsWithoutMemory,
                         testing::Values(OutOfMemoryCase{"ForTheEnumerator", 0}, OutOfMemoryCase{"ForTheRecords", 1}),
                         [](const testing::TestParamInfo<OutOfMemoryCase>& info) { return std::string(info.param.name); });

TEST_F(ConnectionsEnumerator, CloneWithoutMemoryFailsAndKeepsTheOriginal) {
    CComPtr<IEnumConnections> pEnum = Enumerate();
    const LONG nBase = _Module.GetLockCount();
    IEnumConnections* pClone = pEnum.Get();
    {
        CNothrowAllocationFailure noMemory;
        EXPECT_EQ(E_OUTOFMEMORY, pEnum->Clone(&pClone));
    }
    EXPECT_EQ(nullptr, pClone);
    EXPECT_EQ(nBase, _Module.GetLockCount());
    EXPECT_EQ((std::vector<DWORD>{m_cookies[0], m_cookies[2]}), NextCookies(pEnum.Get(), 2, S_OK));
}

using ConnectionPointsEnumerator = EventSourceFixture;

TEST_F(ConnectionPointsEnumerator, GivesTheOneConnectionPointAndHoldsItsOwner) {
    const LONG nBefore = m_source->RefCount();
    CComPtr<IEnumConnectionPoints> pEnum;
    ASSERT_EQ(S_OK, m_source->EnumConnectionPoints(pEnum.Out()));
    EXPECT_EQ(nBefore + 1, m_source->RefCount());

    IConnectionPoint* points[2] = {};
    ULONG nFetched = 0;
    EXPECT_EQ(S_FALSE, pEnum->Next(2, points, &nFetched));
    ASSERT_EQ(1u, nFetched);
    EXPECT_EQ(m_cp.Get(), points[0]);
    EXPECT_EQ(nBefore + 2, m_source->RefCount());
    points[0]->Release();

    EXPECT_EQ(S_OK, pEnum->Reset());
    EXPECT_EQ(S_OK, pEnum->Skip(1));
    EXPECT_EQ(S_FALSE, pEnum->Skip(1));
    pEnum.Release();
    EXPECT_EQ(nBefore, m_source->RefCount());
    EXPECT_EQ(E_POINTER, m_source->EnumConnectionPoints(nullptr));
}

}  // namespace
