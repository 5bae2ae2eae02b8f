// The tag value buffer: pairs in, two arrays out, growing by 500 at a time.
#include "platform/SafeArray.h"
#include "reader/TagValueBuffer.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

WString W(const std::string& ascii) { return WString(ascii.begin(), ascii.end()); }

std::string Narrow(BSTR text) {
    std::string shown;
    for (UINT i = 0; i < SysStringLen(text); ++i) shown += static_cast<char>(text[i]);
    return shown;
}

// Detaches the arrays and shows them as "id=value" ("id" alone for no
// value); destroying them afterwards proves they were left unlocked.
std::vector<std::string> Detached(CTagValueBuffer& buffer) {
    CSafeArray ids, values;
    EXPECT_EQ(S_OK, buffer.DetachSafeArrays(ids.Out(), values.Out()));
    LONG lower = -1, idsUpper = -2, valuesUpper = -3;
    SafeArrayGetLBound(ids.Get(), 1, &lower);
    SafeArrayGetUBound(ids.Get(), 1, &idsUpper);
    SafeArrayGetUBound(values.Get(), 1, &valuesUpper);
    EXPECT_EQ(0, lower);
    EXPECT_EQ(idsUpper, valuesUpper);
    BSTR* id = nullptr;
    VARIANT* value = nullptr;
    SafeArrayAccessData(ids.Get(), reinterpret_cast<void**>(&id));
    SafeArrayAccessData(values.Get(), reinterpret_cast<void**>(&value));
    std::vector<std::string> shown;
    for (LONG i = 0; i <= idsUpper; ++i) {
        const VARTYPE vt = V_VT(&value[i]);
        shown.push_back(Narrow(id[i]) + (vt == VT_EMPTY  ? ""
                                         : vt == VT_BSTR ? "=" + Narrow(V_BSTR(&value[i]))
                                                         : "<type " + std::to_string(vt) + ">"));
    }
    SafeArrayUnaccessData(ids.Get());
    SafeArrayUnaccessData(values.Get());
    EXPECT_EQ(S_OK, SafeArrayDestroy(ids.Detach()));
    EXPECT_EQ(S_OK, SafeArrayDestroy(values.Detach()));
    return shown;
}

TEST(TagValueBuffer, StoresEachKindOfValueAndOwnsNothingOnceDetached) {
    const WCHAR withNull[] = {'a', 0, 'b', 0};
    const WCHAR empty[] = {0};
    auto buffer = std::make_unique<CTagValueBuffer>(0);
    EXPECT_EQ(E_INVALIDARG, buffer->Add(nullptr, W("x").c_str()));
    ASSERT_EQ(S_OK, buffer->Add(W("no value").c_str(), nullptr));
    ASSERT_EQ(S_OK, buffer->Add(W("empty").c_str(), empty));
    ASSERT_EQ(S_OK, buffer->Add(withNull, withNull));
    EXPECT_EQ(500u, buffer->Capacity());
    EXPECT_EQ((std::vector<std::string>{"no value", "empty=", "a=a"}), Detached(*buffer));

    EXPECT_EQ(E_OUTOFMEMORY, buffer->Add(W("late").c_str(), nullptr));
    SAFEARRAY* ids = nullptr;
    SAFEARRAY* values = nullptr;
    EXPECT_EQ(E_OUTOFMEMORY, buffer->DetachSafeArrays(&ids, &values));
    EXPECT_EQ(nullptr, ids);
    EXPECT_TRUE(Detached(*std::make_unique<CTagValueBuffer>(10000)).empty());
}

// A leak checker (the sanitizer build) sees any string the destructor misses.
TEST(TagValueBuffer, DestroyingWithoutDetachFreesEverything) {
    CTagValueBuffer buffer(3);
    for (int i = 0; i < 700; ++i)
        ASSERT_EQ(S_OK, buffer.Add(W("id" + std::to_string(i)).c_str(), i % 2 ? W("value").c_str() : nullptr));
    EXPECT_EQ(1003u, buffer.Capacity());
}

}  // namespace
