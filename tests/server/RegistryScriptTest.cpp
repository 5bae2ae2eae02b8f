#include "server/RegistryScript.h"

#include <gtest/gtest.h>

namespace {

TEST(RegistryScript, ParsesNestedKeysModifiersAndValues) {
    CRegistryScript script;
    script.AddReplacement(L"Module", L"C:\\it''s\\Q.dll");
    const WString text =
        L"HKCR\r\n{\r\n"
        L"  Plain.Key = s 'Plain Class'\r\n  {\r\n    CLSID = s '{X}'\r\n  }\r\n"
        L"  NoRemove CLSID\r\n  {\r\n"
        L"    ForceRemove {X} = s 'It''s 100%% done'\r\n    {\r\n"
        L"      InprocServer32 = s '%module%'\r\n      {\r\n        val ThreadingModel = s 'both'\r\n      }\r\n"
        L"      'Quoted Name'\r\n"
        L"    }\r\n  }\r\n}\r\n";
    ASSERT_EQ(S_OK, script.Parse(text)) << testing::PrintToString(std::wstring(script.ErrorText()));

    ASSERT_EQ(1u, script.Roots().size());
    const CRegistryRoot& root = script.Roots()[0];
    EXPECT_EQ(L"HKCR", root.strName);
    ASSERT_EQ(2u, root.keys.size());

    const CRegistryKey& plain = root.keys[0];
    EXPECT_EQ(L"Plain.Key", plain.strName);
    EXPECT_FALSE(plain.bNoRemove);
    EXPECT_FALSE(plain.bForceRemove);
    EXPECT_TRUE(plain.bHasDefault);
    EXPECT_EQ(L"Plain Class", plain.strDefault);
    ASSERT_EQ(1u, plain.subkeys.size());
    EXPECT_EQ(L"{X}", plain.subkeys[0].strDefault);

    const CRegistryKey& clsid = root.keys[1];
    EXPECT_TRUE(clsid.bNoRemove);
    EXPECT_FALSE(clsid.bHasDefault);
    ASSERT_EQ(1u, clsid.subkeys.size());
    const CRegistryKey& classKey = clsid.subkeys[0];
    EXPECT_TRUE(classKey.bForceRemove);
    EXPECT_EQ(L"It's 100% done", classKey.strDefault);
    ASSERT_EQ(2u, classKey.subkeys.size());
    const CRegistryKey& server = classKey.subkeys[0];
    EXPECT_EQ(L"C:\\it's\\Q.dll", server.strDefault);
    ASSERT_EQ(1u, server.values.size());
    EXPECT_EQ(L"ThreadingModel", server.values[0].strName);
    EXPECT_EQ(L"both", server.values[0].strData);
    EXPECT_EQ(L"Quoted Name", classKey.subkeys[1].strName);
    EXPECT_FALSE(classKey.subkeys[1].bHasDefault);
}

TEST(RegistryScript, EmptyScriptHasNoRoots) {
    CRegistryScript script;
    EXPECT_EQ(S_OK, script.Parse(L"  \r\n\t "));
    EXPECT_TRUE(script.Roots().empty());
}

TEST(RegistryScript, RejectsMalformedScripts) {
    const struct {
        const wchar_t* name;
        const wchar_t* text;
    } cases[] = {
        {L"root without braces", L"HKCR Key = s 'x'"},
        {L"unclosed root", L"HKCR { Key = s 'x'"},
        {L"unclosed key body", L"HKCR { Key { Sub } "},
        {L"value without type", L"HKCR { Key = 'x' }"},
        {L"unknown value type", L"HKCR { Key = d '1' }"},
        {L"unquoted string", L"HKCR { Key = s text }"},
        {L"unterminated string", L"HKCR { Key = s 'text }"},
        {L"named value without =", L"HKCR { Key { val V s 'x' } }"},
        {L"unknown replacement", L"HKCR { Key = s '%OTHER%' }"},
        {L"unterminated replacement", L"HKCR { Key = s '%MODULE' }"},
        {L"missing key name", L"HKCR { NoRemove }"},
        {L"quoted root", L"'HKCR' { }"},
    };
    for (const auto& c : cases) {
        CRegistryScript script;
        script.AddReplacement(L"MODULE", L"m");
        EXPECT_EQ(DISP_E_EXCEPTION, script.Parse(c.text)) << testing::PrintToString(std::wstring(c.name));
        EXPECT_FALSE(script.ErrorText().empty()) << testing::PrintToString(std::wstring(c.name));
    }
}

}  // namespace
