// Late binding needs the registered type library; the method table does not.
// Runs in a process of its own: the type description is loaded once per
// module, so no earlier late-bound call may have loaded it.
#include "Quorvex3.h"
#include "tests/support/ComTestSupport.h"

#include <gtest/gtest.h>

using namespace testsupport;

namespace {

const SYSKIND kSysKind = sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32;

HRESULT RegisterServerAgain() {
    HMODULE h = LoadLibraryW(Quorvex3Path().c_str());
    if (!h) return E_FAIL;
    typedef HRESULT(STDAPICALLTYPE * PFN)();
    PFN pfn = reinterpret_cast<PFN>(reinterpret_cast<void*>(GetProcAddress(h, "DllRegisterServer")));
    const HRESULT hr = pfn ? pfn() : E_FAIL;
    FreeLibrary(h);
    return hr;
}

TEST(UnregisteredTypeLib, LateBindingFailsWhileTheMethodTableWorks) {
    CComApartment com;
    ASSERT_EQ(S_OK, UnRegisterTypeLib(LIBID_Quorvex3, 1, 0, 0x0409, kSysKind));

    CComPtr<IConfigFile> pConfigFile;
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_ConfigFile, nullptr, CLSCTX_INPROC_SERVER, IID_IConfigFile,
                                     reinterpret_cast<void**>(pConfigFile.Out())));
    LPOLESTR name = const_cast<LPOLESTR>(L"IsOpen");
    DISPID id = 0;
    const HRESULT hrNames = pConfigFile->GetIDsOfNames(IID_NULL, &name, 1, 0x0409, &id);
    DISPPARAMS noArgs = {nullptr, nullptr, 0, 0};
    VARIANT result;
    VariantInit(&result);
    const HRESULT hrInvoke = pConfigFile->Invoke(6, IID_NULL, 0x0409, DISPATCH_PROPERTYGET, &noArgs, &result,
                                                 nullptr, nullptr);
    CComPtr<ITypeInfo> pInfo;
    const HRESULT hrTypeInfo = pConfigFile->GetTypeInfo(0, 0x0409, pInfo.Out());
    VARIANT_BOOL isOpen = VARIANT_TRUE;
    const HRESULT hrVtable = pConfigFile->get_IsOpen(&isOpen);

    // Register again before judging, so a failure leaves the prefix intact.
    ASSERT_EQ(S_OK, RegisterServerAgain());
    EXPECT_EQ(TYPE_E_LIBNOTREGISTERED, hrNames);
    EXPECT_EQ(TYPE_E_LIBNOTREGISTERED, hrInvoke);
    EXPECT_EQ(TYPE_E_LIBNOTREGISTERED, hrTypeInfo);
    EXPECT_EQ(S_OK, hrVtable);
    EXPECT_EQ(VARIANT_FALSE, isOpen);

    // A failed load is not kept: once registered, late binding works.
    EXPECT_EQ(S_OK, pConfigFile->GetIDsOfNames(IID_NULL, &name, 1, 0x0409, &id));
    EXPECT_EQ(6, id);
}

}  // namespace
