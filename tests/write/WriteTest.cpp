// ConfigFile::Write against the fault-injecting tag server doubles: the bytes
// it writes, and for every failure the HRESULT, log line and error
// information, with the configuration file left as it was and no temporary
// file behind.
#include "Quorvex3.h"
#include "TagDoubles.h"
#include "platform/FileHandle.h"
#include "tests/support/ComTestSupport.h"
#include "tests/support/ConfigFileObject.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

using namespace doubles;
using namespace testsupport;

namespace {

const HRESULT kInjected = static_cast<HRESULT>(0x80041234);
const std::string kOldBytes = "former contents, which a failed write must leave alone\r\n";
const testing::Environment* const g_environment = testing::AddGlobalTestEnvironment(new CComTestEnvironment);

// The UTF-16LE bytes of the mark, the version line and each line, all ending in CR LF.
std::string FileBytes(const std::wstring& version, const std::vector<std::wstring>& lines) {
    std::wstring text = version + L"\r\n";
    for (const std::wstring& line : lines) text += line + L"\r\n";
    return Utf16FileBytes(text);
}

const std::string kThreeTagsBytes = FileBytes(L"1.0.0", {L"1.0.0.1=\"one\"", L"1.0.0.2=", L"1.0.0.3=\"three\""});

// A number as a value of the given type (boolean, integer or double).
void AddNumber(CTagsDouble* tags, const wchar_t* id, VARTYPE type, double number) {
    CVariant value;
    V_VT(value.Get()) = VT_R8;
    V_R8(value.Get()) = number;
    ASSERT_EQ(S_OK, VariantChangeType(value.Get(), value.Get(), 0, type));
    tags->AddTag(id, *value.Get());
}

// A ConfigFile open on a file holding kOldBytes in a fresh folder.
class WriteTest : public testing::Test {
protected:
    void SetUp() override {
        config = NewConfigFile();
        ASSERT_TRUE(config);
        ASSERT_TRUE(WriteBytes(path, kOldBytes));
        ASSERT_EQ(S_OK, Open(path));
    }
    void TearDown() override { config->Close(); }

    HRESULT Open(const std::wstring& file, LONG readOnly = 0) { return config->Open(CBstr(file.c_str()), readOnly); }
    // Write, keeping the log lines and error information it left; optionally
    // after a failed Write whose error information nobody fetched.
    HRESULT Write(IDispatch* collection, bool afterUnfetchedFailure = false) {
        ClearErrorInfo();
        if (afterUnfetchedFailure) { EXPECT_EQ(E_NOINTERFACE, config->Write(nullptr)); }
        const CLogWatch watch;
        const HRESULT hr = config->Write(collection);
        log = watch.NewLines();
        error = TakeErrorInfo();
        return hr;
    }
    bool Logged(const std::wstring& text) const {
        return std::any_of(log.begin(), log.end(), [&](const CLogLine& line) { return line.text.find(text) != std::wstring::npos; });
    }
    std::string BytesAfterClose() {
        config->Close();  // the open file is shared with no one
        return ReadBytes(path);
    }
    // No name in the file's folder begins with "~" (a left-behind temporary file).
    bool NoTildeFile() const {
        WIN32_FIND_DATAW data;
        const HANDLE find = FindFirstFileW((path.substr(0, path.rfind(L'\\')) + L"\\~*").c_str(), &data);
        if (find != INVALID_HANDLE_VALUE) FindClose(find);
        return find == INVALID_HANDLE_VALUE;
    }
    // The closed file holds bytes (by default the former ones), and no temporary file is left.
    void ExpectFileHolds(const std::string& bytes = kOldBytes) {
        EXPECT_TRUE(BytesAfterClose() == bytes);  // not printed: it may be large
        EXPECT_TRUE(NoTildeFile());
    }
    CComPtr<CTagsDouble> ThreeTags() {
        CComPtr<CTagsDouble> tags = CTagsDouble::Create(scenario);
        tags->AddText(L"1.0.0.1", L"one");
        tags->AddText(L"1.0.0.2", nullptr);
        tags->AddText(L"1.0.0.3", L"three");
        return tags;
    }

    ScenarioPtr scenario = CScenario::Create();
    CTempFolder folder{L"qvwrite"};
    std::wstring path = folder.File(L"radio.cfg");
    CComPtr<IConfigFile> config;
    std::vector<CLogLine> log;
    CErrorSnapshot error;
};

// ---- What a successful write leaves in the file --------------------------------

// Around the 2040-unit flush and the 4096-byte copy blocks, and collections
// that give nothing or end early; each the second write on the open object,
// after three tags: the shorter ones cut the former tail.
TEST_F(WriteTest, WritesWhatTheCollectionGivesAndCutsTheFormerTail) {
    const struct {
        const char* name;
        std::vector<size_t> valueLengths;
        const wchar_t* version;
        size_t endsAt;  // where the enumerator ends early, or past the end
    } cases[] = {
        {"lines crossing the flush size", {1500, 1500, 1500}, L"1.0.0", 9},
        {"exactly two copy blocks", {4076}, L"1.0.0", 9},  // 8 + 12 + 4076 units = 8192 bytes
        {"one unit past two copy blocks", {4077}, L"1.0.0", 9},
        {"many small lines", std::vector<size_t>(700, 3), L"1.0.0", 9999},
        {"empty collection, version as it is", {}, L"not a version", 9},
        {"enumerator ending early", {1, 2, 3}, L"1.0.0", 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        scenario->SetTagSpecVersion(c.version);
        scenario->FailAt(Fault::EndEarly, S_FALSE, false, c.endsAt);
        CComPtr<CTagsDouble> tags = CTagsDouble::Create(scenario);
        std::vector<std::wstring> lines;
        for (size_t i = 0; i < c.valueLengths.size(); ++i) {
            const std::wstring id = L"1.0.0." + std::to_wstring(i);
            const std::wstring value(c.valueLengths[i], static_cast<wchar_t>(L'a' + i % 26));
            tags->AddText(id, value.c_str());
            if (i < c.endsAt) lines.push_back(id + L"=\"" + value + L"\"");
        }
        ASSERT_EQ(S_OK, Write(ThreeTags()->Dispatch()));
        EXPECT_EQ(S_OK, Write(tags->Dispatch()));
        EXPECT_FALSE(error.bPresent);
        EXPECT_EQ((std::vector<CLogLine>{Info(L"Beginning write to configuration file..."),
                                         Info(L"Writing configuration version " + std::wstring(c.version) + L" to file."),
                                         Info(L"Finished writing to config file.  Total number of Tags written: " +
                                              std::to_wstring(lines.size()))}),
                  log);
        EXPECT_EQ(FileBytes(c.version, lines), BytesAfterClose());
        EXPECT_TRUE(NoTildeFile());
        ASSERT_EQ(S_OK, Open(path));
    }
}

TEST_F(WriteTest, MatchesTheFileQuorvexcfgWritesFromTheSameTags) {
    scenario->SetTagSpecVersion(L"1.4.2");
    CComPtr<CTagsDouble> tags = CTagsDouble::Create(scenario);
    tags->AddText(L"1.0.2A.FF", L"data\\in\tend");
    tags->AddText(L"1.0.2A.100", nullptr);
    AddNumber(tags.Get(), L"1.0.2B.1", VT_BOOL, 1);
    AddNumber(tags.Get(), L"1.0.2B.2", VT_BOOL, 0);
    AddNumber(tags.Get(), L"1.0.2C.1", VT_I4, 42);
    AddNumber(tags.Get(), L"1.0.2C.2", VT_R8, 3.5);
    tags->AddText(L"1.0.2D.1", L"");
    tags->AddText(L"1.0.2D.2", L"say \"hi\"\r\n");
    tags->AddText(L"1.0.2D.3", L"\x00E9\x4E2D\xD83D\xDE00");
    tags->AddText(L"1.0.2D.4", L"esc\x1B del\x7F");
    CVariant withNull;
    V_VT(withNull.Get()) = VT_BSTR;
    V_BSTR(withNull.Get()) = SysAllocStringLen(L"cut\0here", 8);
    tags->AddTag(L"1.0.2D.5", *withNull.Get());
    tags->AddText(L"1.0.2D.6", L"\xDC00z");

    EXPECT_EQ(S_OK, Write(tags->Dispatch()));
    // golden.cfg is what `quorvexcfg write` makes of golden.jsonl (checked on Linux).
    EXPECT_EQ(ReadBytes(QUORVEX_WRITE_GOLDEN_FILE), BytesAfterClose());
}

// ---- Failures of the tag server: each leaves the file as it was -----------------

struct TagServerFault {
    const char* name;
    Fault point;
    size_t item;
    bool setsErrorInfo;
    HRESULT hr;
    const wchar_t* description;  // null: the HRESULT's text, which begins with its code
    const wchar_t* logLine;
};

// clang-format off
const TagServerFault kTagServerFaults[] = {
    {"enumerator", Fault::NewEnum, 0, false, kInjected, nullptr, L"No enumerator interface available to given tags collection (0x80041234"},
    {"count", Fault::GetCount, 0, false, kInjected, nullptr, L"Error getting number of tags in collection. (0x80041234"},
    {"database", Fault::GetDatabase, 0, false, kInjected, L"Quorvex internal error 8", L"Internal error 8: Failed to get database object from tags: 0x80041234"},
    {"version", Fault::GetTagSpecVersion, 0, false, kInjected, L"Quorvex internal error 9", L"Internal error 9: Failed to get tags version from tag database object: 0x80041234"},
    {"next at the last item", Fault::Next, 2, false, kInjected, L"Error encountered while processing tags, not all tags used", L"Failed to enumerate all tag objects in collection. 2 out of 3 processed. 0x80041234"},
    {"identifier", Fault::GetId, 1, false, kInjected, L"Quorvex internal error 2", L"Internal Error 2 while getting tag data. Fault: Couldn't get tag ID. Error: 0x80041234"},
    {"value", Fault::GetValue, 2, false, kInjected, L"Quorvex internal error 4", L"Internal Error 4 while getting data for tag 1.0.0.3. Fault: Couldn't get value. Error: 0x80041234"},
    {"value without a string form", Fault::NoStringForm, 1, false, DISP_E_TYPEMISMATCH, L"Quorvex internal error 5", L"Internal Error 5 while getting data for tag 1.0.0.2. Fault: Couldn't convert value to string"},
    {"item without ITag", Fault::NotATag, 0, false, E_INVALIDARG, L"Quorvex internal error 1", L"Internal Error 1 while getting tag data. Fault: Couldn't get tag interface. Error: 0x80070057"},
    {"null item", Fault::NullItem, 0, false, E_INVALIDARG, L"Quorvex internal error 1", L"Internal Error 1 while getting tag data. Fault: Couldn't get tag interface. Error: 0x80070057"},
    // The tag server's own error information is kept.
    {"enumerator, described", Fault::NewEnum, 0, true, kInjected, L"Injected fault in get__NewEnum", L"No enumerator interface available"},
    {"version, described", Fault::GetTagSpecVersion, 0, true, kInjected, L"Injected fault in get_TagSpecVersion", L"Internal error 9"},
    {"next, described", Fault::Next, 1, true, kInjected, L"Injected fault in Next", L"1 out of 3 processed"},
    {"value, described", Fault::GetValue, 0, true, kInjected, L"Injected fault in get_Value", L"Internal Error 4 while getting data for tag 1.0.0.1"},
};
// clang-format on

class TagServerFaultTest : public WriteTest, public testing::WithParamInterface<TagServerFault> {};

TEST_P(TagServerFaultTest, IsLoggedReportedAndLeavesTheFileAsItWas) {
    const TagServerFault& c = GetParam();
    scenario->FailAt(c.point, c.hr, c.setsErrorInfo, c.item);
    CComPtr<CTagsDouble> tags = ThreeTags();

    EXPECT_EQ(c.hr, Write(tags->Dispatch(), true));  // the failure described, not an earlier one
    EXPECT_TRUE(Logged(c.logLine)) << Narrow(c.logLine);
    ASSERT_TRUE(error.bPresent);
    if (c.description) {
        EXPECT_EQ(c.description, error.strDescription);
    } else {
        EXPECT_EQ(0u, error.strDescription.find(L"0x80041234")) << Narrow(error.strDescription);
    }
    if (c.setsErrorInfo) {
        EXPECT_EQ(L"TagServerDouble", error.strSource);
    } else {
        EXPECT_EQ(L"Brenlow.Zandel.Quorvex3.ConfigFile.1", error.strSource);
        EXPECT_TRUE(IsEqualGUID(CLSID_ConfigFile, error.guid));
    }
    ExpectFileHolds();
}

// A row's test name: its name with everything but letters and digits as "_".
template <class Info>
std::string RowName(const Info& info) {
    std::string name = info.param.name;
    for (char& ch : name) if (!isalnum(static_cast<unsigned char>(ch))) ch = '_';
    return name;
}

INSTANTIATE_TEST_SUITE_P(EachCall, TagServerFaultTest, testing::ValuesIn(kTagServerFaults),
                         RowName<testing::TestParamInfo<TagServerFault>>);

// ---- Failures before any tag is read -----------------------------------------------

// Without ITags or on a closed object the tag server is not called; on a
// read-only open the write is denied.
TEST_F(WriteTest, RefusedWritesLeaveTheFileAsItWas) {
    CComPtr<CTagsDouble> noTags = CTagsDouble::Create(scenario, false);
    for (IDispatch* collection : {static_cast<IDispatch*>(nullptr), noTags->Dispatch()}) {
        EXPECT_EQ(E_NOINTERFACE, Write(collection));
        EXPECT_TRUE(Logged(L"Internal error 7: No interface available to given tags collection (0x80004002"));
        EXPECT_EQ(L"Quorvex internal error 7", error.strDescription);
        EXPECT_TRUE(IsEqualGUID(IID_IConfigFile, error.guid));
    }
    config->Close();
    EXPECT_EQ(static_cast<HRESULT>(0x80040401), Write(ThreeTags()->Dispatch()));
    EXPECT_EQ((std::vector<CLogLine>{Info(L"Beginning write to configuration file..."),
                                     Error(L"Write failed because file has not been opened.")}),
              log);
    EXPECT_EQ(L"Cannot read/write file because it has not been opened.", error.strDescription);
    EXPECT_TRUE(IsEqualGUID(IID_IConfigFile, error.guid));
    EXPECT_TRUE(scenario->Calls().empty());
    ASSERT_EQ(S_OK, Open(path, 1));
    EXPECT_EQ(E_ACCESSDENIED, Write(ThreeTags()->Dispatch()));
    EXPECT_TRUE(Logged(L"0x80070005"));
    EXPECT_TRUE(error.bPresent);
    ExpectFileHolds();
}

// The temporary file is the configuration file's path with the first
// character of its name replaced by "~": a folder of that name in its way
// shows where it is looked for. A name that begins with "~" meets its own file.
TEST_F(WriteTest, TemporaryFileSitsBesideTheFileUnderATildeName) {
    const struct {
        const wchar_t* name;
        bool bare;  // opened by its name alone, from the current folder
        HRESULT hr;
        const wchar_t* logged;  // the file named in the log line, null: the full path of the blocking folder
    } cases[] = {
        {L"radio.cfg", false, E_ACCESSDENIED, nullptr},
        {L"radio.cfg", true, E_ACCESSDENIED, L"~adio.cfg"},
        {L"~adio.cfg", false, static_cast<HRESULT>(0x80070020), nullptr},
    };
    wchar_t previous[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, previous);
    ASSERT_TRUE(SetCurrentDirectoryW(folder.Path().c_str()));
    const std::wstring blocker = folder.File(L"~adio.cfg");
    for (const auto& c : cases) {
        config->Close();
        path = folder.File(c.name);
        const bool blocked = path != blocker;
        ASSERT_TRUE(WriteBytes(path, kOldBytes));
        if (blocked) { ASSERT_TRUE(CreateDirectoryW(blocker.c_str(), nullptr)); }
        ASSERT_EQ(S_OK, Open(c.bare ? c.name : path));
        EXPECT_EQ(c.hr, Write(ThreeTags()->Dispatch()));
        EXPECT_TRUE(Logged(L"Error opening file " + (c.logged ? c.logged : blocker) + L": " + HexCode(c.hr)));
        EXPECT_EQ(L"Error opening/creating configuration file.", error.strDescription);
        EXPECT_TRUE(IsEqualGUID(GUID_NULL, error.guid));
        EXPECT_EQ(kOldBytes, BytesAfterClose());
        if (blocked) RemoveDirectoryW(blocker.c_str());
        else DeleteFileW(blocker.c_str());
    }
    EXPECT_TRUE(scenario->Calls().empty());
    // With nothing in the way, a bare name or a path however it separates its
    // folders writes beside the file too, and the file keeps plain
    // attributes, not the temporary file's hidden ones.
    path = folder.File(L"radio.cfg");
    std::wstring forward = path;
    std::replace(forward.begin(), forward.end(), L'\\', L'/');
    std::wstring lastForward = path;
    lastForward[lastForward.rfind(L'\\')] = L'/';
    for (const std::wstring& opened : {std::wstring(L"radio.cfg"), forward, lastForward}) {
        ASSERT_EQ(S_OK, Open(opened));
        EXPECT_EQ(S_OK, Write(ThreeTags()->Dispatch())) << Narrow(opened);
        EXPECT_EQ(kThreeTagsBytes, BytesAfterClose());
        EXPECT_EQ(0u, GetFileAttributesW(path.c_str()) & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_TEMPORARY));
        EXPECT_TRUE(NoTildeFile());
    }
    SetCurrentDirectoryW(previous);
}

// The process write_kill_test.py cuts off: writes QUORVEX_KILL_COUNT tags,
// whose values depend on QUORVEX_KILL_SEED, to QUORVEX_KILL_PATH, and says on
// standard output when Write begins and when it has returned.
TEST_F(WriteTest, ChildOfTheKillTest) {
    const std::wstring target = EnvironmentVariable(L"QUORVEX_KILL_PATH");
    if (target.empty()) GTEST_SKIP() << "run by write_kill_test.py";
    const unsigned long n = wcstoul(EnvironmentVariable(L"QUORVEX_KILL_COUNT").c_str(), nullptr, 10);
    const unsigned long k = wcstoul(EnvironmentVariable(L"QUORVEX_KILL_SEED").c_str(), nullptr, 10);
    CComPtr<CTagsDouble> tags = CTagsDouble::Create(scenario);
    for (unsigned long i = 0; i < n; ++i) {
        wchar_t id[40];
        swprintf(id, 40, L"1.0.%lX.%lX", i / 4096, i % 4096);
        std::wstring text = L"value " + std::to_wstring(k) + L" " + std::to_wstring(i * 7919UL);
        text.resize(10 + (i + k) % 31, L'x');
        tags->AddText(id, text.c_str());
    }
    config->Close();
    ASSERT_EQ(S_OK, Open(target));
    printf("writing\n");
    fflush(stdout);
    ASSERT_EQ(S_OK, config->Write(tags->Dispatch()));
    printf("written\n");
    fflush(stdout);
}

// ---- Faults of the platform's file calls: each leaves the file as it was -------

// Points one entry of Quorvex3.dll's import table at a replacement for as long
// as it lives: the platform calls it makes, with faults injected.
class CImportPatch {
public:
    CImportPatch(const char* function, void* replacement) {
        if (HMODULE loaded = GetModuleHandleW(L"Quorvex3.dll")) m_slot = FindImportSlot(loaded, function);
        if (!m_slot) return;
        m_original = *m_slot;
        Store(m_slot, replacement);
    }
    ~CImportPatch() {
        if (m_slot) Store(m_slot, m_original);
    }
    CImportPatch(const CImportPatch&) = delete;
    CImportPatch& operator=(const CImportPatch&) = delete;
    bool IsSet() const { return m_slot != nullptr; }

private:
    static void** FindImportSlot(HMODULE module, const char* function) {
        auto* base = reinterpret_cast<BYTE*>(module);
        const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
        const IMAGE_DATA_DIRECTORY& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
        for (auto* dll = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress); dll->Name; ++dll) {
            auto* name = reinterpret_cast<IMAGE_THUNK_DATA*>(base + dll->OriginalFirstThunk);
            auto* slot = reinterpret_cast<IMAGE_THUNK_DATA*>(base + dll->FirstThunk);
            for (; name->u1.AddressOfData; ++name, ++slot) {
                if (IMAGE_SNAP_BY_ORDINAL(name->u1.Ordinal)) continue;
                const auto* byName = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + name->u1.AddressOfData);
                if (strcmp(reinterpret_cast<const char*>(byName->Name), function) == 0)
                    return reinterpret_cast<void**>(&slot->u1.Function);
            }
        }
        return nullptr;
    }
    static void Store(void** slot, void* value) {
        DWORD protection = 0;
        VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &protection);
        *slot = value;
        VirtualProtect(slot, sizeof *slot, protection, &protection);
    }

    void** m_slot = nullptr;
    void* m_original = nullptr;
};

enum class Step { Chunk, Flush, Rename };

struct PlatformFault {
    const char* name;
    Step step;
    int nth;      // which call of the step fails first; 0: the last chunk
    bool bShort;  // the call succeeds with a short count instead
    DWORD error;
    HRESULT hr;
    int times = 1;  // how many calls fail from the first on; 0: every one
};

// clang-format off
const PlatformFault kPlatformFaults[] = {
    {"first chunk short", Step::Chunk, 1, true, 0, HRESULT_FROM_WIN32(ERROR_HANDLE_DISK_FULL)},
    {"last chunk short", Step::Chunk, 0, true, 0, HRESULT_FROM_WIN32(ERROR_HANDLE_DISK_FULL)},
    {"first chunk, disk full", Step::Chunk, 1, false, ERROR_DISK_FULL, HRESULT_FROM_WIN32(ERROR_DISK_FULL)},
    {"second chunk, no error code", Step::Chunk, 2, false, 0, HRESULT_FROM_WIN32(ERROR_HANDLE_DISK_FULL)},
    {"last chunk, I/O error", Step::Chunk, 0, false, ERROR_IO_DEVICE, HRESULT_FROM_WIN32(ERROR_IO_DEVICE)},
    {"flush of the temporary file", Step::Flush, 1, false, ERROR_IO_DEVICE, HRESULT_FROM_WIN32(ERROR_IO_DEVICE)},
    // Refused as when another program has the file, past the time a rename waits for it.
    {"rename, access denied throughout", Step::Rename, 1, false, ERROR_ACCESS_DENIED, E_ACCESSDENIED, 0},
    {"rename, sharing violation throughout", Step::Rename, 1, false, ERROR_SHARING_VIOLATION, HRESULT_FROM_WIN32(ERROR_SHARING_VIOLATION), 0},
    // Not a refusal that waiting ends: failed at once.
    {"rename, no error code", Step::Rename, 1, false, 0, HRESULT_FROM_WIN32(ERROR_WRITE_FAULT)},
    {"rename, disk full", Step::Rename, 1, false, ERROR_DISK_FULL, HRESULT_FROM_WIN32(ERROR_DISK_FULL)},
    // Refused for a moment, as while another program has the file open: tried again, and written.
    {"rename, access denied once", Step::Rename, 1, false, ERROR_ACCESS_DENIED, S_OK, 1},
    {"rename, sharing violation six times", Step::Rename, 1, false, ERROR_SHARING_VIOLATION, S_OK, 6},
};
// clang-format on

PlatformFault g_fault;
int g_seen;  // calls of g_fault's step so far

bool FaultHere(Step step) {
    if (g_fault.step != step) return false;
    const int call = ++g_seen;
    return call >= g_fault.nth && (g_fault.times == 0 || call < g_fault.nth + g_fault.times);
}

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

class PlatformFaultTest : public WriteTest, public testing::WithParamInterface<PlatformFault> {
protected:
    // Lines long enough that the text goes to the temporary file in several chunks.
    CComPtr<CTagsDouble> LongLines() {
        CComPtr<CTagsDouble> tags = CTagsDouble::Create(scenario);
        for (int i = 0; i < 8; ++i) tags->AddText(L"1.0.0." + std::to_wstring(i), kLongValue.c_str());
        return tags;
    }
    std::string LongLinesBytes() const {
        std::vector<std::wstring> lines;
        for (int i = 0; i < 8; ++i) lines.push_back(L"1.0.0." + std::to_wstring(i) + L"=\"" + kLongValue + L"\"");
        return FileBytes(L"1.0.0", lines);
    }
    const std::wstring kLongValue = std::wstring(1500, L'v');
};

// A failed step fails the write and leaves the file as it was; a rename
// refused only for a moment is tried again until the write goes through.
TEST_P(PlatformFaultTest, FailsTheWriteOrIsTriedAgain) {
    const PlatformFault& c = GetParam();
    CImportPatch patches[] = {
        {"WriteFile", reinterpret_cast<void*>(&FaultyWriteFile)},
        {"FlushFileBuffers", reinterpret_cast<void*>(&FaultyFlushFileBuffers)},
        {"SetFileInformationByHandle", reinterpret_cast<void*>(&FaultySetFileInformationByHandle)},
    };
    for (const CImportPatch& patch : patches) ASSERT_TRUE(patch.IsSet());
    // Counts the chunks of a whole write first, then puts the former text back.
    g_fault = {"", Step::Chunk, -1, false, 0, S_OK};
    g_seen = 0;
    ASSERT_EQ(S_OK, Write(LongLines()->Dispatch()));
    const int chunks = g_seen;
    ASSERT_GE(chunks, 3);
    config->Close();
    ASSERT_TRUE(WriteBytes(path, kOldBytes));
    ASSERT_EQ(S_OK, Open(path));
    g_fault = c;
    g_fault.nth = c.nth > 0 ? c.nth : chunks;
    g_seen = 0;

    EXPECT_EQ(c.hr, Write(LongLines()->Dispatch()));
    if (c.hr == S_OK) {
        EXPECT_EQ(c.times + 1, g_seen);
        EXPECT_FALSE(error.bPresent);
    } else if (c.step == Step::Chunk) {
        // A chunk's failure is logged with the system's message, without error information.
        EXPECT_FALSE(error.bPresent);
        EXPECT_FALSE(Logged(L"Finished writing"));
    } else {
        EXPECT_TRUE(Logged(L"Error writing configuration file " + path + L": " + HexCode(c.hr)));
        EXPECT_EQ(0u, error.strDescription.find(HexCode(c.hr))) << Narrow(error.strDescription);
        EXPECT_TRUE(IsEqualGUID(GUID_NULL, error.guid));
    }
    // The object still holds its file, alone.
    const CFileHandle other(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                        OPEN_EXISTING, 0, nullptr));
    EXPECT_FALSE(other.IsValid());
    EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), GetLastError());
    ExpectFileHolds(c.hr == S_OK ? LongLinesBytes() : kOldBytes);
}

INSTANTIATE_TEST_SUITE_P(EachStep, PlatformFaultTest, testing::ValuesIn(kPlatformFaults),
                         RowName<testing::TestParamInfo<PlatformFault>>);

// How the object's file may be opened again after a rename refused throughout.
enum class Reopen { AsOpenDid, ForReadingOnly, Never };
Reopen g_reopen;

HANDLE WINAPI RefusingCreateFileW(LPCWSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                                  DWORD disposition, DWORD flags, HANDLE templateFile) {
    const bool bRefused = disposition == OPEN_EXISTING &&
                          (g_reopen == Reopen::Never || (g_reopen == Reopen::ForReadingOnly && (access & GENERIC_WRITE)));
    if (!bRefused) return CreateFileW(name, access, share, security, disposition, flags, templateFile);
    SetLastError(ERROR_SHARING_VIOLATION);
    return INVALID_HANDLE_VALUE;
}

// After a failed replace the object keeps its file however it can: as Open
// held it, or for reading while another program keeps it; the next write
// works. Only when it cannot be held at all is the object closed, with a
// result of its own.
TEST_F(WriteTest, FailedReplaceLeavesTheObjectHoldingItsFile) {
    const struct {
        Reopen reopen;
        HRESULT hr;
        bool bOpen;
        bool bReadersShare;  // a read-only open succeeds beside the object
    } cases[] = {
        {Reopen::AsOpenDid, E_ACCESSDENIED, true, false},
        {Reopen::ForReadingOnly, E_ACCESSDENIED, true, true},
        {Reopen::Never, static_cast<HRESULT>(0x80040402), false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.reopen));
        {
            const CImportPatch rename("SetFileInformationByHandle", reinterpret_cast<void*>(&FaultySetFileInformationByHandle));
            const CImportPatch reopen("CreateFileW", reinterpret_cast<void*>(&RefusingCreateFileW));
            ASSERT_TRUE(rename.IsSet() && reopen.IsSet());
            g_fault = {"", Step::Rename, 1, false, ERROR_ACCESS_DENIED, E_ACCESSDENIED, 0};
            g_seen = 0;
            g_reopen = c.reopen;
            EXPECT_EQ(c.hr, Write(ThreeTags()->Dispatch()));
        }
        EXPECT_TRUE(Logged(L"Error writing configuration file " + path + L": 0x80070005"));
        EXPECT_EQ(c.bOpen, !Logged(L"could not be held again"));
        EXPECT_EQ(c.bOpen ? path : L"", HeldPath(config.Get()));
        {
            const CFileHandle reader(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
            EXPECT_EQ(c.bReadersShare, reader.IsValid());
        }
        if (c.bReadersShare) { EXPECT_EQ(kOldBytes, ReadBytes(path)); }
        // Writers are refused while the object holds the file in any way.
        CFileHandle writer(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                       OPEN_EXISTING, 0, nullptr));
        EXPECT_EQ(c.bOpen, !writer.IsValid());
        writer.Close();
        EXPECT_EQ(c.bOpen ? S_OK : static_cast<HRESULT>(0x80040401), Write(ThreeTags()->Dispatch()));
        EXPECT_EQ(c.bOpen ? kThreeTagsBytes : kOldBytes, BytesAfterClose());
        ASSERT_TRUE(WriteBytes(path, kOldBytes));
        ASSERT_EQ(S_OK, Open(path));
    }
}

// A disk that really fills up, in the folder limited_disk.sh gives (a 1 MiB
// file size limit, or a 1 MiB tmpfs): 0.4 MB of former text, 1.2 MB of new.
using DiskLimit = WriteTest;

TEST_F(DiskLimit, FullDiskFailsTheWriteAndLeavesTheFileAsItWas) {
    const std::wstring limited = EnvironmentVariable(L"QUORVEX_LIMITED_FOLDER");
    if (limited.empty()) GTEST_SKIP() << "run by limited_disk.sh";
    config->Close();
    path = limited + L"\\radio.cfg";
    const std::string oldBytes = FileBytes(L"1.0", std::vector<std::wstring>(200, std::wstring(1000, L'o')));
    ASSERT_TRUE(WriteBytes(path, oldBytes));
    ASSERT_EQ(S_OK, Open(path));
    CComPtr<CTagsDouble> tags = CTagsDouble::Create(scenario);
    for (int i = 0; i < 600; ++i) tags->AddText(L"1.0.0." + std::to_wstring(i), std::wstring(1000, L'n').c_str());

    EXPECT_THAT(Write(tags->Dispatch()),
                testing::AnyOf(HRESULT_FROM_WIN32(ERROR_HANDLE_DISK_FULL), HRESULT_FROM_WIN32(ERROR_DISK_FULL)));
    EXPECT_FALSE(error.bPresent);
    ExpectFileHolds(oldBytes);
    DeleteFileW(path.c_str());
}

}  // namespace
