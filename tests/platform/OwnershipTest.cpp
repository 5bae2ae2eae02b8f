// The resource owners: what they hand out, take over and give back.
#include "platform/Bstr.h"
#include "platform/SafeArray.h"
#include "platform/Variant.h"

#include <gtest/gtest.h>

namespace {

const WCHAR kAbc[] = {'a', 'b', 'c', 0};
const WCHAR kWithNull[] = {'a', 0, 'b'};

TEST(Bstr, LengthNullDetachOutAndMove) {
    CBstr withNull(kWithNull, 3);
    EXPECT_EQ(3u, withNull.Length());  // embedded nulls count by length...
    EXPECT_EQ(WString(1, 'a'), withNull.ToString());  // ...but text reads up to the first

    CBstr none;
    EXPECT_TRUE(none.IsNull());
    EXPECT_EQ(WString(), none.ToString());

    CBstr s(kAbc);
    BSTR raw = s.Detach();
    EXPECT_TRUE(s.IsNull());
    EXPECT_EQ(3u, SysStringLen(raw));
    SysFreeString(raw);

    *s.Out() = SysAllocString(kAbc);
    *s.Out() = SysAllocString(kAbc);  // frees the former string
    CBstr moved(std::move(s));
    EXPECT_TRUE(s.IsNull());
    EXPECT_EQ(WString(kAbc), moved.ToString());
}

TEST(VariantAndSafeArray, DetachGivesOwnershipAway) {
    CVariant v;
    V_VT(v.Get()) = VT_BSTR;
    V_BSTR(v.Get()) = SysAllocString(kAbc);
    VARIANT raw = v.Detach();
    EXPECT_EQ(VT_EMPTY, v.Type());
    EXPECT_EQ(VT_BSTR, V_VT(&raw));
    VariantClear(&raw);

    SAFEARRAYBOUND bound{2, 0};
    CSafeArray array(SafeArrayCreate(VT_BSTR, 1, &bound));
    ASSERT_NE(nullptr, array.Get());
    BSTR* data = nullptr;
    ASSERT_EQ(S_OK, SafeArrayAccessData(array.Get(), reinterpret_cast<void**>(&data)));
    data[0] = SysAllocString(kAbc);
    SafeArrayUnaccessData(array.Get());
    SAFEARRAY* rawArray = array.Detach();
    EXPECT_EQ(nullptr, array.Get());
    array.Attach(rawArray);  // destroyed, string included, when the owner goes
}

}  // namespace
