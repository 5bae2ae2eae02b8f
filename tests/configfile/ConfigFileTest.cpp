// A ConfigFile object as a client drives it by its method table: creation,
// Open in both modes, Close, Path, IsOpen and the failures they report.
#include "Quorvex3.h"
#include "contracts/Log.h"
#include "tests/support/ComTestSupport.h"
#include "tests/support/ConfigFileObject.h"

#include <gtest/gtest.h>

using namespace testsupport;

namespace {

const HRESULT kFileNotFound = static_cast<HRESULT>(0x80070002);
const HRESULT kSharingViolation = static_cast<HRESULT>(0x80070020);

const testing::Environment* const g_environment = testing::AddGlobalTestEnvironment(new CComTestEnvironment);

class ConfigFileTest : public testing::Test {
protected:
    static HRESULT Open(IConfigFile* p, const WString& path, bool readOnly) { return p->Open(CBstr(path), readOnly ? 1 : 0); }

    CTempFolder m_folder;
};

// A failed Open is logged and described with the HRESULT's text.
TEST_F(ConfigFileTest, OpenModesAgainstMissingAndExistingFilesAndClose) {
    const struct {
        const char* name;
        bool exists;
        bool readOnly;
        HRESULT expected;
        bool existsAfter;
    } cases[] = {
        {"read-only, missing", false, true, kFileNotFound, false},
        {"read-write, missing: created empty", false, false, S_OK, true},
        {"read-only, existing", true, true, S_OK, true},
        {"read-write, existing: contents kept", true, false, S_OK, true},
    };
    const std::string contents = "\xFF\xFEkept";
    const WString path = m_folder.File(L"modes.cfg");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        DeleteFileW(path.c_str());
        if (c.exists) { ASSERT_TRUE(WriteBytes(path, contents)); }
        CComPtr<IConfigFile> p = NewConfigFile();
        EXPECT_EQ(L"", HeldPath(p.Get()));
        ClearErrorInfo();
        const CLogWatch log;
        EXPECT_EQ(c.expected, Open(p.Get(), path, c.readOnly));
        const WString hrText = utility::genHResultAsString(c.expected);
        std::vector<CLogLine> lines = {Info(L"Opening/Creating configuration file " + path)};
        if (FAILED(c.expected)) lines.push_back(Error(L"Error opening file " + path + L": " + hrText));
        EXPECT_EQ(lines, log.NewLines());
        const CErrorSnapshot info = TakeErrorInfo();
        ASSERT_EQ(FAILED(c.expected), info.bPresent);
        if (info.bPresent) {
            EXPECT_EQ(hrText, info.strDescription);
            EXPECT_EQ(L"Brenlow.Zandel.Quorvex3.ConfigFile.1", info.strSource);
            EXPECT_TRUE(IsEqualGUID(GUID_NULL, info.guid));
        }
        EXPECT_EQ(c.expected == S_OK ? path : L"", HeldPath(p.Get()));
        for (int i = 0; i < 2; ++i) EXPECT_EQ(S_OK, p->Close());  // closing again does no harm
        EXPECT_EQ(L"", HeldPath(p.Get()));
        EXPECT_EQ(c.existsAfter, FileExists(path));
        if (c.existsAfter) { EXPECT_EQ(c.exists ? contents : std::string(), ReadBytes(path)); }
        EXPECT_EQ(E_INVALIDARG, p->get_Path(nullptr));
        EXPECT_EQ(E_INVALIDARG, p->get_IsOpen(nullptr));
    }
}

TEST_F(ConfigFileTest, SharingBetweenTwoObjectsOnOneFile) {
    const struct {
        bool firstReadOnly;
        bool secondReadOnly;
        HRESULT expected;
    } cases[] = {{false, false, kSharingViolation}, {false, true, kSharingViolation}, {true, true, S_OK}, {true, false, kSharingViolation}};
    const WString path = m_folder.File(L"shared.cfg");
    ASSERT_TRUE(WriteBytes(path, "x"));
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "read-only: first " << c.firstReadOnly << ", second " << c.secondReadOnly);
        CComPtr<IConfigFile> first = NewConfigFile(), second = NewConfigFile();
        ASSERT_EQ(S_OK, Open(first.Get(), path, c.firstReadOnly));
        EXPECT_EQ(c.expected, Open(second.Get(), path, c.secondReadOnly));
        EXPECT_EQ(c.expected == S_OK ? path : L"", HeldPath(second.Get()));
    }
}

TEST_F(ConfigFileTest, OpeningAgainClosesTheFirstFile) {
    const WString first = m_folder.File(L"first.cfg"), second = m_folder.File(L"second.cfg");
    CComPtr<IConfigFile> p = NewConfigFile(), other = NewConfigFile();
    ASSERT_EQ(S_OK, Open(p.Get(), first, false));
    ASSERT_EQ(S_OK, Open(p.Get(), second, false));
    EXPECT_EQ(second, HeldPath(p.Get()));
    EXPECT_EQ(S_OK, Open(other.Get(), first, false)) << "the first file is still open";
    ASSERT_EQ(S_OK, other->Close());
    // A failing second open leaves the object closed, the first file free.
    EXPECT_EQ(kFileNotFound, Open(p.Get(), m_folder.File(L"none.cfg"), true));
    EXPECT_EQ(L"", HeldPath(p.Get()));
    EXPECT_EQ(S_OK, Open(other.Get(), second, false)) << "the second file is still open";
}

TEST_F(ConfigFileTest, NullEmptyAndRelativePathsOpenAsTheCreateFileCallDoes) {
    SetLastError(0);
    ASSERT_EQ(INVALID_HANDLE_VALUE, CreateFileW(L"", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    const HRESULT expected = HRESULT_FROM_WIN32(GetLastError());
    CComPtr<IConfigFile> p = NewConfigFile();
    EXPECT_EQ(expected, p->Open(nullptr, 1));
    EXPECT_EQ(expected, Open(p.Get(), L"", true));
    EXPECT_EQ(L"", HeldPath(p.Get()));

    WCHAR previous[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, previous);
    ASSERT_TRUE(SetCurrentDirectoryW(m_folder.Path().c_str()));
    const HRESULT hr = Open(p.Get(), L"relative.cfg", false);
    SetCurrentDirectoryW(previous);
    ASSERT_EQ(S_OK, hr);
    EXPECT_EQ(L"relative.cfg", HeldPath(p.Get()));
    EXPECT_TRUE(FileExists(m_folder.File(L"relative.cfg")));
}

TEST_F(ConfigFileTest, CreationLogsTheModuleAndReleaseClosesAndLogsTerminated) {
    const CLogWatch log;
    CComPtr<IConfigFile> p = NewConfigFile();
    const WString path = m_folder.File(L"released.cfg");
    ASSERT_EQ(S_OK, Open(p.Get(), path, false));
    p.Release();
    EXPECT_EQ((std::vector<CLogLine>{Info(Quorvex3Path() + L". Ver product info: 4.9.0.0.  Ver file info: 3.10.0.1."),
                                     Info(L"Opening/Creating configuration file " + path), CLogLine{L"DEBUG8", L"Terminated"}}),
              log.NewLines());
    CComPtr<IConfigFile> other = NewConfigFile();
    EXPECT_EQ(S_OK, Open(other.Get(), path, false)) << "the released object kept its file open";
}

TEST_F(ConfigFileTest, CreationFailsWithoutALogObjectAndLogsNothing) {
    const CLogWatch log;
    SetEnvironmentVariableW(L"QUORVEX_LOG_UNAVAILABLE", L"1");
    IConfigFile* p = reinterpret_cast<IConfigFile*>(1);
    const HRESULT hr = CoCreateInstance(CLSID_ConfigFile, nullptr, CLSCTX_INPROC_SERVER, IID_IConfigFile, reinterpret_cast<void**>(&p));
    SetEnvironmentVariableW(L"QUORVEX_LOG_UNAVAILABLE", nullptr);
    EXPECT_EQ(static_cast<HRESULT>(utilities::CLog::InitError), hr);
    EXPECT_EQ(nullptr, p);
    EXPECT_TRUE(log.NewLines().empty());
    // The module keeps no lock for the object that was never made.
    EXPECT_NE(nullptr, NewConfigFile().Get());
}

}  // namespace
