// Reads that succeed or are cancelled: what reaches the tag server and the
// client's collection, QueryLoad, the log and the debugger output.
#include "ReadFixture.h"
#include "TagDoubles.h"

#include <algorithm>

namespace readtest {
namespace {

using doubles::CScenario;
using doubles::CTagServerDouble;
using doubles::CTagsDouble;
using doubles::TagRecord;
using Calls = std::vector<std::string>;

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
    Text(L"0001.0002.0003.0004", L"plain"),
    Text(L"0001.0002.0003.0005", L"say \"hi\"\\ \t\n"),
    NoValue(L"0001.0002.0003.0006"),
    Text(L"0001.0002.0003.0007", L""),
    Text(L"000a.BBBB.0c.D", L"last"),
};

const Calls kFullRead = {"CreateTags", "get_Database", "get_TagSpecVersion", "BulkLoad",
                         "BeginUpdate", "Update",      "EndUpdate"};

class ReadIntoReferenceServer : public ReadFixture {};

TEST_F(ReadIntoReferenceServer, LoadsEveryPairIntoTheClientCollectionOfTheReferenceServer) {
    CComPtr<ITagServer> server = NewReferenceServer();
    SetTagSpecVersion(server.Get(), L"3.0.1");
    CComPtr<ITags> client = NewReferenceCollection(server.Get());
    CBstr staleId(L"FFFF.FFFF.FFFF.FFFF");
    CComPtr<ITag> stale;
    ASSERT_EQ(S_OK, client->Add(staleId, VARIANT{}, stale.Out()));

    CConfigFileOnDisk file(kMixedFile);
    OpenReadOnly(file.Path());
    const CLogWatch log;
    ASSERT_EQ(S_OK, Read(server.Get(), client.Get()));

    EXPECT_EQ(kMixedTags, Contents(client.Get()));
    // The database's version is logged, not the file's.
    EXPECT_EQ((std::vector<CLogLine>{Info(kBeginLine), Info(L"Reading configuration version 3.0.1 from file.")}),
              log.NewLines());
    EXPECT_FALSE(TakeErrorInfo().bPresent);
    VARIANT_BOOL open = VARIANT_FALSE;
    EXPECT_EQ(S_OK, m_pFile->get_IsOpen(&open));
    EXPECT_EQ(VARIANT_TRUE, open);
}

class ReadWithDoubles : public ReadFixture {
protected:
    void SetUp() override {
        ReadFixture::SetUp();
        m_pClient->AddText(L"FFFF.0000.0000.0001", L"replaced");
    }

    std::shared_ptr<CScenario> m_pScenario = CScenario::Create();
    CComPtr<CTagServerDouble> m_pServer = CTagServerDouble::Create(m_pScenario);
    CComPtr<CTagsDouble> m_pClient = CTagsDouble::Create(m_pScenario);
};

TEST_F(ReadWithDoubles, HandsThePairsOverInOneBulkLoadAndOneBracketedUpdate) {
    struct Case {
        const char* name;
        std::wstring file;
        std::vector<TagRecord> tags;
    };
    const std::vector<Case> cases = {
        {"tags of every kind", kMixedFile, kMixedTags},
        {"a version and nothing else", L"1.0.0\r\n!EMPTY CAN_IGNORE\r\n!END\r\n", {}},
        {"no line end after the last tag", L"1.0\r\n0001.0002.0003.0004 = \"x\"", {Text(L"0001.0002.0003.0004", L"x")}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_pScenario = CScenario::Create();
        m_pServer = CTagServerDouble::Create(m_pScenario);
        m_pClient = CTagsDouble::Create(m_pScenario);
        CConfigFileOnDisk file(c.file);
        OpenReadOnly(file.Path());
        ASSERT_EQ(S_OK, Read(m_pServer->Dispatch(), m_pClient->Dispatch()));

        EXPECT_EQ(kFullRead, m_pScenario->Calls());
        const std::vector<doubles::BulkLoadRecord> loads = m_pScenario->BulkLoads();
        ASSERT_EQ(1u, loads.size());
        EXPECT_TRUE(loads[0].idsGiven && loads[0].valuesGiven);
        EXPECT_EQ(1u, loads[0].idDimensions);
        EXPECT_EQ(0, loads[0].idLowerBound);
        EXPECT_EQ(0, loads[0].valueLowerBound);
        EXPECT_EQ(VT_BSTR, loads[0].idType);
        EXPECT_EQ(VT_VARIANT, loads[0].valueType);
        EXPECT_EQ(c.tags, loads[0].tags);
        EXPECT_EQ(c.tags, m_pClient->Contents());
        ASSERT_EQ(1u, m_pServer->Created().size());
        // The new collection was released: only the double's list holds it.
        EXPECT_EQ(1u, m_pServer->Created()[0]->AddRef() - 1);
        m_pServer->Created()[0]->Release();
    }
}

TEST_F(ReadWithDoubles, QueryLoadGetsBothVersionsAndCancelLoadsNothing) {
    struct Case {
        const char* name;
        std::wstring dbVersion;
        bool bCancel;
    };
    for (const Case& c : {Case{"versions differ, cancelled", L"2.0", true},
                          Case{"versions equal, cancelled", L"1.4.2", true},
                          Case{"versions equal, loaded", L"1.4.2", false},
                          Case{"versions differ, loaded", L"1.4.3", false}}) {
        SCOPED_TRACE(c.name);
        m_pScenario = CScenario::Create();
        m_pScenario->SetTagSpecVersion(c.dbVersion);
        m_pServer = CTagServerDouble::Create(m_pScenario);
        m_pClient = CTagsDouble::Create(m_pScenario);
        m_pClient->AddText(L"FFFF.0000.0000.0001", L"kept");
        CComPtr<CRecordingSink> sink = QueryLoadSink(c.bCancel);
        const CAdvisedSink advised(m_pFile.Get(), DIID__IConfigFileEvents, sink.Get());
        // Cancelled, the read ends before the rest of the file is read.
        CConfigFileOnDisk file(c.bCancel ? kMixedFile + L"not a tag line\r\n" : kMixedFile);
        OpenReadOnly(file.Path());
        const CLogWatch log;

        EXPECT_EQ(S_OK, Read(m_pServer->Dispatch(), m_pClient->Dispatch()));

        ASSERT_EQ(1u, sink->Calls().size());
        EXPECT_EQ(L"1.4.2", sink->Calls()[0].strFileVersion);
        EXPECT_EQ(c.dbVersion, sink->Calls()[0].strDbVersion);
        EXPECT_FALSE(sink->Calls()[0].bCancelOnEntry);
        EXPECT_FALSE(TakeErrorInfo().bPresent);
        if (c.bCancel) {
            EXPECT_EQ((Calls{"CreateTags", "get_Database", "get_TagSpecVersion"}), m_pScenario->Calls());
            EXPECT_EQ(std::vector<TagRecord>{Text(L"FFFF.0000.0000.0001", L"kept")}, m_pClient->Contents());
            EXPECT_EQ((std::vector<CLogLine>{Info(kBeginLine), Info(L"The read operation was cancelled by the user.")}),
                      log.NewLines());
        } else {
            EXPECT_EQ(kFullRead, m_pScenario->Calls());
            EXPECT_EQ(kMixedTags, m_pClient->Contents());
        }
    }
}

TEST_F(ReadWithDoubles, TestLinesGoToTheDebuggerOutputOnly) {
    const std::wstring testLine = L"check: value 5 \"as is\" \\n";
    CConfigFileOnDisk file(L"1.0.0\r\n!TEST CAN_IGNORE\r\n" + testLine + L"\r\n0001.0002.0003.0004 = \"t\"\r\n!END\r\n"
                           L"0001.0002.0003.0005 = \"x\"\r\n");
    OpenReadOnly(file.Path());
    const CLogWatch log;
    std::vector<std::wstring> messages;
    {
        const CDebugOutputCapture capture;
        ASSERT_EQ(S_OK, Read(m_pServer->Dispatch(), m_pClient->Dispatch()));
        messages = capture.Messages();
    }
    // Sent as they stand, without a line end; the log's own lines go to the
    // debugger output too, each ending in one.
    EXPECT_EQ(1, std::count(messages.begin(), messages.end(), testLine));
    EXPECT_EQ(1, std::count(messages.begin(), messages.end(), L"0001.0002.0003.0004 = \"t\""));
    for (const CLogLine& line : log.NewLines()) {
        EXPECT_EQ(std::wstring::npos, line.text.find(L"check:"));
        EXPECT_EQ(std::wstring::npos, line.text.find(L"0001.0002.0003.0004"));
    }
    EXPECT_EQ(std::vector<TagRecord>{Text(L"0001.0002.0003.0005", L"x")}, m_pClient->Contents());
}

TEST_F(ReadWithDoubles, ReadingAgainOnTheSameOpenObjectSeesTheWholeFile) {
    CConfigFileOnDisk file(kMixedFile);
    OpenReadOnly(file.Path());
    for (int pass = 1; pass <= 2; ++pass) {
        SCOPED_TRACE(pass);
        m_pClient->Clear();
        ASSERT_EQ(S_OK, Read(m_pServer->Dispatch(), m_pClient->Dispatch()));
        EXPECT_EQ(kMixedTags, m_pClient->Contents());
    }
}

}  // namespace
}  // namespace readtest
