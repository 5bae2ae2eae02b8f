#include "server/RegistryScript.h"

#include <gtest/gtest.h>

namespace {

// One line per key: its path, modifiers, default and named values.
void Render(const std::vector<CRegistryKey>& keys, const WString& parent, std::vector<WString>& lines) {
    for (const CRegistryKey& key : keys) {
        const WString path = parent + L"\\" + key.strName;
        WString line = path + (key.bNoRemove ? L" NoRemove" : L"") + (key.bForceRemove ? L" ForceRemove" : L"");
        if (key.bHasDefault) line += L" = '" + key.strDefault + L"'";
        for (const CRegistryValue& value : key.values) line += L" val " + value.strName + L" = '" + value.strData + L"'";
        lines.push_back(line);
        Render(key.subkeys, path, lines);
    }
}

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
    EXPECT_EQ(L"HKCR", script.Roots()[0].strName);
    std::vector<WString> lines;
    Render(script.Roots()[0].keys, L"", lines);
    EXPECT_EQ((std::vector<WString>{
                  L"\\Plain.Key = 'Plain Class'",
                  L"\\Plain.Key\\CLSID = '{X}'",
                  L"\\CLSID NoRemove",
                  L"\\CLSID\\{X} ForceRemove = 'It's 100% done'",
                  L"\\CLSID\\{X}\\InprocServer32 = 'C:\\it's\\Q.dll' val ThreadingModel = 'both'",
                  L"\\CLSID\\{X}\\Quoted Name",
              }),
              lines);

    CRegistryScript empty;
    EXPECT_EQ(S_OK, empty.Parse(L"  \r\n\t "));
    EXPECT_TRUE(empty.Roots().empty());
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
