// ConfigFile::Write against the fault-injecting tag server doubles: the bytes
// it writes, and for every failure the HRESULT, log line and error
// information, with the configuration file left as it was and no temporary
// file behind.
#include "WriteTestSupport.h"

#include "platform/SafeArray.h"
#include "platform/Variant.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

using namespace doubles;
using namespace writetest;

namespace {

const HRESULT kInjected = static_cast<HRESULT>(0x80041234);
const std::string kOldBytes = "former contents, which a failed write must leave alone\r\n";

class WriteEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        m_strLog = std::wstring(temp) + L"quorvex-write-test-" + std::to_wstring(GetCurrentProcessId()) + L".log";
        CLogFile::UseFor(m_strLog);
    }
    void TearDown() override {
        CoUninitialize();
        DeleteFileW(m_strLog.c_str());
    }

private:
    std::wstring m_strLog;
};
const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new WriteEnvironment);

VARIANT Bool(bool value) {
    VARIANT v;
    V_VT(&v) = VT_BOOL;
    V_BOOL(&v) = value ? VARIANT_TRUE : VARIANT_FALSE;
    return v;
}

VARIANT Int(LONG value) {
    VARIANT v;
    V_VT(&v) = VT_I4;
    V_I4(&v) = value;
    return v;
}

VARIANT Double(double value) {
    VARIANT v;
    V_VT(&v) = VT_R8;
    V_R8(&v) = value;
    return v;
}

class WriteTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(testsupport::WriteBytes(setup.Path(), kOldBytes));
        ASSERT_EQ(S_OK, setup.Open());
    }
    void TearDown() override { setup.config->Close(); }

    CComPtr<CTagsDouble> ThreeTags() {
        CComPtr<CTagsDouble> tags = CTagsDouble::Create(scenario);
        tags->AddText(L"1.0.0.1", L"one");
        tags->AddText(L"1.0.0.2", nullptr);
        tags->AddText(L"1.0.0.3", L"three");
        return tags;
    }

    void ExpectFileUntouched() {
        setup.config->Close();
        EXPECT_EQ(kOldBytes, setup.Bytes());
        EXPECT_TRUE(setup.TildeFiles().empty());
    }

    ScenarioPtr scenario = CScenario::Create();
    CWriteSetup setup;
};

// ---- What a successful write leaves in the file --------------------------------

TEST_F(WriteTest, WritesMarkVersionAndOneLinePerTagInEnumerationOrder) {
    CComPtr<CTagsDouble> tags = ThreeTags();
    EXPECT_EQ(S_OK, setup.Write(tags->Dispatch()));
    EXPECT_FALSE(setup.error.bPresent);
    setup.config->Close();
    EXPECT_EQ(FileBytes(L"1.0.0", {L"1.0.0.1=\"one\"", L"1.0.0.2=", L"1.0.0.3=\"three\""}), setup.Bytes());
    EXPECT_TRUE(setup.TildeFiles().empty());

    const std::vector<std::wstring> expectedInOrder = {
        L"Beginning write to configuration file...", L"Writing configuration version 1.0.0 to file.",
        L"Finished writing to config file.  Total number of Tags written: 3"};
    ASSERT_EQ(expectedInOrder.size(), setup.log.size());
    for (size_t i = 0; i < expectedInOrder.size(); ++i)
        EXPECT_NE(std::wstring::npos, setup.log[i].find(expectedInOrder[i])) << i;
}

TEST_F(WriteTest, ValuesBecomeTheirStringFormQuotedAndEscaped) {
    CComPtr<CTagsDouble> tags = CTagsDouble::Create(scenario);
    tags->AddTag(L"1.0.0.1", Bool(true));
    tags->AddTag(L"1.0.0.2", Bool(false));
    tags->AddTag(L"1.0.0.3", Int(-42));
    tags->AddTag(L"1.0.0.4", Double(3.5));
    tags->AddText(L"1.0.0.5", L"");
    tags->AddText(L"1.0.0.6", nullptr);
    tags->AddText(L"not an id", L"tab\there \"q\" back\\slash\r\n");
    tags->AddText(L"1.0.0.8", L"\x1B\x01\x7F");
    CBstr withNull(L"cut\0here", 8);
    VARIANT text;
    V_VT(&text) = VT_BSTR;
    V_BSTR(&text) = withNull.Get();
    tags->AddTag(L"1.0.0.9", text);

    EXPECT_EQ(S_OK, setup.Write(tags->Dispatch()));
    setup.config->Close();
    EXPECT_EQ(FileBytes(L"1.0.0", {L"1.0.0.1=\"-1\"", L"1.0.0.2=\"0\"", L"1.0.0.3=\"-42\"", L"1.0.0.4=\"3.5\"",
                                   L"1.0.0.5=\"\"", L"1.0.0.6=", L"not an id=\"tab\\there \\\"q\\\" back\\\\slash\\r\\n\"",
                                   L"1.0.0.8=\"\\x0027\\x0001\\x0127\"", L"1.0.0.9=\"cut\""}),
              setup.Bytes());
}

TEST_F(WriteTest, EmptyCollectionGivesMarkVersionAndOneLineEnd) {
    scenario->SetTagSpecVersion(L"not a version");
    CComPtr<CTagsDouble> tags = CTagsDouble::Create(scenario);
    EXPECT_EQ(S_OK, setup.Write(tags->Dispatch()));
    EXPECT_TRUE(HasLineContaining(setup.log, L"Total number of Tags written: 0"));
    setup.config->Close();
    EXPECT_EQ(FileBytes(L"not a version", {}), setup.Bytes());
}

TEST_F(WriteTest, EnumeratorEndingEarlyWritesWhatItGave) {
    scenario->FailAt(Fault::EndEarly, S_FALSE, false, 2);
    CComPtr<CTagsDouble> tags = ThreeTags();
    EXPECT_EQ(S_OK, setup.Write(tags->Dispatch()));
    EXPECT_TRUE(HasLineContaining(setup.log, L"Total number of Tags written: 2"));
    setup.config->Close();
    EXPECT_EQ(FileBytes(L"1.0.0", {L"1.0.0.1=\"one\"", L"1.0.0.2="}), setup.Bytes());
}

// Around the 2040-unit flush and the 4096-byte copy blocks.
TEST_F(WriteTest, ChunksAndCopyBlocksJoinWithoutLossAndCutTheFormerTail) {
    struct {
        const char* name;
        std::vector<size_t> valueLengths;
    } cases[] = {
        {"lines crossing the flush size", {1500, 1500, 1500}},
        {"exactly two copy blocks", {4076}},        // 8 + 12 + 4076 units = 8192 bytes
        {"one unit past two copy blocks", {4077}},
        {"many small lines", std::vector<size_t>(700, 3)},
        {"short text after long ones", {1}},         // cuts the former, longer file
    };
    for (const auto& c : cases) {
        CComPtr<CTagsDouble> tags = CTagsDouble::Create(scenario);
        std::vector<std::wstring> lines;
        for (size_t i = 0; i < c.valueLengths.size(); ++i) {
            const std::wstring id = L"1.0.0." + std::to_wstring(i);
            const std::wstring value(c.valueLengths[i], static_cast<wchar_t>(L'a' + i % 26));
            tags->AddText(id, value.c_str());
            lines.push_back(id + L"=\"" + value + L"\"");
        }
        EXPECT_EQ(S_OK, setup.Write(tags->Dispatch())) << c.name;
        setup.config->Close();  // the open file is shared with no one
        EXPECT_EQ(FileBytes(L"1.0.0", lines), setup.Bytes()) << c.name;
        EXPECT_TRUE(setup.TildeFiles().empty()) << c.name;
        ASSERT_EQ(S_OK, setup.Open());
    }
}

TEST_F(WriteTest, MatchesTheFileQuorvexcfgWritesFromTheSameTags) {
    scenario->SetTagSpecVersion(L"1.4.2");
    CComPtr<CTagsDouble> tags = CTagsDouble::Create(scenario);
    tags->AddText(L"1.0.2A.FF", L"data\\in\tend");
    tags->AddText(L"1.0.2A.100", nullptr);
    tags->AddTag(L"1.0.2B.1", Bool(true));
    tags->AddTag(L"1.0.2B.2", Bool(false));
    tags->AddTag(L"1.0.2C.1", Int(42));
    tags->AddTag(L"1.0.2C.2", Double(3.5));
    tags->AddText(L"1.0.2D.1", L"");
    tags->AddText(L"1.0.2D.2", L"say \"hi\"\r\n");
    tags->AddText(L"1.0.2D.3", L"\x00E9\x4E2D\xD83D\xDE00");
    tags->AddText(L"1.0.2D.4", L"esc\x1B del\x7F");
    CBstr withNull(L"cut\0here", 8);
    VARIANT text;
    V_VT(&text) = VT_BSTR;
    V_BSTR(&text) = withNull.Get();
    tags->AddTag(L"1.0.2D.5", text);
    tags->AddText(L"1.0.2D.6", L"\xDC00z");

    EXPECT_EQ(S_OK, setup.Write(tags->Dispatch()));
    setup.config->Close();
    // golden.cfg is what `quorvexcfg write` makes of golden.jsonl (checked on Linux).
    EXPECT_EQ(testsupport::ReadBytes(QUORVEX_WRITE_GOLDEN_FILE), setup.Bytes());
}

TEST_F(WriteTest, SecondWriteReplacesTheFirstOnTheSameOpenObject) {
    CComPtr<CTagsDouble> many = ThreeTags();
    CComPtr<CTagsDouble> one = CTagsDouble::Create(scenario);
    one->AddText(L"2.0.0.1", L"x");
    EXPECT_EQ(S_OK, setup.Write(many->Dispatch()));
    EXPECT_EQ(S_OK, setup.Write(one->Dispatch()));
    setup.config->Close();
    EXPECT_EQ(FileBytes(L"1.0.0", {L"2.0.0.1=\"x\""}), setup.Bytes());
}

// ---- Failures of the tag server: each leaves the file as it was -----------------

struct TagServerFault {
    const char* name;
    Fault point;
    size_t item;
    bool setsErrorInfo;
    ItemDefect defect;
    HRESULT hr;
    const wchar_t* description;  // null: the HRESULT's text, which begins with its code
    const wchar_t* logLine;
};

const TagServerFault kTagServerFaults[] = {
    {"enumerator", Fault::NewEnum, 0, false, ItemDefect::None, kInjected, nullptr,
     L"No enumerator interface available to given tags collection (0x80041234"},
    {"count", Fault::GetCount, 0, false, ItemDefect::None, kInjected, nullptr,
     L"Error getting number of tags in collection. (0x80041234"},
    {"database", Fault::GetDatabase, 0, false, ItemDefect::None, kInjected, L"Quorvex internal error 8",
     L"Internal error 8: Failed to get database object from tags: 0x80041234"},
    {"version", Fault::GetTagSpecVersion, 0, false, ItemDefect::None, kInjected, L"Quorvex internal error 9",
     L"Internal error 9: Failed to get tags version from tag database object: 0x80041234"},
    {"next at the last item", Fault::Next, 2, false, ItemDefect::None, kInjected,
     L"Error encountered while processing tags, not all tags used",
     L"Failed to enumerate all tag objects in collection. 2 out of 3 processed. 0x80041234"},
    {"identifier", Fault::GetId, 1, false, ItemDefect::None, kInjected, L"Quorvex internal error 2",
     L"Internal Error 2 while getting tag data. Fault: Couldn't get tag ID. Error: 0x80041234"},
    {"value", Fault::GetValue, 2, false, ItemDefect::None, kInjected, L"Quorvex internal error 4",
     L"Internal Error 4 while getting data for tag 1.0.0.3. Fault: Couldn't get value. Error: 0x80041234"},
    {"item without ITag", Fault::None, 0, false, ItemDefect::NotATag, E_INVALIDARG, L"Quorvex internal error 1",
     L"Internal Error 1 while getting tag data. Fault: Couldn't get tag interface. Error: 0x80070057"},
    {"null item", Fault::None, 0, false, ItemDefect::NullItem, E_INVALIDARG, L"Quorvex internal error 1",
     L"Internal Error 1 while getting tag data. Fault: Couldn't get tag interface. Error: 0x80070057"},
    // The tag server's own error information is kept.
    {"enumerator, described", Fault::NewEnum, 0, true, ItemDefect::None, kInjected,
     L"Injected fault in get__NewEnum", L"No enumerator interface available"},
    {"version, described", Fault::GetTagSpecVersion, 0, true, ItemDefect::None, kInjected,
     L"Injected fault in get_TagSpecVersion", L"Internal error 9"},
    {"next, described", Fault::Next, 1, true, ItemDefect::None, kInjected, L"Injected fault in Next",
     L"1 out of 3 processed"},
    {"value, described", Fault::GetValue, 0, true, ItemDefect::None, kInjected, L"Injected fault in get_Value",
     L"Internal Error 4 while getting data for tag 1.0.0.1"},
};

class TagServerFaultTest : public WriteTest, public ::testing::WithParamInterface<TagServerFault> {};

TEST_P(TagServerFaultTest, IsLoggedReportedAndLeavesTheFileAsItWas) {
    const TagServerFault& c = GetParam();
    if (c.point != Fault::None) scenario->FailAt(c.point, c.hr, c.setsErrorInfo, c.item);
    if (c.defect != ItemDefect::None) scenario->DefectiveItem(c.defect, c.item);
    CComPtr<CTagsDouble> tags = ThreeTags();

    EXPECT_EQ(c.hr, setup.Write(tags->Dispatch(), true));  // the failure described, not an earlier one
    EXPECT_TRUE(HasLineContaining(setup.log, c.logLine)) << testsupport::Narrow(c.logLine);
    ASSERT_TRUE(setup.error.bPresent);
    if (c.description) {
        EXPECT_EQ(c.description, setup.error.strDescription);
    } else {
        EXPECT_EQ(0u, setup.error.strDescription.find(L"0x80041234")) << testsupport::Narrow(setup.error.strDescription);
    }
    if (c.setsErrorInfo) {
        EXPECT_EQ(L"TagServerDouble", setup.error.strSource);
    } else {
        EXPECT_EQ(L"Brenlow.Zandel.Quorvex3.ConfigFile.1", setup.error.strSource);
        EXPECT_TRUE(IsEqualGUID(CLSID_ConfigFile, setup.error.guid));
    }
    ExpectFileUntouched();
}

// A row's test name: its name with everything but letters and digits as "_".
template <class Info>
std::string RowName(const Info& info) {
    std::string name = info.param.name;
    for (char& ch : name) if (!isalnum(static_cast<unsigned char>(ch))) ch = '_';
    return name;
}

INSTANTIATE_TEST_SUITE_P(EachCall, TagServerFaultTest, ::testing::ValuesIn(kTagServerFaults),
                         RowName<::testing::TestParamInfo<TagServerFault>>);

TEST_F(WriteTest, ValueWithoutAStringFormFailsTheWholeWrite) {
    CComPtr<CTagsDouble> tags = ThreeTags();
    CSafeArray numbers(SafeArrayCreateVector(VT_I4, 0, 2));
    VARIANT array;
    V_VT(&array) = VT_ARRAY | VT_I4;
    V_ARRAY(&array) = numbers.Get();
    tags->AddTag(L"1.0.0.2", array);

    const HRESULT hr = setup.Write(tags->Dispatch(), true);
    EXPECT_TRUE(FAILED(hr));
    EXPECT_TRUE(HasLineContaining(setup.log,
                                  L"Internal Error 5 while getting data for tag 1.0.0.2. Fault: Couldn't convert value to string"));
    EXPECT_EQ(L"Quorvex internal error 5", setup.error.strDescription);
    ExpectFileUntouched();
}

// ---- Failures before any tag is read -----------------------------------------------

TEST_F(WriteTest, CollectionWithoutITagsIsRefusedWithoutCallingIt) {
    CComPtr<CTagsDouble> noTags = CTagsDouble::Create(scenario, false);
    CComPtr<IDispatch> plain = MakePlainDispatch();
    IDispatch* const collections[] = {nullptr, noTags->Dispatch(), plain.Get()};
    for (IDispatch* collection : collections) {
        EXPECT_EQ(E_NOINTERFACE, setup.Write(collection));
        EXPECT_TRUE(HasLineContaining(setup.log,
                                      L"Internal error 7: No interface available to given tags collection (0x80004002"));
        EXPECT_EQ(L"Quorvex internal error 7", setup.error.strDescription);
        EXPECT_TRUE(IsEqualGUID(IID_IConfigFile, setup.error.guid));
    }
    EXPECT_TRUE(scenario->Calls().empty());
    ExpectFileUntouched();
}

TEST_F(WriteTest, ClosedObjectIsRefusedBeforeAnythingElse) {
    setup.config->Close();
    CComPtr<CTagsDouble> tags = ThreeTags();
    EXPECT_EQ(static_cast<HRESULT>(0x80040401), setup.Write(tags->Dispatch()));
    ASSERT_EQ(2u, setup.log.size());
    EXPECT_NE(std::wstring::npos, setup.log[0].find(L"Beginning write to configuration file..."));
    EXPECT_NE(std::wstring::npos, setup.log[1].find(L"Write failed because file has not been opened."));
    EXPECT_EQ(L"Cannot read/write file because it has not been opened.", setup.error.strDescription);
    EXPECT_TRUE(IsEqualGUID(IID_IConfigFile, setup.error.guid));
    EXPECT_TRUE(scenario->Calls().empty());
    ExpectFileUntouched();
}

TEST_F(WriteTest, ReadOnlyOpenIsDeniedAndTheFileStaysAsItWas) {
    setup.config->Close();
    ASSERT_EQ(S_OK, setup.Open(true));
    CComPtr<CTagsDouble> tags = ThreeTags();
    EXPECT_EQ(E_ACCESSDENIED, setup.Write(tags->Dispatch()));
    EXPECT_TRUE(HasLineContaining(setup.log, L"0x80070005"));
    EXPECT_TRUE(setup.error.bPresent);
    ExpectFileUntouched();
}

// The temporary file is the configuration file's path with the first
// character of its name replaced by "~": a folder of that name in its way
// shows where it is looked for.
TEST_F(WriteTest, TemporaryFileSitsBesideTheFileUnderATildeName) {
    const std::wstring blocker = setup.Folder() + L"\\~adio.cfg";
    ASSERT_TRUE(CreateDirectoryW(blocker.c_str(), nullptr));
    CComPtr<CTagsDouble> tags = ThreeTags();
    EXPECT_EQ(E_ACCESSDENIED, setup.Write(tags->Dispatch()));
    EXPECT_TRUE(HasLineContaining(setup.log, L"Error opening file " + blocker + L": 0x80070005"));
    EXPECT_EQ(L"Error opening/creating configuration file.", setup.error.strDescription);
    EXPECT_TRUE(IsEqualGUID(GUID_NULL, setup.error.guid));
    EXPECT_TRUE(scenario->Calls().empty());
    RemoveDirectoryW(blocker.c_str());
    ExpectFileUntouched();
}

// However the path separates its folders, the temporary file sits beside the
// file, and the file it becomes keeps plain attributes, not its hidden ones.
TEST_F(WriteTest, PathWithForwardSlashesWritesLikeOneWithBackslashes) {
    std::wstring forward = setup.Path();
    std::replace(forward.begin(), forward.end(), L'\\', L'/');
    std::wstring lastForward = setup.Path();
    lastForward[lastForward.rfind(L'\\')] = L'/';
    for (const std::wstring& path : {forward, lastForward}) {
        setup.config->Close();
        ASSERT_EQ(S_OK, setup.config->Open(CBstr(path.c_str()), 0));
        EXPECT_EQ(S_OK, setup.Write(ThreeTags()->Dispatch())) << testsupport::Narrow(path);
        setup.config->Close();
        EXPECT_EQ(FileBytes(L"1.0.0", {L"1.0.0.1=\"one\"", L"1.0.0.2=", L"1.0.0.3=\"three\""}), setup.Bytes());
        EXPECT_EQ(0u, GetFileAttributesW(setup.Path().c_str()) & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_TEMPORARY));
        EXPECT_TRUE(setup.TildeFiles().empty());
        ASSERT_TRUE(testsupport::WriteBytes(setup.Path(), kOldBytes));
    }
}

TEST(WriteTemporaryPath, NameBeginningWithTildeCollidesWithItsOwnOpenFile) {
    CWriteSetup setup(L"~adio.cfg");
    ASSERT_TRUE(testsupport::WriteBytes(setup.Path(), kOldBytes));
    ASSERT_EQ(S_OK, setup.Open());
    ScenarioPtr scenario = CScenario::Create();
    CComPtr<CTagsDouble> tags = CTagsDouble::Create(scenario);
    tags->AddText(L"1.0.0.1", L"x");
    EXPECT_EQ(static_cast<HRESULT>(0x80070020), setup.Write(tags->Dispatch()));
    EXPECT_EQ(L"Error opening/creating configuration file.", setup.error.strDescription);
    EXPECT_TRUE(HasLineContaining(setup.log, L"Error opening file " + setup.Path() + L": 0x80070020"));
    setup.config->Close();
    EXPECT_EQ(kOldBytes, setup.Bytes());
}

TEST(WriteTemporaryPath, BareFileNameUsesTheCurrentFolder) {
    CWriteSetup setup;
    wchar_t previous[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, previous);
    ASSERT_TRUE(SetCurrentDirectoryW(setup.Folder().c_str()));
    ASSERT_EQ(S_OK, setup.config->Open(CBstr(L"radio.cfg"), 0));
    ScenarioPtr scenario = CScenario::Create();
    CComPtr<CTagsDouble> tags = CTagsDouble::Create(scenario);
    tags->AddText(L"1.0.0.1", L"x");

    ASSERT_TRUE(CreateDirectoryW(L"~adio.cfg", nullptr));
    EXPECT_EQ(E_ACCESSDENIED, setup.Write(tags->Dispatch()));
    EXPECT_TRUE(HasLineContaining(setup.log, L"Error opening file ~adio.cfg: 0x80070005"));
    RemoveDirectoryW(L"~adio.cfg");

    EXPECT_EQ(S_OK, setup.Write(tags->Dispatch()));
    setup.config->Close();
    SetCurrentDirectoryW(previous);
    EXPECT_EQ(FileBytes(L"1.0.0", {L"1.0.0.1=\"x\""}), setup.Bytes());
    EXPECT_TRUE(setup.TildeFiles().empty());
}

// ---- Faults of the platform's file calls: each leaves the file as it was -------

enum class Step { Chunk, Flush, Rename };

struct PlatformFault {
    const char* name;
    Step step;
    int nth;      // which call of the step fails; 0: the last chunk
    bool bShort;  // the call succeeds with a short count instead
    DWORD error;
    HRESULT hr;
};

const PlatformFault kPlatformFaults[] = {
    {"first chunk short", Step::Chunk, 1, true, 0, HRESULT_FROM_WIN32(ERROR_HANDLE_DISK_FULL)},
    {"last chunk short", Step::Chunk, 0, true, 0, HRESULT_FROM_WIN32(ERROR_HANDLE_DISK_FULL)},
    {"first chunk, disk full", Step::Chunk, 1, false, ERROR_DISK_FULL, HRESULT_FROM_WIN32(ERROR_DISK_FULL)},
    {"second chunk, no error code", Step::Chunk, 2, false, 0, HRESULT_FROM_WIN32(ERROR_HANDLE_DISK_FULL)},
    {"last chunk, I/O error", Step::Chunk, 0, false, ERROR_IO_DEVICE, HRESULT_FROM_WIN32(ERROR_IO_DEVICE)},
    {"flush of the temporary file", Step::Flush, 1, false, ERROR_IO_DEVICE, HRESULT_FROM_WIN32(ERROR_IO_DEVICE)},
    {"rename, access denied", Step::Rename, 1, false, ERROR_ACCESS_DENIED, E_ACCESSDENIED},
    {"rename, no error code", Step::Rename, 1, false, 0, HRESULT_FROM_WIN32(ERROR_WRITE_FAULT)},
};

struct {
    Step step;
    int nth;
    bool bShort;
    DWORD error;
    int seen;
} g_fault;

bool FaultHere(Step step) { return g_fault.step == step && ++g_fault.seen == g_fault.nth; }

BOOL WINAPI FaultyWriteFile(HANDLE file, LPCVOID data, DWORD size, LPDWORD written, LPOVERLAPPED overlapped) {
    if (size > 0 && FaultHere(Step::Chunk)) {
        if (g_fault.bShort) return WriteFile(file, data, size / 2, written, overlapped);
        SetLastError(g_fault.error);
        return FALSE;
    }
    return WriteFile(file, data, size, written, overlapped);
}

BOOL WINAPI FaultyFlushFileBuffers(HANDLE file) {
    if (!FaultHere(Step::Flush)) return FlushFileBuffers(file);
    SetLastError(g_fault.error);
    return FALSE;
}

BOOL WINAPI FaultySetFileInformationByHandle(HANDLE file, FILE_INFO_BY_HANDLE_CLASS kind, LPVOID info, DWORD size) {
    if (kind != FileRenameInfo || !FaultHere(Step::Rename)) return SetFileInformationByHandle(file, kind, info, size);
    SetLastError(g_fault.error);
    return FALSE;
}

class PlatformFaultTest : public WriteTest, public ::testing::WithParamInterface<PlatformFault> {
protected:
    // Lines long enough that the text goes to the temporary file in several chunks.
    CComPtr<CTagsDouble> LongLines() {
        CComPtr<CTagsDouble> tags = CTagsDouble::Create(scenario);
        for (int i = 0; i < 8; ++i) tags->AddText(L"1.0.0." + std::to_wstring(i), std::wstring(1500, L'v').c_str());
        return tags;
    }
    // The number of chunks a write of LongLines() makes, counted in another folder.
    int CountChunks() {
        CWriteSetup other;
        EXPECT_EQ(S_OK, other.Open());
        g_fault = {Step::Chunk, -1, false, 0, 0};
        EXPECT_EQ(S_OK, other.Write(LongLines()->Dispatch()));
        return g_fault.seen;
    }
};

TEST_P(PlatformFaultTest, FailsTheWriteAndLeavesTheFileAsItWas) {
    const PlatformFault& c = GetParam();
    CImportPatch patches[] = {
        {L"Quorvex3.dll", "WriteFile", reinterpret_cast<void*>(&FaultyWriteFile)},
        {L"Quorvex3.dll", "FlushFileBuffers", reinterpret_cast<void*>(&FaultyFlushFileBuffers)},
        {L"Quorvex3.dll", "SetFileInformationByHandle", reinterpret_cast<void*>(&FaultySetFileInformationByHandle)},
    };
    for (const CImportPatch& patch : patches) ASSERT_TRUE(patch.IsSet());
    const int chunks = CountChunks();
    ASSERT_GE(chunks, 3);
    g_fault = {c.step, c.nth > 0 ? c.nth : chunks, c.bShort, c.error, 0};

    EXPECT_EQ(c.hr, setup.Write(LongLines()->Dispatch()));
    if (c.step == Step::Chunk) {
        // A chunk's failure is logged with the system's message, without error information.
        EXPECT_FALSE(setup.error.bPresent);
        EXPECT_FALSE(HasLineContaining(setup.log, L"Finished writing"));
    } else {
        wchar_t code[12];
        swprintf(code, 12, L"0x%08lX", static_cast<unsigned long>(c.hr));
        EXPECT_TRUE(HasLineContaining(setup.log, L"Error writing configuration file " + setup.Path() + L": " + code));
        EXPECT_EQ(0u, setup.error.strDescription.find(code)) << testsupport::Narrow(setup.error.strDescription);
        EXPECT_TRUE(IsEqualGUID(GUID_NULL, setup.error.guid));
    }
    // The object still holds its file, alone.
    EXPECT_EQ(INVALID_HANDLE_VALUE, CreateFileW(setup.Path().c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                                nullptr, OPEN_EXISTING, 0, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), GetLastError());
    ExpectFileUntouched();
}

INSTANTIATE_TEST_SUITE_P(EachStep, PlatformFaultTest, ::testing::ValuesIn(kPlatformFaults),
                         RowName<::testing::TestParamInfo<PlatformFault>>);

// A disk that really fills up, in the folder limited_disk.sh gives (a 1 MiB
// file size limit, or a 1 MiB tmpfs): 0.4 MB of former text, 1.2 MB of new.
TEST(DiskLimit, FullDiskFailsTheWriteAndLeavesTheFileAsItWas) {
    wchar_t folder[MAX_PATH];
    if (!GetEnvironmentVariableW(L"QUORVEX_LIMITED_FOLDER", folder, MAX_PATH)) GTEST_SKIP() << "run by limited_disk.sh";
    wchar_t temp[MAX_PATH];
    GetEnvironmentVariableW(L"TMP", temp, MAX_PATH);
    SetEnvironmentVariableW(L"TMP", folder);  // where CWriteSetup makes its folder
    CWriteSetup setup;
    SetEnvironmentVariableW(L"TMP", temp);
    const std::string oldBytes = FileBytes(L"1.0", std::vector<std::wstring>(200, std::wstring(1000, L'o')));
    ASSERT_TRUE(testsupport::WriteBytes(setup.Path(), oldBytes));
    ASSERT_EQ(S_OK, setup.Open());
    ScenarioPtr scenario = CScenario::Create();
    CComPtr<CTagsDouble> tags = CTagsDouble::Create(scenario);
    for (int i = 0; i < 600; ++i) tags->AddText(L"1.0.0." + std::to_wstring(i), std::wstring(1000, L'n').c_str());

    EXPECT_THAT(setup.Write(tags->Dispatch()), ::testing::AnyOf(HRESULT_FROM_WIN32(ERROR_HANDLE_DISK_FULL),
                                                                HRESULT_FROM_WIN32(ERROR_DISK_FULL)));
    EXPECT_FALSE(setup.error.bPresent);
    EXPECT_TRUE(setup.TildeFiles().empty());
    setup.config->Close();
    EXPECT_TRUE(setup.Bytes() == oldBytes);
}

}  // namespace
