// Reads that succeed or are cancelled: what reaches the tag server and the
// client's collection, QueryLoad, the log and the debugger output.
#include "ReadFixture.h"

#include "platform/CriticalSection.h"

#include <algorithm>
#include <cwchar>

namespace readtest {
namespace {

testing::Environment* const g_environment = testing::AddGlobalTestEnvironment(new CComTestEnvironment);

// Values of every kind the file can hold, around sections that are skipped.
const std::wstring kMixedFile =
    L"1.4.2\r\n"
    L"; a comment\r\n"
    L"0001.0002.0003.0004 = \"plain\"\r\n"
    L"0001.0002.0003.0005=\"say \\\"hi\\\"\\\\ \\t\\n\"\r\n"
    L"0001.0002.0003.0006 =\r\n"
    L"0001.0002.0003.0007 = \"\"\r\n"
    L"!NEWER CAN_IGNORE\r\n"
    L"0009.0009.0009.0009 = \"skipped\"\r\n"
    L"!END\r\n"
    L"000a.BBBB.0c.D = \"last\"\r\n";

const std::vector<TagRecord> kMixedTags = {
    Text(L"0001.0002.0003.0004", L"plain"), Text(L"0001.0002.0003.0005", L"say \"hi\"\\ \t\n"),
    NoValue(L"0001.0002.0003.0006"),        Text(L"0001.0002.0003.0007", L""),
    Text(L"000a.BBBB.0c.D", L"last"),
};

const Calls kFullRead = {"CreateTags", "get_Database", "get_TagSpecVersion", "BulkLoad",
                         "BeginUpdate", "Update",      "EndUpdate"};

using ReadWithDoubles = ReadFixture;

// QueryLoad gets the file's and the database's versions; unless cancelled,
// the pairs go over in one bulk load and one bracketed update, and the log
// names the database's version, not the file's.
TEST_F(ReadWithDoubles, QueryLoadThenOneBulkLoadAndOneBracketedUpdateUnlessCancelled) {
    // Cancelled, the read ends before the rest of the file is read.
    const std::wstring kCancelledFile = kMixedFile + L"not a tag line\r\n";
    const std::vector<TagRecord> kKept = {Text(L"FFFF.0000.0000.0001", L"kept")};
    const struct {
        const char* name;
        std::wstring file;
        const wchar_t* dbVersion;
        bool bCancel;
        std::vector<TagRecord> tags;  // what the client holds afterwards
    } cases[] = {
        {"tags of every kind, versions differ", kMixedFile, L"1.4.3", false, kMixedTags},
        {"versions equal", kMixedFile, L"1.4.2", false, kMixedTags},
        {"a version and nothing else", L"1.0.0\r\n!EMPTY CAN_IGNORE\r\n!END\r\n", L"1.0.0", false, {}},
        {"versions differ, cancelled", kCancelledFile, L"2.0", true, kKept},
        {"versions equal, cancelled", kCancelledFile, L"1.4.2", true, kKept},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        StartScenario(c.dbVersion);
        CComPtr<CRecordingSink> sink = QueryLoadSink(c.bCancel);
        const CAdvisedSink advised(m_pFile.Get(), DIID__IConfigFileEvents, sink.Get());
        OpenReadOnly(c.file);
        const CLogLine outcome = c.bCancel ? Info(L"The read operation was cancelled by the user.")
                                           : Info(std::wstring(L"Reading configuration version ") + c.dbVersion + L" from file.");
        // Reading again on the same open object sees the whole file again.
        for (int pass = 1; pass <= 2; ++pass) {
            const size_t before = m_pScenario->Calls().size();
            const CLogWatch log;
            ASSERT_EQ(S_OK, Read(m_pServer->Dispatch(), m_pClient->Dispatch()));
            EXPECT_FALSE(TakeErrorInfo().bPresent);
            EXPECT_EQ((std::vector<CLogLine>{Info(kBeginLine), outcome}), log.NewLines());
            EXPECT_EQ(c.tags, m_pClient->Contents());
            const Calls calls = m_pScenario->Calls();
            EXPECT_EQ(c.bCancel ? kUpToVersion : kFullRead, Calls(calls.begin() + before, calls.end()));
        }
        ASSERT_EQ(2u, sink->Calls().size());
        EXPECT_EQ(c.file.substr(0, c.file.find(L'\r')), sink->Calls()[0].strFileVersion);
        EXPECT_EQ(c.dbVersion, sink->Calls()[0].strDbVersion);
        EXPECT_FALSE(sink->Calls()[0].bCancelOnEntry);
        ASSERT_EQ(2u, m_pServer->Created().size());
        // The new collection was released: only the double's list holds it.
        EXPECT_EQ(1u, m_pServer->Created()[0]->AddRef() - 1);
        m_pServer->Created()[0]->Release();
    }
}

// Debugger output: the platform raises one of these for every message.
constexpr DWORD kPrintAnsi = 0x40010006;  // DBG_PRINTEXCEPTION_C
constexpr DWORD kPrintWide = 0x4001000A;  // DBG_PRINTEXCEPTION_WIDE_C
CComAutoCriticalSection g_captureLock;
std::vector<std::wstring> g_messages;

LONG CALLBACK CaptureDebugOutput(EXCEPTION_POINTERS* pointers) {
    const EXCEPTION_RECORD& record = *pointers->ExceptionRecord;
    const DWORD code = record.ExceptionCode;
    if ((code != kPrintAnsi && code != kPrintWide) || record.NumberParameters < 2) return EXCEPTION_CONTINUE_SEARCH;
    // The first parameter counts the terminator.
    const int length = std::max(0, static_cast<int>(record.ExceptionInformation[0]) - 1);
    const void* text = reinterpret_cast<const void*>(record.ExceptionInformation[1]);
    std::wstring message;
    if (code == kPrintWide) {
        message.assign(static_cast<const wchar_t*>(text), length);
    } else if (length > 0) {
        message.resize(MultiByteToWideChar(CP_ACP, 0, static_cast<const char*>(text), length, nullptr, 0));
        MultiByteToWideChar(CP_ACP, 0, static_cast<const char*>(text), length, &message[0], static_cast<int>(message.size()));
    }
    CCriticalSectionLock lock(g_captureLock);
    g_messages.push_back(std::move(message));
    // Handled: a system that raised the wide form does not repeat it as 8-bit text.
    return EXCEPTION_CONTINUE_EXECUTION;
}

TEST_F(ReadWithDoubles, TestLinesGoToTheDebuggerOutputOnly) {
    StartScenario(L"1.0.0");
    const std::wstring testLine = L"check: value 5 \"as is\" \\n";
    OpenReadOnly(L"1.0.0\r\n!TEST CAN_IGNORE\r\n" + testLine + L"\r\n0001.0002.0003.0004 = \"t\"\r\n!END\r\n"
                 L"0001.0002.0003.0005 = \"x\"\r\n");
    const CLogWatch log;
    g_messages.clear();
    void* const handler = AddVectoredExceptionHandler(1, CaptureDebugOutput);
    const HRESULT hr = Read(m_pServer->Dispatch(), m_pClient->Dispatch());
    RemoveVectoredExceptionHandler(handler);
    ASSERT_EQ(S_OK, hr);
    // Sent as they stand, without a line end; the log's own lines go to the
    // debugger output too, each ending in one.
    EXPECT_EQ(1, std::count(g_messages.begin(), g_messages.end(), testLine));
    EXPECT_EQ(1, std::count(g_messages.begin(), g_messages.end(), L"0001.0002.0003.0004 = \"t\""));
    for (const CLogLine& line : log.NewLines()) {
        EXPECT_EQ(std::wstring::npos, line.text.find(L"check:"));
        EXPECT_EQ(std::wstring::npos, line.text.find(L"0001.0002.0003.0004"));
    }
    EXPECT_EQ(std::vector<TagRecord>{Text(L"0001.0002.0003.0005", L"x")}, m_pClient->Contents());
}

// More pairs than the pair buffer first holds (past its first size by a few
// of its growth steps), into the reference tag server: every tag arrives in
// order, whatever ends the lines.
TEST_F(ReadFixture, ManyTagsAllArriveInOrderInTheReferenceServer) {
    constexpr ULONG kManyTags = 10000 + 3 * 500 + 7;
    const struct {
        const char* name;
        const wchar_t* lineEnd;
        bool bEndAfterLast;
    } cases[] = {{"CR LF", L"\r\n", true}, {"CR alone, none after the last tag", L"\r", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::wstring text = std::wstring(L"1.0.0") + c.lineEnd;
        std::vector<TagRecord> expected;
        for (ULONG i = 0; i < kManyTags; ++i) {
            wchar_t id[24];
            std::swprintf(id, 24, L"%04lX.%04lX.0000.0001", i >> 8, i & 0xFF);
            const std::wstring value = L"v" + std::to_wstring(i);
            text += std::wstring(id) + (i % 3 ? L" = \"" + value + L"\"" : L" =");
            if (i + 1 < kManyTags || c.bEndAfterLast) text += c.lineEnd;
            expected.push_back(i % 3 ? Text(id, value.c_str()) : NoValue(id));
        }
        CComPtr<ITagServer> server = NewReferenceServer();
        CComPtr<ITags> client = NewReferenceCollection(server.Get());
        OpenReadOnly(text);
        ASSERT_EQ(S_OK, Read(server.Get(), client.Get()));
        EXPECT_EQ(expected, Contents(client.Get()));
    }
}

}  // namespace
}  // namespace readtest
