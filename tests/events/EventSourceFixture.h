// A test on the calling thread's single-threaded apartment with one event
// source, its connection point as a client sees it, and helpers for sinks.
#pragma once
#include "platform/Bstr.h"
#include "platform/ComPtr.h"

#include "ComApartment.h"
#include "EventSource.h"
#include "RecordingSink.h"

#include <gtest/gtest.h>

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

    HRESULT Fire(VARIANT_BOOL* pCancel, const WCHAR* szFile = L"1.4.2", const WCHAR* szDb = L"1.5.0") {
        CBstr file(szFile);
        CBstr db(szDb);
        return m_source->Fire_QueryLoad(pCancel, file, db);
    }

    CComApartment m_apartment{COINIT_APARTMENTTHREADED};
    CComPtr<CEventSource> m_source = CEventSource::Create();
    CComPtr<IConnectionPoint> m_cp = m_source->ConnectionPoint();
};
