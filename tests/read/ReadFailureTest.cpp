// Every way Read can fail: the HRESULT, the log lines, the error information,
// the calls the tag server saw, and a client collection left as it was.
#include "ReadFixture.h"
#include "platform/FileHandle.h"

namespace readtest {
namespace {

constexpr const wchar_t* kDoubleSource = L"TagServerDouble";
const CLogLine kVersionLine = Info(L"Reading configuration version 2.0.0 from file.");
const std::wstring kGoodFile = L"1.0.0\r\n0001.0002.0003.0004 = \"a\"\r\n";

struct ExpectedReport {
    HRESULT hr;
    std::vector<CLogLine> log;  // after the line that begins every read
    bool bErrorInfo;
    std::wstring description;
    GUID guid;  // looked at only in this object's own error information
    std::wstring source = kProgId;
};

ExpectedReport Reported(HRESULT hr, std::vector<CLogLine> log, std::wstring description, const GUID& guid) {
    return {hr, std::move(log), true, std::move(description), guid};
}
ExpectedReport Unreported(HRESULT hr, std::vector<CLogLine> log) { return {hr, std::move(log), false, L"", GUID_NULL}; }

// The system's message text for code without its line end, "" when it has none.
std::wstring SystemMessage(DWORD code) {
    wchar_t* buffer = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
        MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text = length ? std::wstring(buffer, length) : std::wstring();
    LocalFree(buffer);
    return text;
}

class ReadFailure : public ReadFixture {
protected:
    void SetUp() override {
        ReadFixture::SetUp();
        StartScenario();
    }
    // The database of the doubles reports a version other than the files'.
    void StartScenario() { ReadFixture::StartScenario(L"2.0.0"); }

    void ExpectReport(const ExpectedReport& expected, HRESULT hr, const CLogWatch& log, const Calls& calls) {
        EXPECT_EQ(expected.hr, hr);
        std::vector<CLogLine> lines = {Info(kBeginLine)};
        lines.insert(lines.end(), expected.log.begin(), expected.log.end());
        EXPECT_EQ(lines, log.NewLines());
        EXPECT_EQ(calls, m_pScenario->Calls());
        EXPECT_EQ(std::vector<TagRecord>{Text(L"FFFF.0000.0000.0001", L"kept")}, m_pClient->Contents());
        const CErrorSnapshot info = TakeErrorInfo();
        ASSERT_EQ(expected.bErrorInfo, info.bPresent);
        if (!expected.bErrorInfo) return;
        EXPECT_EQ(expected.description, info.strDescription);
        EXPECT_EQ(expected.source, info.strSource);
        if (expected.source == kProgId) { EXPECT_TRUE(IsEqualGUID(expected.guid, info.guid)); }
    }
};

// ---- files the reader refuses

TEST_F(ReadFailure, ReaderErrorsAreLoggedAndReportedWithTheirLine) {
    const struct {
        const char* name;
        const wchar_t* file;  // null: an empty file just made by a read-write open
        ExpectedReport expected;
        Calls calls;
    } cases[] = {
        {"syntax error on line 7",
         L"1.0.0\r\n0001.0002.0003.0004 = \"a\"\r\n0001.0002.0003.0005 =\r\n!OLD CAN_IGNORE\r\nskipped\r\n!END\r\n0001.0002.0003.000G = \"bad\"\r\n",
         Reported(E_FAIL, {kVersionLine, Error(L"Parse error on line 7: \"0001.0002.0003.000G\", Expected: ="), Error(L"Invalid file format detected on line 7.")},
                  L"Invalid file format detected on line 7.", IID_IConfigFile), kUpToVersion},
        {"empty file", nullptr,
         Reported(E_FAIL, {Error(L"Parse error on line 1: \"\", Expected: TagSpec version number"), Error(L"Invalid file format detected on line 1.")},
                  L"Invalid file format detected on line 1.", IID_IConfigFile), {"CreateTags"}},
        {"section only a newer application understands", L"1.0.0\r\n0001.0002.0003.0004 = \"a\"\r\n!FUTURE MUST_UNDERSTAND\r\n!END\r\n",
         Reported(E_FAIL, {kVersionLine, Error(L"Line 3: \"!FUTURE MUST_UNDERSTAND\", Section is not understood"), Error(L"A newer version of the application is required.")},
                  L"A newer version of the application is required.", IID_IConfigFile), kUpToVersion},
        {"END directive on a test section", L"1.0.0\r\n!TEST END\r\n",
         Reported(E_UNEXPECTED, {kVersionLine, Error(L"Fatal error at line 2: \"!TEST END\", Unexpected directive")},
                  HResultText(E_UNEXPECTED), CLSID_ConfigFile), kUpToVersion},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        StartScenario();
        if (c.file) {
            OpenReadOnly(c.file);
        } else {
            OpenPath(m_folder.File(L"new.cfg"), 0);
        }
        const CLogWatch log;
        const HRESULT hr = Read(m_pServer->Dispatch(), m_pClient->Dispatch());
        ExpectReport(c.expected, hr, log, c.calls);
        m_pFile->Close();
    }
}

// ---- the tag server fails, with error information of its own or without

TEST_F(ReadFailure, TagServerFailuresAreReportedAndLoadNothing) {
    // Codes without a system text, so that their description is the bare code.
    constexpr HRESULT kDatabaseFault = static_cast<HRESULT>(0x80041201);
    constexpr HRESULT kVersionFault = static_cast<HRESULT>(0x80041202);
    constexpr HRESULT kBulkLoadFault = static_cast<HRESULT>(0x80041203);
    const std::wstring accessDenied = SystemMessage(static_cast<DWORD>(E_ACCESSDENIED));
    const struct {
        Fault fault;
        HRESULT hr;
        bool bServerInfoKept;
        ExpectedReport expected;  // without the tag server's error information
        Calls calls;              // the last one fails
    } cases[] = {
        // The description of CreateTags' failure is always the system's.
        {Fault::CreateTags, E_ACCESSDENIED, false,
         Reported(E_ACCESSDENIED, {Error(L"Error creating tags collection. HRESULT(0x80070005)")},
                  accessDenied.empty() ? L"Unknown Error" : accessDenied, IID_ITags), {"CreateTags"}},
        {Fault::GetDatabase, kDatabaseFault, true,
         Reported(kDatabaseFault, {Error(L"Internal error 8: Failed to get database object from tags: " + HResultText(kDatabaseFault))},
                  L"Quorvex internal error 8", CLSID_ConfigFile), {"CreateTags", "get_Database"}},
        {Fault::GetTagSpecVersion, kVersionFault, true,
         Reported(kVersionFault, {Error(L"Internal error 9: Failed to get tags version from tag database object: " + HResultText(kVersionFault))},
                  L"Quorvex internal error 9", CLSID_ConfigFile), kUpToVersion},
        {Fault::BulkLoad, kBulkLoadFault, true,
         Reported(kBulkLoadFault, {kVersionLine, Error(L"Bulk load process failed.")}, HResultText(kBulkLoadFault), CLSID_ConfigFile),
         {"CreateTags", "get_Database", "get_TagSpecVersion", "BulkLoad"}},
        // A new collection that cannot bulk load is never called.
        {Fault::NoTagsFromConfig, S_OK, false,
         Reported(E_NOINTERFACE, {kVersionLine, Error(L"Bulk load process failed.")}, HResultText(E_NOINTERFACE), CLSID_ConfigFile), kUpToVersion},
    };
    OpenReadOnly(kGoodFile);
    for (const auto& c : cases) {
        for (const bool bServerSetsInfo : {false, true}) {
            for (const bool afterUnfetchedFailure : {false, true}) {
                SCOPED_TRACE(c.calls.back() + (bServerSetsInfo ? ", described" : "") +
                             (afterUnfetchedFailure ? ", after an unfetched failure" : ""));
                StartScenario();
                m_pScenario->FailAt(c.fault, c.hr, bServerSetsInfo);
                ExpectedReport expected = c.expected;
                if (bServerSetsInfo && c.bServerInfoKept) {
                    expected.description = CScenario::FaultDescription(c.calls.back());
                    expected.source = kDoubleSource;
                }
                ClearErrorInfo();
                // Its error information, left on the thread, must not describe the read's failure.
                if (afterUnfetchedFailure) { EXPECT_EQ(E_NOINTERFACE, m_pFile->Write(nullptr)); }
                const CLogWatch log;
                IDispatch* collection = m_pClient->Dispatch();
                const HRESULT hr = m_pFile->Read(m_pServer->Dispatch(), &collection);
                ExpectReport(expected, hr, log, c.calls);
            }
        }
    }
}

TEST_F(ReadFailure, SinkThatLeavesAFailureInTheResultEndsTheRead) {
    OpenReadOnly(kGoodFile);
    const HRESULT sinkFailure = static_cast<HRESULT>(0x80041204);
    CComPtr<CRecordingSink> sink = QueryLoadSink(false, sinkFailure);
    const CAdvisedSink advised(m_pFile.Get(), DIID__IConfigFileEvents, sink.Get());
    const CLogWatch log;
    const HRESULT hr = Read(m_pServer->Dispatch(), m_pClient->Dispatch());
    // Returned as it came: no line of its own and no error information.
    ExpectReport(Unreported(sinkFailure, {}), hr, log, kUpToVersion);
    EXPECT_EQ(1u, sink->Calls().size());
}

// ---- arguments and state

TEST_F(ReadFailure, ArgumentsAndStateAreCheckedBeforeTheTagServerIsUsed) {
    std::wstring nullPointer = SystemMessage(HRESULT_CODE(E_POINTER));
    while (!nullPointer.empty() && (nullPointer.back() == L'\n' || nullPointer.back() == L'\r')) nullPointer.pop_back();
    const std::vector<CLogLine> nullPointerLines = nullPointer.empty() ? std::vector<CLogLine>{} : std::vector<CLogLine>{Error(nullPointer)};
    const std::wstring noTags = L"Internal error 7: No interface available to given tags collection (" + HResultText(E_NOINTERFACE) + L")";
    CComPtr<CTagsDouble> withoutTags = CTagsDouble::Create(m_pScenario, false);
    IDispatch* const client = m_pClient->Dispatch();
    IDispatch* const server = m_pServer->Dispatch();
    const struct {
        const char* name;
        bool bOpen;
        IDispatch* server;
        IDispatch* collection;
        bool bNullPointer;  // no place for TagCollection at all
        ExpectedReport expected;
    } cases[] = {
        {"closed object, even with null arguments", false, nullptr, nullptr, true,
         Reported(static_cast<HRESULT>(0x80040401), {Error(L"Read failed because file has not been opened.")},
                  L"Cannot read/write file because it has not been opened.", IID_IConfigFile)},
        {"null TagServer", true, nullptr, client, false, Unreported(E_POINTER, nullPointerLines)},
        {"null TagCollection", true, server, nullptr, true, Unreported(E_POINTER, nullPointerLines)},
        {"TagServer without ITagServer", true, withoutTags->Dispatch(), client, false,
         Reported(E_NOINTERFACE, {Error(L"No tag server interface available from given tag server (" + HResultText(E_NOINTERFACE) + L")")},
                  HResultText(E_NOINTERFACE), IID_IConfigFile)},
        {"TagCollection pointing to null", true, server, nullptr, false, Reported(E_NOINTERFACE, {Error(noTags)}, L"Quorvex internal error 7", IID_IConfigFile)},
        {"TagCollection without ITags", true, server, withoutTags->Dispatch(), false, Reported(E_NOINTERFACE, {Error(noTags)}, L"Quorvex internal error 7", IID_IConfigFile)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        m_pFile->Close();
        if (c.bOpen) OpenReadOnly(kGoodFile);
        const CLogWatch log;
        IDispatch* inOut = c.collection;
        ClearErrorInfo();
        const HRESULT hr = m_pFile->Read(c.server, c.bNullPointer ? nullptr : &inOut);
        EXPECT_EQ(c.collection, inOut) << "Read must never write TagCollection";
        ExpectReport(c.expected, hr, log, {});
    }
}

TEST_F(ReadFailure, FileThatCannotBeLoadedIsReportedWithTheSystemError) {
    // A pipe opens like a file but cannot be loaded like one.
    const std::wstring pipeName = L"\\\\.\\pipe\\quorvex-read-" + std::to_wstring(GetCurrentProcessId());
    CFileHandle pipe(CreateNamedPipeW(pipeName.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE, PIPE_UNLIMITED_INSTANCES,
                                      4096, 4096, 0, nullptr));
    ASSERT_TRUE(pipe.IsValid());
    OpenPath(pipeName, 1);
    const CLogWatch log;
    const HRESULT hr = Read(m_pServer->Dispatch(), m_pClient->Dispatch());
    ASSERT_TRUE(FAILED(hr));
    EXPECT_EQ(FACILITY_WIN32, HRESULT_FACILITY(hr));
    ExpectReport(Reported(hr, {Error(L"Error reading file " + pipeName + L": " + HResultText(hr))}, HResultText(hr), GUID_NULL),
                 hr, log, {"CreateTags"});
}

}  // namespace
}  // namespace readtest
