// The connection point and its container: identity, finding, advising and
// unadvising, the failure codes, and the sinks' references.
#include "EventSourceFixture.h"

#include "AllocationFailure.h"

#include <set>

namespace {

const IID IID_Unrelated = {0x1b2c3d4e, 0x1111, 0x2222, {0x33, 0x33, 0x44, 0x44, 0x55, 0x55, 0x66, 0x66}};

using ConnectionPoint = EventSourceFixture;

TEST_F(ConnectionPoint, AnswersOnlyItselfAndNamesItsInterfaceAndContainer) {
    const struct {
        const IID* piid;
        HRESULT hr;
    } queries[] = {{&IID_IConnectionPoint, S_OK},
                   {&IID_IUnknown, S_OK},
                   {&IID_IConnectionPointContainer, E_NOINTERFACE},
                   {&IID_IDispatch, E_NOINTERFACE},
                   {&IID_Unrelated, E_NOINTERFACE}};
    for (const auto& q : queries) {
        void* pv = &pv;
        EXPECT_EQ(q.hr, m_cp->QueryInterface(*q.piid, &pv));
        EXPECT_EQ(q.hr == S_OK ? static_cast<void*>(m_cp.Get()) : nullptr, pv);
        if (pv) static_cast<IUnknown*>(pv)->Release();
        // The interface is judged before the out-pointer.
        EXPECT_EQ(q.hr == S_OK ? E_POINTER : E_NOINTERFACE, m_cp->QueryInterface(*q.piid, nullptr));
    }
    // It shares the reference count of its owner.
    const LONG nBefore = m_source->RefCount();
    m_cp->AddRef();
    EXPECT_EQ(nBefore + 1, m_source->RefCount());
    m_cp->Release();

    IID iid = IID_NULL;
    EXPECT_EQ(S_OK, m_cp->GetConnectionInterface(&iid));
    EXPECT_TRUE(IsEqualIID(IID_IDispatch, iid));
    EXPECT_EQ(E_POINTER, m_cp->GetConnectionInterface(nullptr));
    CComPtr<IConnectionPointContainer> pContainer;
    EXPECT_EQ(S_OK, m_cp->GetConnectionPointContainer(pContainer.Out()));
    EXPECT_EQ(static_cast<IConnectionPointContainer*>(m_source.Get()), pContainer.Get());
    EXPECT_EQ(E_POINTER, m_cp->GetConnectionPointContainer(nullptr));
}

TEST_F(ConnectionPoint, RefusedAdviseLeavesCookieZeroAndTheSinkUnheld) {
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
        {"sink query out of memory", false, false, E_OUTOFMEMORY, E_OUTOFMEMORY},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CComPtr<CRecordingSink> sink = NewSink(c.hrSinkQuery);
        DWORD dwCookie = 1234;
        EXPECT_EQ(c.hrExpected, m_cp->Advise(c.bNullSink ? nullptr : sink.Get(), c.bNullCookie ? nullptr : &dwCookie));
        EXPECT_EQ(c.bNullCookie ? 1234u : 0u, dwCookie);
        EXPECT_EQ(0, sink->OtherReferences());
        EXPECT_EQ(S_OK, Fire());
        EXPECT_EQ(0u, sink->CallCount());
    }
}

TEST_F(ConnectionPoint, AdviseWithoutRoomForTheSinkLeavesNothingRegistered) {
    CComPtr<CRecordingSink> first = NewSink();
    CComPtr<CRecordingSink> second = NewSink();
    Advise(first);  // held in place: the second needs the first array
    DWORD dwCookie = 1234;
    {
        CNothrowAllocationFailure noMemory;
        EXPECT_EQ(CONNECT_E_ADVISELIMIT, m_cp->Advise(second.Get(), &dwCookie));
    }
    EXPECT_EQ(0u, dwCookie);
    EXPECT_EQ(0, second->OtherReferences());
    EXPECT_EQ(S_OK, Fire());
    EXPECT_EQ(1u, first->CallCount());
    EXPECT_EQ(0u, second->CallCount());
}

TEST_F(ConnectionPoint, EachAdviseGetsItsOwnCookieAndUnadviseTakesItOnce) {
    CComPtr<CRecordingSink> a = NewSink();
    CComPtr<CRecordingSink> b = NewSink();
    const DWORD dwB = Advise(b);
    std::set<DWORD> cookies{Advise(a), dwB, Advise(a)};
    EXPECT_EQ(3u, cookies.size());
    EXPECT_EQ(S_OK, Fire());
    EXPECT_EQ(2u, a->CallCount());
    EXPECT_EQ(1u, b->CallCount());

    for (DWORD dwNever : {0ul, 0xFFFFFFFFul, *cookies.rbegin() + 1})
        EXPECT_EQ(CONNECT_E_NOCONNECTION, m_cp->Unadvise(dwNever));
    EXPECT_GT(b->OtherReferences(), 0);
    EXPECT_EQ(S_OK, m_cp->Unadvise(dwB));
    EXPECT_EQ(0, b->OtherReferences());
    EXPECT_EQ(CONNECT_E_NOCONNECTION, m_cp->Unadvise(dwB));
}

TEST(ConnectionPointOwner, DestructionReleasesEverySinkStillAdvised) {
    CComApartment apartment(COINIT_APARTMENTTHREADED);
    CComPtr<CRecordingSink> a = CRecordingSink::Create(IID_IDispatch);
    CComPtr<CRecordingSink> b = CRecordingSink::Create(IID_IDispatch);
    CComPtr<CEventSource> source = CEventSource::Create();
    CComPtr<IConnectionPoint> cp = source->ConnectionPoint();
    DWORD dwCookie = 0;
    ASSERT_EQ(S_OK, cp->Advise(a.Get(), &dwCookie));
    ASSERT_EQ(S_OK, cp->Advise(b.Get(), &dwCookie));
    ASSERT_EQ(S_OK, cp->Advise(a.Get(), &dwCookie));
    ASSERT_EQ(S_OK, cp->Unadvise(dwCookie));
    cp.Release();
    EXPECT_GT(b->OtherReferences(), 0);
    source.Release();
    EXPECT_EQ(0, a->OtherReferences());
    EXPECT_EQ(0, b->OtherReferences());
}

// An owner made on a thread outside every apartment cannot reach the global
// interface table; it must still behave, refusing sinks with the reason.
DWORD WINAPI CreateSourceOutsideCom(void* pResult) {
    *static_cast<CComPtr<CEventSource>*>(pResult) = CEventSource::Create();
    return 0;
}

TEST(ConnectionPointOwner, WithoutTheGlobalInterfaceTableRefusesSinksAndFiresNothing) {
    CComPtr<CEventSource> source;
    HANDLE hThread = CreateThread(nullptr, 0, CreateSourceOutsideCom, &source, 0, nullptr);
    ASSERT_NE(nullptr, hThread);
    WaitForSingleObject(hThread, INFINITE);
    CloseHandle(hThread);
    ASSERT_TRUE(source);

    CComApartment apartment(COINIT_APARTMENTTHREADED);
    CComPtr<CRecordingSink> sink = CRecordingSink::Create(IID_IDispatch);
    CComPtr<IConnectionPoint> cp = source->ConnectionPoint();
    DWORD dwCookie = 1234;
    EXPECT_EQ(CO_E_NOTINITIALIZED, cp->Advise(sink.Get(), &dwCookie));
    EXPECT_EQ(0u, dwCookie);
    EXPECT_EQ(0, sink->OtherReferences());
    EXPECT_EQ(CONNECT_E_NOCONNECTION, cp->Unadvise(1));

    CComPtr<IEnumConnections> pEnum;
    ASSERT_EQ(S_OK, cp->EnumConnections(pEnum.Out()));
    CONNECTDATA record{};
    ULONG nFetched = 7;
    EXPECT_EQ(S_FALSE, pEnum->Next(1, &record, &nFetched));
    EXPECT_EQ(0u, nFetched);

    VARIANT_BOOL bCancel = VARIANT_TRUE;
    CBstr version(L"1.0");
    EXPECT_EQ(S_OK, source->Fire_QueryLoad(&bCancel, version, version));
    EXPECT_EQ(VARIANT_FALSE, bCancel);
    EXPECT_EQ(0u, sink->CallCount());
}

}  // namespace
