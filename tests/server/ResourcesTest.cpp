// The resources Quorvex3.dll carries: strings, version block, manifest.
#include "tests/server/ComTestSupport.h"

#include <gtest/gtest.h>

using namespace testsupport;

namespace {

class ResourcesTest : public testing::Test {
protected:
    void SetUp() override {
        m_hModule = LoadLibraryExW(Quorvex3Path().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE(nullptr, m_hModule);
    }
    void TearDown() override { FreeLibrary(m_hModule); }
    HMODULE m_hModule = nullptr;
};

TEST_F(ResourcesTest, StringTable) {
    const struct {
        UINT id;
        const wchar_t* text;  // null: no such string
    } cases[] = {
        {100, L"Quorvex3"},
        {101, L"Config File Class"},
        {200, L"Error opening/creating configuration file."},
        {201, nullptr},
        {202, L"Cannot read/write file because it has not been opened."},
        {203, L"A newer version of the application is required."},
        {204, L"Invalid file format detected on line %u."},
        {205, L"Error encountered while processing tags, not all tags used"},
        {206, nullptr},
        {209, nullptr},
        {210, L"Quorvex internal error 1"},
        {212, L"Quorvex internal error 3"},
        {217, L"Quorvex internal error 8"},
        {218, L"Quorvex internal error 9"},
        {219, nullptr},
    };
    for (const auto& c : cases) {
        WCHAR text[512] = {};
        const int length = LoadStringW(m_hModule, c.id, text, 512);
        if (c.text)
            EXPECT_EQ(WString(c.text), WString(text, length)) << c.id;
        else
            EXPECT_EQ(0, length) << c.id;
    }
}

TEST_F(ResourcesTest, VersionBlock) {
    const WString path = Quorvex3Path();
    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &handle);
    ASSERT_GT(size, 0u);
    std::vector<BYTE> block(size);
    ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, size, block.data()));

    VS_FIXEDFILEINFO* pFixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&pFixed), &length));
    EXPECT_EQ(MAKELONG(10, 3), pFixed->dwFileVersionMS);
    EXPECT_EQ(MAKELONG(1, 0), pFixed->dwFileVersionLS);
    EXPECT_EQ(MAKELONG(9, 4), pFixed->dwProductVersionMS);
    EXPECT_EQ(0u, pFixed->dwProductVersionLS);
    EXPECT_EQ(static_cast<DWORD>(VFT_DLL), pFixed->dwFileType);
    EXPECT_EQ(static_cast<DWORD>(VOS__WINDOWS32), pFixed->dwFileOS);

    const struct {
        const wchar_t* name;
        const wchar_t* value;
    } strings[] = {
        {L"FileDescription", L"Quorvex3 Module"}, {L"FileVersion", L"3.10.01"},
        {L"InternalName", L"Quorvex3"},           {L"OriginalFilename", L"Quorvex3.DLL"},
        {L"ProductVersion", L"4.09.00"},          {L"OLESelfRegister", L""},
        {L"Comments", L""},                       {L"LegalTrademarks", L""},
        {L"PrivateBuild", L""},                   {L"SpecialBuild", L""},
    };
    for (const auto& s : strings) {
        const WString query = WString(L"\\StringFileInfo\\040904B0\\") + s.name;
        WCHAR* pValue = nullptr;
        length = 0;
        ASSERT_TRUE(VerQueryValueW(block.data(), query.c_str(), reinterpret_cast<void**>(&pValue), &length))
            << testing::PrintToString(std::wstring(s.name));
        EXPECT_EQ(WString(s.value), WString(pValue ? pValue : L"")) << testing::PrintToString(std::wstring(s.name));
    }
    DWORD* pTranslation = nullptr;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&pTranslation),
                               &length));
    EXPECT_EQ(MAKELONG(0x0409, 1200), *pTranslation);
}

TEST_F(ResourcesTest, ActivationManifestNamesTheClassAndThisArchitecture) {
    HRSRC hResource = FindResourceW(m_hModule, MAKEINTRESOURCEW(2), MAKEINTRESOURCEW(24));
    ASSERT_NE(nullptr, hResource);
    const char* bytes = static_cast<const char*>(LockResource(LoadResource(m_hModule, hResource)));
    const std::string manifest(bytes, SizeofResource(m_hModule, hResource));
#ifdef _WIN64
    const char* architecture = "processorArchitecture=\"amd64\"";
#else
    const char* architecture = "processorArchitecture=\"x86\"";
#endif
    const char* fragments[] = {
        "xmlns=\"urn:schemas-microsoft-com:asm.v1\" manifestVersion=\"1.0\"",
        "<assemblyIdentity name=\"Quorvex3\"",
        architecture,
        "type=\"win32\" version=\"1.0.0.0\"",
        "<file name=\"Quorvex3.dll\" hashalg=\"SHA1\">",
        "clsid=\"{A7BB3EBA-C106-41C6-AC07-93578C4C33DF}\" tlbid=\"{100EE405-FD8C-47C1-AB05-9560B27631CC}\" "
        "description=\"ConfigFile Class\" threadingModel=\"both\" progid=\"Brenlow.Zandel.Quorvex3.ConfigFile\"",
        "<progid>Brenlow.Zandel.Quorvex3.ConfigFile.1</progid>",
        "<typelib tlbid=\"{100EE405-FD8C-47C1-AB05-9560B27631CC}\" resourceid=\"1\" version=\"1.0\" helpdir=\"\" "
        "flags=\"HASDISKIMAGE\"/>",
        "<comInterfaceExternalProxyStub name=\"IConfigFile\" iid=\"{45327B61-43F6-4B32-92B7-A80B01B4EC2E}\" "
        "tlbid=\"{100EE405-FD8C-47C1-AB05-9560B27631CC}\" "
        "proxyStubClsid32=\"{00020424-0000-0000-C000-000000000046}\"/>",
    };
    for (const char* fragment : fragments) EXPECT_NE(std::string::npos, manifest.find(fragment)) << fragment;
}

}  // namespace
