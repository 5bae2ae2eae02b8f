// Raising QueryLoad through the framework's connection point, which a client
// reaches only inside a Read: what each sink receives, the order and the
// cancel rule, the result, sinks that advise or unadvise while they are being
// called, a sink in another apartment, and the paths without memory.
#include "AllocationFailure.h"
#include "EventSource.h"
#include "platform/Bstr.h"
#include "server/Module.h"
#include "tests/support/ComApartment.h"
#include "tests/support/QueryLoadSink.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <tuple>

namespace {

using testsupport::Advise;
using testsupport::CReceivedCall;
using testsupport::CRecordingSink;
using Action = CRecordingSink::Action;

class FireQueryLoad : public testing::Test {
protected:
    static CComPtr<CRecordingSink> NewSink() { return CRecordingSink::Create(IID_IDispatch); }
    // One advised sink per action (null: the sink does nothing), in order.
    std::vector<CComPtr<CRecordingSink>> AdviseSinks(const std::vector<Action>& actions, std::vector<DWORD>* pCookies = nullptr) {
        std::vector<CComPtr<CRecordingSink>> sinks;
        for (const Action& action : actions) {
            sinks.push_back(NewSink());
            sinks.back()->OnCall(action);
            const DWORD dwCookie = Advise(m_cp.Get(), sinks.back().Get());
            if (pCookies) pCookies->push_back(dwCookie);
        }
        return sinks;
    }
    HRESULT Fire(VARIANT_BOOL* pCancel) { return m_source->Fire_QueryLoad(pCancel, CBstr(L"1.4.2"), CBstr(L"2.0.1")); }
    HRESULT Fire() {
        VARIANT_BOOL bCancel = VARIANT_FALSE;
        return Fire(&bCancel);
    }

    // On the program's single-threaded apartment (see the environment in ConnectionPointTest.cpp).
    CComPtr<CComObject<CEventSource>> m_source = CEventSource::Create();
    CComPtr<IConnectionPoint> m_cp = m_source->ConnectionPoint();
};

void SetCancel(CRecordingSink&, VARIANT_BOOL* pCancel, VARIANT*) { *pCancel = VARIANT_TRUE; }
void ClearCancel(CRecordingSink&, VARIANT_BOOL* pCancel, VARIANT*) { *pCancel = VARIANT_FALSE; }
void FailInvoke(CRecordingSink& sink, VARIANT_BOOL*, VARIANT*) { sink.ReturnFromInvoke(DISP_E_MEMBERNOTFOUND); }
Action Result(VARTYPE type, LONG value, bool bCancel = false) {
    return [=](CRecordingSink&, VARIANT_BOOL* pCancel, VARIANT* pResult) {
        V_VT(pResult) = type;
        V_I4(pResult) = value;  // V_ERROR shares the place
        if (bCancel) *pCancel = VARIANT_TRUE;
    };
}

// The sinks in order of advising and what each does; who is reached, the
// Cancel the caller gets back and the code last written into the result.
TEST_F(FireQueryLoad, StopsAtTheFirstCancelAndReturnsTheLastResultCode) {
    const Action error = Result(VT_ERROR, E_FAIL), ok = Result(VT_ERROR, S_OK);
    const struct {
        const char* name;
        std::vector<Action> actions;
        std::vector<size_t> calls;
        VARIANT_BOOL bCancel;
        HRESULT hr;
    } cases[] = {
        {"no sinks: nothing to cancel", {}, {}, VARIANT_FALSE, S_OK},
        {"nobody cancels", {nullptr, nullptr, nullptr}, {1, 1, 1}, VARIANT_FALSE, S_OK},
        {"first cancels", {SetCancel, nullptr}, {1, 0}, VARIANT_TRUE, S_OK},
        {"middle cancels", {nullptr, SetCancel, nullptr}, {1, 1, 0}, VARIANT_TRUE, S_OK},
        {"fifth of five cancels", {nullptr, nullptr, nullptr, nullptr, SetCancel}, {1, 1, 1, 1, 1}, VARIANT_TRUE, S_OK},
        {"later sink cannot undo a cancel", {SetCancel, ClearCancel}, {1, 0}, VARIANT_TRUE, S_OK},
        {"clearing does not stop", {ClearCancel, nullptr}, {1, 1}, VARIANT_FALSE, S_OK},
        {"a failing sink does not stop the others", {FailInvoke, nullptr}, {1, 1}, VARIANT_FALSE, S_OK},
        {"error written", {error}, {1}, VARIANT_FALSE, E_FAIL},
        {"number written", {Result(VT_I4, 7)}, {1}, VARIANT_FALSE, static_cast<HRESULT>(7)},
        {"earlier code outlives the clearing", {error, nullptr}, {1, 1}, VARIANT_FALSE, E_FAIL},
        {"later code replaces earlier", {error, ok}, {1, 1}, VARIANT_FALSE, S_OK},
        {"cancelling sink still gives its code", {Result(VT_ERROR, E_FAIL, true), ok}, {1, 0}, VARIANT_TRUE, E_FAIL},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        m_source = CEventSource::Create();
        m_cp = m_source->ConnectionPoint();
        std::vector<CComPtr<CRecordingSink>> sinks = AdviseSinks(c.actions);
        VARIANT_BOOL bCancel = VARIANT_TRUE;  // the caller's value never reaches a sink
        EXPECT_EQ(c.hr, Fire(&bCancel));
        EXPECT_EQ(c.bCancel, bCancel);
        for (size_t i = 0; i < sinks.size(); ++i) {
            EXPECT_EQ(c.calls[i], sinks[i]->CallCount()) << "sink " << i;
            // Called as an event method, its arguments last first: dispid, IID_NULL, locale, flags, argument
            // counts, QueryLoad's argument types, a place for the result and Cancel false on entry.
            for (const CReceivedCall& call : sinks[i]->Calls())
                EXPECT_EQ(std::make_tuple(1L, true, 0x0400UL, DISPATCH_METHOD, 3U, 0U, true, true, VARIANT_FALSE),
                          std::make_tuple(call.dispid, call.bNullIid, call.lcid, call.wFlags, call.cArgs,
                                          call.cNamedArgs, call.bQueryLoadShape, call.bHasResult, call.bCancelOnEntry));
        }
    }
}

TEST_F(FireQueryLoad, SinkMayUnadviseOrAdviseWhileCalled) {
    std::vector<DWORD> cookies;
    std::vector<CComPtr<CRecordingSink>> sinks = AdviseSinks(std::vector<Action>(4), &cookies);
    CComPtr<CRecordingSink> late = NewSink();
    HRESULT hrSelf = E_FAIL, hrLater = E_FAIL, hrAdvise = E_FAIL;
    sinks[0]->OnCall([&](CRecordingSink&, VARIANT_BOOL*, VARIANT*) {
        DWORD dwCookie = 0;  // into a new slot: waits for the next firing
        hrAdvise = m_cp->Advise(late.Get(), &dwCookie);
        hrSelf = m_cp->Unadvise(cookies[0]);
    });
    sinks[1]->OnCall([&](CRecordingSink& self, VARIANT_BOOL*, VARIANT*) {
        if (self.CallCount() == 1) hrLater = m_cp->Unadvise(cookies[2]);
    });

    EXPECT_EQ(S_OK, Fire());
    EXPECT_EQ(S_OK, hrSelf);
    EXPECT_EQ(S_OK, hrLater);
    EXPECT_EQ(S_OK, hrAdvise);
    EXPECT_EQ(0u, sinks[2]->CallCount());
    EXPECT_EQ(1u, sinks[3]->CallCount());
    EXPECT_EQ(0u, late->CallCount());
    EXPECT_EQ(0, sinks[0]->OtherReferences());
    EXPECT_EQ(0, sinks[2]->OtherReferences());

    EXPECT_EQ(S_OK, Fire());
    EXPECT_EQ(1u, sinks[0]->CallCount());
    EXPECT_EQ(2u, sinks[3]->CallCount());
    EXPECT_EQ(1u, late->CallCount());
}

// ---- without memory: the framework's own allocations fail

TEST_F(FireQueryLoad, WithoutMemoryNothingIsAdvisedOrCalled) {
    CComPtr<CRecordingSink> first = NewSink();
    CComPtr<CRecordingSink> second = NewSink();
    Advise(m_cp.Get(), first.Get());  // held in place: the second needs the first array
    DWORD dwCookie = 1234;
    {
        CNothrowAllocationFailure noMemory;
        EXPECT_EQ(CONNECT_E_ADVISELIMIT, m_cp->Advise(second.Get(), &dwCookie));
    }
    EXPECT_EQ(0u, dwCookie);
    EXPECT_EQ(0, second->OtherReferences());

    VARIANT_BOOL bCancel = VARIANT_TRUE;
    {
        CNothrowAllocationFailure noMemory;
        EXPECT_EQ(E_OUTOFMEMORY, Fire(&bCancel));
    }
    EXPECT_EQ(VARIANT_FALSE, bCancel);
    EXPECT_EQ(0u, first->CallCount());
    EXPECT_EQ(S_OK, Fire());
    EXPECT_EQ(1u, first->CallCount());
    EXPECT_EQ(0u, second->CallCount());
}

// ---- a sink advised from this single-threaded apartment, raised from the multithreaded one

TEST_F(FireQueryLoad, FromAnotherThreadReachesTheSinkOnItsOwnThreadAndBringsCancelBack) {
    std::vector<DWORD> cookies;
    std::vector<CComPtr<CRecordingSink>> sinks = AdviseSinks({nullptr, SetCancel, nullptr}, &cookies);
    HRESULT hrApartment = E_FAIL, hrFire = E_FAIL;
    VARIANT_BOOL bCancel = 12345;
    DWORD dwFiringThread = 0;
    std::atomic<bool> bDone{false};
    std::thread firing([&] {
        testsupport::CComApartment apartment(COINIT_MULTITHREADED);
        hrApartment = apartment.Result();
        dwFiringThread = GetCurrentThreadId();
        hrFire = m_source->Fire_QueryLoad(&bCancel, CBstr(L"3.1.0"), CBstr(L"3.2.0"));
        bDone = true;
    });
    // Serves the calls the firing thread makes into this apartment until it is done.
    for (const DWORD dwStart = GetTickCount(); !bDone && GetTickCount() - dwStart < 30000;) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    }
    ASSERT_TRUE(bDone) << "firing thread did not finish";  // and the program ends: it still runs
    firing.join();

    EXPECT_EQ(S_OK, hrApartment);
    EXPECT_EQ(S_OK, hrFire);
    EXPECT_EQ(VARIANT_TRUE, bCancel);
    ASSERT_EQ(1u, sinks[0]->CallCount());
    const CReceivedCall& call = sinks[0]->Calls()[0];
    EXPECT_EQ(GetCurrentThreadId(), call.dwThreadId);
    EXPECT_NE(dwFiringThread, call.dwThreadId);
    EXPECT_EQ(L"3.1.0", call.strFileVersion);
    EXPECT_EQ(L"3.2.0", call.strDbVersion);
    EXPECT_EQ(VARIANT_FALSE, call.bCancelOnEntry);
    EXPECT_EQ(1u, sinks[1]->CallCount());
    EXPECT_EQ(0u, sinks[2]->CallCount());
    for (DWORD dwCookie : cookies) EXPECT_EQ(S_OK, m_cp->Unadvise(dwCookie));
    for (const auto& sink : sinks) EXPECT_EQ(0, sink->OtherReferences());
}

}  // namespace
