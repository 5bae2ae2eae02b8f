#include "server/ComObject.h"
#include "tests/server/ComTestSupport.h"
#include "tests/server/ToyObject.h"

#include <gtest/gtest.h>

using namespace testsupport;

CToyRecord CToy::record;

namespace {

// An outer object of an aggregate: counts its references and answers
// IUnknown and IMarshal (standing for an interface of its own) itself.
class COuter : public IUnknown {
public:
    STDMETHOD_(ULONG, AddRef)() override { return ++m_nRef; }
    STDMETHOD_(ULONG, Release)() override { return --m_nRef; }
    STDMETHOD(QueryInterface)(REFIID iid, void** ppv) override {
        ++m_nQueries;
        if (InlineIsEqualGUID(iid, IID_IUnknown) || InlineIsEqualGUID(iid, IID_IMarshal)) {
            *ppv = this;
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG m_nRef = 1;
    int m_nQueries = 0;
};

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

    // Identity: every interface gives the same IUnknown, the map's first row.
    CComPtr<IUnknown> pUnknown1, pUnknown2;
    CComPtr<ISupportErrorInfo> pSupport;
    ASSERT_EQ(S_OK, pPersist->QueryInterface(IID_ISupportErrorInfo, reinterpret_cast<void**>(pSupport.Out())));
    ASSERT_EQ(S_OK, pPersist->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(pUnknown1.Out())));
    ASSERT_EQ(S_OK, pSupport->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(pUnknown2.Out())));
    EXPECT_EQ(pUnknown1.Get(), pUnknown2.Get());
    EXPECT_EQ(static_cast<IUnknown*>(pPersist), pUnknown1.Get());

    void* pNone = reinterpret_cast<void*>(1);
    EXPECT_EQ(E_NOINTERFACE, pPersist->QueryInterface(IID_IDispatch, &pNone));
    EXPECT_EQ(nullptr, pNone);
    EXPECT_EQ(E_POINTER, pPersist->QueryInterface(IID_IUnknown, nullptr));

    pUnknown1.Release();
    pUnknown2.Release();
    pSupport.Release();
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

TEST_F(ObjectFrameworkTest, CachedObjectLocksTheModuleWhileOthersHoldIt) {
    IUnknown* pFactory = nullptr;
    ASSERT_EQ(S_OK, CToy::_ClassFactoryCreatorClass::CreateInstance(
                        reinterpret_cast<void*>(&ToyCreator::CreateInstance), IID_IUnknown,
                        reinterpret_cast<void**>(&pFactory)));
    const struct {
        bool addRef;
        ULONG count;
        LONG locks;
    } steps[] = {
        {true, 2, 1}, {true, 3, 1}, {false, 2, 1}, {false, 1, 0}, {true, 2, 1}, {false, 1, 0},
    };
    for (const auto& step : steps) {
        EXPECT_EQ(step.count, step.addRef ? pFactory->AddRef() : pFactory->Release());
        EXPECT_EQ(step.locks, Locks());
    }
    EXPECT_EQ(0u, pFactory->Release());
    EXPECT_EQ(0, Locks());
}

}  // namespace
