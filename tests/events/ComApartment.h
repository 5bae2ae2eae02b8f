// Joins the calling thread to an apartment for as long as it lives.
#pragma once
#include "platform/Platform.h"

class CComApartment {
public:
    explicit CComApartment(DWORD dwModel) : m_hr(CoInitializeEx(nullptr, dwModel)) {}
    CComApartment(const CComApartment&) = delete;
    CComApartment& operator=(const CComApartment&) = delete;
    ~CComApartment() {
        if (SUCCEEDED(m_hr)) CoUninitialize();
    }
    HRESULT Result() const { return m_hr; }

private:
    HRESULT m_hr;
};
