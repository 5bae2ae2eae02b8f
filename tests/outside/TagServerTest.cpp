// What Quorvex3 relies on of the reference tag server, through its C++
// interfaces (vtable calls), created through its registration: collections
// in insertion order with unique IDs, one database per server, Update, and
// BulkLoad that either loads every pair or changes nothing.
#include "TagServerLib.h"
#include "platform/SafeArray.h"
#include "platform/Variant.h"
#include "tests/support/ComTestSupport.h"
#include "tests/support/ReferenceTagServer.h"

#include <gtest/gtest.h>

#include <functional>

using namespace testsupport;

namespace {

testing::Environment* const g_com = testing::AddGlobalTestEnvironment(new CComTestEnvironment(COINIT_MULTITHREADED));

// A VT_BSTR of the text, or VT_EMPTY for null; the caller clears it.
VARIANT TextVariant(const wchar_t* text) {
    VARIANT value;
    VariantInit(&value);
    if (text) {
        V_VT(&value) = VT_BSTR;
        V_BSTR(&value) = SysAllocString(text);
    }
    return value;
}

VARIANT NumberVariant(LONG number) {
    VARIANT value;
    V_VT(&value) = VT_I4;
    V_I4(&value) = number;
    return value;
}

// A vector of BSTR ids, or of VARIANT values (VT_EMPTY for null).
SAFEARRAY* MakeBstrArray(const std::vector<std::wstring>& texts) {
    SAFEARRAY* array = SafeArrayCreateVector(VT_BSTR, 0, static_cast<ULONG>(texts.size()));
    for (LONG i = 0; i < static_cast<LONG>(texts.size()); ++i) SafeArrayPutElement(array, &i, CBstr(texts[i]).Get());
    return array;
}

SAFEARRAY* MakeValueArray(const std::vector<const wchar_t*>& values) {
    SAFEARRAY* array = SafeArrayCreateVector(VT_VARIANT, 0, static_cast<ULONG>(values.size()));
    for (LONG i = 0; i < static_cast<LONG>(values.size()); ++i) {
        CVariant value;
        *value.Out() = TextVariant(values[i]);
        SafeArrayPutElement(array, &i, value.Get());
    }
    return array;
}

void Add(ITags* tags, const wchar_t* id, const wchar_t* text) {
    CVariant value;
    *value.Out() = TextVariant(text);
    CComPtr<ITag> tag;
    ASSERT_EQ(S_OK, tags->Add(CBstr(id), *value.Get(), tag.Out()));
}

// An index by position or by ID, held for one call.
struct CIndex {
    explicit CIndex(LONG position) { *value.Out() = NumberVariant(position); }
    explicit CIndex(const wchar_t* id) { *value.Out() = TextVariant(id); }
    operator VARIANT() const { return *value.Get(); }
    CVariant value;
};

// "id=value;" for every tag, read through the enumerator as Quorvex3 does.
std::wstring Listing(ITags* tags) {
    CComPtr<IEnumVARIANT> enumerator;
    EXPECT_EQ(S_OK, tags->get__NewEnum(enumerator.Out()));
    std::wstring text;
    for (;;) {
        CVariant item;
        ULONG fetched = 99;
        const HRESULT hr = enumerator->Next(1, item.Out(), &fetched);
        if (hr != S_OK) {
            EXPECT_EQ(S_FALSE, hr);
            EXPECT_EQ(0u, fetched);
            return text;
        }
        EXPECT_EQ(1u, fetched);
        EXPECT_EQ(VT_DISPATCH, item.Type());
        CComPtr<ITag> tag;
        EXPECT_EQ(S_OK, V_DISPATCH(item.Get())->QueryInterface(IID_ITag, reinterpret_cast<void**>(tag.Out())));
        CBstr id;
        CVariant value;
        EXPECT_EQ(S_OK, tag->get_ID(id.Out()));
        EXPECT_EQ(S_OK, tag->get_Value(value.Out()));
        text += id.ToString() + L"=";
        if (value.Type() == VT_BSTR) text += V_BSTR(value.Get());
        text += L";";
    }
}

LONG Count(ITags* tags) {
    LONG count = -1;
    EXPECT_EQ(S_OK, tags->get_Count(&count));
    return count;
}

// Insertion order, unique IDs and the shared database are also checked by the
// script clients; here by vtable, with the identities a script cannot see.
TEST(TagServerObjects, CollectionsKeepOrderIdsAndTheServersDatabase) {
    CComPtr<ITagServer> server = NewReferenceServer();
    ASSERT_TRUE(server);
    CComPtr<ITags> tags = NewReferenceCollection(server.Get());
    EXPECT_EQ(0, Count(tags.Get()));
    EXPECT_EQ(L"", Listing(tags.Get()));
    Add(tags.Get(), L"0001.0000.0000.0002", L"b");
    Add(tags.Get(), L"0001.0000.0000.0001", L"a");
    Add(tags.Get(), L"0001.0000.0000.0002", L"B");
    EXPECT_EQ(2, Count(tags.Get()));
    EXPECT_EQ(L"0001.0000.0000.0002=B;0001.0000.0000.0001=a;", Listing(tags.Get()));
    CComPtr<ITag> byIndex, byId;
    ASSERT_EQ(S_OK, tags->get_Item(CIndex(1), byIndex.Out()));
    ASSERT_EQ(S_OK, tags->get_Item(CIndex(L"0001.0000.0000.0001"), byId.Out()));
    EXPECT_EQ(byIndex.Get(), byId.Get()) << "one tag object per tag";

    for (const CIndex& bad : {CIndex(2), CIndex(-1), CIndex(L"absent")}) {
        SetErrorInfo(0, nullptr);
        CComPtr<ITag> tag;
        EXPECT_EQ(E_INVALIDARG, tags->get_Item(bad, tag.Out()));
        EXPECT_FALSE(tag);
        EXPECT_EQ(L"Quorvex3.TagServer", TakeErrorInfo().strSource);
    }
    CComPtr<ISupportErrorInfo> support;
    ASSERT_EQ(S_OK, tags.QueryInterface(IID_ISupportErrorInfo, support));
    EXPECT_EQ(S_OK, support->InterfaceSupportsErrorInfo(IID_ITags));

    CComPtr<ITags> second = NewReferenceCollection(server.Get());
    CComPtr<ITagDatabase> fromServer, fromFirst, fromSecond;
    ASSERT_EQ(S_OK, server->get_Database(fromServer.Out()));
    ASSERT_EQ(S_OK, tags->get_Database(fromFirst.Out()));
    ASSERT_EQ(S_OK, second->get_Database(fromSecond.Out()));
    EXPECT_EQ(fromServer.Get(), fromFirst.Get());
    EXPECT_EQ(fromServer.Get(), fromSecond.Get());
}

TEST(TagServerObjects, UpdateCopiesTheSourceAndBracketsBalance) {
    CComPtr<ITagServer> server = NewReferenceServer();
    CComPtr<ITags> target = NewReferenceCollection(server.Get());
    CComPtr<ITags> source = NewReferenceCollection(server.Get());
    Add(target.Get(), L"old", L"gone");
    Add(source.Get(), L"new1", L"x");
    Add(source.Get(), L"new2", L"y");

    EXPECT_EQ(E_UNEXPECTED, target->EndUpdate()) << "no bracket open";
    EXPECT_EQ(S_OK, target->BeginUpdate());
    EXPECT_EQ(S_OK, target->Update(source.Get()));
    EXPECT_EQ(S_OK, target->EndUpdate());
    EXPECT_EQ(L"new1=x;new2=y;", Listing(target.Get()));
    Add(source.Get(), L"new1", L"changed");
    EXPECT_EQ(L"new1=x;new2=y;", Listing(target.Get())) << "the target holds copies";
    EXPECT_EQ(S_OK, target->Update(target.Get()));
    EXPECT_EQ(L"new1=x;new2=y;", Listing(target.Get())) << "updating from itself changes nothing";
    EXPECT_EQ(E_POINTER, target->Update(nullptr));
}

struct BulkCase {
    const char* name;
    std::function<SAFEARRAY*()> ids;
    std::function<SAFEARRAY*()> values;  // none: the ids array again
    HRESULT expected;
    const wchar_t* listing;  // after loading into a collection holding "keep=1;"
};

SAFEARRAY* TwoDimensionalBstrs() {
    SAFEARRAYBOUND bounds[2] = {{1, 0}, {1, 0}};
    return SafeArrayCreate(VT_BSTR, 2, bounds);
}

SAFEARRAY* BstrsFromOne() {
    SAFEARRAYBOUND bound = {1, 1};
    SAFEARRAY* array = SafeArrayCreate(VT_BSTR, 1, &bound);
    LONG index = 1;
    CBstr text(L"x");
    SafeArrayPutElement(array, &index, text.Get());
    return array;
}

SAFEARRAY* ValuesWithNumber() {
    SAFEARRAY* array = SafeArrayCreateVector(VT_VARIANT, 0, 1);
    LONG index = 0;
    VARIANT number = NumberVariant(5);
    SafeArrayPutElement(array, &index, &number);
    return array;
}

TEST(TagServerBulkLoad, ValidArraysLoadAndInvalidOnesChangeNothing) {
    const std::vector<BulkCase> cases = {
        {"pairs, existing ID replaced in place",
         [] {
             return MakeBstrArray({L"n1", L"keep", L"n2"});
         },
         [] {
             return MakeValueArray({L"v1", L"new", nullptr});
         },
         S_OK, L"keep=new;n1=v1;n2=;"},
        {"empty arrays", [] { return MakeBstrArray({}); }, [] { return MakeValueArray({}); }, S_OK, L"keep=1;"},
        {"duplicate IDs: the last value wins",
         [] {
             return MakeBstrArray({L"d", L"d"});
         },
         [] {
             return MakeValueArray({L"first", L"second"});
         },
         S_OK, L"keep=1;d=second;"},
        {"lengths differ",
         [] {
             return MakeBstrArray({L"a", L"b"});
         },
         [] { return MakeValueArray({L"1"}); }, E_INVALIDARG, L"keep=1;"},
        {"two dimensions", TwoDimensionalBstrs, [] { return MakeValueArray({L"1"}); }, E_INVALIDARG, L"keep=1;"},
        {"lower bound 1", BstrsFromOne, [] { return MakeValueArray({L"1"}); }, E_INVALIDARG, L"keep=1;"},
        {"ids not BSTR", [] { return MakeValueArray({L"a"}); }, [] { return MakeValueArray({L"1"}); }, E_INVALIDARG,
         L"keep=1;"},
        {"values not VARIANT", [] { return MakeBstrArray({L"a"}); }, [] { return MakeBstrArray({L"1"}); }, E_INVALIDARG,
         L"keep=1;"},
        {"a value neither text nor empty", [] { return MakeBstrArray({L"a"}); }, ValuesWithNumber, E_INVALIDARG,
         L"keep=1;"},
        {"an empty ID after a good one",
         [] {
             return MakeBstrArray({L"good", L""});
         },
         [] {
             return MakeValueArray({L"1", L"2"});
         },
         E_INVALIDARG, L"keep=1;"},
        {"no ids", [] { return nullptr; }, [] { return MakeValueArray({L"1"}); }, E_INVALIDARG, L"keep=1;"},
        {"no values", [] { return MakeBstrArray({L"a"}); }, [] { return nullptr; }, E_INVALIDARG, L"keep=1;"},
        {"the same array for both, destroyed once", [] { return MakeBstrArray({L"a"}); }, nullptr, E_INVALIDARG,
         L"keep=1;"},
    };
    CComPtr<ITagServer> server = NewReferenceServer();
    for (const BulkCase& c : cases) {
        CComPtr<ITags> tags = NewReferenceCollection(server.Get());
        Add(tags.Get(), L"keep", L"1");
        CComPtr<ITagsFromConfig> loader;
        ASSERT_EQ(S_OK, tags.QueryInterface(IID_ITagsFromConfig, loader)) << c.name;
        SAFEARRAY* ids = c.ids();
        SAFEARRAY* values = c.values ? c.values() : ids;
        EXPECT_EQ(c.expected, loader->BulkLoad(&ids, &values)) << c.name;
        EXPECT_EQ(nullptr, ids) << c.name << ": the callee owns the arrays";
        EXPECT_EQ(nullptr, values) << c.name << ": the callee owns the arrays";
        EXPECT_EQ(c.listing, Listing(tags.Get())) << c.name;
    }
}

}  // namespace
