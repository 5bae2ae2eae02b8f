#include "server/Module.h"

#include "Quorvex3.h"
#include "server/TypeLibRegistration.h"
#include "tests/server/ComTestSupport.h"
#include "tests/server/ToyObject.h"

#include <gtest/gtest.h>

using namespace testsupport;

namespace {

CObjectMapEntry ToyObjectMap[] = {
    OBJECT_ENTRY(CLSID_Toy, CToy),
    OBJECT_MAP_TERMINATOR,
};

// The module record of this test program serves the toy class.
class ModuleEnvironment : public testing::Environment {
public:
    void SetUp() override { _Module.Init(ToyObjectMap, GetModuleHandleW(nullptr), &LIBID_Quorvex3); }
    void TearDown() override { _Module.Term(); }
};

const testing::Environment* const moduleEnvironment = testing::AddGlobalTestEnvironment(new ModuleEnvironment);

std::vector<int> termOrder;
void WINAPI RecordTerm(DWORD_PTR dw) { termOrder.push_back(static_cast<int>(dw)); }

TEST(Module, TerminationRunsCallbacksLatestFirstAndOnlyOnce) {
    termOrder.clear();
    for (int i = 1; i <= 3; ++i) ASSERT_EQ(S_OK, _Module.AddTermFunc(RecordTerm, i));
    _Module.Term();
    EXPECT_EQ((std::vector<int>{3, 2, 1}), termOrder);
    _Module.Term();
    EXPECT_EQ(3u, termOrder.size());
    _Module.Init(ToyObjectMap, GetModuleHandleW(nullptr), &LIBID_Quorvex3);
}

TEST(Module, TerminationReleasesTheCachedClassObject) {
    CComPtr<IClassFactory> pFactory;
    ASSERT_EQ(S_OK, _Module.GetClassObject(CLSID_Toy, IID_IClassFactory, reinterpret_cast<void**>(pFactory.Out())));
    // The cache and this test hold it; after termination only the test does.
    EXPECT_EQ(3u, pFactory->AddRef());
    pFactory->Release();
    _Module.Term();
    EXPECT_EQ(2u, pFactory->AddRef());
    pFactory->Release();
    pFactory.Release();
    _Module.Init(ToyObjectMap, GetModuleHandleW(nullptr), &LIBID_Quorvex3);
}

TEST(Module, TypeLibraryComesFromTheModuleOrATlbBesideIt) {
    HMODULE hQuorvex = LoadLibraryW(Quorvex3Path().c_str());
    ASSERT_NE(nullptr, hQuorvex);
    WString path;
    CComPtr<ITypeLib> pTypeLib;
    ASSERT_EQ(S_OK, LoadModuleTypeLib(hQuorvex, path, pTypeLib.Out()));
    EXPECT_EQ(Quorvex3Path(), path);
    FreeLibrary(hQuorvex);

    // This program carries no type library: a .tlb named after it is used.
    WString program = ModuleFilePath(nullptr);
    const WString tlb = program.substr(0, program.rfind(L'.')) + L".tlb";
    DeleteFileW(tlb.c_str());
    EXPECT_TRUE(FAILED(LoadModuleTypeLib(nullptr, path, pTypeLib.Out())));
    ASSERT_TRUE(CopyFileW(QUORVEX3_TLB_FILE, tlb.c_str(), FALSE));
    ASSERT_EQ(S_OK, LoadModuleTypeLib(nullptr, path, pTypeLib.Out()));
    EXPECT_EQ(tlb, path);
    TLIBATTR* pAttr = nullptr;
    ASSERT_EQ(S_OK, pTypeLib->GetLibAttr(&pAttr));
    EXPECT_TRUE(IsEqualGUID(LIBID_Quorvex3, pAttr->guid));
    pTypeLib->ReleaseTLibAttr(pAttr);
    pTypeLib.Release();
    DeleteFileW(tlb.c_str());
}

}  // namespace
