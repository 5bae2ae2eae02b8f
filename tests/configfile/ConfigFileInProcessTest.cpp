// The ConfigFile object linked into this program, for what a client cannot
// reach: the tag specification version lookup, the message utilities and
// the kinds of failure description.
#include "Quorvex3.h"
#include "Scenario.h"
#include "TagDoubles.h"
#include "configfile/ConfigFile.h"
#include "configfile/FailureDescription.h"
#include "configfile/QuorvexUtils.h"
#include "tests/configfile/LogFile.h"
#include "tests/server/ComTestSupport.h"

#include <gtest/gtest.h>

using namespace testsupport;

class ConfigFileTestAccess {
public:
    static HRESULT GetConfigDataVersion(IConfigFile* p, ITags* pTags, BSTR* pbstrVersion) {
        return static_cast<ConfigFile*>(p)->GetConfigDataVersion(pTags, pbstrVersion);
    }
};

namespace {

CObjectMapEntry ObjectMap[] = {
    OBJECT_ENTRY(CLSID_ConfigFile, ConfigFile),
    OBJECT_MAP_TERMINATOR,
};

// This program is the module: its resources are Quorvex3.dll's.
class ModuleEnvironment : public testing::Environment {
public:
    void SetUp() override {
        CTestLog::Start();
        _Module.Init(ObjectMap, GetModuleHandleW(nullptr), &LIBID_Quorvex3);
    }
    void TearDown() override { _Module.Term(); }
};
const testing::Environment* const moduleEnvironment = testing::AddGlobalTestEnvironment(new ModuleEnvironment);

std::string ErrorLine(const WString& text) { return "ERROR Quorvex  " + Narrow(text); }

class ConfigDataVersionTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(S_OK, ConfigFile::_CreatorClass::CreateInstance(nullptr, IID_IConfigFile,
                                                                  reinterpret_cast<void**>(m_pConfigFile.Out())));
        m_pScenario = doubles::CScenario::Create();
        m_pScenario->SetTagSpecVersion(L"1.4.2");
        ClearErrorInfo();
    }
    HRESULT GetVersion(CBstr& version) {
        CComPtr<doubles::CTagsDouble> pTags = doubles::CTagsDouble::Create(m_pScenario);
        return ConfigFileTestAccess::GetConfigDataVersion(m_pConfigFile.Get(), pTags.Get(), version.Out());
    }

    CComInit m_com;
    CComPtr<IConfigFile> m_pConfigFile;
    doubles::ScenarioPtr m_pScenario;
    CTestLog m_log;
};

TEST_F(ConfigDataVersionTest, GivesTheDatabaseVersion) {
    CBstr version;
    ASSERT_EQ(S_OK, GetVersion(version));
    EXPECT_EQ(L"1.4.2", version.ToString());
    EXPECT_EQ((std::vector<std::string>{"get_Database", "get_TagSpecVersion"}), m_pScenario->Calls());
    EXPECT_FALSE(TakeErrorInfo().bPresent);
}

TEST_F(ConfigDataVersionTest, FailuresAreLoggedAndKeepTheTagServersErrorInformation) {
    const HRESULT hrFault = static_cast<HRESULT>(0x80041234);
    const WString hrText = utility::genHResultAsString(hrFault);
    const struct {
        const char* name;
        doubles::Fault fault;
        bool tagServerSetsInfo;
        WString logLine;
        WString description;
        WString source;
        const GUID* guid;  // null: whatever the tag server set
    } cases[] = {
        {"database, no information", doubles::Fault::GetDatabase, false,
         L"Internal error 8: Failed to get database object from tags: " + hrText, L"Quorvex internal error 8",
         L"Brenlow.Zandel.Quorvex3.ConfigFile.1", &CLSID_ConfigFile},
        {"database, information kept", doubles::Fault::GetDatabase, true,
         L"Internal error 8: Failed to get database object from tags: " + hrText,
         doubles::CScenario::FaultDescription("get_Database"), L"TagServerDouble", nullptr},
        {"version, no information", doubles::Fault::GetTagSpecVersion, false,
         L"Internal error 9: Failed to get tags version from tag database object: " + hrText,
         L"Quorvex internal error 9", L"Brenlow.Zandel.Quorvex3.ConfigFile.1", &CLSID_ConfigFile},
        {"version, information kept", doubles::Fault::GetTagSpecVersion, true,
         L"Internal error 9: Failed to get tags version from tag database object: " + hrText,
         doubles::CScenario::FaultDescription("get_TagSpecVersion"), L"TagServerDouble", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        m_pScenario = doubles::CScenario::Create();
        m_pScenario->FailAt(c.fault, hrFault, c.tagServerSetsInfo);
        ClearErrorInfo();
        const size_t mark = m_log.Mark();
        CBstr version;
        EXPECT_EQ(hrFault, GetVersion(version));
        EXPECT_EQ(std::vector<std::string>{ErrorLine(c.logLine)}, m_log.LinesSince(mark));
        const CErrorSnapshot info = TakeErrorInfo();
        ASSERT_TRUE(info.bPresent);
        EXPECT_EQ(c.description, info.strDescription);
        EXPECT_EQ(c.source, info.strSource);
        if (c.guid) {
            EXPECT_TRUE(IsEqualGUID(*c.guid, info.guid));
        }
    }
}

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
