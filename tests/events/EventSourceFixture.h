// A test on the calling thread's single-threaded apartment with one event
// source, its connection point as a client sees it, and helpers for sinks.
#pragma once
#include "platform/Bstr.h"
#include "platform/ComPtr.h"

#include "EventSource.h"
#include "tests/support/ComApartment.h"
#include "tests/support/QueryLoadSink.h"

#include <gtest/gtest.h>

#include <vector>

using testsupport::CComApartment;
using testsupport::CReceivedCall;
using testsupport::CRecordingSink;

class EventSourceFixture : public testing::Test {
protected:
    static CComPtr<CRecordingSink> NewSink(HRESULT hrEventIid = S_OK) {
        return CRecordingSink::Create(IID_IDispatch, hrEventIid);
    }

    DWORD Advise(const CComPtr<CRecordingSink>& sink) {
        DWORD dwCookie = 0;
        EXPECT_EQ(S_OK, m_cp->Advise(sink.Get(), &dwCookie));
        EXPECT_NE(0u, dwCookie);
        return dwCookie;
    }

    // One advised sink per action (null: the sink does nothing), in order.
    std::vector<CComPtr<CRecordingSink>> AdviseSinks(const std::vector<CRecordingSink::Action>& actions,
                                                     std::vector<DWORD>* pCookies = nullptr) {
        std::vector<CComPtr<CRecordingSink>> sinks;
        for (const CRecordingSink::Action& action : actions) {
            sinks.push_back(NewSink());
            sinks.back()->OnCall(action);
            const DWORD dwCookie = Advise(sinks.back());
            if (pCookies) pCookies->push_back(dwCookie);
        }
        return sinks;
    }

    HRESULT Fire(VARIANT_BOOL* pCancel, const WCHAR* szFile = L"1.4.2", const WCHAR* szDb = L"1.5.0") {
        CBstr file(szFile);
        CBstr db(szDb);
        return m_source->Fire_QueryLoad(pCancel, file, db);
    }
    HRESULT Fire() {
        VARIANT_BOOL bCancel = VARIANT_FALSE;
        return Fire(&bCancel);
    }

    CComApartment m_apartment{COINIT_APARTMENTTHREADED};
    CComPtr<CEventSource> m_source = CEventSource::Create();
    CComPtr<IConnectionPoint> m_cp = m_source->ConnectionPoint();
};
