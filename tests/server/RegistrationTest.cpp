// regsvr32 in the test prefix against Quorvex3.dll: the registry afterwards,
// and late binding without the type library registered (no earlier late-bound
// call in this process may have loaded the type description, which is loaded
// once per module). Every test leaves the build's DLL registered again.
#include "Quorvex3.h"
#include "tests/support/ComTestSupport.h"

#include <gtest/gtest.h>

using namespace testsupport;

namespace {

const WString kClassKey = L"CLSID\\{A7BB3EBA-C106-41c6-AC07-93578C4C33DF}";
const WString kProgId = L"Brenlow.Zandel.Quorvex3.ConfigFile.1";
const WString kVersionIndependentProgId = L"Brenlow.Zandel.Quorvex3.ConfigFile";
const WString kTypeLibKey = L"TypeLib\\{100EE405-FD8C-47C1-AB05-9560B27631CC}";

const WString kInterfaceKeys[] = {L"Interface\\{45327B61-43F6-4B32-92B7-A80B01B4EC2E}",
                                  L"Interface\\{9BA60ED8-E7D1-441B-B31B-A4CC60D66C37}"};
const WString kOwnTypeLibEntry = kTypeLibKey + (sizeof(void*) == 8 ? L"\\1.0\\409\\win64" : L"\\1.0\\409\\win32");
const WString kOtherTypeLibEntry = kTypeLibKey + (sizeof(void*) == 8 ? L"\\1.0\\409\\win32" : L"\\1.0\\409\\win64");

DWORD RegSvr32(const WString& dll, bool unregister) {
    return RunProgram(WString(L"regsvr32 /s ") + (unregister ? L"/u " : L"") + L"\"" + dll + L"\"");
}

// What a client finds through the registry; the class key exactly, so that
// stray contents from before are gone.
void ExpectRegisteredAt(const WString& dll) {
    const struct {
        WString key;
        const WCHAR* name;
        WString value;
    } entries[] = {
        {kProgId + L"\\CLSID", nullptr, L"{A7BB3EBA-C106-41c6-AC07-93578C4C33DF}"},
        {kVersionIndependentProgId + L"\\CLSID", nullptr, L"{A7BB3EBA-C106-41c6-AC07-93578C4C33DF}"},
        {kClassKey + L"\\ProgID", nullptr, kProgId},
        {kClassKey + L"\\VersionIndependentProgID", nullptr, kVersionIndependentProgId},
        {kClassKey + L"\\TypeLib", nullptr, L"{100EE405-FD8C-47c1-AB05-9560B27631CC}"},
        {kClassKey + L"\\InprocServer32", nullptr, dll},
        {kClassKey + L"\\InprocServer32", L"ThreadingModel", L"both"},
        {kOwnTypeLibEntry, nullptr, dll},
        // The automation marshaller: for the dual interface through its method
        // table, for the dispinterface through IDispatch.
        {kInterfaceKeys[0] + L"\\ProxyStubClsid32", nullptr, L"{00020424-0000-0000-C000-000000000046}"},
        {kInterfaceKeys[1] + L"\\ProxyStubClsid32", nullptr, L"{00020420-0000-0000-C000-000000000046}"},
    };
    for (const auto& entry : entries)
        EXPECT_EQ(entry.value, ValueOf(HKEY_CLASSES_ROOT, entry.key, entry.name)) << testing::PrintToString(entry.key);
    EXPECT_EQ((std::vector<WString>{L"InprocServer32", L"ProgID", L"TypeLib", L"VersionIndependentProgID"}),
              SubkeyNames(HKEY_CLASSES_ROOT, kClassKey));
}

void ExpectUnregistered() {
    for (const WString& key : {kProgId, kVersionIndependentProgId, kClassKey, kTypeLibKey, kInterfaceKeys[0],
                               kInterfaceKeys[1]})
        EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, key)) << testing::PrintToString(key);
    // Shared keys stay, with the entries of others.
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, L"CLSID"));
    EXPECT_FALSE(SubkeyNames(HKEY_CLASSES_ROOT, L"TypeLib").empty());
}

// A key "Stray\Deeper" with a value under the class key, as left by someone else.
void AddStrayKey() { ASSERT_TRUE(SetValue(HKEY_CLASSES_ROOT, kClassKey + L"\\Stray\\Deeper", L"Left", L"x")); }

// The other architecture's registry view on 64-bit Windows, or 0 on 32-bit
// Windows, which has none.
REGSAM OtherView() {
    if (sizeof(void*) == 8) return KEY_WOW64_32KEY;
    BOOL underWow64 = FALSE;
    return IsWow64Process(GetCurrentProcess(), &underWow64) && underWow64 ? KEY_WOW64_64KEY : 0;
}

// What the other architecture's regsvr32 adds to ours: its class key in its
// own view and its entry of the shared type library key. Removed again on
// every path, so that it cannot keep later tests' shared keys alive.
class COtherArchitectureRegistration {
public:
    explicit COtherArchitectureRegistration(REGSAM view) : m_view(view) {
        EXPECT_TRUE(SetValue(HKEY_CLASSES_ROOT, kClassKey + L"\\InprocServer32", nullptr, L"C:\\Other\\Quorvex3.dll", view));
        EXPECT_TRUE(SetValue(HKEY_CLASSES_ROOT, kOtherTypeLibEntry, nullptr, L"C:\\Other\\Quorvex3.dll", view));
    }
    ~COtherArchitectureRegistration() { Remove(); }
    void Remove() {
        RegDeleteKeyExW(HKEY_CLASSES_ROOT, (kClassKey + L"\\InprocServer32").c_str(), m_view, 0);
        RegDeleteKeyExW(HKEY_CLASSES_ROOT, kClassKey.c_str(), m_view, 0);
        RegDeleteKeyExW(HKEY_CLASSES_ROOT, kOtherTypeLibEntry.c_str(), m_view, 0);
    }

private:
    REGSAM m_view;
};

class RegistrationTest : public testing::Test {
protected:
    void TearDown() override { EXPECT_EQ(0u, RegSvr32(Quorvex3Path(), false)); }
};

// A module path with single quotes is registered unchanged; a class key with
// stray contents is replaced whole on registering and removed whole on
// unregistering, which may be repeated.
TEST_F(RegistrationTest, QuotedPathOverStrayKeysThenUnregisteredTwice) {
    AddStrayKey();
    CTempFolder temp;
    const WString folder = temp.File(L"it's 'quoted'");
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    const WString dll = folder + L"\\Quorvex3.dll";
    ASSERT_TRUE(CopyFileW(Quorvex3Path().c_str(), dll.c_str(), FALSE));
    ASSERT_TRUE(CopyFileW((ProgramFolder() + L"QuorvexLog.dll").c_str(), (folder + L"\\QuorvexLog.dll").c_str(), FALSE));

    ASSERT_EQ(0u, RegSvr32(dll, false));
    ExpectRegisteredAt(dll);
    AddStrayKey();
    for (int time = 0; time < 2; ++time) {
        EXPECT_EQ(0u, RegSvr32(dll, true));
        ExpectUnregistered();
    }
}

// Unregistering one architecture while the other stays registered takes
// only its own class key and type library entry; the ProgIDs, the library
// key and the interface keys that both share stay until the last one goes.
TEST_F(RegistrationTest, UnregisteringLeavesTheOtherArchitectureRegistered) {
    const REGSAM otherView = OtherView();
    if (!otherView) GTEST_SKIP() << "32-bit Windows has no other architecture's registry view";
    COtherArchitectureRegistration other(otherView);
    ASSERT_FALSE(HasFailure());

    EXPECT_EQ(0u, RegSvr32(Quorvex3Path(), true));
    const struct {
        WString key;
        REGSAM view;
        bool kept;
    } keys[] = {
        {kClassKey, 0, false},
        {kOwnTypeLibEntry, 0, false},
        {kClassKey + L"\\InprocServer32", otherView, true},
        {kOtherTypeLibEntry, 0, true},
        {kInterfaceKeys[0], 0, true},
        {kInterfaceKeys[1], 0, true},
    };
    for (const auto& entry : keys)
        EXPECT_EQ(entry.kept, KeyExists(HKEY_CLASSES_ROOT, entry.key, entry.view)) << testing::PrintToString(entry.key);
    for (const WString& progId : {kProgId, kVersionIndependentProgId})
        EXPECT_EQ(L"{A7BB3EBA-C106-41c6-AC07-93578C4C33DF}", ValueOf(HKEY_CLASSES_ROOT, progId + L"\\CLSID"));

    // Ours registered again, then the other one goes as its own unregistering
    // would leave things: ours is the last, and takes the shared keys with it.
    ASSERT_EQ(0u, RegSvr32(Quorvex3Path(), false));
    other.Remove();
    EXPECT_EQ(0u, RegSvr32(Quorvex3Path(), true));
    ExpectUnregistered();
}

// Late binding needs the registered type library; the method table does not.
TEST(UnregisteredTypeLib, LateBindingFailsWhileTheMethodTableWorks) {
    CComApartment com;
    ASSERT_EQ(S_OK, UnRegisterTypeLib(LIBID_Quorvex3, 1, 0, 0x0409, sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32));

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
    ASSERT_EQ(0u, RegSvr32(Quorvex3Path(), false));
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
