// The resource owners: what they hand out, take over and give back.
#include "platform/Bstr.h"
#include "platform/SafeArray.h"
#include "platform/Variant.h"

#include <gtest/gtest.h>

namespace {

const WCHAR kAbc[] = {'a', 'b', 'c', 0};
const WCHAR kWithNull[] = {'a', 0, 'b'};

TEST(Bstr, KeepsEmbeddedNullsByLengthButReadsTextUpToTheFirst) {
    CBstr s(kWithNull, 3);
    EXPECT_EQ(3u, s.Length());
    EXPECT_EQ(WString(1, 'a'), s.ToString());
}

TEST(Bstr, NullReadsAsEmptyAndDetachGivesOwnershipAway) {
    CBstr none;
    EXPECT_TRUE(none.IsNull());
    EXPECT_EQ(WString(), none.ToString());

    CBstr s(kAbc);
    BSTR raw = s.Detach();
    EXPECT_TRUE(s.IsNull());
    EXPECT_EQ(3u, SysStringLen(raw));
    SysFreeString(raw);
}

TEST(Bstr, OutFreesTheFormerStringAndMoveLeavesTheSourceNull) {
    CBstr s(kAbc);
    *s.Out() = SysAllocString(kAbc);
    CBstr moved(std::move(s));
    EXPECT_TRUE(s.IsNull());
    EXPECT_EQ(WString(kAbc), moved.ToString());
}

TEST(Variant, DetachLeavesEmptyAndTheCallerOwnsTheValue) {
    CVariant v;
    V_VT(v.Get()) = VT_BSTR;
    V_BSTR(v.Get()) = SysAllocString(kAbc);
    VARIANT raw = v.Detach();
    EXPECT_EQ(VT_EMPTY, v.Type());
    EXPECT_EQ(VT_BSTR, V_VT(&raw));
    VariantClear(&raw);
}

TEST(SafeArray, DestroysItsArrayWithItsStrings) {
    SAFEARRAYBOUND bound{2, 0};
    CSafeArray array(SafeArrayCreate(VT_BSTR, 1, &bound));
    ASSERT_NE(nullptr, array.Get());
    BSTR* data = nullptr;
    ASSERT_EQ(S_OK, SafeArrayAccessData(array.Get(), reinterpret_cast<void**>(&data)));
    data[0] = SysAllocString(kAbc);
    SafeArrayUnaccessData(array.Get());
    SAFEARRAY* raw = array.Detach();
    EXPECT_EQ(nullptr, array.Get());
    array.Attach(raw);  // destroyed, string included, when the owner goes
}

}  // namespace
