// Raising QueryLoad on a thread of the multithreaded apartment reaches a sink
// advised from a single-threaded apartment on that sink's own thread.
#include "EventSourceFixture.h"

namespace {

struct FiringOnOtherThread {
    CEventSource* pSource = nullptr;
    HRESULT hrApartment = E_FAIL;
    HRESULT hrFire = E_FAIL;
    VARIANT_BOOL bCancel = 12345;
    DWORD dwThreadId = 0;
};

DWORD WINAPI FireFromMultithreadedApartment(void* pv) {
    auto* pFiring = static_cast<FiringOnOtherThread*>(pv);
    CComApartment apartment(COINIT_MULTITHREADED);
    pFiring->hrApartment = apartment.Result();
    pFiring->dwThreadId = GetCurrentThreadId();
    CBstr file(L"3.1.0");
    CBstr db(L"3.2.0");
    pFiring->hrFire = pFiring->pSource->Fire_QueryLoad(&pFiring->bCancel, file, db);
    return 0;
}

// Runs the firing thread while serving the calls it makes into this apartment.
void FireAndPumpMessages(FiringOnOtherThread& firing) {
    HANDLE hThread = CreateThread(nullptr, 0, FireFromMultithreadedApartment, &firing, 0, nullptr);
    ASSERT_NE(nullptr, hThread);
    for (;;) {
        const DWORD dwWait = MsgWaitForMultipleObjects(1, &hThread, FALSE, 30000, QS_ALLINPUT);
        if (dwWait != WAIT_OBJECT_0 + 1) {
            EXPECT_EQ(WAIT_OBJECT_0, dwWait) << "firing thread did not finish";
            break;
        }
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    CloseHandle(hThread);
}

using CrossThreadFire = EventSourceFixture;

TEST_F(CrossThreadFire, ReachesTheSinkOnItsOwnThreadAndBringsCancelBack) {
    ASSERT_EQ(S_OK, m_apartment.Result());
    auto setCancel = [](CRecordingSink&, VARIANT_BOOL* pCancel, VARIANT*) { *pCancel = VARIANT_TRUE; };
    std::vector<DWORD> cookies;
    std::vector<CComPtr<CRecordingSink>> sinks = AdviseSinks({nullptr, setCancel, nullptr}, &cookies);

    FiringOnOtherThread firing;
    firing.pSource = m_source.Get();
    FireAndPumpMessages(firing);

    EXPECT_EQ(S_OK, firing.hrApartment);
    EXPECT_EQ(S_OK, firing.hrFire);
    EXPECT_EQ(VARIANT_TRUE, firing.bCancel);
    ASSERT_EQ(1u, sinks[0]->CallCount());
    const CReceivedCall& call = sinks[0]->Calls()[0];
    EXPECT_EQ(GetCurrentThreadId(), call.dwThreadId);
    EXPECT_NE(firing.dwThreadId, call.dwThreadId);
    EXPECT_EQ(1, call.dispid);
    EXPECT_EQ(DISPATCH_METHOD, call.wFlags);
    EXPECT_EQ(L"3.1.0", call.strFileVersion);
    EXPECT_EQ(L"3.2.0", call.strDbVersion);
    EXPECT_EQ(VARIANT_FALSE, call.bCancelOnEntry);
    EXPECT_EQ(1u, sinks[1]->CallCount());
    EXPECT_EQ(0u, sinks[2]->CallCount());

    for (DWORD dwCookie : cookies) EXPECT_EQ(S_OK, m_cp->Unadvise(dwCookie));
    for (const auto& sink : sinks) EXPECT_EQ(0, sink->OtherReferences());
}

}  // namespace
