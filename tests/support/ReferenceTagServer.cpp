#include "tests/support/ReferenceTagServer.h"

#include "TagDoubles.h"
#include "TagServerLib.h"
#include "platform/Bstr.h"
#include "platform/Variant.h"

#include <gtest/gtest.h>

namespace doubles {

void PrintTo(const TagRecord& tag, std::ostream* os) {
    *os << testing::PrintToString(tag.id) << " type " << tag.type << " " << testing::PrintToString(tag.text);
}

}  // namespace doubles

namespace testsupport {

CComPtr<ITagServer> NewReferenceServer() {
    CComPtr<ITagServer> server;
    EXPECT_EQ(S_OK, CoCreateInstance(CLSID_TagServer, nullptr, CLSCTX_INPROC_SERVER, IID_ITagServer,
                                     reinterpret_cast<void**>(server.Out())));
    return server;
}

CComPtr<ITags> NewReferenceCollection(ITagServer* server) {
    CComPtr<ITags> tags;
    EXPECT_EQ(S_OK, server->CreateTags(tags.Out()));
    return tags;
}

void SetTagSpecVersion(ITagServer* server, const wchar_t* version) {
    CComPtr<ITagDatabase> database;
    ASSERT_EQ(S_OK, server->get_Database(database.Out()));
    CBstr text(version);
    ASSERT_EQ(S_OK, database->put_TagSpecVersion(text));
}

std::vector<doubles::TagRecord> Contents(IEnumVARIANT* enumerator) {
    std::vector<doubles::TagRecord> records;
    CVariant item;
    for (ULONG fetched = 0; enumerator->Next(1, item.Out(), &fetched) == S_OK;) {
        CComPtr<ITag> tag;
        EXPECT_EQ(S_OK, V_DISPATCH(item.Get())->QueryInterface(IID_ITag, reinterpret_cast<void**>(tag.Out())));
        if (!tag) return records;
        CBstr id;
        CVariant value;
        EXPECT_EQ(S_OK, tag->get_ID(id.Out()));
        EXPECT_EQ(S_OK, tag->get_Value(value.Out()));
        records.push_back(doubles::RecordOf(id.ToString(), *value.Get()));
    }
    return records;
}

std::vector<doubles::TagRecord> Contents(ITags* tags) {
    CComPtr<IEnumVARIANT> enumerator;
    EXPECT_EQ(S_OK, tags->get__NewEnum(enumerator.Out()));
    return enumerator ? Contents(enumerator.Get()) : std::vector<doubles::TagRecord>();
}

}  // namespace testsupport
