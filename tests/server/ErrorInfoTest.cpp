#include "server/ErrorInfo.h"

#include "Quorvex3.h"
#include "tests/server/ComTestSupport.h"

#include <gtest/gtest.h>

using namespace testsupport;

namespace {

const CLSID kUnregisteredClsid = {0x3c1c8a51, 0x6f0e, 0x4d7e, {0x9a, 0x11, 0x52, 0x63, 0x74, 0x85, 0x96, 0xa7}};

// Quorvex3.dll's string table, loaded as data.
class ErrorInfoTest : public testing::Test {
protected:
    void SetUp() override {
        m_hStrings = LoadLibraryExW(Quorvex3Path().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE(nullptr, m_hStrings);
        ClearErrorInfo();
    }
    void TearDown() override { FreeLibrary(m_hStrings); }

    CComInit m_com;
    HMODULE m_hStrings = nullptr;
};

LPCOLESTR Id(UINT id) { return MAKEINTRESOURCEW(id); }

TEST_F(ErrorInfoTest, DescriptionResultAndSourceFollowTheirArguments) {
    const WString longText(1500, L'x');
    const WString kProgId = L"Brenlow.Zandel.Quorvex3.ConfigFile.1";
    const struct {
        const char* name;
        const CLSID& clsid;
        LPCOLESTR description;
        HRESULT hr;
        HRESULT expectedResult;
        WString expectedDescription;
        WString expectedSource;
    } cases[] = {
        {"string id with a result", CLSID_ConfigFile, Id(202), static_cast<HRESULT>(0x80040401),
         static_cast<HRESULT>(0x80040401), L"Cannot read/write file because it has not been opened.", kProgId},
        {"string id without a result", CLSID_ConfigFile, Id(202), 0, static_cast<HRESULT>(0x800400CA),
         L"Cannot read/write file because it has not been opened.", kProgId},
        {"null description is id 0", CLSID_ConfigFile, nullptr, E_FAIL, E_FAIL, L"Unknown Error", kProgId},
        {"id without a string", CLSID_ConfigFile, Id(207), E_FAIL, E_FAIL, L"Unknown Error", kProgId},
        {"text with a result", CLSID_ConfigFile, L"Some text", E_UNEXPECTED, E_UNEXPECTED, L"Some text", kProgId},
        {"text without a result", CLSID_ConfigFile, L"Some text", 0, DISP_E_EXCEPTION, L"Some text", kProgId},
        {"long text passes whole", CLSID_ConfigFile, longText.c_str(), E_FAIL, E_FAIL, longText, kProgId},
        {"unregistered class: no source", kUnregisteredClsid, L"d", E_FAIL, E_FAIL, L"d", L""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.expectedResult,
                  AtlSetErrorInfo(c.clsid, c.description, 0, nullptr, IID_IConfigFile, c.hr, m_hStrings));
        const CErrorSnapshot info = TakeErrorInfo();
        ASSERT_TRUE(info.bPresent);
        EXPECT_EQ(c.expectedDescription, info.strDescription);
        EXPECT_EQ(c.expectedSource, info.strSource);
        EXPECT_TRUE(IsEqualGUID(IID_IConfigFile, info.guid));
    }
}

TEST_F(ErrorInfoTest, HelpIsSetOnlyWithBothContextAndFile) {
    const struct {
        DWORD context;
        LPCOLESTR file;
        DWORD expectedContext;
        WString expectedFile;
    } cases[] = {
        {5, L"help.hlp", 5, L"help.hlp"},
        {5, nullptr, 0, L""},
        {0, L"help.hlp", 0, L""},
    };
    for (const auto& c : cases) {
        AtlSetErrorInfo(CLSID_ConfigFile, L"d", c.context, c.file, GUID_NULL, E_FAIL, m_hStrings);
        CComPtr<IErrorInfo> pInfo;
        ASSERT_EQ(S_OK, GetErrorInfo(0, pInfo.Out()));
        DWORD context = 99;
        CBstr file;
        pInfo->GetHelpContext(&context);
        pInfo->GetHelpFile(file.Out());
        EXPECT_EQ(c.expectedContext, context);
        EXPECT_EQ(c.expectedFile, file.ToString());
    }
}

TEST_F(ErrorInfoTest, ReportErrorUsesTheLowSixteenBitsOfTheIdAndReplacesEarlierInformation) {
    AtlSetErrorInfo(CLSID_ConfigFile, L"first", 0, nullptr, GUID_NULL, E_FAIL, m_hStrings);
    EXPECT_EQ(static_cast<HRESULT>(0x800400CA),
              AtlReportError(CLSID_ConfigFile, 0x100CA, IID_IConfigFile, 0, m_hStrings));
    EXPECT_EQ(L"Cannot read/write file because it has not been opened.", TakeErrorInfo().strDescription);
    EXPECT_FALSE(TakeErrorInfo().bPresent);
}

}  // namespace
