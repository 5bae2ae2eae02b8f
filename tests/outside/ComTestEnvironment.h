// Initialises COM (multithreaded apartment) on the test thread for the whole
// program, and helpers that build the automation values tests pass around.
#pragma once
#include "platform/Bstr.h"
#include "platform/ComPtr.h"
#include "platform/SafeArray.h"
#include "platform/Variant.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace comtest {

class CComEnvironment : public testing::Environment {
public:
    void SetUp() override { ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))); }
    void TearDown() override { CoUninitialize(); }
};

inline SAFEARRAY* MakeBstrArray(const std::vector<std::wstring>& texts) {
    SAFEARRAY* array = SafeArrayCreateVector(VT_BSTR, 0, static_cast<ULONG>(texts.size()));
    for (LONG i = 0; i < static_cast<LONG>(texts.size()); ++i) {
        CBstr text(texts[i]);
        SafeArrayPutElement(array, &i, text.Get());  // copies the string
    }
    return array;
}

// Values: null for VT_EMPTY, otherwise a VT_BSTR of the text.
inline SAFEARRAY* MakeValueArray(const std::vector<const wchar_t*>& values) {
    SAFEARRAY* array = SafeArrayCreateVector(VT_VARIANT, 0, static_cast<ULONG>(values.size()));
    for (LONG i = 0; i < static_cast<LONG>(values.size()); ++i) {
        CVariant value;
        if (values[i]) {
            V_VT(value.Get()) = VT_BSTR;
            V_BSTR(value.Get()) = SysAllocString(values[i]);
        }
        SafeArrayPutElement(array, &i, value.Get());
    }
    return array;
}

inline VARIANT TextVariant(CBstr& owner, const wchar_t* text) {
    owner.Attach(SysAllocString(text));
    VARIANT value;
    V_VT(&value) = VT_BSTR;
    V_BSTR(&value) = owner.Get();
    return value;
}

inline VARIANT NumberVariant(LONG number) {
    VARIANT value;
    V_VT(&value) = VT_I4;
    V_I4(&value) = number;
    return value;
}

}  // namespace comtest
