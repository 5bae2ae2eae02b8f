// The ConfigFile object linked into this program, for what a client cannot
// reach: the message utilities and the kinds of failure description. (The
// TagSpec version lookup is reached, with its failures, by Read.)
#include "Quorvex3.h"
#include "configfile/ConfigFile.h"
#include "configfile/FailureDescription.h"
#include "configfile/QuorvexUtils.h"
#include "tests/server/ComTestSupport.h"

#include <gtest/gtest.h>

using namespace testsupport;

namespace {

CObjectMapEntry ObjectMap[] = {
    OBJECT_ENTRY(CLSID_ConfigFile, ConfigFile),
    OBJECT_MAP_TERMINATOR,
};

// This program is the module: its resources are Quorvex3.dll's.
class ModuleEnvironment : public testing::Environment {
public:
    void SetUp() override { _Module.Init(ObjectMap, GetModuleHandleW(nullptr), &LIBID_Quorvex3); }
    void TearDown() override { _Module.Term(); }
};
const testing::Environment* const moduleEnvironment = testing::AddGlobalTestEnvironment(new ModuleEnvironment);

TEST(QuorvexUtils, ResourceStringsAndSystemMessagesShareOneBuffer) {
    const wchar_t* first = Quorvex_Utils::GetResourceString(202);
    EXPECT_EQ(L"Cannot read/write file because it has not been opened.", WString(first));
    EXPECT_EQ(first, Quorvex_Utils::GetResourceString(203));
    EXPECT_EQ(L"A newer version of the application is required.", WString(first));
    EXPECT_EQ(L"", WString(Quorvex_Utils::GetResourceString(201)));

    Quorvex_Utils::CSysErrorMessage message;
    const wchar_t* text = message.GetMessageString(ERROR_FILE_NOT_FOUND);
    ASSERT_NE(nullptr, text);
    EXPECT_NE(0u, wcslen(text));
    EXPECT_EQ(text, message.GetMessageString(ERROR_ACCESS_DENIED));  // looked up once
    EXPECT_EQ(nullptr, Quorvex_Utils::CSysErrorMessage().GetMessageString(0x2FFFFFFF));
}

TEST(FailureDescription, EachKindGivesItsText) {
    CComInit com;
    Quorvex_Utils::CSysErrorMessage system;
    const WString systemText = system.GetMessageString(static_cast<unsigned long>(E_OUTOFMEMORY));
    const struct {
        const char* name;
        CFailureDescription description;
        HRESULT hr;
        HRESULT expectedResult;
        WString expectedText;
    } cases[] = {
        {"string id", CFailureDescription::StringId(204), E_FAIL, E_FAIL,
         L"Invalid file format detected on line %u."},
        {"string id without result", CFailureDescription::StringId(202), 0, static_cast<HRESULT>(0x800400CA),
         L"Cannot read/write file because it has not been opened."},
        {"resource string", CFailureDescription::ResourceString(215), E_FAIL, E_FAIL, L"Quorvex internal error 6"},
        {"HRESULT text", CFailureDescription::HResultText(E_UNEXPECTED), E_UNEXPECTED, E_UNEXPECTED,
         utility::genHResultAsString(E_UNEXPECTED)},
        {"system message", CFailureDescription::SystemMessage(E_OUTOFMEMORY), E_OUTOFMEMORY, E_OUTOFMEMORY,
         systemText},
        {"no system message", CFailureDescription::SystemMessage(static_cast<HRESULT>(0xA0041234)), E_FAIL, E_FAIL,
         L"Unknown Error"},
        {"text without result", CFailureDescription::Text(L"plain"), 0, DISP_E_EXCEPTION, L"plain"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.expectedResult, c.description.Set(CLSID_ConfigFile, IID_IConfigFile, c.hr));
        const CErrorSnapshot info = TakeErrorInfo();
        ASSERT_TRUE(info.bPresent);
        EXPECT_EQ(c.expectedText, info.strDescription);
        EXPECT_TRUE(IsEqualGUID(IID_IConfigFile, info.guid));
    }
}

}  // namespace
