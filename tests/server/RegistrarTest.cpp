#include "server/Registrar.h"

#include "tests/server/ConfigFileKeys.h"

#include <gtest/gtest.h>

using namespace testsupport;

namespace {

const WString kProgId = L"Brenlow.Zandel.Quorvex3.ConfigFile.1";
const WString kModule = L"C:\\bin\\Quorvex3.dll";

// A private stand-in for HKEY_CLASSES_ROOT under HKEY_CURRENT_USER.
class RegistrarTest : public testing::Test {
protected:
    void SetUp() override {
        m_strScratch = L"Software\\QuorvexRegistrarTest-" + std::to_wstring(GetCurrentProcessId());
        RegDeleteTreeW(HKEY_CURRENT_USER, m_strScratch.c_str());
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, m_strScratch.c_str(), 0, nullptr, 0,
                                                 KEY_ALL_ACCESS, nullptr, &m_hRoot, nullptr));
    }
    void TearDown() override {
        RegCloseKey(m_hRoot);
        RegDeleteTreeW(HKEY_CURRENT_USER, m_strScratch.c_str());
    }

    HRESULT ApplyModuleScript(BOOL bRegister) {
        CRegistrar registrar;
        registrar.MapRoot(L"HKCR", m_hRoot);
        registrar.AddReplacement(L"Module", kModule);
        return registrar.ResourceRegister(Quorvex3Path(), 102, L"REGISTRY", bRegister);
    }
    HRESULT ApplyText(const WString& text, BOOL bRegister) {
        CRegistrar registrar;
        registrar.MapRoot(L"HKCR", m_hRoot);
        return registrar.ApplyScript(text, bRegister);
    }
    WString Value(const WString& path, const WCHAR* name = nullptr) { return ValueOf(m_hRoot, path, name); }
    void CreateKey(const WString& path) {
        HKEY h = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(m_hRoot, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                                 &h, nullptr));
        RegCloseKey(h);
    }
    WString m_strScratch;
    HKEY m_hRoot = nullptr;
};

TEST_F(RegistrarTest, ModuleScriptWritesExactlyTheListedEntries) {
    ASSERT_EQ(S_OK, ApplyModuleScript(TRUE));
    EXPECT_EQ((std::vector<WString>{L"Brenlow.Zandel.Quorvex3.ConfigFile", kProgId, L"CLSID"}),
              SubkeyNames(m_hRoot, L""));
    ExpectConfigFileClassKeys(m_hRoot, kModule);
}

TEST_F(RegistrarTest, UnregisteringRemovesEverythingButTheSharedClsidKey) {
    CreateKey(L"CLSID\\{00000000-1111-2222-3333-444444444444}");
    ASSERT_EQ(S_OK, ApplyModuleScript(TRUE));
    CreateKey(kProgId + L"\\Stray");
    CreateKey(L"CLSID\\{A7BB3EBA-C106-41c6-AC07-93578C4C33DF}\\InprocServer32\\Stray");
    ASSERT_EQ(S_OK, ApplyModuleScript(FALSE));
    EXPECT_EQ(std::vector<WString>{L"CLSID"}, SubkeyNames(m_hRoot, L""));
    EXPECT_EQ(std::vector<WString>{L"{00000000-1111-2222-3333-444444444444}"}, SubkeyNames(m_hRoot, L"CLSID"));
}

TEST_F(RegistrarTest, SharedKeysStayWhileOtherEntriesRemainUnderThem) {
    const WString script = L"HKCR { TypeLib { {LIB} = s 'x' } Own { CLSID = s 'y' } }";
    const struct {
        const wchar_t* name;
        const wchar_t* foreignKey;  // created after registering
        std::vector<WString> rootAfter;
    } cases[] = {
        {L"TypeLib with another library stays", L"TypeLib\\{OTHER}", {L"TypeLib"}},
        {L"TypeLib emptied by the script goes", nullptr, {}},
        {L"key under a removed key goes with it", L"Own\\CLSID\\Other", {}},
    };
    for (const auto& c : cases) {
        ASSERT_EQ(S_OK, ApplyText(script, TRUE));
        if (c.foreignKey) CreateKey(c.foreignKey);
        ASSERT_EQ(S_OK, ApplyText(script, FALSE));
        EXPECT_EQ(c.rootAfter, SubkeyNames(m_hRoot, L"")) << testing::PrintToString(std::wstring(c.name));
        EXPECT_FALSE(KeyExists(m_hRoot, L"TypeLib\\{LIB}"));
        RegDeleteTreeW(m_hRoot, nullptr);
    }
}

TEST_F(RegistrarTest, NoRemoveKeyLosesOnlyItsNamedValues) {
    const WString script = L"HKCR { NoRemove Kept { val Mode = s 'both' Child = s 'c' } }";
    ASSERT_EQ(S_OK, ApplyText(script, TRUE));
    EXPECT_EQ(L"both", Value(L"Kept", L"Mode"));
    ASSERT_EQ(S_OK, ApplyText(script, FALSE));
    EXPECT_TRUE(KeyExists(m_hRoot, L"Kept"));
    EXPECT_TRUE(ValueNames(m_hRoot, L"Kept").empty());
    EXPECT_FALSE(KeyExists(m_hRoot, L"Kept\\Child"));
}

TEST_F(RegistrarTest, FailuresBeforeTheRegistryIsTouched) {
    CRegistrar registrar;
    registrar.MapRoot(L"HKCR", m_hRoot);
    EXPECT_EQ(DISP_E_EXCEPTION, registrar.ApplyScript(L"HKXX { Key = s 'x' }", TRUE));
    EXPECT_EQ(DISP_E_EXCEPTION, registrar.ApplyScript(L"HKCR { Key = s '%MODULE%' }", TRUE));
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_RESOURCE_TYPE_NOT_FOUND),
              registrar.ResourceRegister(Quorvex3Path(), 102, L"NOSUCHTYPE", TRUE));
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_RESOURCE_NAME_NOT_FOUND),
              registrar.ResourceRegister(Quorvex3Path(), 999, L"REGISTRY", TRUE));
    const HRESULT missingFile = registrar.ResourceRegister(ProgramFolder() + L"NoSuch.dll", 102, L"REGISTRY", TRUE);
    EXPECT_EQ(FACILITY_WIN32, HRESULT_FACILITY(missingFile));
    EXPECT_TRUE(FAILED(missingFile));
    EXPECT_TRUE(SubkeyNames(m_hRoot, L"").empty());
}

}  // namespace
