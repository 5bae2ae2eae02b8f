// The fault doubles themselves: they must fail exactly where asked and record
// faithfully, or tests that rely on them prove nothing. (Defective items,
// missing interfaces and Update are relied on, and so checked, by the Read
// and Write tests.)
#include "TagDoubles.h"

#include "platform/Bstr.h"

#include <gtest/gtest.h>

using namespace doubles;

namespace {

const HRESULT kInjected = static_cast<HRESULT>(0x80041234);

template <class Interface>
CComPtr<Interface> Query(IUnknown* object, REFIID iid) {
    CComPtr<Interface> result;
    if (object) object->QueryInterface(iid, reinterpret_cast<void**>(result.Out()));
    return result;
}

CComPtr<CTagsDouble> CollectionOfThree(const ScenarioPtr& scenario) {
    CComPtr<CTagsDouble> tags = CTagsDouble::Create(scenario);
    tags->AddText(L"0001.0000.0000.0001", L"one");
    tags->AddText(L"0001.0000.0000.0002", nullptr);
    tags->AddText(L"0001.0000.0000.0003", L"three");
    return tags;
}

CComPtr<ITags> CreateTags(const CComPtr<CTagServerDouble>& server) {
    CComPtr<ITags> created;
    EXPECT_EQ(S_OK, server->CreateTags(created.Out()));
    return created;
}

// Walks the collection as a writer does; returns the first failure, or
// S_OK / S_FALSE as Next ended, and the identifiers read.
HRESULT WalkLikeAWriter(ITags* tags, std::vector<std::wstring>& ids) {
    CComPtr<IEnumVARIANT> enumerator;
    HRESULT hr = tags->get__NewEnum(enumerator.Out());
    LONG count = 0;
    if (SUCCEEDED(hr)) hr = tags->get_Count(&count);
    CComPtr<ITagDatabase> database;
    if (SUCCEEDED(hr)) hr = tags->get_Database(database.Out());
    CBstr version;
    if (SUCCEEDED(hr)) hr = database->get_TagSpecVersion(version.Out());
    while (SUCCEEDED(hr)) {
        CVariant item;
        ULONG fetched = 0;
        hr = enumerator->Next(1, item.Out(), &fetched);
        if (hr != S_OK) break;
        CComPtr<ITag> tag = Query<ITag>(V_DISPATCH(item.Get()), IID_ITag);
        CBstr id;
        CVariant value;
        if (FAILED(hr = tag->get_ID(id.Out())) || FAILED(hr = tag->get_Value(value.Out()))) break;
        ids.push_back(id.ToString());
    }
    return hr;
}

TEST(TagDoubles, HealthyCollectionEnumeratesAndRecordsCallsInOrder) {
    ScenarioPtr scenario = CScenario::Create();
    std::vector<std::wstring> ids;
    EXPECT_EQ(S_FALSE, WalkLikeAWriter(CollectionOfThree(scenario).Get(), ids));
    EXPECT_EQ((std::vector<std::wstring>{L"0001.0000.0000.0001", L"0001.0000.0000.0002", L"0001.0000.0000.0003"}), ids);
    const std::vector<std::string> expected = {"get__NewEnum", "get_Count", "get_Database", "get_TagSpecVersion",
                                               "Next",         "get_ID",    "get_Value",    "Next",
                                               "get_ID",       "get_Value", "Next",         "get_ID",
                                               "get_Value",    "Next"};
    EXPECT_EQ(expected, scenario->Calls());
}

TEST(TagDoubles, EachFaultPointFailsThereWithOrWithoutErrorInformation) {
    const struct {
        Fault point;
        size_t item;
        const char* failingCall;  // null: Next ends early, S_FALSE
        size_t idsReadBefore;
    } cases[] = {
        {Fault::NewEnum, 0, "get__NewEnum", 0},
        {Fault::GetCount, 0, "get_Count", 0},
        {Fault::GetDatabase, 0, "get_Database", 0},
        {Fault::GetTagSpecVersion, 0, "get_TagSpecVersion", 0},
        {Fault::Next, 2, "Next", 2},
        {Fault::Next, 3, "Next", 3},
        {Fault::GetId, 1, "get_ID", 1},
        {Fault::GetValue, 2, "get_Value", 2},
        {Fault::EndEarly, 1, nullptr, 1},
    };
    for (const auto& c : cases) {
        for (const bool withErrorInfo : {false, true}) {
            SCOPED_TRACE(testing::Message() << (c.failingCall ? c.failingCall : "end early") << " item " << c.item
                                            << (withErrorInfo ? " with" : " without") << " error info");
            ScenarioPtr scenario = CScenario::Create();
            scenario->FailAt(c.point, kInjected, withErrorInfo, c.item);
            SetErrorInfo(0, nullptr);
            std::vector<std::wstring> ids;
            EXPECT_EQ(c.failingCall ? kInjected : S_FALSE, WalkLikeAWriter(CollectionOfThree(scenario).Get(), ids));
            EXPECT_EQ(c.idsReadBefore, ids.size());
            EXPECT_EQ(c.failingCall ? c.failingCall : "Next", scenario->Calls().back());
            CComPtr<IErrorInfo> info;
            EXPECT_EQ(withErrorInfo && c.failingCall ? S_OK : S_FALSE, GetErrorInfo(0, info.Out()));
            if (info) {
                CBstr description;
                info->GetDescription(description.Out());
                EXPECT_EQ(CScenario::FaultDescription(c.failingCall), description.ToString());
            }
        }
    }
}

TEST(TagDoubles, BulkLoadRecordsWhatArrivedAndOwnsTheArrays) {
    for (const bool failing : {false, true}) {
        SCOPED_TRACE(failing ? "failing" : "succeeding");
        ScenarioPtr scenario = CScenario::Create();
        if (failing) scenario->FailAt(Fault::BulkLoad, kInjected, true);
        CComPtr<CTagServerDouble> server = CTagServerDouble::Create(scenario);
        CComPtr<ITagsFromConfig> loader = Query<ITagsFromConfig>(CreateTags(server).Get(), IID_ITagsFromConfig);
        ASSERT_TRUE(loader);
        SAFEARRAY* ids = SafeArrayCreateVector(VT_BSTR, 0, 2);
        SAFEARRAY* values = SafeArrayCreateVector(VT_VARIANT, 0, 2);
        CBstr id1(L"00AA.0000.0000.0001"), id2(L"00AA.0000.0000.0002");
        CVariant text, empty;
        V_VT(text.Get()) = VT_BSTR;
        V_BSTR(text.Get()) = SysAllocString(L"text");
        for (LONG i : {0, 1}) {
            SafeArrayPutElement(ids, &i, (i ? id2 : id1).Get());
            SafeArrayPutElement(values, &i, (i ? empty : text).Get());
        }
        EXPECT_EQ(failing ? kInjected : S_OK, loader->BulkLoad(&ids, &values));  // the double destroys both

        const std::vector<TagRecord> expected = {{L"00AA.0000.0000.0001", VT_BSTR, L"text"},
                                                 {L"00AA.0000.0000.0002", VT_EMPTY, L""}};
        ASSERT_EQ(1u, scenario->BulkLoads().size());
        EXPECT_EQ(expected, scenario->BulkLoads()[0].tags);
        EXPECT_EQ(failing ? std::vector<TagRecord>{} : expected, server->Created()[0]->Contents());
    }
}

}  // namespace
