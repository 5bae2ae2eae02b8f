// The type library inside Quorvex3.dll, read back through ITypeLib/ITypeInfo.
#include "Quorvex3.h"
#include "tests/server/ComTestSupport.h"

#include <gtest/gtest.h>

using namespace testsupport;

namespace {

std::string TypeText(const TYPEDESC& type) {
    switch (type.vt) {
    case VT_PTR: return TypeText(*type.lptdesc) + "*";
    case VT_BSTR: return "BSTR";
    case VT_I4: return "long";
    case VT_BOOL: return "VARIANT_BOOL";
    case VT_DISPATCH: return "IDispatch*";
    case VT_HRESULT: return "HRESULT";
    default: return "vt" + std::to_string(type.vt);
    }
}

struct CParam {
    std::string name;
    std::string type;
    USHORT flags;
};

struct CMember {
    MEMBERID memid;
    std::string name;
    INVOKEKIND invkind;
    std::vector<CParam> params;
    std::string doc;
};

class TypeLibraryTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(S_OK, LoadTypeLibEx(Quorvex3Path().c_str(), REGKIND_NONE, m_pTypeLib.Out()));
    }

    CComPtr<ITypeInfo> TypeInfo(UINT index) {
        CComPtr<ITypeInfo> pInfo;
        EXPECT_EQ(S_OK, m_pTypeLib->GetTypeInfo(index, pInfo.Out()));
        return pInfo;
    }
    static std::string Doc(ITypeInfo* pInfo, MEMBERID memid, std::string* pName = nullptr) {
        CBstr name, doc;
        pInfo->GetDocumentation(memid, name.Out(), doc.Out(), nullptr, nullptr);
        if (pName) *pName = Narrow(name.ToString());
        return Narrow(doc.ToString());
    }
    // The name of the first type the description derives from.
    static std::string BaseName(ITypeInfo* pInfo) {
        HREFTYPE ref = 0;
        CComPtr<ITypeInfo> pBase;
        if (FAILED(pInfo->GetRefTypeOfImplType(0, &ref)) || FAILED(pInfo->GetRefTypeInfo(ref, pBase.Out())))
            return "<none>";
        std::string name;
        Doc(pBase.Get(), MEMBERID_NIL, &name);
        return name;
    }
    static void ExpectMembers(ITypeInfo* pInfo, UINT firstFunc, const std::vector<CMember>& expected) {
        for (UINT i = 0; i < expected.size(); ++i) {
            const CMember& member = expected[i];
            SCOPED_TRACE(member.name);
            FUNCDESC* pFunc = nullptr;
            ASSERT_EQ(S_OK, pInfo->GetFuncDesc(firstFunc + i, &pFunc));
            EXPECT_EQ(member.memid, pFunc->memid);
            EXPECT_EQ(member.invkind, pFunc->invkind);
            EXPECT_EQ("HRESULT", TypeText(pFunc->elemdescFunc.tdesc));
            BSTR names[8] = {};
            UINT count = 0;
            pInfo->GetNames(pFunc->memid, names, 8, &count);
            ASSERT_EQ(member.params.size(), static_cast<size_t>(pFunc->cParams));
            ASSERT_EQ(member.params.size() + 1, count);
            EXPECT_EQ(member.name, Narrow(names[0]));
            for (size_t p = 0; p < member.params.size(); ++p) {
                EXPECT_EQ(member.params[p].name, Narrow(names[p + 1]));
                EXPECT_EQ(member.params[p].type, TypeText(pFunc->lprgelemdescParam[p].tdesc));
                EXPECT_EQ(member.params[p].flags, pFunc->lprgelemdescParam[p].paramdesc.wParamFlags);
            }
            for (UINT n = 0; n < count; ++n) SysFreeString(names[n]);
            EXPECT_EQ(member.doc, Doc(pInfo, pFunc->memid));
            pInfo->ReleaseFuncDesc(pFunc);
        }
    }

    CComPtr<ITypeLib> m_pTypeLib;
};

TEST_F(TypeLibraryTest, LibraryAttributes) {
    TLIBATTR* pAttr = nullptr;
    ASSERT_EQ(S_OK, m_pTypeLib->GetLibAttr(&pAttr));
    EXPECT_TRUE(IsEqualGUID(LIBID_Quorvex3, pAttr->guid));
    EXPECT_EQ(1, pAttr->wMajorVerNum);
    EXPECT_EQ(0, pAttr->wMinorVerNum);
    EXPECT_EQ(0x0409u, pAttr->lcid);
#ifdef _WIN64
    EXPECT_EQ(SYS_WIN64, pAttr->syskind);
#else
    EXPECT_EQ(SYS_WIN32, pAttr->syskind);
#endif
    m_pTypeLib->ReleaseTLibAttr(pAttr);
    CBstr name, doc, helpFile;
    ASSERT_EQ(S_OK, m_pTypeLib->GetDocumentation(-1, name.Out(), doc.Out(), nullptr, helpFile.Out()));
    EXPECT_EQ(L"Quorvex3", name.ToString());
    EXPECT_EQ(L"Orvik Quorvex 3.0 Type Library", doc.ToString());
    EXPECT_EQ(L"", helpFile.ToString());
}

TEST_F(TypeLibraryTest, FourTypeDescriptionsInOrder) {
    const struct {
        TYPEKIND kind;
        const char* name;
        const char* doc;
        const GUID& guid;
    } expected[] = {
        {TKIND_ENUM, "QuorvexErrors", "", GUID_NULL},
        {TKIND_DISPATCH, "_IConfigFileEvents", "_IConfigFileEvents Interface", DIID__IConfigFileEvents},
        {TKIND_COCLASS, "ConfigFile", "ConfigFile Class", CLSID_ConfigFile},
        {TKIND_DISPATCH, "IConfigFile", "IConfigFile Interface", IID_IConfigFile},
    };
    ASSERT_EQ(4u, m_pTypeLib->GetTypeInfoCount());
    for (UINT i = 0; i < 4; ++i) {
        SCOPED_TRACE(expected[i].name);
        TYPEKIND kind;
        ASSERT_EQ(S_OK, m_pTypeLib->GetTypeInfoType(i, &kind));
        EXPECT_EQ(expected[i].kind, kind);
        CComPtr<ITypeInfo> pInfo = TypeInfo(i);
        std::string name;
        EXPECT_EQ(expected[i].doc, Doc(pInfo.Get(), MEMBERID_NIL, &name));
        EXPECT_EQ(expected[i].name, name);
        TYPEATTR* pAttr = nullptr;
        ASSERT_EQ(S_OK, pInfo->GetTypeAttr(&pAttr));
        EXPECT_TRUE(IsEqualGUID(expected[i].guid, pAttr->guid));
        pInfo->ReleaseTypeAttr(pAttr);
    }
}

TEST_F(TypeLibraryTest, ErrorEnumeration) {
    CComPtr<ITypeInfo> pEnum = TypeInfo(0);
    const struct {
        const char* name;
        LONG value;
        const char* doc;
    } expected[] = {
        {"quorvexErrInvalidFormat", static_cast<LONG>(0x80040400), "Invalid file format."},
        {"quorvexErrFileNotOpen", static_cast<LONG>(0x80040401),
         "Cannot read/write file because it has not been opened."},
    };
    TYPEATTR* pAttr = nullptr;
    ASSERT_EQ(S_OK, pEnum->GetTypeAttr(&pAttr));
    EXPECT_EQ(2, pAttr->cVars);
    pEnum->ReleaseTypeAttr(pAttr);
    for (UINT i = 0; i < 2; ++i) {
        VARDESC* pVar = nullptr;
        ASSERT_EQ(S_OK, pEnum->GetVarDesc(i, &pVar));
        EXPECT_EQ(VAR_CONST, pVar->varkind);
        std::string name;
        EXPECT_EQ(expected[i].doc, Doc(pEnum.Get(), pVar->memid, &name));
        EXPECT_EQ(expected[i].name, name);
        VARIANT value;
        VariantInit(&value);
        ASSERT_EQ(S_OK, VariantChangeType(&value, pVar->lpvarValue, 0, VT_I4));
        EXPECT_EQ(expected[i].value, V_I4(&value));
        pEnum->ReleaseVarDesc(pVar);
    }
}

TEST_F(TypeLibraryTest, EventDispinterface) {
    CComPtr<ITypeInfo> pEvents = TypeInfo(1);
    TYPEATTR* pAttr = nullptr;
    ASSERT_EQ(S_OK, pEvents->GetTypeAttr(&pAttr));
    const WORD cFuncs = pAttr->cFuncs;
    pEvents->ReleaseTypeAttr(pAttr);
    ASSERT_EQ(1, cFuncs);
    EXPECT_EQ("IDispatch", BaseName(pEvents.Get()));
    ExpectMembers(pEvents.Get(), 0,
                  {{1,
                    "QueryLoad",
                    INVOKE_FUNC,
                    {{"Cancel", "VARIANT_BOOL*", PARAMFLAG_FIN | PARAMFLAG_FOUT},
                     {"FileVersion", "BSTR", PARAMFLAG_FIN},
                     {"DbVersion", "BSTR", PARAMFLAG_FIN}},
                    "Occurs before loading if there is a tagspec mismatch"}});
}

TEST_F(TypeLibraryTest, CoclassImplementsTheDualAndSourcesTheEvents) {
    CComPtr<ITypeInfo> pClass = TypeInfo(2);
    TYPEATTR* pAttr = nullptr;
    ASSERT_EQ(S_OK, pClass->GetTypeAttr(&pAttr));
    EXPECT_TRUE(pAttr->wTypeFlags & TYPEFLAG_FCANCREATE);
    EXPECT_EQ(2, pAttr->cImplTypes);
    pClass->ReleaseTypeAttr(pAttr);
    const struct {
        const char* name;
        INT flags;
    } expected[] = {
        {"IConfigFile", IMPLTYPEFLAG_FDEFAULT},
        {"_IConfigFileEvents", IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE},
    };
    for (UINT i = 0; i < 2; ++i) {
        INT flags = 0;
        ASSERT_EQ(S_OK, pClass->GetImplTypeFlags(i, &flags));
        EXPECT_EQ(expected[i].flags, flags);
        HREFTYPE ref = 0;
        ASSERT_EQ(S_OK, pClass->GetRefTypeOfImplType(i, &ref));
        CComPtr<ITypeInfo> pImpl;
        ASSERT_EQ(S_OK, pClass->GetRefTypeInfo(ref, pImpl.Out()));
        std::string name;
        Doc(pImpl.Get(), MEMBERID_NIL, &name);
        EXPECT_EQ(expected[i].name, name);
    }
}

TEST_F(TypeLibraryTest, DualInterfaceMembers) {
    CComPtr<ITypeInfo> pDispatch = TypeInfo(3);
    TYPEATTR* pAttr = nullptr;
    ASSERT_EQ(S_OK, pDispatch->GetTypeAttr(&pAttr));
    const WORD dispatchFlags = TYPEFLAG_FDUAL | TYPEFLAG_FHIDDEN | TYPEFLAG_FDISPATCHABLE;
    EXPECT_EQ(dispatchFlags, pAttr->wTypeFlags & dispatchFlags);
    pDispatch->ReleaseTypeAttr(pAttr);
    EXPECT_EQ("IDispatch", BaseName(pDispatch.Get()));

    HREFTYPE ref = 0;
    ASSERT_EQ(S_OK, pDispatch->GetRefTypeOfImplType(-1, &ref));
    CComPtr<ITypeInfo> pInterface;
    ASSERT_EQ(S_OK, pDispatch->GetRefTypeInfo(ref, pInterface.Out()));
    ASSERT_EQ(S_OK, pInterface->GetTypeAttr(&pAttr));
    EXPECT_EQ(TKIND_INTERFACE, pAttr->typekind);
    const WORD interfaceFlags = TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION | TYPEFLAG_FHIDDEN;
    EXPECT_EQ(interfaceFlags, pAttr->wTypeFlags & interfaceFlags);
    EXPECT_EQ(6, pAttr->cFuncs);
    // Six methods after the seven of IDispatch in the method table.
    EXPECT_EQ(13 * sizeof(void*), pAttr->cbSizeVft);
    pInterface->ReleaseTypeAttr(pAttr);

    EXPECT_EQ("IDispatch", BaseName(pInterface.Get()));

    const USHORT in = PARAMFLAG_FIN;
    const USHORT retval = PARAMFLAG_FOUT | PARAMFLAG_FRETVAL;
    ExpectMembers(pInterface.Get(), 0,
                  {
                      {1, "Open", INVOKE_FUNC, {{"FilePath", "BSTR", in}, {"ReadOnly", "long", in}},
                       "Open a configuration file"},
                      {2, "Read", INVOKE_FUNC,
                       {{"TagServer", "IDispatch*", in},
                        {"TagCollection", "IDispatch**", PARAMFLAG_FIN | PARAMFLAG_FOUT}},
                       "Read a configuration file into a Tag Collection"},
                      {3, "Write", INVOKE_FUNC, {{"TagCollection", "IDispatch*", in}},
                       "Write a Tag Collection to a configuration file"},
                      {4, "Close", INVOKE_FUNC, {}, "Close a configuration file"},
                      {5, "Path", INVOKE_PROPERTYGET, {{"pVal", "BSTR*", retval}}, "Path to the configuration file"},
                      {6, "IsOpen", INVOKE_PROPERTYGET, {{"pVal", "VARIANT_BOOL*", retval}},
                       "Is the configuration file currently open?"},
                  });
    for (UINT i = 0; i < 6; ++i) {
        FUNCDESC* pFunc = nullptr;
        ASSERT_EQ(S_OK, pInterface->GetFuncDesc(i, &pFunc));
        EXPECT_EQ(static_cast<SHORT>((7 + i) * sizeof(void*)), pFunc->oVft) << i;
        pInterface->ReleaseFuncDesc(pFunc);
    }
}

}  // namespace
