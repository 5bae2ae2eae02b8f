// Tag objects are made when a client asks for one: what is written through any
// of them is the collection's, and collections that share their tags after
// Update or an enumeration still change apart.
#include "TagServerLib.h"
#include "platform/Bstr.h"
#include "platform/ComPtr.h"
#include "platform/Variant.h"
#include "tests/support/ReferenceTagServer.h"

#include <gtest/gtest.h>

#include <string>

using testsupport::NewReferenceCollection;
using testsupport::NewReferenceServer;

namespace {

// A VT_BSTR variant of the text, for as long as it lives.
struct CText {
    explicit CText(const wchar_t* text) {
        V_VT(value.Get()) = VT_BSTR;
        V_BSTR(value.Get()) = SysAllocString(text);
    }
    CVariant value;
};

CComPtr<ITag> Add(ITags* tags, const wchar_t* id, const wchar_t* text) {
    CComPtr<ITag> tag;
    EXPECT_EQ(S_OK, tags->Add(CBstr(id), *CText(text).value.Get(), tag.Out()));
    return tag;
}

CComPtr<ITag> Item(ITags* tags, const wchar_t* id) {
    CComPtr<ITag> tag;
    EXPECT_EQ(S_OK, tags->get_Item(*CText(id).value.Get(), tag.Out()));
    return tag;
}

HRESULT Put(ITag* tag, const wchar_t* text) { return tag->put_Value(*CText(text).value.Get()); }

std::wstring ValueOf(ITag* tag) {
    CVariant value;
    const HRESULT hr = tag->get_Value(value.Out());
    if (FAILED(hr)) return hr == E_INVALIDARG ? L"(gone)" : L"(failed)";
    return value.Type() == VT_BSTR ? V_BSTR(value.Get()) : L"(not text)";
}

// "id=value;" for every tag the enumerator gives.
std::wstring Listing(IEnumVARIANT* enumerator) {
    std::wstring text;
    CVariant item;
    for (ULONG fetched = 0; enumerator->Next(1, item.Out(), &fetched) == S_OK;) {
        CComPtr<ITag> tag;
        EXPECT_EQ(S_OK, V_DISPATCH(item.Get())->QueryInterface(IID_ITag, reinterpret_cast<void**>(tag.Out())));
        CBstr id;
        EXPECT_EQ(S_OK, tag->get_ID(id.Out()));
        text += id.ToString() + L"=" + ValueOf(tag.Get()) + L";";
    }
    return text;
}

std::wstring Listing(ITags* tags) {
    CComPtr<IEnumVARIANT> enumerator;
    EXPECT_EQ(S_OK, tags->get__NewEnum(enumerator.Out()));
    return enumerator ? Listing(enumerator.Get()) : L"(no enumerator)";
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
    Add(source.Get(), L"b", L"2");
    CComPtr<ITag> old = Add(target.Get(), L"old", L"0");

    ASSERT_EQ(S_OK, target->Update(source.Get()));
    EXPECT_EQ(L"a=1;b=2;", Listing(target.Get()));
    EXPECT_EQ(L"(gone)", ValueOf(old.Get())) << "its tag left the collection";

    CComPtr<IEnumVARIANT> before;
    ASSERT_EQ(S_OK, target->get__NewEnum(before.Out()));
    EXPECT_EQ(S_OK, Put(Item(target.Get(), L"a").Get(), L"t"));
    EXPECT_EQ(S_OK, Put(Item(source.Get(), L"b").Get(), L"s"));
    Add(target.Get(), L"c", L"3");
    EXPECT_EQ(L"a=t;b=2;c=3;", Listing(target.Get()));
    EXPECT_EQ(L"a=1;b=s;", Listing(source.Get()));
    EXPECT_EQ(L"a=t;b=2;", Listing(before.Get())) << "an enumerator keeps the tags it started with";

    CComPtr<ITag> c = Item(target.Get(), L"c");
    ASSERT_EQ(S_OK, target->Clear());
    EXPECT_EQ(L"(gone)", ValueOf(c.Get()));
    EXPECT_EQ(E_INVALIDARG, Put(c.Get(), L"late"));
}

// Rewritten text leaves garbage behind that the collection clears away now and
// then; what is read back is always the latest value, of the type written.
TEST(TagServerData, ValuesRewrittenManyTimesReadBackTheLatest) {
    CComPtr<ITags> tags = NewReferenceCollection(NewReferenceServer().Get());
    CComPtr<ITag> a = Add(tags.Get(), L"a", L"");
    CComPtr<ITag> n = Add(tags.Get(), L"n", L"");
    Add(tags.Get(), L"gone", L"x");
    for (LONG i = 0; i < 200; ++i) {
        EXPECT_EQ(S_OK, Put(a.Get(), std::to_wstring(i).c_str()));
        CVariant number;
        V_VT(number.Get()) = VT_I4;
        V_I4(number.Get()) = i;
        EXPECT_EQ(S_OK, n->put_Value(*number.Get()));
    }
    EXPECT_EQ(S_OK, tags->Remove(*CText(L"gone").value.Get()));
    Add(tags.Get(), L"b", L"last");
    CVariant number;
    ASSERT_EQ(S_OK, n->get_Value(number.Out()));
    EXPECT_EQ(VT_I4, number.Type());
    EXPECT_EQ(199, V_I4(number.Get()));
    EXPECT_EQ(L"a=199;n=(not text);b=last;", Listing(tags.Get()));
}

}  // namespace
