// Raising QueryLoad on a thread of the multithreaded apartment reaches a sink
// advised from a single-threaded apartment on that sink's own thread.
#include "platform/Bstr.h"

#include "ComApartment.h"
#include "EventSource.h"
#include "RecordingSink.h"

#include <gtest/gtest.h>

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

// Waits for the thread while serving the calls it makes into this apartment.
void WaitPumpingMessages(HANDLE hThread) {
    for (;;) {
        const DWORD dwWait = MsgWaitForMultipleObjects(1, &hThread, FALSE, 30000, QS_ALLINPUT);
        if (dwWait != WAIT_OBJECT_0 + 1) {
            ASSERT_EQ(WAIT_OBJECT_0, dwWait) << "firing thread did not finish";
            return;
        }
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
}

void Fire(FiringOnOtherThread& firing) {
    HANDLE hThread = CreateThread(nullptr, 0, FireFromMultithreadedApartment, &firing, 0, nullptr);
    ASSERT_NE(nullptr, hThread);
    WaitPumpingMessages(hThread);
    CloseHandle(hThread);
}

TEST(CrossThreadFire, ReachesTheSinkOnItsOwnThreadAndBringsCancelBack) {
    CComApartment apartment(COINIT_APARTMENTTHREADED);
    ASSERT_EQ(S_OK, apartment.Result());
    CComPtr<CEventSource> source = CEventSource::Create();
    CComPtr<IConnectionPoint> cp = source->ConnectionPoint();
    CComPtr<CRecordingSink> asking = CRecordingSink::Create(IID_IDispatch);
    CComPtr<CRecordingSink> cancelling = CRecordingSink::Create(IID_IDispatch);
    CComPtr<CRecordingSink> unreached = CRecordingSink::Create(IID_IDispatch);
    cancelling->OnCall([](CRecordingSink&, VARIANT_BOOL* pCancel, VARIANT*) { *pCancel = VARIANT_TRUE; });
    DWORD cookies[3] = {};
    ASSERT_EQ(S_OK, cp->Advise(asking.Get(), &cookies[0]));
    ASSERT_EQ(S_OK, cp->Advise(cancelling.Get(), &cookies[1]));
    ASSERT_EQ(S_OK, cp->Advise(unreached.Get(), &cookies[2]));

    FiringOnOtherThread firing;
    firing.pSource = source.Get();
    Fire(firing);

    EXPECT_EQ(S_OK, firing.hrApartment);
    EXPECT_EQ(S_OK, firing.hrFire);
    EXPECT_EQ(VARIANT_TRUE, firing.bCancel);
    ASSERT_EQ(1u, asking->CallCount());
    const CReceivedCall& call = asking->Calls()[0];
    EXPECT_EQ(GetCurrentThreadId(), call.dwThreadId);
    EXPECT_NE(firing.dwThreadId, call.dwThreadId);
    EXPECT_EQ(1, call.dispid);
    EXPECT_EQ(DISPATCH_METHOD, call.wFlags);
    EXPECT_EQ(L"3.1.0", call.strFileVersion);
    EXPECT_EQ(L"3.2.0", call.strDbVersion);
    EXPECT_EQ(VARIANT_FALSE, call.bCancelOnEntry);
    EXPECT_EQ(1u, cancelling->CallCount());
    EXPECT_EQ(0u, unreached->CallCount());

    for (DWORD dwCookie : cookies) EXPECT_EQ(S_OK, cp->Unadvise(dwCookie));
    EXPECT_EQ(0, asking->OtherReferences());
    EXPECT_EQ(0, cancelling->OtherReferences());
}

}  // namespace
