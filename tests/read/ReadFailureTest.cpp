// Every way Read can fail: the HRESULT, the log lines, the error information,
// the calls the tag server saw, and a client collection left as it was.
#include "ReadFixture.h"
#include "TagDoubles.h"
#include "platform/FileHandle.h"

namespace readtest {
namespace {

using doubles::CScenario;
using doubles::CTagServerDouble;
using doubles::CTagsDouble;
using doubles::Fault;
using Calls = std::vector<std::string>;

constexpr const wchar_t* kDoubleSource = L"TagServerDouble";
// The database of the doubles reports a version other than the files'.
constexpr const wchar_t* kDbVersion = L"2.0.0";
const CLogLine kVersionLine = Info(L"Reading configuration version 2.0.0 from file.");
const std::wstring kGoodFile = L"1.0.0\r\n0001.0002.0003.0004 = \"a\"\r\n";

struct ExpectedReport {
    HRESULT hr;
    std::vector<CLogLine> log;  // after the line that begins every read
    bool bErrorInfo;
    std::wstring description;
    std::wstring source;
    GUID guid;  // looked at only in this object's own error information
};

ExpectedReport Reported(HRESULT hr, std::vector<CLogLine> log, std::wstring description, const GUID& guid,
                        std::wstring source = kProgId) {
    return {hr, std::move(log), true, std::move(description), std::move(source), guid};
}

ExpectedReport Unreported(HRESULT hr, std::vector<CLogLine> log) { return {hr, std::move(log), false, L"", L"", GUID_NULL}; }

void ExpectReport(const ExpectedReport& expected, HRESULT hr, const CLogWatch& log) {
    EXPECT_EQ(expected.hr, hr);
    std::vector<CLogLine> lines = {Info(kBeginLine)};
    lines.insert(lines.end(), expected.log.begin(), expected.log.end());
    EXPECT_EQ(lines, log.NewLines());
    const CErrorSnapshot info = TakeErrorInfo();
    ASSERT_EQ(expected.bErrorInfo, info.bPresent);
    if (!expected.bErrorInfo) return;
    EXPECT_EQ(expected.description, info.strDescription);
    EXPECT_EQ(expected.source, info.strSource);
    if (expected.source == kProgId) {
        EXPECT_TRUE(IsEqualGUID(expected.guid, info.guid));
    }
}

class ReadFailure : public ReadFixture {
protected:
    void SetUp() override {
        ReadFixture::SetUp();
        StartScenario();
    }

    // Fresh doubles: a server and a client collection holding one tag.
    void StartScenario() {
        m_pScenario = CScenario::Create();
        m_pScenario->SetTagSpecVersion(kDbVersion);
        m_pServer = CTagServerDouble::Create(m_pScenario);
        m_pClient = CTagsDouble::Create(m_pScenario);
        m_pClient->AddText(L"FFFF.0000.0000.0001", L"kept");
    }

    void ExpectNothingLoaded(const Calls& expectedCalls) {
        EXPECT_EQ(expectedCalls, m_pScenario->Calls());
        EXPECT_EQ(std::vector<doubles::TagRecord>{Text(L"FFFF.0000.0000.0001", L"kept")}, m_pClient->Contents());
    }

    std::shared_ptr<CScenario> m_pScenario;
    CComPtr<CTagServerDouble> m_pServer;
    CComPtr<CTagsDouble> m_pClient;
};

// ---- files the reader refuses

struct ReaderErrorCase {
    const char* name;
    std::wstring file;
    ExpectedReport expected;
    Calls calls;
};

const Calls kUpToVersion = {"CreateTags", "get_Database", "get_TagSpecVersion"};

std::vector<ReaderErrorCase> ReaderErrorCases() {
    return {
        {"syntax error on line 7",
         L"1.0.0\r\n0001.0002.0003.0004 = \"a\"\r\n0001.0002.0003.0005 =\r\n!OLD CAN_IGNORE\r\nskipped\r\n"
         L"!END\r\n0001.0002.0003.000G = \"bad\"\r\n",
         Reported(E_FAIL,
                  {kVersionLine, Error(L"Parse error on line 7: \"0001.0002.0003.000G\", Expected: ="),
                   Error(L"Invalid file format detected on line 7.")},
                  L"Invalid file format detected on line 7.", IID_IConfigFile),
         kUpToVersion},
        {"first line is not a version",
         L"x.1\r\n",
         Reported(E_FAIL,
                  {Error(L"Parse error on line 1: \"x\", Expected: Numeric digit"),
                   Error(L"Invalid file format detected on line 1.")},
                  L"Invalid file format detected on line 1.", IID_IConfigFile),
         {"CreateTags"}},
        {"section only a newer application understands",
         L"1.0.0\r\n0001.0002.0003.0004 = \"a\"\r\n!FUTURE MUST_UNDERSTAND\r\n!END\r\n",
         Reported(E_FAIL,
                  {kVersionLine, Error(L"Line 3: \"!FUTURE MUST_UNDERSTAND\", Section is not understood"),
                   Error(L"A newer version of the application is required.")},
                  L"A newer version of the application is required.", IID_IConfigFile),
         kUpToVersion},
        {"END directive on a test section",
         L"1.0.0\r\n!TEST END\r\n",
         Reported(E_UNEXPECTED, {kVersionLine, Error(L"Fatal error at line 2: \"!TEST END\", Unexpected directive")},
                  HResultText(E_UNEXPECTED), CLSID_ConfigFile),
         kUpToVersion},
    };
}

TEST_F(ReadFailure, ReaderErrorsAreLoggedAndReportedWithTheirLine) {
    for (const ReaderErrorCase& c : ReaderErrorCases()) {
        SCOPED_TRACE(c.name);
        StartScenario();
        CConfigFileOnDisk file(c.file);
        OpenReadOnly(file.Path());
        const CLogWatch log;
        const HRESULT hr = Read(m_pServer->Dispatch(), m_pClient->Dispatch());
        ExpectReport(c.expected, hr, log);
        ExpectNothingLoaded(c.calls);
        m_pFile->Close();
    }
}

TEST_F(ReadFailure, EmptyFileJustCreatedByAReadWriteOpenHasNoVersion) {
    CConfigFileOnDisk placeholder(L"");
    const std::wstring path = placeholder.Path() + L".new";
    CBstr bstrPath(path.c_str());
    ASSERT_EQ(S_OK, m_pFile->Open(bstrPath, 0));
    const CLogWatch log;
    const HRESULT hr = Read(m_pServer->Dispatch(), m_pClient->Dispatch());
    m_pFile->Close();
    DeleteFileW(path.c_str());
    ExpectReport(Reported(E_FAIL,
                          {Error(L"Parse error on line 1: \"\", Expected: TagSpec version number"),
                           Error(L"Invalid file format detected on line 1.")},
                          L"Invalid file format detected on line 1.", IID_IConfigFile),
                 hr, log);
    ExpectNothingLoaded({"CreateTags"});
}

// ---- the tag server fails

struct TagServerFaultCase {
    const char* name;
    Fault fault;
    HRESULT hr;
    bool bServerSetsErrorInfo;
    ExpectedReport expected;
    Calls calls;
};

// Codes without a system text, so that their description is the bare code.
constexpr HRESULT kDatabaseFault = static_cast<HRESULT>(0x80041201);
constexpr HRESULT kVersionFault = static_cast<HRESULT>(0x80041202);
constexpr HRESULT kBulkLoadFault = static_cast<HRESULT>(0x80041203);

std::wstring CreateTagsDescription() {
    const std::wstring text = SystemMessage(static_cast<DWORD>(E_ACCESSDENIED));
    return text.empty() ? L"Unknown Error" : text;
}

std::vector<TagServerFaultCase> TagServerFaultCases() {
    const std::wstring databaseLine = L"Internal error 8: Failed to get database object from tags: ";
    const std::wstring versionLine = L"Internal error 9: Failed to get tags version from tag database object: ";
    const Calls upToBulkLoad = {"CreateTags", "get_Database", "get_TagSpecVersion", "BulkLoad"};
    return {
        // The description of CreateTags' failure is always the system's.
        {"CreateTags", Fault::CreateTags, E_ACCESSDENIED, false,
         Reported(E_ACCESSDENIED, {Error(L"Error creating tags collection. HRESULT(0x80070005)")},
                  CreateTagsDescription(), IID_ITags),
         {"CreateTags"}},
        {"CreateTags with error information", Fault::CreateTags, E_ACCESSDENIED, true,
         Reported(E_ACCESSDENIED, {Error(L"Error creating tags collection. HRESULT(0x80070005)")},
                  CreateTagsDescription(), IID_ITags),
         {"CreateTags"}},
        {"get_Database", Fault::GetDatabase, kDatabaseFault, false,
         Reported(kDatabaseFault, {Error(databaseLine + HResultText(kDatabaseFault))}, L"Quorvex internal error 8",
                  CLSID_ConfigFile),
         {"CreateTags", "get_Database"}},
        {"get_Database with error information", Fault::GetDatabase, kDatabaseFault, true,
         Reported(kDatabaseFault, {Error(databaseLine + HResultText(kDatabaseFault))},
                  CScenario::FaultDescription("get_Database"), GUID_NULL, kDoubleSource),
         {"CreateTags", "get_Database"}},
        {"get_TagSpecVersion", Fault::GetTagSpecVersion, kVersionFault, false,
         Reported(kVersionFault, {Error(versionLine + HResultText(kVersionFault))}, L"Quorvex internal error 9",
                  CLSID_ConfigFile),
         kUpToVersion},
        {"get_TagSpecVersion with error information", Fault::GetTagSpecVersion, kVersionFault, true,
         Reported(kVersionFault, {Error(versionLine + HResultText(kVersionFault))},
                  CScenario::FaultDescription("get_TagSpecVersion"), GUID_NULL, kDoubleSource),
         kUpToVersion},
        {"BulkLoad", Fault::BulkLoad, kBulkLoadFault, false,
         Reported(kBulkLoadFault, {kVersionLine, Error(L"Bulk load process failed.")}, HResultText(kBulkLoadFault),
                  CLSID_ConfigFile),
         upToBulkLoad},
        {"BulkLoad with error information", Fault::BulkLoad, kBulkLoadFault, true,
         Reported(kBulkLoadFault, {kVersionLine, Error(L"Bulk load process failed.")},
                  CScenario::FaultDescription("BulkLoad"), GUID_NULL, kDoubleSource),
         upToBulkLoad},
    };
}

TEST_F(ReadFailure, TagServerFailuresAreReportedAndLoadNothing) {
    CConfigFileOnDisk file(kGoodFile);
    OpenReadOnly(file.Path());
    for (const TagServerFaultCase& c : TagServerFaultCases()) {
        for (const bool afterUnfetchedFailure : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (afterUnfetchedFailure ? ", after an unfetched failure" : ""));
            StartScenario();
            m_pScenario->FailAt(c.fault, c.hr, c.bServerSetsErrorInfo);
            ClearErrorInfo();
            // Its error information, left on the thread, must not describe the read's failure.
            if (afterUnfetchedFailure) EXPECT_EQ(E_NOINTERFACE, m_pFile->Write(nullptr));
            const CLogWatch log;
            IDispatch* collection = m_pClient->Dispatch();
            ExpectReport(c.expected, m_pFile->Read(m_pServer->Dispatch(), &collection), log);
            ExpectNothingLoaded(c.calls);
        }
    }
}

TEST_F(ReadFailure, NewCollectionWithoutBulkLoadIsNeverCalled) {
    CConfigFileOnDisk file(kGoodFile);
    OpenReadOnly(file.Path());
    m_pScenario->NewCollectionsLackTagsFromConfig();
    const CLogWatch log;
    const HRESULT hr = Read(m_pServer->Dispatch(), m_pClient->Dispatch());
    ExpectReport(Reported(E_NOINTERFACE, {kVersionLine, Error(L"Bulk load process failed.")},
                          HResultText(E_NOINTERFACE), CLSID_ConfigFile),
                 hr, log);
    ExpectNothingLoaded(kUpToVersion);
}

TEST_F(ReadFailure, SinkThatLeavesAFailureInTheResultEndsTheRead) {
    CConfigFileOnDisk file(kGoodFile);
    OpenReadOnly(file.Path());
    const HRESULT sinkFailure = static_cast<HRESULT>(0x80041204);
    CComPtr<CRecordingSink> sink = QueryLoadSink(false, sinkFailure);
    const CAdvisedSink advised(m_pFile.Get(), DIID__IConfigFileEvents, sink.Get());
    const CLogWatch log;
    const HRESULT hr = Read(m_pServer->Dispatch(), m_pClient->Dispatch());
    // Returned as it came: no line of its own and no error information.
    ExpectReport(Unreported(sinkFailure, {}), hr, log);
    EXPECT_EQ(1u, sink->Calls().size());
    ExpectNothingLoaded(kUpToVersion);
}

// ---- arguments and state

enum class Arrangement {
    Closed,
    NullServer,
    NullCollectionPointer,
    ServerWithoutTagServer,
    CollectionPointsToNull,
    CollectionWithoutTags,
};

struct ArgumentCase {
    const char* name;
    Arrangement arrangement;
    ExpectedReport expected;
};

std::vector<CLogLine> NullPointerLines() {
    std::wstring text = SystemMessage(HRESULT_CODE(E_POINTER));
    if (text.empty()) return {};
    // A system text ends in a line break of its own.
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r')) text.pop_back();
    return {Error(text)};
}

std::vector<ArgumentCase> ArgumentCases() {
    const std::wstring noTags =
        L"Internal error 7: No interface available to given tags collection (" + HResultText(E_NOINTERFACE) + L")";
    return {
        {"closed object, even with null arguments", Arrangement::Closed,
         Reported(static_cast<HRESULT>(0x80040401), {Error(L"Read failed because file has not been opened.")},
                  L"Cannot read/write file because it has not been opened.", IID_IConfigFile)},
        {"null TagServer", Arrangement::NullServer, Unreported(E_POINTER, NullPointerLines())},
        {"null TagCollection", Arrangement::NullCollectionPointer, Unreported(E_POINTER, NullPointerLines())},
        {"TagServer without ITagServer", Arrangement::ServerWithoutTagServer,
         Reported(E_NOINTERFACE,
                  {Error(L"No tag server interface available from given tag server (" + HResultText(E_NOINTERFACE) +
                         L")")},
                  HResultText(E_NOINTERFACE), IID_IConfigFile)},
        {"TagCollection pointing to null", Arrangement::CollectionPointsToNull,
         Reported(E_NOINTERFACE, {Error(noTags)}, L"Quorvex internal error 7", IID_IConfigFile)},
        {"TagCollection without ITags", Arrangement::CollectionWithoutTags,
         Reported(E_NOINTERFACE, {Error(noTags)}, L"Quorvex internal error 7", IID_IConfigFile)},
    };
}

TEST_F(ReadFailure, ArgumentsAndStateAreCheckedBeforeTheTagServerIsUsed) {
    CConfigFileOnDisk file(kGoodFile);
    CComPtr<CTagsDouble> withoutTags = CTagsDouble::Create(m_pScenario, false);
    for (const ArgumentCase& c : ArgumentCases()) {
        SCOPED_TRACE(c.name);
        if (c.arrangement == Arrangement::Closed)
            m_pFile->Close();
        else
            OpenReadOnly(file.Path());
        IDispatch* collection = m_pClient->Dispatch();
        ClearErrorInfo();
        const CLogWatch log;
        HRESULT hr = E_NOTIMPL;
        switch (c.arrangement) {
        case Arrangement::Closed:
            hr = m_pFile->Read(nullptr, nullptr);
            break;
        case Arrangement::NullServer:
            hr = m_pFile->Read(nullptr, &collection);
            break;
        case Arrangement::NullCollectionPointer:
            hr = m_pFile->Read(m_pServer->Dispatch(), nullptr);
            break;
        case Arrangement::ServerWithoutTagServer:
            hr = Read(doubles::MakePlainDispatch().Get(), m_pClient->Dispatch());
            break;
        case Arrangement::CollectionPointsToNull:
            hr = Read(m_pServer->Dispatch(), nullptr);
            break;
        case Arrangement::CollectionWithoutTags:
            hr = Read(m_pServer->Dispatch(), withoutTags->Dispatch());
            break;
        }
        ExpectReport(c.expected, hr, log);
        ExpectNothingLoaded({});
    }
}

TEST_F(ReadFailure, FileThatCannotBeLoadedIsReportedWithTheSystemError) {
    // A pipe opens like a file but cannot be loaded like one.
    const std::wstring pipeName = L"\\\\.\\pipe\\quorvex-read-" + std::to_wstring(GetCurrentProcessId());
    CFileHandle pipe(CreateNamedPipeW(pipeName.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE, PIPE_UNLIMITED_INSTANCES,
                                      4096, 4096, 0, nullptr));
    ASSERT_TRUE(pipe.IsValid());
    OpenReadOnly(pipeName);
    const CLogWatch log;
    const HRESULT hr = Read(m_pServer->Dispatch(), m_pClient->Dispatch());
    ASSERT_TRUE(FAILED(hr));
    EXPECT_EQ(FACILITY_WIN32, HRESULT_FACILITY(hr));
    ExpectReport(Reported(hr, {Error(L"Error reading file " + pipeName + L": " + HResultText(hr))}, HResultText(hr),
                          GUID_NULL),
                 hr, log);
    ExpectNothingLoaded({"CreateTags"});
}

}  // namespace
}  // namespace readtest
