// Late binding on a ConfigFile object through the registered type library.
#include "Quorvex3.h"
#include "tests/support/ComTestSupport.h"

#include <gtest/gtest.h>

using namespace testsupport;

namespace {

class DispatchTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(S_OK, CoCreateInstance(CLSID_ConfigFile, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                                         reinterpret_cast<void**>(m_pDispatch.Out())));
    }

    HRESULT GetIds(std::vector<const wchar_t*> names, std::vector<DISPID>& ids, LCID lcid = 0x0409) {
        ids.assign(names.size(), -7);
        return m_pDispatch->GetIDsOfNames(IID_NULL, const_cast<LPOLESTR*>(names.data()),
                                          static_cast<UINT>(names.size()), lcid, ids.data());
    }
    // Arguments in call order; the dispatch convention stores them reversed.
    HRESULT Call(DISPID id, WORD flags, std::vector<VARIANT> args, VARIANT* pResult, EXCEPINFO* pExcep = nullptr,
                 REFIID riid = IID_NULL, LCID lcid = 0x0409) {
        std::vector<VARIANT> reversed(args.rbegin(), args.rend());
        DISPPARAMS params = {reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
        UINT argErr = 0;
        return m_pDispatch->Invoke(id, riid, lcid, flags, &params, pResult, pExcep, &argErr);
    }
    // An argument that borrows its value.
    static VARIANT Arg(VARTYPE vt, LONG number, void* pointer = nullptr) {
        VARIANT v;
        V_VT(&v) = vt;
        if (vt == VT_I4)
            V_I4(&v) = number;
        else
            V_BYREF(&v) = pointer;  // BSTR and IDispatch* share the pointer's place
        return v;
    }

    CComApartment m_com;
    CComPtr<IDispatch> m_pDispatch;
};

TEST_F(DispatchTest, OneTypeDescriptionWhateverTheIndex) {
    UINT count = 0;
    ASSERT_EQ(S_OK, m_pDispatch->GetTypeInfoCount(&count));
    EXPECT_EQ(1u, count);
    CComPtr<ITypeInfo> pFirst, pFifth;
    ASSERT_EQ(S_OK, m_pDispatch->GetTypeInfo(0, 0x0409, pFirst.Out()));
    ASSERT_EQ(S_OK, m_pDispatch->GetTypeInfo(5, 0x0407, pFifth.Out()));
    EXPECT_EQ(pFirst.Get(), pFifth.Get());
    TYPEATTR* pAttr = nullptr;
    ASSERT_EQ(S_OK, pFirst->GetTypeAttr(&pAttr));
    EXPECT_TRUE(IsEqualGUID(IID_IConfigFile, pAttr->guid));
    pFirst->ReleaseTypeAttr(pAttr);
    EXPECT_EQ(E_POINTER, m_pDispatch->GetTypeInfo(0, 0x0409, nullptr));
}

TEST_F(DispatchTest, NamesResolveToDispids) {
    const struct {
        const char* name;
        std::vector<const wchar_t*> names;
        LCID lcid;
        HRESULT expected;
        std::vector<DISPID> ids;
    } cases[] = {
        {"Open", {L"Open"}, 0x0409, S_OK, {1}},
        {"Read", {L"Read"}, 0x0409, S_OK, {2}},
        {"Write", {L"Write"}, 0x0409, S_OK, {3}},
        {"Close", {L"Close"}, 0x0409, S_OK, {4}},
        {"Path", {L"Path"}, 0x0409, S_OK, {5}},
        {"IsOpen", {L"IsOpen"}, 0x0409, S_OK, {6}},
        {"other letter case", {L"isOPEN"}, 0x0409, S_OK, {6}},
        {"another locale", {L"Path"}, 0, S_OK, {5}},
        {"member and parameter", {L"Open", L"ReadOnly"}, 0x0409, S_OK, {1, 1}},
        {"parameter in other case", {L"open", L"filepath"}, 0x0409, S_OK, {1, 0}},
        {"unknown name", {L"Opened"}, 0x0409, DISP_E_UNKNOWNNAME, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<DISPID> ids;
        EXPECT_EQ(c.expected, GetIds(c.names, ids, c.lcid));
        if (c.expected == S_OK) {
            EXPECT_EQ(c.ids, ids);
        }
    }
}

TEST_F(DispatchTest, InvokeCallsTheMembersByDispid) {
    CTempFolder folder;
    CBstr path(folder.File(L"late.cfg"));
    VARIANT result;
    VariantInit(&result);

    // Interface identifier and locale of the call are not looked at.
    const IID otherIid = IID_IPersist;
    ASSERT_EQ(S_OK, Call(1, DISPATCH_METHOD, {Arg(VT_BSTR, 0, path.Get()), Arg(VT_I4, 0)}, &result, nullptr, otherIid,
                         0x0407));
    ASSERT_EQ(S_OK, Call(5, DISPATCH_PROPERTYGET, {}, &result));
    ASSERT_EQ(VT_BSTR, V_VT(&result));
    EXPECT_EQ(path.ToString(), WString(V_BSTR(&result)));
    VariantClear(&result);
    ASSERT_EQ(S_OK, Call(6, DISPATCH_PROPERTYGET | DISPATCH_METHOD, {}, &result));
    ASSERT_EQ(VT_BOOL, V_VT(&result));
    EXPECT_EQ(VARIANT_TRUE, V_BOOL(&result));
    ASSERT_EQ(S_OK, Call(4, DISPATCH_METHOD, {}, &result));
    ASSERT_EQ(S_OK, Call(6, DISPATCH_PROPERTYGET, {}, &result));
    EXPECT_EQ(VARIANT_FALSE, V_BOOL(&result));
    EXPECT_TRUE(FileExists(path.ToString()));
}

TEST_F(DispatchTest, FailuresOfTheCallAndOfTheMember) {
    VARIANT result;
    VariantInit(&result);
    EXPECT_EQ(DISP_E_MEMBERNOTFOUND, Call(42, DISPATCH_METHOD, {}, &result));
    EXPECT_EQ(DISP_E_BADPARAMCOUNT, Call(1, DISPATCH_METHOD, {Arg(VT_I4, 0)}, &result));

    // A failing member arrives as an exception with its error information.
    EXCEPINFO excep = {};
    EXPECT_EQ(DISP_E_EXCEPTION, Call(3, DISPATCH_METHOD, {Arg(VT_DISPATCH, 0)}, &result, &excep));
    EXPECT_EQ(static_cast<SCODE>(0x80040401), excep.scode);
    EXPECT_EQ(L"Cannot read/write file because it has not been opened.", CBstr(excep.bstrDescription).ToString());
    EXPECT_EQ(L"Brenlow.Zandel.Quorvex3.ConfigFile.1", CBstr(excep.bstrSource).ToString());
    SysFreeString(excep.bstrHelpFile);
}

}  // namespace
