// The registrar's rules that regsvr32 in a shared prefix cannot show: shared
// keys, NoRemove, and the failures before the registry is touched.
#include "server/Registrar.h"

#include "tests/support/ComTestSupport.h"

#include <gtest/gtest.h>

using namespace testsupport;

namespace {

// Every key ("A\B") and value ("A\B:name") under path, depth first.
std::vector<WString> Tree(HKEY root, const WString& path = L"") {
    std::vector<WString> entries;
    for (const WString& value : ValueNames(root, path)) entries.push_back(path + L":" + value);
    for (const WString& key : SubkeyNames(root, path)) {
        const WString child = path.empty() ? key : path + L"\\" + key;
        entries.push_back(child);
        for (const WString& entry : Tree(root, child)) entries.push_back(entry);
    }
    return entries;
}

// A private stand-in for HKEY_CLASSES_ROOT under HKEY_CURRENT_USER.
class RegistrarTest : public testing::Test {
protected:
    void SetUp() override {
        m_strScratch = L"Software\\QuorvexRegistrarTest-" + std::to_wstring(GetCurrentProcessId());
        RegDeleteTreeW(HKEY_CURRENT_USER, m_strScratch.c_str());
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, m_strScratch.c_str(), 0, nullptr, 0,
                                                 KEY_ALL_ACCESS, nullptr, &m_hRoot, nullptr));
        m_registrar.MapRoot(L"HKCR", m_hRoot);
    }
    void TearDown() override {
        RegCloseKey(m_hRoot);
        RegDeleteTreeW(HKEY_CURRENT_USER, m_strScratch.c_str());
    }
    WString m_strScratch;
    HKEY m_hRoot = nullptr;
    CRegistrar m_registrar;
};

TEST_F(RegistrarTest, UnregisteringKeepsSharedAndNoRemoveKeys) {
    const WString shared = L"HKCR { TypeLib { {LIB} = s 'x' } Own { CLSID = s 'y' } }";
    const std::vector<WString> sharedTree = {L"Own", L"Own\\CLSID", L"Own\\CLSID:", L"TypeLib", L"TypeLib\\{LIB}",
                                             L"TypeLib\\{LIB}:"};
    const struct {
        const wchar_t* name;
        WString script;
        const wchar_t* foreignKey;  // created after registering
        std::vector<WString> registered, after;
    } cases[] = {
        {L"TypeLib with another library stays", shared, L"TypeLib\\{OTHER}", sharedTree, {L"TypeLib", L"TypeLib\\{OTHER}"}},
        {L"TypeLib emptied by the script goes", shared, nullptr, sharedTree, {}},
        {L"key under a removed key goes with it", shared, L"Own\\CLSID\\Other", sharedTree, {}},
        {L"NoRemove key loses only its named values", L"HKCR { NoRemove Kept { val Mode = s 'both' Child = s 'c' } }",
         nullptr, {L"Kept", L"Kept:Mode", L"Kept\\Child", L"Kept\\Child:"}, {L"Kept"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.name)));
        ASSERT_EQ(S_OK, m_registrar.ApplyScript(c.script, TRUE));
        EXPECT_EQ(c.registered, Tree(m_hRoot));
        HKEY h = nullptr;
        if (c.foreignKey) RegCreateKeyExW(m_hRoot, c.foreignKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h, nullptr);
        if (h) RegCloseKey(h);
        ASSERT_EQ(S_OK, m_registrar.ApplyScript(c.script, FALSE));
        EXPECT_EQ(c.after, Tree(m_hRoot));
        RegDeleteTreeW(m_hRoot, nullptr);
    }
}

TEST_F(RegistrarTest, FailuresBeforeTheRegistryIsTouched) {
    EXPECT_EQ(DISP_E_EXCEPTION, m_registrar.ApplyScript(L"HKXX { Key = s 'x' }", TRUE));
    EXPECT_EQ(DISP_E_EXCEPTION, m_registrar.ApplyScript(L"HKCR { Key = s '%MODULE%' }", TRUE));
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_RESOURCE_TYPE_NOT_FOUND),
              m_registrar.ResourceRegister(Quorvex3Path(), 102, L"NOSUCHTYPE", TRUE));
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_RESOURCE_NAME_NOT_FOUND),
              m_registrar.ResourceRegister(Quorvex3Path(), 999, L"REGISTRY", TRUE));
    const HRESULT missingFile = m_registrar.ResourceRegister(ProgramFolder() + L"NoSuch.dll", 102, L"REGISTRY", TRUE);
    EXPECT_EQ(FACILITY_WIN32, HRESULT_FACILITY(missingFile));
    EXPECT_TRUE(FAILED(missingFile));
    EXPECT_TRUE(Tree(m_hRoot).empty());
}

}  // namespace
