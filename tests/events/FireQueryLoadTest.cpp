// Raising QueryLoad: what each sink receives, the order and the cancel rule,
// the result, and sinks that advise or unadvise while they are being called.
#include "EventSourceFixture.h"

#include "AllocationFailure.h"

namespace {

using FireQueryLoad = EventSourceFixture;
using Action = CRecordingSink::Action;

void SetCancel(CRecordingSink&, VARIANT_BOOL* pCancel, VARIANT*) { *pCancel = VARIANT_TRUE; }
void ClearCancel(CRecordingSink&, VARIANT_BOOL* pCancel, VARIANT*) { *pCancel = VARIANT_FALSE; }
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

TEST_F(FireQueryLoad, CallsTheSinkAsAnEventMethodWithArgumentsLastFirst) {
    VARIANT_BOOL bCancel = VARIANT_TRUE;
    EXPECT_EQ(S_OK, Fire(&bCancel));  // no sinks: nothing to cancel
    EXPECT_EQ(VARIANT_FALSE, bCancel);

    CComPtr<CRecordingSink> sink = NewSink();
    Advise(sink);
    bCancel = VARIANT_TRUE;  // the caller's value never reaches a sink
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
    EXPECT_TRUE(call.bQueryLoadShape);
    EXPECT_TRUE(call.bHasResult);
    EXPECT_EQ(L"1.4.2", call.strFileVersion);
    EXPECT_EQ(L"2.0.1", call.strDbVersion);
    EXPECT_EQ(VARIANT_FALSE, call.bCancelOnEntry);
}

// The sinks in order of advising and what each does; who is reached, the
// Cancel the caller gets back and the code last written into the result.
TEST_F(FireQueryLoad, StopsAtTheFirstCancelAndReturnsTheLastResultCode) {
    const struct {
        const char* name;
        std::vector<Action> actions;
        std::vector<size_t> calls;
        VARIANT_BOOL bCancel;
        HRESULT hr;
    } cases[] = {
        {"nobody cancels", {nullptr, nullptr, nullptr}, {1, 1, 1}, VARIANT_FALSE, S_OK},
        {"first cancels", {SetCancel, nullptr}, {1, 0}, VARIANT_TRUE, S_OK},
        {"middle cancels", {nullptr, SetCancel, nullptr}, {1, 1, 0}, VARIANT_TRUE, S_OK},
        {"fifth of five cancels", {nullptr, nullptr, nullptr, nullptr, SetCancel}, {1, 1, 1, 1, 1}, VARIANT_TRUE, S_OK},
        {"later sink cannot undo a cancel", {SetCancel, ClearCancel}, {1, 0}, VARIANT_TRUE, S_OK},
        {"clearing does not stop", {ClearCancel, nullptr}, {1, 1}, VARIANT_FALSE, S_OK},
        {"error written", {ResultError}, {1}, VARIANT_FALSE, E_FAIL},
        {"number written", {ResultNumber}, {1}, VARIANT_FALSE, static_cast<HRESULT>(7)},
        {"earlier code outlives the clearing", {ResultError, nullptr}, {1, 1}, VARIANT_FALSE, E_FAIL},
        {"later code replaces earlier", {ResultError, ResultOk}, {1, 1}, VARIANT_FALSE, S_OK},
        {"cancelling sink still gives its code", {ResultErrorAndCancel, ResultOk}, {1, 0}, VARIANT_TRUE, E_FAIL},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        m_source = CEventSource::Create();
        m_cp = m_source->ConnectionPoint();
        std::vector<CComPtr<CRecordingSink>> sinks = AdviseSinks(c.actions);
        VARIANT_BOOL bCancel = VARIANT_FALSE;
        EXPECT_EQ(c.hr, Fire(&bCancel));
        EXPECT_EQ(c.bCancel, bCancel);
        for (size_t i = 0; i < sinks.size(); ++i) {
            EXPECT_EQ(c.calls[i], sinks[i]->CallCount()) << "sink " << i;
            for (const CReceivedCall& call : sinks[i]->Calls()) EXPECT_EQ(VARIANT_FALSE, call.bCancelOnEntry);
        }
    }
}

TEST_F(FireQueryLoad, SinksAreCalledInSlotOrderAndAFailingOneDoesNotStopTheOthers) {
    std::vector<int> order;
    std::vector<Action> actions;
    for (int i = 0; i < 5; ++i)
        actions.push_back([&order, i](CRecordingSink&, VARIANT_BOOL*, VARIANT*) { order.push_back(i); });
    std::vector<DWORD> cookies;
    std::vector<CComPtr<CRecordingSink>> sinks = AdviseSinks(actions, &cookies);
    sinks[0]->ReturnFromInvoke(DISP_E_MEMBERNOTFOUND);
    // Free slot 1 and fill it again: the newest sink is called second.
    ASSERT_EQ(S_OK, m_cp->Unadvise(cookies[1]));
    Advise(sinks[1]);
    EXPECT_EQ(S_OK, Fire());
    EXPECT_EQ((std::vector<int>{0, 1, 2, 3, 4}), order);
}

TEST_F(FireQueryLoad, AfterEverySinkIsGoneNothingIsCalled) {
    std::vector<DWORD> cookies;
    std::vector<CComPtr<CRecordingSink>> sinks = AdviseSinks(std::vector<Action>(5), &cookies);
    for (DWORD dwCookie : cookies) ASSERT_EQ(S_OK, m_cp->Unadvise(dwCookie));
    VARIANT_BOOL bCancel = VARIANT_TRUE;
    EXPECT_EQ(S_OK, Fire(&bCancel));
    EXPECT_EQ(VARIANT_FALSE, bCancel);
    for (const auto& sink : sinks) EXPECT_EQ(0u, sink->CallCount());
}

TEST_F(FireQueryLoad, SinkMayUnadviseItselfOrALaterSinkWhileCalled) {
    std::vector<DWORD> cookies;
    std::vector<CComPtr<CRecordingSink>> sinks = AdviseSinks(std::vector<Action>(4), &cookies);
    HRESULT hrSelf = E_FAIL, hrLater = E_FAIL;
    sinks[0]->OnCall([&](CRecordingSink&, VARIANT_BOOL*, VARIANT*) { hrSelf = m_cp->Unadvise(cookies[0]); });
    sinks[1]->OnCall([&](CRecordingSink&, VARIANT_BOOL*, VARIANT*) { hrLater = m_cp->Unadvise(cookies[2]); });

    EXPECT_EQ(S_OK, Fire());
    EXPECT_EQ(S_OK, hrSelf);
    EXPECT_EQ(S_OK, hrLater);
    EXPECT_EQ(0u, sinks[2]->CallCount());
    EXPECT_EQ(1u, sinks[3]->CallCount());
    EXPECT_EQ(0, sinks[0]->OtherReferences());
    EXPECT_EQ(0, sinks[2]->OtherReferences());

    EXPECT_EQ(S_OK, Fire());
    EXPECT_EQ(1u, sinks[0]->CallCount());
    EXPECT_EQ(2u, sinks[3]->CallCount());
}

TEST_F(FireQueryLoad, SinkAdvisedIntoANewSlotWhileFiringWaitsForTheNextFiring) {
    std::vector<CComPtr<CRecordingSink>> sinks = AdviseSinks(std::vector<Action>(4));
    CComPtr<CRecordingSink> late = NewSink();
    HRESULT hrAdvise = E_FAIL;
    sinks[0]->OnCall([&](CRecordingSink& self, VARIANT_BOOL*, VARIANT*) {
        DWORD dwCookie = 0;
        if (self.CallCount() == 1) hrAdvise = m_cp->Advise(late.Get(), &dwCookie);
    });
    EXPECT_EQ(S_OK, Fire());
    EXPECT_EQ(S_OK, hrAdvise);
    EXPECT_EQ(1u, sinks[3]->CallCount());
    EXPECT_EQ(0u, late->CallCount());
    EXPECT_EQ(S_OK, Fire());
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
