// Read called late bound, with TagCollection in each form an automation
// client may send it. A script passes a variable by reference as
// VT_BYREF|VT_VARIANT; Wine's type-library Invoke does not turn that into the
// IDispatch** that Read takes, and answers DISP_E_TYPEMISMATCH for it, while
// Windows passes the referenced IDispatch on. Scripts therefore pass the
// collection by value there, in parentheses.
#include "ReadFixture.h"

namespace readtest {
namespace {

constexpr DISPID kReadDispid = 2;

bool RunningUnderWine() {
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

class ReadThroughDispatch : public ReadFixture {
protected:
    void SetUp() override {
        ReadFixture::SetUp();
        SetTagSpecVersion(m_pServer.Get(), L"1.0");
        ASSERT_EQ(S_OK, m_pFile->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(m_pDispatch.Out())));
        OpenReadOnly(m_file.Path());
    }

    // Read(TagServer, TagCollection) with the collection argument as given;
    // arguments go last first.
    HRESULT InvokeRead(VARIANT collection, UINT& argError) {
        VARIANT args[2];
        args[0] = collection;
        VariantInit(&args[1]);
        V_VT(&args[1]) = VT_DISPATCH;
        V_DISPATCH(&args[1]) = m_pServer.Get();
        DISPPARAMS params = {args, nullptr, 2, 0};
        argError = 99;
        return m_pDispatch->Invoke(kReadDispid, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr,
                                   nullptr, &argError);
    }

    std::vector<doubles::TagRecord> Loaded() { return Contents(m_pClient.Get()); }

    CConfigFileOnDisk m_file{L"1.0\r\n0001.0002.0003.0004 = \"x\"\r\n"};
    CComPtr<ITagServer> m_pServer = NewReferenceServer();
    CComPtr<ITags> m_pClient = NewReferenceCollection(m_pServer.Get());
    CComPtr<IDispatch> m_pDispatch;
};

const std::vector<doubles::TagRecord> kFileTags = {Text(L"0001.0002.0003.0004", L"x")};

TEST_F(ReadThroughDispatch, TakesTheCollectionByReferenceAndByValue) {
    IDispatch* collection = m_pClient.Get();
    VARIANT byReference;
    V_VT(&byReference) = VT_BYREF | VT_DISPATCH;
    V_DISPATCHREF(&byReference) = &collection;
    UINT argError = 0;
    EXPECT_EQ(S_OK, InvokeRead(byReference, argError));
    EXPECT_EQ(m_pClient.Get(), collection);
    EXPECT_EQ(kFileTags, Loaded());

    ASSERT_EQ(S_OK, m_pClient->Clear());
    VARIANT byValue;
    V_VT(&byValue) = VT_DISPATCH;
    V_DISPATCH(&byValue) = m_pClient.Get();
    EXPECT_EQ(S_OK, InvokeRead(byValue, argError));
    EXPECT_EQ(kFileTags, Loaded());
}

TEST_F(ReadThroughDispatch, ScriptVariableByReferenceIsRefusedUnderWine) {
    VARIANT variable;
    V_VT(&variable) = VT_DISPATCH;
    V_DISPATCH(&variable) = m_pClient.Get();
    VARIANT byReference;
    V_VT(&byReference) = VT_BYREF | VT_VARIANT;
    V_VARIANTREF(&byReference) = &variable;
    UINT argError = 0;  // Wine does not say which argument it refused
    const HRESULT hr = InvokeRead(byReference, argError);
    if (RunningUnderWine()) {
        EXPECT_EQ(DISP_E_TYPEMISMATCH, hr);
        EXPECT_TRUE(Loaded().empty()) << "Read was never called";
    } else {
        EXPECT_EQ(S_OK, hr);
        EXPECT_EQ(kFileTags, Loaded());
    }
    EXPECT_EQ(VT_DISPATCH, V_VT(&variable));
    EXPECT_EQ(m_pClient.Get(), V_DISPATCH(&variable));
}

}  // namespace
}  // namespace readtest
