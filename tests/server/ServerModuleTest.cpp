// Quorvex3.dll through its exports and its class object, as a client sees it.
#include "Quorvex3.h"
#include "tests/support/ComTestSupport.h"

#include <gtest/gtest.h>

using namespace testsupport;

namespace {

// The outer object of an aggregate, on the stack of a test: counts its
// references and answers IUnknown and IMarshal (standing for an interface of
// its own) itself.
class COuter : public IUnknown {
public:
    STDMETHOD_(ULONG, AddRef)() override { return ++m_nRef; }
    STDMETHOD_(ULONG, Release)() override { return --m_nRef; }
    STDMETHOD(QueryInterface)(REFIID iid, void** ppv) override {
        const bool ours = InlineIsEqualGUID(iid, IID_IUnknown) || InlineIsEqualGUID(iid, IID_IMarshal);
        *ppv = ours ? this : nullptr;
        if (ours) AddRef();
        return ours ? S_OK : E_NOINTERFACE;
    }
    ULONG m_nRef = 1;
};

typedef HRESULT(STDAPICALLTYPE* PFN_GET_CLASS_OBJECT)(REFCLSID, REFIID, void**);

class ServerModuleTest : public testing::Test {
protected:
    void SetUp() override {
        m_hModule = LoadLibraryW(Quorvex3Path().c_str());
        ASSERT_NE(nullptr, m_hModule);
        m_pfnGetClassObject =
            reinterpret_cast<PFN_GET_CLASS_OBJECT>(reinterpret_cast<void*>(GetProcAddress(m_hModule, "DllGetClassObject")));
        ASSERT_NE(nullptr, m_pfnGetClassObject);
        ASSERT_EQ(S_OK, Quorvex3CanUnloadNow()) << "an earlier test left the module locked";
    }
    void TearDown() override {
        EXPECT_EQ(S_OK, Quorvex3CanUnloadNow()) << "the test left the module locked";
        FreeLibrary(m_hModule);
    }
    CComPtr<IClassFactory> Factory() {
        CComPtr<IClassFactory> pFactory;
        EXPECT_EQ(S_OK, m_pfnGetClassObject(CLSID_ConfigFile, IID_IClassFactory,
                                            reinterpret_cast<void**>(pFactory.Out())));
        return pFactory;
    }

    CComApartment m_com;
    HMODULE m_hModule = nullptr;
    PFN_GET_CLASS_OBJECT m_pfnGetClassObject = nullptr;
};

TEST_F(ServerModuleTest, ClassObjectRequests) {
    void* p = reinterpret_cast<void*>(1);
    EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE, m_pfnGetClassObject(IID_IConfigFile, IID_IClassFactory, &p));
    EXPECT_EQ(nullptr, p);
    p = reinterpret_cast<void*>(1);
    EXPECT_EQ(E_NOINTERFACE, m_pfnGetClassObject(CLSID_ConfigFile, IID_IConfigFile, &p));
    EXPECT_EQ(nullptr, p);

    CComPtr<IUnknown> pHeld;
    ASSERT_EQ(S_OK, m_pfnGetClassObject(CLSID_ConfigFile, IID_IUnknown, reinterpret_cast<void**>(pHeld.Out())));
    EXPECT_EQ(S_FALSE, Quorvex3CanUnloadNow()) << "a class object held keeps the module";
}

TEST_F(ServerModuleTest, ServerLocksAndEveryLiveObjectKeepTheModule) {
    CComPtr<IClassFactory> pFactory = Factory();
    CComPtr<IConfigFile> pFirst, pSecond;
    ASSERT_EQ(S_OK, pFactory->CreateInstance(nullptr, IID_IConfigFile, reinterpret_cast<void**>(pFirst.Out())));
    ASSERT_EQ(S_OK, pFactory->CreateInstance(nullptr, IID_IConfigFile, reinterpret_cast<void**>(pSecond.Out())));
    EXPECT_NE(pFirst.Get(), pSecond.Get());
    pFactory.Release();
    EXPECT_EQ(S_FALSE, Quorvex3CanUnloadNow());
    pFirst.Release();
    EXPECT_EQ(S_FALSE, Quorvex3CanUnloadNow());
    pSecond.Release();
    EXPECT_EQ(S_OK, Quorvex3CanUnloadNow());

    // Locks count, whichever class object takes or drops them.
    const struct {
        BOOL lock;
        HRESULT canUnload;
    } steps[] = {{TRUE, S_FALSE}, {TRUE, S_FALSE}, {FALSE, S_FALSE}, {FALSE, S_OK}, {TRUE, S_FALSE}, {FALSE, S_OK}};
    for (const auto& step : steps) {
        CComPtr<IClassFactory> pAgain = Factory();
        EXPECT_EQ(S_OK, pAgain->LockServer(step.lock));
        pAgain.Release();
        EXPECT_EQ(step.canUnload, Quorvex3CanUnloadNow());
    }
}

TEST_F(ServerModuleTest, InterfaceMapAndIdentity) {
    CComPtr<IUnknown> pUnknown;
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_ConfigFile, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                     reinterpret_cast<void**>(pUnknown.Out())));
    CComPtr<IDispatch> pDispatch;
    CComPtr<IConfigFile> pConfigFile;
    CComPtr<ISupportErrorInfo> pSupport;
    ASSERT_EQ(S_OK, pUnknown.QueryInterface(IID_IDispatch, pDispatch));
    ASSERT_EQ(S_OK, pUnknown.QueryInterface(IID_IConfigFile, pConfigFile));
    ASSERT_EQ(S_OK, pUnknown.QueryInterface(IID_ISupportErrorInfo, pSupport));
    // IUnknown and IDispatch are the dual interface itself.
    EXPECT_EQ(static_cast<IUnknown*>(pConfigFile.Get()), pUnknown.Get());
    EXPECT_EQ(static_cast<IDispatch*>(pConfigFile.Get()), pDispatch.Get());
    CComPtr<IPersist> pPersist;
    EXPECT_EQ(E_NOINTERFACE, pUnknown.QueryInterface(IID_IPersist, pPersist));

    EXPECT_EQ(S_OK, pSupport->InterfaceSupportsErrorInfo(IID_IConfigFile));
    EXPECT_EQ(S_FALSE, pSupport->InterfaceSupportsErrorInfo(IID_IDispatch));
    EXPECT_EQ(S_FALSE, pSupport->InterfaceSupportsErrorInfo(IID_IUnknown));
}

TEST_F(ServerModuleTest, AggregationOnlyThroughTheInnerUnknown) {
    COuter outer;
    void* p = reinterpret_cast<void*>(1);
    EXPECT_EQ(CLASS_E_NOAGGREGATION, Factory()->CreateInstance(&outer, IID_IConfigFile, &p));
    EXPECT_EQ(nullptr, p);
    EXPECT_EQ(S_OK, Quorvex3CanUnloadNow());

    IUnknown* pInner = nullptr;
    ASSERT_EQ(S_OK, Factory()->CreateInstance(&outer, IID_IUnknown, reinterpret_cast<void**>(&pInner)));
    EXPECT_EQ(S_FALSE, Quorvex3CanUnloadNow());
    IConfigFile* pConfigFile = nullptr;
    ASSERT_EQ(S_OK, pInner->QueryInterface(IID_IConfigFile, reinterpret_cast<void**>(&pConfigFile)));
    EXPECT_EQ(2u, outer.m_nRef);
    VARIANT_BOOL isOpen = VARIANT_TRUE;
    EXPECT_EQ(S_OK, pConfigFile->get_IsOpen(&isOpen));
    EXPECT_EQ(VARIANT_FALSE, isOpen);
    // The contained object's IUnknown is the outer one.
    IUnknown* pIdentity = nullptr;
    ASSERT_EQ(S_OK, pConfigFile->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&pIdentity)));
    EXPECT_EQ(static_cast<IUnknown*>(&outer), pIdentity);
    pIdentity->Release();
    pConfigFile->Release();
    EXPECT_EQ(1u, outer.m_nRef);
    EXPECT_EQ(0u, pInner->Release());
}

}  // namespace
