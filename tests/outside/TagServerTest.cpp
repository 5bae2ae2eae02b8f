// What Quorvex3 relies on of the reference tag server, through its C++
// interfaces (vtable calls), created through its registration: collections
// in insertion order with unique IDs, one database per server, Update, and
// BulkLoad that either loads every pair or changes nothing.
#include "TagServerLib.h"
#include "platform/Variant.h"
#include "tests/support/ComTestSupport.h"
#include "tests/support/ReferenceTagServer.h"

#include <gtest/gtest.h>

using namespace testsupport;

namespace {

testing::Environment* const g_com = testing::AddGlobalTestEnvironment(new CComTestEnvironment(COINIT_MULTITHREADED));

// A VT_BSTR of the text, or VT_EMPTY for null.
struct CText : CVariant {
    explicit CText(const wchar_t* text) {
        if (!text) return;
        V_VT(Get()) = VT_BSTR;
        V_BSTR(Get()) = SysAllocString(text);
    }
};

void Add(ITags* tags, const wchar_t* id, const wchar_t* text) {
    CComPtr<ITag> tag;
    ASSERT_EQ(S_OK, tags->Add(CBstr(id), *CText(text).Get(), tag.Out()));
}

// "id=value;" for every tag, read through the enumerator as Quorvex3 does.
std::wstring Listing(ITags* tags) {
    std::wstring text;
    for (const doubles::TagRecord& tag : Contents(tags)) text += tag.id + L"=" + tag.text + L";";
    return text;
}

TEST(TagServerObjects, CollectionsKeepOrderIdsTheServersDatabaseAndUpdateCopies) {
    CComPtr<ITagServer> server = NewReferenceServer();
    ASSERT_TRUE(server);
    CComPtr<ITags> tags = NewReferenceCollection(server.Get());
    Add(tags.Get(), L"0001.0000.0000.0002", L"b");
    Add(tags.Get(), L"0001.0000.0000.0001", L"a");
    Add(tags.Get(), L"0001.0000.0000.0002", L"B");
    LONG count = -1;
    EXPECT_EQ(S_OK, tags->get_Count(&count));
    EXPECT_EQ(2, count);
    EXPECT_EQ(L"0001.0000.0000.0002=B;0001.0000.0000.0001=a;", Listing(tags.Get()));

    CComPtr<ITags> second = NewReferenceCollection(server.Get());
    CComPtr<ITagDatabase> fromServer, fromFirst, fromSecond;
    ASSERT_EQ(S_OK, server->get_Database(fromServer.Out()));
    ASSERT_EQ(S_OK, tags->get_Database(fromFirst.Out()));
    ASSERT_EQ(S_OK, second->get_Database(fromSecond.Out()));
    EXPECT_EQ(fromServer.Get(), fromFirst.Get());
    EXPECT_EQ(fromServer.Get(), fromSecond.Get());

    Add(second.Get(), L"old", L"gone");
    EXPECT_EQ(E_UNEXPECTED, second->EndUpdate()) << "no bracket open";
    EXPECT_EQ(S_OK, second->BeginUpdate());
    EXPECT_EQ(S_OK, second->Update(tags.Get()));
    EXPECT_EQ(S_OK, second->EndUpdate());
    Add(tags.Get(), L"0001.0000.0000.0001", L"changed");
    EXPECT_EQ(L"0001.0000.0000.0002=B;0001.0000.0000.0001=a;", Listing(second.Get())) << "the target holds copies";
    EXPECT_EQ(S_OK, second->Update(second.Get()));
    EXPECT_EQ(L"0001.0000.0000.0002=B;0001.0000.0000.0001=a;", Listing(second.Get())) << "from itself: no change";
    EXPECT_EQ(E_POINTER, second->Update(nullptr));
}

SAFEARRAY* Vector(VARTYPE vt, const std::vector<const wchar_t*>& texts) {
    SAFEARRAY* array = SafeArrayCreateVector(vt, 0, static_cast<ULONG>(texts.size()));
    for (LONG i = 0; i < static_cast<LONG>(texts.size()); ++i)
        SafeArrayPutElement(array, &i, vt == VT_BSTR ? static_cast<void*>(CBstr(texts[i]).Get()) : CText(texts[i]).Get());
    return array;
}

TEST(TagServerBulkLoad, ValidArraysLoadAndInvalidOnesChangeNothing) {
    enum Shape { kPairs, kNumberValue };
    const struct {
        const char* name;
        Shape shape;
        std::vector<const wchar_t*> ids, values;
        HRESULT expected;
        const wchar_t* listing;  // after loading into a collection holding "keep=1;"
    } cases[] = {
        {"pairs, existing ID replaced in place", kPairs, {L"n1", L"keep", L"n2"}, {L"v1", L"new", nullptr}, S_OK,
         L"keep=new;n1=v1;n2=;"},
        {"empty arrays", kPairs, {}, {}, S_OK, L"keep=1;"},
        {"duplicate IDs: the last value wins", kPairs, {L"d", L"d"}, {L"first", L"second"}, S_OK, L"keep=1;d=second;"},
        {"lengths differ", kPairs, {L"a", L"b"}, {L"1"}, E_INVALIDARG, L"keep=1;"},
        {"an empty ID after a good one", kPairs, {L"good", L""}, {L"1", L"2"}, E_INVALIDARG, L"keep=1;"},
        {"a value neither text nor empty", kNumberValue, {L"a"}, {L"x"}, E_INVALIDARG, L"keep=1;"},
    };
    CComPtr<ITagServer> server = NewReferenceServer();
    for (const auto& c : cases) {
        CComPtr<ITags> tags = NewReferenceCollection(server.Get());
        Add(tags.Get(), L"keep", L"1");
        CComPtr<ITagsFromConfig> loader;
        ASSERT_EQ(S_OK, tags.QueryInterface(IID_ITagsFromConfig, loader)) << c.name;
        SAFEARRAY* ids = Vector(VT_BSTR, c.ids);
        SAFEARRAY* values = Vector(VT_VARIANT, c.values);
        if (c.shape == kNumberValue) {
            LONG index = 0;
            CVariant number;
            V_VT(number.Get()) = VT_I4;
            V_I4(number.Get()) = 5;
            SafeArrayPutElement(values, &index, number.Get());
        }
        EXPECT_EQ(c.expected, loader->BulkLoad(&ids, &values)) << c.name;
        EXPECT_EQ(nullptr, ids) << c.name << ": the callee owns the arrays";
        EXPECT_EQ(nullptr, values) << c.name << ": the callee owns the arrays";
        EXPECT_EQ(c.listing, Listing(tags.Get())) << c.name;
    }
}

}  // namespace
