#include "server/ComObject.h"
#include "tests/server/ComTestSupport.h"
#include "tests/server/OuterObject.h"
#include "tests/server/ToyObject.h"

#include <gtest/gtest.h>

using namespace testsupport;

CToyRecord CToy::record;

namespace {

class ObjectFrameworkTest : public testing::Test {
protected:
    void SetUp() override {
        CToy::record = CToyRecord();
        m_nLocksBefore = _Module.GetLockCount();
    }
    LONG Locks() const { return _Module.GetLockCount() - m_nLocksBefore; }

    LONG m_nLocksBefore = 0;
};

typedef CToy::_CreatorClass ToyCreator;

TEST_F(ObjectFrameworkTest, PlainObjectCountsReferencesAndHoldsOneModuleLock) {
    IPersist* pPersist = nullptr;
    ASSERT_EQ(S_OK, ToyCreator::CreateInstance(nullptr, IID_IPersist, reinterpret_cast<void**>(&pPersist)));
    EXPECT_EQ(1, CToy::record.nFinalConstructs);
    EXPECT_EQ(1, Locks());
    EXPECT_EQ(2u, pPersist->AddRef());
    EXPECT_EQ(1u, pPersist->Release());

    // Identity: IUnknown is the map's first row.
    IUnknown* pUnknown = nullptr;
    ASSERT_EQ(S_OK, pPersist->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&pUnknown)));
    EXPECT_EQ(static_cast<IUnknown*>(pPersist), pUnknown);
    EXPECT_EQ(E_POINTER, pPersist->QueryInterface(IID_IUnknown, nullptr));
    pUnknown->Release();
    EXPECT_EQ(0, CToy::record.nFinalReleases);
    EXPECT_EQ(0u, pPersist->Release());
    EXPECT_EQ(1, CToy::record.nFinalReleases);
    EXPECT_EQ(1, CToy::record.nRefInFinalRelease);
    EXPECT_EQ(m_nLocksBefore + 1, CToy::record.nLocksInFinalRelease);
    EXPECT_EQ(0, Locks());
}

TEST_F(ObjectFrameworkTest, FailedCreationDestroysTheObjectAndReturnsWhy) {
    const struct {
        const char* name;
        HRESULT hrFinalConstruct;
        REFIID iid;
        HRESULT expected;
        int finalReleases;
    } cases[] = {
        {"FinalConstruct fails", static_cast<HRESULT>(0x80040A01), IID_IPersist, static_cast<HRESULT>(0x80040A01), 1},
        {"FinalConstruct succeeds with S_FALSE", S_FALSE, IID_IPersist, S_FALSE, 1},
        {"interface not in the map", S_OK, IID_IDispatch, E_NOINTERFACE, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CToy::record = CToyRecord();
        CToy::record.hrFinalConstruct = c.hrFinalConstruct;
        void* p = reinterpret_cast<void*>(1);
        EXPECT_EQ(c.expected, ToyCreator::CreateInstance(nullptr, c.iid, &p));
        EXPECT_EQ(nullptr, p);
        EXPECT_EQ(c.finalReleases, CToy::record.nFinalReleases);
        EXPECT_EQ(0, Locks());
    }
}

TEST_F(ObjectFrameworkTest, AggregatedObjectDelegatesToItsOuterUnknown) {
    COuter outer;
    IUnknown* pInner = nullptr;
    ASSERT_EQ(S_OK, ToyCreator::CreateInstance(&outer, IID_IUnknown, reinterpret_cast<void**>(&pInner)));
    EXPECT_EQ(1, Locks());
    EXPECT_EQ(1u, outer.m_nRef);

    // The inner unknown answers IUnknown with itself.
    IUnknown* pSame = nullptr;
    ASSERT_EQ(S_OK, pInner->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&pSame)));
    EXPECT_EQ(pInner, pSame);
    EXPECT_EQ(1u, outer.m_nRef);
    pSame->Release();

    // Interfaces from the map count on the outer object.
    IPersist* pPersist = nullptr;
    ASSERT_EQ(S_OK, pInner->QueryInterface(IID_IPersist, reinterpret_cast<void**>(&pPersist)));
    EXPECT_EQ(2u, outer.m_nRef);
    EXPECT_EQ(3u, pPersist->AddRef());
    EXPECT_EQ(2u, pPersist->Release());

    // The contained object asks the outer object first, then its own map.
    const int queriesBefore = outer.m_nQueries;
    IUnknown* pMarshal = nullptr;
    ASSERT_EQ(S_OK, pPersist->QueryInterface(IID_IMarshal, reinterpret_cast<void**>(&pMarshal)));
    EXPECT_EQ(static_cast<IUnknown*>(&outer), pMarshal);
    pMarshal->Release();
    ISupportErrorInfo* pSupport = nullptr;
    ASSERT_EQ(S_OK, pPersist->QueryInterface(IID_ISupportErrorInfo, reinterpret_cast<void**>(&pSupport)));
    EXPECT_EQ(queriesBefore + 2, outer.m_nQueries);
    pSupport->Release();
    EXPECT_EQ(2u, outer.m_nRef);

    EXPECT_EQ(1u, pPersist->Release());
    EXPECT_EQ(0, CToy::record.nFinalReleases);
    EXPECT_EQ(0u, pInner->Release());
    EXPECT_EQ(1, CToy::record.nFinalReleases);
    EXPECT_EQ(0, Locks());
}

}  // namespace
