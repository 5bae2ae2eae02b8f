// COM for a thread, and COM plus a fresh log file for a whole test program.
#pragma once
#include "platform/Platform.h"
#include "tests/support/LogFile.h"

#include <gtest/gtest.h>

#include <memory>

namespace testsupport {

// Joins the calling thread to an apartment for as long as it lives.
class CComApartment {
public:
    explicit CComApartment(DWORD dwModel = COINIT_APARTMENTTHREADED) : m_hr(CoInitializeEx(nullptr, dwModel)) {}
    CComApartment(const CComApartment&) = delete;
    CComApartment& operator=(const CComApartment&) = delete;
    ~CComApartment() {
        if (SUCCEEDED(m_hr)) CoUninitialize();
    }
    HRESULT Result() const { return m_hr; }

private:
    HRESULT m_hr;
};

// The main thread's apartment and the log file, from the first test to the last.
class CComTestEnvironment : public testing::Environment {
public:
    explicit CComTestEnvironment(DWORD dwModel = COINIT_APARTMENTTHREADED) : m_dwModel(dwModel) {}
    void SetUp() override {
        m_log = std::make_unique<CTestLogFile>();
        m_apartment = std::make_unique<CComApartment>(m_dwModel);
        ASSERT_TRUE(SUCCEEDED(m_apartment->Result()));
    }
    void TearDown() override {
        m_apartment.reset();
        m_log.reset();
    }

private:
    DWORD m_dwModel;
    std::unique_ptr<CTestLogFile> m_log;
    std::unique_ptr<CComApartment> m_apartment;
};

}  // namespace testsupport
