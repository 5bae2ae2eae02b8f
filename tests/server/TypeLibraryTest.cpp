// The type library inside Quorvex3.dll, read back through ITypeLib/ITypeInfo.
#include "Quorvex3.h"
#include "platform/Variant.h"
#include "tests/support/ComTestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>

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

// "name 'help string'" of a type (MEMBERID_NIL) or of a member.
std::string Described(ITypeInfo* pInfo, MEMBERID memid) {
    CBstr name, doc;
    pInfo->GetDocumentation(memid, name.Out(), doc.Out(), nullptr, nullptr);
    return Narrow(name.ToString()) + " '" + Narrow(doc.ToString()) + "'";
}

CComPtr<ITypeInfo> Referenced(ITypeInfo* pInfo, UINT implType) {
    HREFTYPE ref = 0;
    CComPtr<ITypeInfo> pBase;
    if (SUCCEEDED(pInfo->GetRefTypeOfImplType(implType, &ref))) pInfo->GetRefTypeInfo(ref, pBase.Out());
    return pBase;
}

// One line for the type, then one per constant, method and implemented type:
// everything a client reads back, in order.
std::vector<std::string> Listing(ITypeInfo* pInfo) {
    TYPEATTR* pAttr = nullptr;
    EXPECT_EQ(S_OK, pInfo->GetTypeAttr(&pAttr));
    if (!pAttr) return {};
    std::vector<std::string> lines{Described(pInfo, MEMBERID_NIL)};
    for (UINT i = 0; i < pAttr->cVars; ++i) {
        VARDESC* pVar = nullptr;
        pInfo->GetVarDesc(i, &pVar);
        CVariant value;
        VariantChangeType(value.Get(), pVar->lpvarValue, 0, VT_I4);
        char text[16];
        std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(V_I4(value.Get())));
        lines.push_back("const " + Described(pInfo, pVar->memid) + " = " + text);
        pInfo->ReleaseVarDesc(pVar);
    }
    for (UINT i = 0; i < pAttr->cFuncs; ++i) {
        FUNCDESC* pFunc = nullptr;
        pInfo->GetFuncDesc(i, &pFunc);
        BSTR names[8] = {};
        UINT count = 0;
        pInfo->GetNames(pFunc->memid, names, 8, &count);
        std::string line = std::to_string(pFunc->memid) + (pFunc->invkind == INVOKE_PROPERTYGET ? " get " : " ") +
                           Described(pInfo, pFunc->memid) + " (";
        for (SHORT p = 0; p < pFunc->cParams; ++p) {
            const ELEMDESC& param = pFunc->lprgelemdescParam[p];
            const USHORT flags = param.paramdesc.wParamFlags;
            line += (p ? ", " : "") + TypeText(param.tdesc) + " " + (p + 1u < count ? Narrow(names[p + 1]) : "?") +
                    (flags & PARAMFLAG_FIN ? " in" : "") + (flags & PARAMFLAG_FOUT ? " out" : "") +
                    (flags & PARAMFLAG_FRETVAL ? " retval" : "");
        }
        line += ") " + TypeText(pFunc->elemdescFunc.tdesc);
        if (pAttr->typekind == TKIND_INTERFACE) line += " slot " + std::to_string(pFunc->oVft / sizeof(void*));
        lines.push_back(line);
        for (UINT n = 0; n < count; ++n) SysFreeString(names[n]);
        pInfo->ReleaseFuncDesc(pFunc);
    }
    for (UINT i = 0; i < pAttr->cImplTypes; ++i) {
        INT flags = 0;
        pInfo->GetImplTypeFlags(i, &flags);
        CComPtr<ITypeInfo> pImpl = Referenced(pInfo, i);
        lines.push_back("implements " + (pImpl ? Described(pImpl.Get(), MEMBERID_NIL) : "?") +
                        (flags & IMPLTYPEFLAG_FDEFAULT ? " default" : "") +
                        (flags & IMPLTYPEFLAG_FSOURCE ? " source" : ""));
    }
    pInfo->ReleaseTypeAttr(pAttr);
    return lines;
}

class TypeLibraryTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(S_OK, LoadTypeLibEx(Quorvex3Path().c_str(), REGKIND_NONE, m_pTypeLib.Out())); }

    CComPtr<ITypeInfo> TypeInfo(UINT index) {
        CComPtr<ITypeInfo> pInfo;
        EXPECT_EQ(S_OK, m_pTypeLib->GetTypeInfo(index, pInfo.Out()));
        return pInfo;
    }
    // The flags, method table size and GUID of a type.
    static void ExpectAttributes(ITypeInfo* pInfo, TYPEKIND kind, WORD flags, const GUID& guid, size_t vtableSlots) {
        TYPEATTR* pAttr = nullptr;
        ASSERT_EQ(S_OK, pInfo->GetTypeAttr(&pAttr));
        EXPECT_EQ(kind, pAttr->typekind);
        EXPECT_EQ(flags, pAttr->wTypeFlags & flags);
        EXPECT_TRUE(IsEqualGUID(guid, pAttr->guid));
        if (kind == TKIND_INTERFACE) {
            EXPECT_EQ(vtableSlots * sizeof(void*), pAttr->cbSizeVft);
        }
        pInfo->ReleaseTypeAttr(pAttr);
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
    EXPECT_EQ(sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32, pAttr->syskind);
    m_pTypeLib->ReleaseTLibAttr(pAttr);
    CBstr name, doc, helpFile;
    ASSERT_EQ(S_OK, m_pTypeLib->GetDocumentation(-1, name.Out(), doc.Out(), nullptr, helpFile.Out()));
    EXPECT_EQ(L"Quorvex3", name.ToString());
    EXPECT_EQ(L"Orvik Quorvex 3.0 Type Library", doc.ToString());
    EXPECT_EQ(L"", helpFile.ToString());
    ASSERT_EQ(4u, m_pTypeLib->GetTypeInfoCount());
}

TEST_F(TypeLibraryTest, EnumerationEventsAndClass) {
    const WORD kCreatable = TYPEFLAG_FCANCREATE;
    ExpectAttributes(TypeInfo(0).Get(), TKIND_ENUM, 0, GUID_NULL, 0);
    ExpectAttributes(TypeInfo(1).Get(), TKIND_DISPATCH, 0, DIID__IConfigFileEvents, 0);
    ExpectAttributes(TypeInfo(2).Get(), TKIND_COCLASS, kCreatable, CLSID_ConfigFile, 0);
    EXPECT_EQ((std::vector<std::string>{
                  "QuorvexErrors ''",
                  "const quorvexErrInvalidFormat 'Invalid file format.' = 0x80040400",
                  "const quorvexErrFileNotOpen 'Cannot read/write file because it has not been opened.' = 0x80040401",
              }),
              Listing(TypeInfo(0).Get()));
    EXPECT_EQ((std::vector<std::string>{
                  "_IConfigFileEvents '_IConfigFileEvents Interface'",
                  "1 QueryLoad 'Occurs before loading if there is a tagspec mismatch' (VARIANT_BOOL* Cancel in out, "
                  "BSTR FileVersion in, BSTR DbVersion in) HRESULT",
                  "implements IDispatch ''",
              }),
              Listing(TypeInfo(1).Get()));
    EXPECT_EQ((std::vector<std::string>{
                  "ConfigFile 'ConfigFile Class'",
                  "implements IConfigFile 'IConfigFile Interface' default",
                  "implements _IConfigFileEvents '_IConfigFileEvents Interface' default source",
              }),
              Listing(TypeInfo(2).Get()));
}

TEST_F(TypeLibraryTest, DualInterfaceMembersAndMethodTable) {
    CComPtr<ITypeInfo> pDispatch = TypeInfo(3);
    ExpectAttributes(pDispatch.Get(), TKIND_DISPATCH, TYPEFLAG_FDUAL | TYPEFLAG_FHIDDEN | TYPEFLAG_FDISPATCHABLE,
                     IID_IConfigFile, 0);
    EXPECT_EQ("IConfigFile 'IConfigFile Interface'", Described(pDispatch.Get(), MEMBERID_NIL));
    EXPECT_EQ("IDispatch ''", Described(Referenced(pDispatch.Get(), 0).Get(), MEMBERID_NIL));
    CComPtr<ITypeInfo> pInterface = Referenced(pDispatch.Get(), static_cast<UINT>(-1));
    ASSERT_TRUE(pInterface);
    // Six methods after the seven of IDispatch in the method table.
    ExpectAttributes(pInterface.Get(), TKIND_INTERFACE, TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION | TYPEFLAG_FHIDDEN,
                     IID_IConfigFile, 13);
    EXPECT_EQ((std::vector<std::string>{
                  "IConfigFile 'IConfigFile Interface'",
                  "1 Open 'Open a configuration file' (BSTR FilePath in, long ReadOnly in) HRESULT slot 7",
                  "2 Read 'Read a configuration file into a Tag Collection' (IDispatch* TagServer in, "
                  "IDispatch** TagCollection in out) HRESULT slot 8",
                  "3 Write 'Write a Tag Collection to a configuration file' (IDispatch* TagCollection in) HRESULT "
                  "slot 9",
                  "4 Close 'Close a configuration file' () HRESULT slot 10",
                  "5 get Path 'Path to the configuration file' (BSTR* pVal out retval) HRESULT slot 11",
                  "6 get IsOpen 'Is the configuration file currently open?' (VARIANT_BOOL* pVal out retval) HRESULT "
                  "slot 12",
                  "implements IDispatch ''",
              }),
              Listing(pInterface.Get()));
}

}  // namespace
