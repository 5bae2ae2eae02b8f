// The reference tag server through its C++ interfaces (vtable calls), as
// Quorvex3 uses it, created through its registration.
#include "ComTestEnvironment.h"
#include "TagServerLib.h"

#include <gtest/gtest.h>

#include <functional>
#include <thread>

using comtest::MakeBstrArray;
using comtest::MakeValueArray;

namespace {

testing::Environment* const g_com = testing::AddGlobalTestEnvironment(new comtest::CComEnvironment);

CComPtr<ITagServer> NewServer() {
    CComPtr<ITagServer> server;
    EXPECT_EQ(S_OK, CoCreateInstance(CLSID_TagServer, nullptr, CLSCTX_INPROC_SERVER, IID_ITagServer,
                                     reinterpret_cast<void**>(server.Out())));
    return server;
}

CComPtr<ITags> NewTags(ITagServer* server) {
    CComPtr<ITags> tags;
    EXPECT_EQ(S_OK, server->CreateTags(tags.Out()));
    return tags;
}

void Add(ITags* tags, const wchar_t* id, const wchar_t* text) {
    CBstr idText(id);
    CBstr owner;
    VARIANT value = comtest::TextVariant(owner, text);
    CComPtr<ITag> tag;
    ASSERT_EQ(S_OK, tags->Add(idText, value, tag.Out()));
}

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

std::wstring RegistryText(const std::wstring& key, const wchar_t* name) {
    wchar_t value[MAX_PATH] = L"";
    DWORD size = sizeof value;
    if (RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), name, RRF_RT_REG_SZ, nullptr, value, &size) != ERROR_SUCCESS)
        return L"(missing)";
    return value;
}

std::wstring GuidText(REFGUID guid) {
    wchar_t text[40];
    StringFromGUID2(guid, text, 40);
    return text;
}

TEST(TagServerRegistration, ClassProgIdAndTypeLibraryAreRegistered) {
    const std::wstring classKey = L"CLSID\\" + GuidText(CLSID_TagServer);
    const std::wstring server = RegistryText(classKey + L"\\InprocServer32", nullptr);
    EXPECT_EQ(L"TagServer.dll", server.substr(server.find_last_of(L'\\') + 1)) << server;
    EXPECT_EQ(L"Both", RegistryText(classKey + L"\\InprocServer32", L"ThreadingModel"));
    EXPECT_EQ(L"Quorvex3.TagServer", RegistryText(classKey + L"\\ProgID", nullptr));
    CLSID fromProgId;
    ASSERT_EQ(S_OK, CLSIDFromProgID(L"Quorvex3.TagServer", &fromProgId));
    EXPECT_TRUE(IsEqualCLSID(CLSID_TagServer, fromProgId));
    CComPtr<ITypeLib> library;
    EXPECT_EQ(S_OK, LoadRegTypeLib(LIBID_QuorvexTagServer, 1, 0, LOCALE_NEUTRAL, library.Out()));
}

TEST(TagServerRegistration, UnregisterRemovesWhatRegisterWrites) {
    HMODULE module = LoadLibraryW(L"TagServer.dll");
    ASSERT_NE(nullptr, module);
    using Entry = HRESULT(STDAPICALLTYPE*)();
    const auto unregister = reinterpret_cast<Entry>(reinterpret_cast<void*>(GetProcAddress(module, "DllUnregisterServer")));
    const auto reregister = reinterpret_cast<Entry>(reinterpret_cast<void*>(GetProcAddress(module, "DllRegisterServer")));
    ASSERT_TRUE(unregister && reregister);
    const std::wstring classKey = L"CLSID\\" + GuidText(CLSID_TagServer);

    EXPECT_EQ(S_OK, unregister());
    EXPECT_EQ(L"(missing)", RegistryText(classKey + L"\\InprocServer32", nullptr));
    EXPECT_EQ(L"(missing)", RegistryText(L"Quorvex3.TagServer\\CLSID", nullptr));
    EXPECT_EQ(S_OK, unregister()) << "unregistering twice is no failure";
    // Registered again for every later test.
    EXPECT_EQ(S_OK, reregister());
    EXPECT_EQ(GuidText(CLSID_TagServer), RegistryText(L"Quorvex3.TagServer\\CLSID", nullptr));
    FreeLibrary(module);
}

TEST(TagServerObjects, CollectionsKeepInsertionOrderAndUniqueIds) {
    CComPtr<ITagServer> server = NewServer();
    ASSERT_TRUE(server);
    CComPtr<ITags> tags = NewTags(server.Get());
    EXPECT_EQ(0, Count(tags.Get()));
    EXPECT_EQ(L"", Listing(tags.Get()));
    Add(tags.Get(), L"0001.0000.0000.0002", L"b");
    Add(tags.Get(), L"0001.0000.0000.0001", L"a");
    Add(tags.Get(), L"0001.0000.0000.0002", L"B");
    EXPECT_EQ(2, Count(tags.Get()));
    EXPECT_EQ(L"0001.0000.0000.0002=B;0001.0000.0000.0001=a;", Listing(tags.Get()));

    CComPtr<ITag> byIndex;
    CComPtr<ITag> byId;
    CBstr owner;
    ASSERT_EQ(S_OK, tags->get_Item(comtest::NumberVariant(1), byIndex.Out()));
    ASSERT_EQ(S_OK, tags->get_Item(comtest::TextVariant(owner, L"0001.0000.0000.0001"), byId.Out()));
    EXPECT_EQ(byIndex.Get(), byId.Get()) << "one tag object per tag";
}

TEST(TagServerObjects, EveryCollectionSharesTheServersDatabase) {
    CComPtr<ITagServer> server = NewServer();
    CComPtr<ITags> first = NewTags(server.Get());
    CComPtr<ITags> second = NewTags(server.Get());
    CComPtr<ITagDatabase> fromServer, fromFirst, fromSecond;
    ASSERT_EQ(S_OK, server->get_Database(fromServer.Out()));
    ASSERT_EQ(S_OK, first->get_Database(fromFirst.Out()));
    ASSERT_EQ(S_OK, second->get_Database(fromSecond.Out()));
    EXPECT_EQ(fromServer.Get(), fromFirst.Get());
    EXPECT_EQ(fromServer.Get(), fromSecond.Get());

    CBstr version;
    ASSERT_EQ(S_OK, fromFirst->get_TagSpecVersion(version.Out()));
    EXPECT_EQ(L"1.0.0", version.ToString());
    CBstr newVersion(L"1.4.2");
    ASSERT_EQ(S_OK, fromServer->put_TagSpecVersion(newVersion));
    ASSERT_EQ(S_OK, fromSecond->get_TagSpecVersion(version.Out()));
    EXPECT_EQ(L"1.4.2", version.ToString());
}

TEST(TagServerObjects, EnumeratorBatchesSkipResetAndClone) {
    CComPtr<ITags> tags = NewTags(NewServer().Get());
    Add(tags.Get(), L"1", L"a");
    Add(tags.Get(), L"2", L"b");
    Add(tags.Get(), L"3", L"c");
    CComPtr<IEnumVARIANT> enumerator;
    ASSERT_EQ(S_OK, tags->get__NewEnum(enumerator.Out()));
    EXPECT_EQ(S_OK, enumerator->Skip(1));
    CComPtr<IEnumVARIANT> clone;
    ASSERT_EQ(S_OK, enumerator->Clone(clone.Out()));

    VARIANT items[4];
    ULONG fetched = 0;
    EXPECT_EQ(S_FALSE, enumerator->Next(4, items, &fetched));
    ASSERT_EQ(2u, fetched);
    for (ULONG i = 0; i < fetched; ++i) VariantClear(&items[i]);
    EXPECT_EQ(S_FALSE, enumerator->Skip(1));
    EXPECT_EQ(S_OK, enumerator->Reset());
    EXPECT_EQ(S_OK, enumerator->Next(3, items, &fetched));
    EXPECT_EQ(3u, fetched);
    for (ULONG i = 0; i < fetched; ++i) VariantClear(&items[i]);
    EXPECT_EQ(S_OK, clone->Next(2, items, &fetched)) << "the clone continues where the original was";
    for (ULONG i = 0; i < fetched; ++i) VariantClear(&items[i]);
    EXPECT_EQ(S_FALSE, clone->Next(1, items, &fetched));
}

TEST(TagServerObjects, UpdateCopiesTheSourceAndBracketsBalance) {
    CComPtr<ITagServer> server = NewServer();
    CComPtr<ITags> target = NewTags(server.Get());
    CComPtr<ITags> source = NewTags(server.Get());
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

TEST(TagServerObjects, RemoveAndClearKeepIndicesConsistent) {
    CComPtr<ITags> tags = NewTags(NewServer().Get());
    for (const wchar_t* id : {L"a", L"b", L"c", L"d"}) Add(tags.Get(), id, id);
    CBstr owner;
    EXPECT_EQ(S_OK, tags->Remove(comtest::NumberVariant(1)));
    EXPECT_EQ(S_OK, tags->Remove(comtest::TextVariant(owner, L"c")));
    EXPECT_EQ(L"a=a;d=d;", Listing(tags.Get()));
    CComPtr<ITag> tag;
    ASSERT_EQ(S_OK, tags->get_Item(comtest::TextVariant(owner, L"d"), tag.Out()));
    CBstr id;
    tag->get_ID(id.Out());
    EXPECT_EQ(L"d", id.ToString());
    EXPECT_EQ(E_INVALIDARG, tags->Remove(comtest::TextVariant(owner, L"c")));
    EXPECT_EQ(S_OK, tags->Clear());
    EXPECT_EQ(0, Count(tags.Get()));
    Add(tags.Get(), L"d", L"again");
    EXPECT_EQ(L"d=again;", Listing(tags.Get()));
}

TEST(TagServerObjects, BadIndexFailsWithErrorInformation) {
    CComPtr<ITags> tags = NewTags(NewServer().Get());
    Add(tags.Get(), L"only", L"1");
    CBstr owner;
    const VARIANT cases[] = {comtest::NumberVariant(1), comtest::NumberVariant(-1),
                             comtest::TextVariant(owner, L"absent")};
    for (const VARIANT& index : cases) {
        SetErrorInfo(0, nullptr);
        CComPtr<ITag> tag;
        EXPECT_EQ(E_INVALIDARG, tags->get_Item(index, tag.Out()));
        EXPECT_FALSE(tag);
        CComPtr<IErrorInfo> info;
        ASSERT_EQ(S_OK, GetErrorInfo(0, info.Out()));
        CBstr source;
        info->GetSource(source.Out());
        EXPECT_EQ(L"Quorvex3.TagServer", source.ToString());
    }
    CComPtr<ISupportErrorInfo> support;
    ASSERT_EQ(S_OK, tags.QueryInterface(IID_ISupportErrorInfo, support));
    EXPECT_EQ(S_OK, support->InterfaceSupportsErrorInfo(IID_ITags));
}

struct BulkCase {
    const char* name;
    std::function<SAFEARRAY*()> ids;
    std::function<SAFEARRAY*()> values;
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
    VARIANT number = comtest::NumberVariant(5);
    SafeArrayPutElement(array, &index, &number);
    return array;
}

TEST(TagServerBulkLoad, ValidArraysLoadAndInvalidOnesChangeNothing) {
    const std::vector<BulkCase> cases = {
        {"pairs, existing ID replaced in place", [] { return MakeBstrArray({L"n1", L"keep", L"n2"}); },
         [] { return MakeValueArray({L"v1", L"new", nullptr}); }, S_OK, L"keep=new;n1=v1;n2=;"},
        {"empty arrays", [] { return MakeBstrArray({}); }, [] { return MakeValueArray({}); }, S_OK, L"keep=1;"},
        {"duplicate IDs: the last value wins", [] { return MakeBstrArray({L"d", L"d"}); },
         [] { return MakeValueArray({L"first", L"second"}); }, S_OK, L"keep=1;d=second;"},
        {"lengths differ", [] { return MakeBstrArray({L"a", L"b"}); }, [] { return MakeValueArray({L"1"}); },
         E_INVALIDARG, L"keep=1;"},
        {"two dimensions", TwoDimensionalBstrs, [] { return MakeValueArray({L"1"}); }, E_INVALIDARG, L"keep=1;"},
        {"lower bound 1", BstrsFromOne, [] { return MakeValueArray({L"1"}); }, E_INVALIDARG, L"keep=1;"},
        {"ids not BSTR", [] { return MakeValueArray({L"a"}); }, [] { return MakeValueArray({L"1"}); },
         E_INVALIDARG, L"keep=1;"},
        {"values not VARIANT", [] { return MakeBstrArray({L"a"}); }, [] { return MakeBstrArray({L"1"}); },
         E_INVALIDARG, L"keep=1;"},
        {"a value neither text nor empty", [] { return MakeBstrArray({L"a"}); }, ValuesWithNumber, E_INVALIDARG,
         L"keep=1;"},
        {"an empty ID after a good one", [] { return MakeBstrArray({L"good", L""}); },
         [] { return MakeValueArray({L"1", L"2"}); }, E_INVALIDARG, L"keep=1;"},
        {"no ids", [] { return nullptr; }, [] { return MakeValueArray({L"1"}); }, E_INVALIDARG, L"keep=1;"},
        {"no values", [] { return MakeBstrArray({L"a"}); }, [] { return nullptr; }, E_INVALIDARG, L"keep=1;"},
    };
    CComPtr<ITagServer> server = NewServer();
    for (const BulkCase& c : cases) {
        CComPtr<ITags> tags = NewTags(server.Get());
        Add(tags.Get(), L"keep", L"1");
        CComPtr<ITagsFromConfig> loader;
        ASSERT_EQ(S_OK, tags.QueryInterface(IID_ITagsFromConfig, loader)) << c.name;
        SAFEARRAY* ids = c.ids();
        SAFEARRAY* values = c.values();
        EXPECT_EQ(c.expected, loader->BulkLoad(&ids, &values)) << c.name;
        EXPECT_EQ(nullptr, ids) << c.name << ": the callee owns the arrays";
        EXPECT_EQ(nullptr, values) << c.name << ": the callee owns the arrays";
        EXPECT_EQ(c.listing, Listing(tags.Get())) << c.name;
    }
}

TEST(TagServerBulkLoad, SameArrayForBothIsRefusedAndDestroyedOnce) {
    CComPtr<ITags> tags = NewTags(NewServer().Get());
    CComPtr<ITagsFromConfig> loader;
    ASSERT_EQ(S_OK, tags.QueryInterface(IID_ITagsFromConfig, loader));
    SAFEARRAY* both = MakeBstrArray({L"a"});
    SAFEARRAY* ids = both;
    SAFEARRAY* values = both;
    EXPECT_EQ(E_INVALIDARG, loader->BulkLoad(&ids, &values));
    EXPECT_EQ(0, Count(tags.Get()));
}

TEST(TagServerObjects, ConcurrentAddsFromSeveralThreadsAllArrive) {
    CComPtr<ITags> tags = NewTags(NewServer().Get());
    constexpr int kThreads = 4;
    constexpr int kTagsEach = 200;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&tags, t] {
            for (int i = 0; i < kTagsEach; ++i) {
                const std::wstring id = std::to_wstring(t) + L"." + std::to_wstring(i);
                Add(tags.Get(), id.c_str(), L"v");
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(kThreads * kTagsEach, Count(tags.Get()));
}

TEST(TagServerModule, CanUnloadOnlyWhenNoObjectLives) {
    HMODULE module = GetModuleHandleW(L"TagServer.dll");
    CComPtr<ITagServer> server = NewServer();
    module = GetModuleHandleW(L"TagServer.dll");
    ASSERT_NE(nullptr, module);
    using Entry = HRESULT(STDAPICALLTYPE*)();
    const auto canUnload = reinterpret_cast<Entry>(reinterpret_cast<void*>(GetProcAddress(module, "DllCanUnloadNow")));
    ASSERT_NE(nullptr, canUnload);
    CComPtr<ITags> tags = NewTags(server.Get());
    server.Release();
    EXPECT_EQ(S_FALSE, canUnload()) << "a collection still lives";
    tags.Release();
    EXPECT_EQ(S_OK, canUnload());
}

}  // namespace
