// Raising QueryLoad: what each sink receives, the order and the cancel rule,
// the result, and sinks that advise or unadvise while they are being called.
#include "EventSourceFixture.h"

#include "AllocationFailure.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

namespace {

using FireQueryLoad = EventSourceFixture;

void SetCancel(CRecordingSink&, VARIANT_BOOL* pCancel, VARIANT*) { *pCancel = VARIANT_TRUE; }
void ClearCancel(CRecordingSink&, VARIANT_BOOL* pCancel, VARIANT*) { *pCancel = VARIANT_FALSE; }

TEST_F(FireQueryLoad, WithoutSinksSucceedsAndClearsCancel) {
    VARIANT_BOOL bCancel = VARIANT_TRUE;
    EXPECT_EQ(S_OK, Fire(&bCancel));
    EXPECT_EQ(VARIANT_FALSE, bCancel);
}

TEST_F(FireQueryLoad, CallsTheSinkAsAnEventMethodWithArgumentsLastFirst) {
    CComPtr<CRecordingSink> sink = NewSink();
    Advise(sink);
    VARIANT_BOOL bCancel = VARIANT_TRUE;  // the caller's value never reaches a sink
    EXPECT_EQ(S_OK, Fire(&bCancel, L"1.4.2", L"2.0.1"));
    EXPECT_EQ(VARIANT_FALSE, bCancel);

    ASSERT_EQ(1u, sink->CallCount());
    const CReceivedCall& call = sink->Calls()[0];
    EXPECT_EQ(1, call.dispid);
    EXPECT_TRUE(call.bNullIid);
    EXPECT_EQ(0x0400u, call.lcid);
    EXPECT_EQ(DISPATCH_METHOD, call.wFlags);
    EXPECT_EQ(3u, call.cArgs);
    EXPECT_EQ(0u, call.cNamedArgs);
    EXPECT_EQ(VT_BSTR, call.vtArgs[0]);
    EXPECT_EQ(VT_BSTR, call.vtArgs[1]);
    EXPECT_EQ(VT_BYREF | VT_BOOL, call.vtArgs[2]);
    EXPECT_TRUE(call.bHasResult);
    EXPECT_EQ(L"1.4.2", call.strFileVersion);
    EXPECT_EQ(L"2.0.1", call.strDbVersion);
    EXPECT_EQ(VARIANT_FALSE, call.bCancelOnEntry);
}

// The sinks in order of advising, what each does, and who is reached.
struct CancelCase {
    const char* name;
    std::vector<CRecordingSink::Action> actions;
    std::vector<size_t> expectedCalls;
    VARIANT_BOOL bExpectedCancel;
};
void PrintTo(const CancelCase& c, std::ostream* os) { *os << c.name; }

class FireQueryLoadCancel : public EventSourceFixture, public testing::WithParamInterface<CancelCase> {};

TEST_P(FireQueryLoadCancel, StopsAtTheFirstSinkThatCancels) {
    const CancelCase& c = GetParam();
    std::vector<CComPtr<CRecordingSink>> sinks;
    for (const CRecordingSink::Action& action : c.actions) {
        sinks.push_back(NewSink());
        sinks.back()->OnCall(action);
        Advise(sinks.back());
    }
    VARIANT_BOOL bCancel = VARIANT_FALSE;
    EXPECT_EQ(S_OK, Fire(&bCancel));
    EXPECT_EQ(c.bExpectedCancel, bCancel);
    for (size_t i = 0; i < sinks.size(); ++i) {
        EXPECT_EQ(c.expectedCalls[i], sinks[i]->CallCount()) << "sink " << i;
        for (const CReceivedCall& call : sinks[i]->Calls()) EXPECT_EQ(VARIANT_FALSE, call.bCancelOnEntry);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Order, FireQueryLoadCancel,
    testing::Values(CancelCase{"NobodyCancels", {nullptr, nullptr, nullptr}, {1, 1, 1}, VARIANT_FALSE},
                    CancelCase{"FirstCancels", {SetCancel, nullptr}, {1, 0}, VARIANT_TRUE},
                    CancelCase{"MiddleCancels", {nullptr, SetCancel, nullptr}, {1, 1, 0}, VARIANT_TRUE},
                    CancelCase{"LastCancels", {nullptr, nullptr, SetCancel}, {1, 1, 1}, VARIANT_TRUE},
                    CancelCase{"LaterSinkCannotUndoACancel", {SetCancel, ClearCancel}, {1, 0}, VARIANT_TRUE},
                    CancelCase{"ClearingDoesNotStop", {ClearCancel, nullptr}, {1, 1}, VARIANT_FALSE},
                    CancelCase{"FifthOfFiveCancels",
                               {nullptr, nullptr, nullptr, nullptr, SetCancel},
                               {1, 1, 1, 1, 1},
                               VARIANT_TRUE}),
    [](const testing::TestParamInfo<CancelCase>& info) { return std::string(info.param.name); });

TEST_F(FireQueryLoad, SinksAreCalledInSlotOrder) {
    std::vector<int> order;
    CComPtr<CRecordingSink> sinks[5];
    std::vector<DWORD> cookies;
    for (int i = 0; i < 5; ++i) {
        sinks[i] = NewSink();
        sinks[i]->OnCall([&order, i](CRecordingSink&, VARIANT_BOOL*, VARIANT*) { order.push_back(i); });
        cookies.push_back(Advise(sinks[i]));
    }
    // Free slot 1 and fill it again: the newest sink is called second.
    ASSERT_EQ(S_OK, m_cp->Unadvise(cookies[1]));
    Advise(sinks[1]);
    VARIANT_BOOL bCancel = VARIANT_FALSE;
    Fire(&bCancel);
    EXPECT_EQ((std::vector<int>{0, 1, 2, 3, 4}), order);
}

TEST_F(FireQueryLoad, FailingSinkDoesNotStopTheOthers) {
    CComPtr<CRecordingSink> failing = NewSink();
    failing->ReturnFromInvoke(DISP_E_MEMBERNOTFOUND);
    CComPtr<CRecordingSink> next = NewSink();
    Advise(failing);
    Advise(next);
    VARIANT_BOOL bCancel = VARIANT_FALSE;
    EXPECT_EQ(S_OK, Fire(&bCancel));
    EXPECT_EQ(1u, next->CallCount());
}

TEST_F(FireQueryLoad, AfterFiveSinksComeAndGoNothingIsCalledAndASixthTakesTheFirstSlot) {
    CComPtr<CRecordingSink> sinks[5];
    std::vector<DWORD> cookies;
    for (CComPtr<CRecordingSink>& sink : sinks) {
        sink = NewSink();
        cookies.push_back(Advise(sink));
    }
    for (DWORD dwCookie : cookies) ASSERT_EQ(S_OK, m_cp->Unadvise(dwCookie));
    VARIANT_BOOL bCancel = VARIANT_TRUE;
    EXPECT_EQ(S_OK, Fire(&bCancel));
    EXPECT_EQ(VARIANT_FALSE, bCancel);
    for (CComPtr<CRecordingSink>& sink : sinks) EXPECT_EQ(0u, sink->CallCount());

    CComPtr<CRecordingSink> sixth = NewSink();
    Advise(sixth);
    CComPtr<IUnknown> pFirstSlot = m_source->GetInterfaceAt(0);
    EXPECT_EQ(static_cast<IUnknown*>(sixth.Get()), pFirstSlot.Get());
}

// What each sink leaves in the result variant, and what the firing returns.
struct ResultCase {
    const char* name;
    std::vector<CRecordingSink::Action> actions;
    HRESULT hrExpected;
};
void PrintTo(const ResultCase& c, std::ostream* os) { *os << c.name; }

void ResultError(CRecordingSink&, VARIANT_BOOL*, VARIANT* pResult) {
    V_VT(pResult) = VT_ERROR;
    V_ERROR(pResult) = E_FAIL;
}
void ResultNumber(CRecordingSink&, VARIANT_BOOL*, VARIANT* pResult) {
    V_VT(pResult) = VT_I4;
    V_I4(pResult) = 7;
}
void ResultOk(CRecordingSink&, VARIANT_BOOL*, VARIANT* pResult) {
    V_VT(pResult) = VT_ERROR;
    V_ERROR(pResult) = S_OK;
}
void ResultErrorAndCancel(CRecordingSink& sink, VARIANT_BOOL* pCancel, VARIANT* pResult) {
    ResultError(sink, pCancel, pResult);
    *pCancel = VARIANT_TRUE;
}

class FireQueryLoadResult : public EventSourceFixture, public testing::WithParamInterface<ResultCase> {};

TEST_P(FireQueryLoadResult, IsTheCodeLastWrittenIntoTheResult) {
    const ResultCase& c = GetParam();
    std::vector<CComPtr<CRecordingSink>> sinks;
    for (const CRecordingSink::Action& action : c.actions) {
        sinks.push_back(NewSink());
        sinks.back()->OnCall(action);
        Advise(sinks.back());
    }
    VARIANT_BOOL bCancel = VARIANT_FALSE;
    EXPECT_EQ(c.hrExpected, Fire(&bCancel));
}

INSTANTIATE_TEST_SUITE_P(
    Codes, FireQueryLoadResult,
    testing::Values(ResultCase{"NothingWritten", {nullptr, nullptr}, S_OK},
                    ResultCase{"ErrorWritten", {ResultError}, E_FAIL},
                    ResultCase{"NumberWritten", {ResultNumber}, static_cast<HRESULT>(7)},
                    ResultCase{"EarlierCodeOutlivesTheClearing", {ResultError, nullptr}, E_FAIL},
                    ResultCase{"LaterCodeReplacesEarlier", {ResultError, ResultOk}, S_OK},
                    ResultCase{"CancellingSinkStillGivesItsCode", {ResultErrorAndCancel, ResultOk}, E_FAIL}),
    [](const testing::TestParamInfo<ResultCase>& info) { return std::string(info.param.name); });

TEST_F(FireQueryLoad, SinkMayUnadviseItselfWhileCalled) {
    CComPtr<CRecordingSink> leaving = NewSink();
    CComPtr<CRecordingSink> staying = NewSink();
    const DWORD dwLeaving = Advise(leaving);
    Advise(staying);
    HRESULT hrUnadvise = E_FAIL;
    leaving->OnCall([&](CRecordingSink&, VARIANT_BOOL*, VARIANT*) { hrUnadvise = m_cp->Unadvise(dwLeaving); });

    VARIANT_BOOL bCancel = VARIANT_FALSE;
    EXPECT_EQ(S_OK, Fire(&bCancel));
    EXPECT_EQ(S_OK, hrUnadvise);
    EXPECT_EQ(1u, staying->CallCount());
    EXPECT_EQ(0, leaving->OtherReferences());

    EXPECT_EQ(S_OK, Fire(&bCancel));
    EXPECT_EQ(1u, leaving->CallCount());
    EXPECT_EQ(2u, staying->CallCount());
}

TEST_F(FireQueryLoad, SinkUnadvisedByAnEarlierOneIsNotCalled) {
    CComPtr<CRecordingSink> first = NewSink();
    CComPtr<CRecordingSink> second = NewSink();
    Advise(first);
    const DWORD dwSecond = Advise(second);
    first->OnCall([&](CRecordingSink&, VARIANT_BOOL*, VARIANT*) { m_cp->Unadvise(dwSecond); });
    VARIANT_BOOL bCancel = VARIANT_FALSE;
    EXPECT_EQ(S_OK, Fire(&bCancel));
    EXPECT_EQ(0u, second->CallCount());
    EXPECT_EQ(0, second->OtherReferences());
}

TEST_F(FireQueryLoad, SinkAdvisedIntoANewSlotWhileFiringWaitsForTheNextFiring) {
    CComPtr<CRecordingSink> sinks[4];
    for (CComPtr<CRecordingSink>& sink : sinks) {
        sink = NewSink();
        Advise(sink);
    }
    CComPtr<CRecordingSink> late = NewSink();
    HRESULT hrAdvise = E_FAIL;
    sinks[0]->OnCall([&](CRecordingSink& self, VARIANT_BOOL*, VARIANT*) {
        DWORD dwCookie = 0;
        if (self.CallCount() == 1) hrAdvise = m_cp->Advise(late.Get(), &dwCookie);
    });
    VARIANT_BOOL bCancel = VARIANT_FALSE;
    EXPECT_EQ(S_OK, Fire(&bCancel));
    EXPECT_EQ(S_OK, hrAdvise);
    EXPECT_EQ(1u, sinks[3]->CallCount());
    EXPECT_EQ(0u, late->CallCount());

    EXPECT_EQ(S_OK, Fire(&bCancel));
    EXPECT_EQ(1u, late->CallCount());
}

TEST_F(FireQueryLoad, WithoutMemoryForTheArgumentsCallsNobody) {
    CComPtr<CRecordingSink> sink = NewSink();
    Advise(sink);
    VARIANT_BOOL bCancel = VARIANT_TRUE;
    {
        CNothrowAllocationFailure noMemory;
        EXPECT_EQ(E_OUTOFMEMORY, Fire(&bCancel));
    }
    EXPECT_EQ(VARIANT_FALSE, bCancel);
    EXPECT_EQ(0u, sink->CallCount());
}

}  // namespace
