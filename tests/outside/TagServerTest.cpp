// What Quorvex3 relies on of the reference tag server, through its C++
// interfaces (vtable calls), created through its registration: collections
// in insertion order with unique IDs, one database per server, Update, and
// BulkLoad that either loads every pair or changes nothing. Tag objects are
// made when a client asks for one: what is written through any of them is the
// collection's, and collections that share their tags after Update or an
// enumeration still change apart.
#include "TagServerLib.h"
#include "platform/Variant.h"
#include "tests/support/ComTestSupport.h"
#include "tests/support/ReferenceTagServer.h"

#include <gtest/gtest.h>

#include <string>

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

CComPtr<ITag> Add(ITags* tags, const wchar_t* id, const wchar_t* text) {
    CComPtr<ITag> tag;
    EXPECT_EQ(S_OK, tags->Add(CBstr(id), *CText(text).Get(), tag.Out()));
    return tag;
}

CComPtr<ITag> Item(ITags* tags, const wchar_t* id) {
    CComPtr<ITag> tag;
    EXPECT_EQ(S_OK, tags->get_Item(*CText(id).Get(), tag.Out()));
    return tag;
}

HRESULT Put(ITag* tag, const wchar_t* text) { return tag->put_Value(*CText(text).Get()); }

HRESULT PutNumber(ITag* tag, LONG number) {
    CVariant value;
    V_VT(value.Get()) = VT_I4;
    V_I4(value.Get()) = number;
    return tag->put_Value(*value.Get());
}

std::wstring ValueOf(ITag* tag) {
    CVariant value;
    const HRESULT hr = tag->get_Value(value.Out());
    if (FAILED(hr)) return hr == E_INVALIDARG ? L"(gone)" : L"(failed)";
    return value.Type() == VT_BSTR ? V_BSTR(value.Get()) : L"(not text)";
}

// "id=value;" for every tag the collection or enumerator gives, read as
// Quorvex3 reads them: a number as "#" and its text, no value as "(empty)".
template <class Source>
std::wstring Listing(Source* source) {
    std::wstring text;
    for (const doubles::TagRecord& tag : Contents(source))
        text += tag.id + L"=" + (tag.type == VT_EMPTY ? L"(empty)" : tag.type == VT_BSTR ? tag.text : L"#" + tag.text) + L";";
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
         L"keep=new;n1=v1;n2=(empty);"},
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

TEST(TagServerData, ValuesWrittenThroughAnyTagObjectAreTheCollections) {
    CComPtr<ITags> tags = NewReferenceCollection(NewReferenceServer().Get());
    CComPtr<ITag> added = Add(tags.Get(), L"a", L"1");
    Add(tags.Get(), L"b", L"2");
    CComPtr<ITag> heldA = Item(tags.Get(), L"a");

    EXPECT_EQ(S_OK, Put(added.Get(), L"x"));
    EXPECT_EQ(S_OK, Put(Item(tags.Get(), L"b").Get(), L"y"));
    EXPECT_EQ(L"a=x;b=y;", Listing(tags.Get()));

    CComPtr<IEnumVARIANT> enumerator;
    ASSERT_EQ(S_OK, tags->get__NewEnum(enumerator.Out()));
    CVariant first;
    ASSERT_EQ(S_OK, enumerator->Next(1, first.Out(), nullptr));
    CComPtr<ITag> enumerated;
    ASSERT_EQ(S_OK, V_DISPATCH(first.Get())->QueryInterface(IID_ITag, reinterpret_cast<void**>(enumerated.Out())));
    EXPECT_EQ(S_OK, Put(enumerated.Get(), L"z"));
    EXPECT_EQ(L"z", ValueOf(heldA.Get())) << "a tag held earlier sees later writes";
    EXPECT_EQ(L"a=z;b=y;", Listing(tags.Get()));
}

TEST(TagServerData, CollectionsSharingTagsChangeApart) {
    CComPtr<ITagServer> server = NewReferenceServer();
    CComPtr<ITags> source = NewReferenceCollection(server.Get());
    CComPtr<ITags> target = NewReferenceCollection(server.Get());
    Add(source.Get(), L"a", L"1");
    EXPECT_EQ(S_OK, PutNumber(Add(source.Get(), L"n", nullptr).Get(), 7));
    Add(source.Get(), L"b", L"2");
    CComPtr<ITag> old = Add(target.Get(), L"old", L"0");

    ASSERT_EQ(S_OK, target->Update(source.Get()));
    EXPECT_EQ(L"a=1;n=#7;b=2;", Listing(target.Get()));
    EXPECT_EQ(L"(gone)", ValueOf(old.Get())) << "its tag left the collection";

    CComPtr<IEnumVARIANT> before;
    ASSERT_EQ(S_OK, target->get__NewEnum(before.Out()));
    EXPECT_EQ(S_OK, Put(Item(target.Get(), L"a").Get(), L"t"));
    EXPECT_EQ(S_OK, Put(Item(source.Get(), L"b").Get(), L"s"));
    Add(target.Get(), L"c", L"3");
    EXPECT_EQ(L"a=t;n=#7;b=2;c=3;", Listing(target.Get()));
    EXPECT_EQ(L"a=1;n=#7;b=s;", Listing(source.Get()));
    EXPECT_EQ(L"a=t;n=#7;b=2;", Listing(before.Get())) << "an enumerator keeps the tags it started with";
    EXPECT_EQ(S_OK, target->Remove(*CText(L"a").Get()));
    EXPECT_EQ(L"n=#7;b=2;c=3;", Listing(target.Get())) << "later tags move down with their values";

    CComPtr<ITag> c = Item(target.Get(), L"c");
    ASSERT_EQ(S_OK, target->Clear());
    EXPECT_EQ(L"(gone)", ValueOf(c.Get()));
    EXPECT_EQ(E_INVALIDARG, Put(c.Get(), L"late"));
}

}  // namespace
