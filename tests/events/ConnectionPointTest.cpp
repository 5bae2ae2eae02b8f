// The connection point and its container: identity, finding, advising and
// unadvising, the failure codes, and the sinks' references.
#include "EventSourceFixture.h"

#include "AllocationFailure.h"
#include "ComApartment.h"

#include <gtest/gtest.h>

#include <set>
#include <ostream>
#include <string>

namespace {

const IID IID_Unrelated = {0x1b2c3d4e, 0x1111, 0x2222, {0x33, 0x33, 0x44, 0x44, 0x55, 0x55, 0x66, 0x66}};

using ConnectionPoint = EventSourceFixture;

struct InterfaceCase {
    const char* name;
    const IID* piid;
    HRESULT hr;
};
void PrintTo(const InterfaceCase& c, std::ostream* os) { *os << c.name; }

class ConnectionPointQuery : public EventSourceFixture, public testing::WithParamInterface<InterfaceCase> {};

TEST_P(ConnectionPointQuery, AnswersOnlyItself) {
    const InterfaceCase& c = GetParam();
    void* pv = &pv;
    EXPECT_EQ(c.hr, m_cp->QueryInterface(*c.piid, &pv));
    if (c.hr == S_OK) {
        EXPECT_EQ(static_cast<void*>(m_cp.Get()), pv);
        static_cast<IUnknown*>(pv)->Release();
    } else {
        EXPECT_EQ(nullptr, pv);
    }
    // The interface is judged before the out-pointer.
    EXPECT_EQ(c.hr == S_OK ? E_POINTER : E_NOINTERFACE, m_cp->QueryInterface(*c.piid, nullptr));
}

INSTANTIATE_TEST_SUITE_P(Interfaces, ConnectionPointQuery,
                         testing::Values(InterfaceCase{"ConnectionPoint", &IID_IConnectionPoint, S_OK},
                                         InterfaceCase{"Unknown", &IID_IUnknown, S_OK},
                                         InterfaceCase{"Container", &IID_IConnectionPointContainer, E_NOINTERFACE},
                                         InterfaceCase{"Dispatch", &IID_IDispatch, E_NOINTERFACE},
                                         InterfaceCase{"Unrelated", &IID_Unrelated, E_NOINTERFACE}),
                         [](const testing::TestParamInfo<InterfaceCase>& info) { return std::string(info.param.name); });

TEST_F(ConnectionPoint, SharesTheReferenceCountOfItsOwner) {
    const LONG nBefore = m_source->RefCount();
    m_cp->AddRef();
    EXPECT_EQ(nBefore + 1, m_source->RefCount());
    m_cp->Release();
    EXPECT_EQ(nBefore, m_source->RefCount());
}

TEST_F(ConnectionPoint, NamesItsInterfaceAndItsContainer) {
    IID iid = IID_NULL;
    EXPECT_EQ(S_OK, m_cp->GetConnectionInterface(&iid));
    EXPECT_TRUE(IsEqualIID(IID_IDispatch, iid));
    EXPECT_EQ(E_POINTER, m_cp->GetConnectionInterface(nullptr));

    CComPtr<IConnectionPointContainer> pContainer;
    EXPECT_EQ(S_OK, m_cp->GetConnectionPointContainer(pContainer.Out()));
    EXPECT_EQ(static_cast<IConnectionPointContainer*>(m_source.Get()), pContainer.Get());
    EXPECT_EQ(E_POINTER, m_cp->GetConnectionPointContainer(nullptr));
}

TEST_F(ConnectionPoint, ContainerFindsOnlyItsOutgoingInterface) {
    CComPtr<IConnectionPoint> pFound;
    EXPECT_EQ(S_OK, m_source->FindConnectionPoint(IID_IDispatch, pFound.Out()));
    EXPECT_EQ(m_cp.Get(), pFound.Get());

    for (const IID* piid : {&IID_IUnknown, &IID_IConnectionPoint, &IID_Unrelated}) {
        IConnectionPoint* pOther = m_cp.Get();
        EXPECT_EQ(CONNECT_E_NOCONNECTION, m_source->FindConnectionPoint(*piid, &pOther));
        EXPECT_EQ(nullptr, pOther);
    }
    EXPECT_EQ(E_POINTER, m_source->FindConnectionPoint(IID_IDispatch, nullptr));
}

struct AdviseFailure {
    const char* name;
    bool bNullSink;
    bool bNullCookie;
    HRESULT hrSinkQuery;
    HRESULT hrExpected;
};
void PrintTo(const AdviseFailure& c, std::ostream* os) { *os << c.name; }

class AdviseRefused : public EventSourceFixture, public testing::WithParamInterface<AdviseFailure> {};

TEST_P(AdviseRefused, LeavesCookieZeroAndTheSinkUnheld) {
    const AdviseFailure& c = GetParam();
    CComPtr<CRecordingSink> sink = NewSink(c.hrSinkQuery);
    DWORD dwCookie = 1234;
    EXPECT_EQ(c.hrExpected, m_cp->Advise(c.bNullSink ? nullptr : sink.Get(), c.bNullCookie ? nullptr : &dwCookie));
    if (!c.bNullCookie) {
        EXPECT_EQ(0u, dwCookie);
    }
    EXPECT_EQ(0, sink->OtherReferences());

    VARIANT_BOOL bCancel = VARIANT_TRUE;
    EXPECT_EQ(S_OK, Fire(&bCancel));
    EXPECT_EQ(0u, sink->CallCount());
}

INSTANTIATE_TEST_SUITE_P(
    Failures, AdviseRefused,
    testing::Values(AdviseFailure{"NullSink", true, false, S_OK, E_POINTER},
                    AdviseFailure{"NullCookie", false, true, S_OK, E_POINTER},
                    AdviseFailure{"SinkWithoutTheInterface", false, false, E_NOINTERFACE, CONNECT_E_CANNOTCONNECT},
                    AdviseFailure{"SinkQueryFailsOtherwise", false, false, E_UNEXPECTED, E_UNEXPECTED},
                    AdviseFailure{"SinkQueryOutOfMemory", false, false, E_OUTOFMEMORY, E_OUTOFMEMORY}),
    [](const testing::TestParamInfo<AdviseFailure>& info) { return std::string(info.param.name); });

TEST_F(ConnectionPoint, EachAdviseGetsItsOwnCookieEvenForTheSameSink) {
    CComPtr<CRecordingSink> a = NewSink();
    CComPtr<CRecordingSink> b = NewSink();
    std::set<DWORD> cookies{Advise(a), Advise(b), Advise(a)};
    EXPECT_EQ(3u, cookies.size());
    EXPECT_EQ(0u, cookies.count(0));
    VARIANT_BOOL bCancel = VARIANT_FALSE;
    EXPECT_EQ(S_OK, Fire(&bCancel));
    EXPECT_EQ(2u, a->CallCount());
    EXPECT_EQ(1u, b->CallCount());
}

TEST_F(ConnectionPoint, UnadviseReleasesTheSinkOnceAndOnlyOnce) {
    CComPtr<CRecordingSink> sink = NewSink();
    const DWORD dwCookie = Advise(sink);
    EXPECT_GT(sink->OtherReferences(), 0);

    EXPECT_EQ(S_OK, m_cp->Unadvise(dwCookie));
    EXPECT_EQ(0, sink->OtherReferences());
    EXPECT_EQ(CONNECT_E_NOCONNECTION, m_cp->Unadvise(dwCookie));
}

TEST_F(ConnectionPoint, UnadviseRefusesCookiesItNeverGave) {
    CComPtr<CRecordingSink> sink = NewSink();
    const DWORD dwCookie = Advise(sink);
    EXPECT_EQ(CONNECT_E_NOCONNECTION, m_cp->Unadvise(0));
    EXPECT_EQ(CONNECT_E_NOCONNECTION, m_cp->Unadvise(dwCookie + 1));
    EXPECT_EQ(CONNECT_E_NOCONNECTION, m_cp->Unadvise(0xFFFFFFFF));
    EXPECT_GT(sink->OtherReferences(), 0);
    EXPECT_EQ(S_OK, m_cp->Unadvise(dwCookie));
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

    VARIANT_BOOL bCancel = VARIANT_FALSE;
    EXPECT_EQ(S_OK, Fire(&bCancel));
    EXPECT_EQ(1u, first->CallCount());
    EXPECT_EQ(0u, second->CallCount());
}

TEST(ConnectionPointOwner, DestructionReleasesEverySinkStillAdvised) {
    CComApartment apartment(COINIT_APARTMENTTHREADED);
    CComPtr<CRecordingSink> a = CRecordingSink::Create(IID_IDispatch);
    CComPtr<CRecordingSink> b = CRecordingSink::Create(IID_IDispatch);
    CComPtr<CEventSource> source = CEventSource::Create();
    {
        CComPtr<IConnectionPoint> cp = source->ConnectionPoint();
        DWORD dwCookie = 0;
        ASSERT_EQ(S_OK, cp->Advise(a.Get(), &dwCookie));
        ASSERT_EQ(S_OK, cp->Advise(b.Get(), &dwCookie));
        ASSERT_EQ(S_OK, cp->Advise(a.Get(), &dwCookie));
        ASSERT_EQ(S_OK, cp->Unadvise(dwCookie));
    }
    EXPECT_GT(a->OtherReferences(), 0);
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
    ASSERT_TRUE(cp);
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
