// The tag value buffer: pairs in, two arrays out, growing by 500 at a time.
#include "platform/Bstr.h"
#include "platform/SafeArray.h"
#include "reader/TagValueBuffer.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

WString W(const std::string& ascii) { return WString(ascii.begin(), ascii.end()); }

// Reads the detached arrays back; destroying them proves they were unlocked.
class CDetached {
public:
    explicit CDetached(CTagValueBuffer& buffer) { m_hr = buffer.DetachSafeArrays(m_ids.Out(), m_values.Out()); }

    HRESULT Result() const { return m_hr; }

    LONG Elements(SAFEARRAY* psa) const {
        LONG lower = -1, upper = -2;
        SafeArrayGetLBound(psa, 1, &lower);
        SafeArrayGetUBound(psa, 1, &upper);
        return lower == 0 ? upper + 1 : -1;
    }
    LONG IdCount() const { return Elements(m_ids.Get()); }
    LONG ValueCount() const { return Elements(m_values.Get()); }

    WString Id(LONG i) const {
        BSTR* data = nullptr;
        SafeArrayAccessData(m_ids.Get(), reinterpret_cast<void**>(&data));
        WString id = CBstrView(data[i]);
        SafeArrayUnaccessData(m_ids.Get());
        return id;
    }

    // "<empty>" for VT_EMPTY, else the string (type checked).
    std::string Value(LONG i) const {
        VARIANT* data = nullptr;
        SafeArrayAccessData(m_values.Get(), reinterpret_cast<void**>(&data));
        std::string shown;
        if (V_VT(&data[i]) == VT_EMPTY) {
            shown = "<empty>";
        } else if (V_VT(&data[i]) != VT_BSTR || V_BSTR(&data[i]) == nullptr) {
            shown = "<bad type " + std::to_string(V_VT(&data[i])) + ">";
        } else {
            for (WCHAR c : WString(V_BSTR(&data[i]), SysStringLen(V_BSTR(&data[i])))) shown += char(c);
        }
        SafeArrayUnaccessData(m_values.Get());
        return shown;
    }

    bool DestroysCleanly() {
        return SafeArrayDestroy(m_ids.Detach()) == S_OK && SafeArrayDestroy(m_values.Detach()) == S_OK;
    }

private:
    static WString CBstrView(BSTR b) { return b ? WString(b, SysStringLen(b)) : W("<null>"); }

    HRESULT m_hr;
    CSafeArray m_ids;
    CSafeArray m_values;
};

TEST(TagValueBuffer, GrowsBy500WhenFullAndTrimsToTheCountOnDetach) {
    CTagValueBuffer buffer(10000);
    EXPECT_EQ(10000u, buffer.Capacity());
    for (int i = 0; i < 10000; ++i) ASSERT_EQ(S_OK, buffer.Add(W("1.0.0." + std::to_string(i)).c_str(), nullptr));
    EXPECT_EQ(10000u, buffer.Capacity());
    ASSERT_EQ(S_OK, buffer.Add(W("last").c_str(), W("v").c_str()));
    EXPECT_EQ(10500u, buffer.Capacity());
    EXPECT_EQ(10001u, buffer.Count());
    for (int i = 0; i < 500; ++i) ASSERT_EQ(S_OK, buffer.Add(W("more").c_str(), nullptr));
    EXPECT_EQ(11000u, buffer.Capacity());

    CDetached arrays(buffer);
    ASSERT_EQ(S_OK, arrays.Result());
    EXPECT_EQ(10501, arrays.IdCount());
    EXPECT_EQ(10501, arrays.ValueCount());
    EXPECT_EQ(W("1.0.0.0"), arrays.Id(0));
    EXPECT_EQ(W("1.0.0.9999"), arrays.Id(9999));
    EXPECT_EQ(W("last"), arrays.Id(10000));
    EXPECT_EQ("v", arrays.Value(10000));
    EXPECT_EQ(W("more"), arrays.Id(10500));
    EXPECT_TRUE(arrays.DestroysCleanly());
}

TEST(TagValueBuffer, StoresEachKindOfValue) {
    const WCHAR withNull[] = {'a', 0, 'b', 0};
    const WCHAR empty[] = {0};
    CTagValueBuffer buffer(0);
    EXPECT_EQ(E_INVALIDARG, buffer.Add(nullptr, W("x").c_str()));
    EXPECT_EQ(0u, buffer.Count());
    ASSERT_EQ(S_OK, buffer.Add(W("no value").c_str(), nullptr));
    ASSERT_EQ(S_OK, buffer.Add(W("empty").c_str(), empty));
    ASSERT_EQ(S_OK, buffer.Add(withNull, withNull));
    EXPECT_EQ(500u, buffer.Capacity());

    CDetached arrays(buffer);
    ASSERT_EQ(S_OK, arrays.Result());
    ASSERT_EQ(3, arrays.IdCount());
    EXPECT_EQ("<empty>", arrays.Value(0));
    EXPECT_EQ("", arrays.Value(1));
    EXPECT_EQ(W("a"), arrays.Id(2));
    EXPECT_EQ("a", arrays.Value(2));
    EXPECT_TRUE(arrays.DestroysCleanly());
}

TEST(TagValueBuffer, AnEmptyBufferDetachesTwoArraysOfNoElements) {
    CTagValueBuffer buffer(10000);
    CDetached arrays(buffer);
    ASSERT_EQ(S_OK, arrays.Result());
    EXPECT_EQ(0, arrays.IdCount());
    EXPECT_EQ(0, arrays.ValueCount());
    EXPECT_TRUE(arrays.DestroysCleanly());
}

TEST(TagValueBuffer, OwnsNothingOnceDetached) {
    auto buffer = std::make_unique<CTagValueBuffer>(2);
    ASSERT_EQ(S_OK, buffer->Add(W("id").c_str(), W("value").c_str()));
    CDetached arrays(*buffer);
    ASSERT_EQ(S_OK, arrays.Result());
    EXPECT_EQ(E_OUTOFMEMORY, buffer->Add(W("late").c_str(), nullptr));
    SAFEARRAY* ids = nullptr;
    SAFEARRAY* values = nullptr;
    EXPECT_EQ(E_OUTOFMEMORY, buffer->DetachSafeArrays(&ids, &values));
    EXPECT_EQ(nullptr, ids);
    buffer.reset();
    EXPECT_EQ(W("id"), arrays.Id(0));
    EXPECT_EQ("value", arrays.Value(0));
    EXPECT_TRUE(arrays.DestroysCleanly());
}

// A leak checker (the sanitizer build) sees any string the destructor misses.
TEST(TagValueBuffer, DestroyingWithoutDetachFreesEverything) {
    CTagValueBuffer buffer(3);
    for (int i = 0; i < 700; ++i) {
        ASSERT_EQ(S_OK, buffer.Add(W("id" + std::to_string(i)).c_str(), i % 2 ? W("value").c_str() : nullptr));
    }
    EXPECT_EQ(1003u, buffer.Capacity());
}

}  // namespace
