// Callers reach the tag server by position in each function table and by
// interface identifier, so both are checked against the fixed contract.
// The C form of the interfaces exposes the tables as structs.
#define CINTERFACE
#include "TagServer.h"

#include <gtest/gtest.h>

#include <cstddef>

namespace {

#define SLOT(vtbl, member) {#vtbl "::" #member, offsetof(vtbl, member) / sizeof(void*)}

struct Slot {
    const char* name;
    size_t position;
};

TEST(ContractPositions, OperationsSitAtTheirFixedSlots) {
    const struct {
        Slot actual;
        size_t expected;
    } cases[] = {
        {SLOT(ITagServerVtbl, CreateTags), 10},
        {SLOT(ITagsVtbl, get__NewEnum), 7},
        {SLOT(ITagsVtbl, get_Count), 9},
        {SLOT(ITagsVtbl, get_Database), 14},
        {SLOT(ITagsVtbl, Update), 18},
        {SLOT(ITagsVtbl, BeginUpdate), 19},
        {SLOT(ITagsVtbl, EndUpdate), 20},
        {SLOT(ITagVtbl, get_ID), 11},
        {SLOT(ITagVtbl, get_Value), 28},
        {SLOT(ITagDatabaseVtbl, get_TagSpecVersion), 8},
        {SLOT(ITagsFromConfigVtbl, BulkLoad), 3},
        {SLOT(IEnumVARIANTVtbl, Next), 3},
    };
    for (const auto& c : cases) EXPECT_EQ(c.expected, c.actual.position) << c.actual.name;
}

TEST(ContractPositions, InterfaceIdentifiers) {
    const struct {
        const char* name;
        const IID& iid;
        const wchar_t* text;
    } cases[] = {
        {"ITagServer", IID_ITagServer, L"{324AB1F0-1C03-4670-8737-1F1F44FFA030}"},
        {"ITags", IID_ITags, L"{D3D4A27A-ED70-4B7C-8FAF-C299AE4D4571}"},
        {"ITag", IID_ITag, L"{4818A23D-34C8-4654-BE94-49E2A385BE05}"},
        {"ITagDatabase", IID_ITagDatabase, L"{CE3D6120-ADA1-4AFF-8D18-9CC7DE987C28}"},
        {"ITagsFromConfig", IID_ITagsFromConfig, L"{9038E90A-7EBE-45E0-AB29-1D6C1463A41F}"},
    };
    for (const auto& c : cases) {
        IID expected;
        ASSERT_EQ(S_OK, IIDFromString(const_cast<LPOLESTR>(c.text), &expected)) << c.name;
        EXPECT_TRUE(IsEqualIID(expected, c.iid)) << c.name;
    }
}

}  // namespace
