// Write while others open the same file: ConfigFile objects in two processes
// writing and reading it, and programs that are not ConfigFile objects
// opening it for a moment or keeping it. The second process of each test is
// this program again, started with one of the Child tests.
#include "Quorvex3.h"
#include "TagDoubles.h"
#include "platform/FileHandle.h"
#include "tests/support/ComTestSupport.h"
#include "tests/support/ConfigFileObject.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <random>
#include <thread>

using namespace doubles;
using namespace testsupport;

namespace {

const testing::Environment* const g_environment =
    testing::AddGlobalTestEnvironment(new CComTestEnvironment(COINIT_MULTITHREADED));

const HRESULT kSharingViolation = HRESULT_FROM_WIN32(ERROR_SHARING_VIOLATION);
const int kTagsPerWrite = 40;
const int kWritesPerWriter = 200;
const wchar_t kPathVariable[] = L"QUORVEX_SHARING_PATH";
const wchar_t kArgumentVariable[] = L"QUORVEX_SHARING_ARGUMENT";
const wchar_t kHoldVariable[] = L"QUORVEX_SHARING_HOLD";

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// A collection whose every value carries the marker of the write that makes it.
CComPtr<CTagsDouble> MarkedTags(const ScenarioPtr& scenario, const std::wstring& marker) {
    CComPtr<CTagsDouble> tags = CTagsDouble::Create(scenario);
    for (int i = 0; i < kTagsPerWrite; ++i)
        tags->AddText(L"1.0.0." + std::to_wstring(i), (marker + L" value of a tag " + std::to_wstring(i)).c_str());
    return tags;
}

// The marker of a collection read back, or "" when its tags are not one write's whole collection.
std::wstring WholeMarker(const std::vector<TagRecord>& tags) {
    if (tags.size() != kTagsPerWrite) return L"";
    const std::wstring marker = tags[0].text.substr(0, tags[0].text.find(L' '));
    for (int i = 0; i < kTagsPerWrite; ++i)
        if (tags[i].text != marker + L" value of a tag " + std::to_wstring(i)) return L"";
    return marker;
}

// Open as a client does: a sharing violation is tried again.
HRESULT OpenRetried(IConfigFile* file, const std::wstring& path, LONG readOnly) {
    const auto begun = std::chrono::steady_clock::now();
    for (;;) {
        const HRESULT hr = file->Open(CBstr(path.c_str()), readOnly);
        if (hr != kSharingViolation || Seconds(begun) > 30) return hr;
        Sleep(0);
    }
}

// The marker of the file's collection, read through a ConfigFile.
std::wstring ReadMarker(IConfigFile* file, const std::wstring& path, HRESULT& hr) {
    ScenarioPtr scenario = CScenario::Create();
    CComPtr<CTagServerDouble> server = CTagServerDouble::Create(scenario);
    CComPtr<CTagsDouble> loaded = CTagsDouble::Create(scenario);
    hr = OpenRetried(file, path, 1);
    if (FAILED(hr)) return L"";
    IDispatch* inOut = loaded->Dispatch();
    hr = file->Read(server->Dispatch(), &inOut);
    file->Close();
    return WholeMarker(loaded->Contents());
}

// Another program of this test: started with one Child test and variables.
CFileHandle StartChild(const wchar_t* test, const std::wstring& path, const std::wstring& argument) {
    SetEnvironmentVariableW(kPathVariable, path.c_str());
    SetEnvironmentVariableW(kArgumentVariable, argument.c_str());
    CFileHandle child = StartProgram(L"\"" + ProgramPath() + L"\" --gtest_filter=" + test);
    SetEnvironmentVariableW(kPathVariable, nullptr);
    SetEnvironmentVariableW(kArgumentVariable, nullptr);
    return child;
}
constexpr DWORD kChildWait = 120000;

// ---- ConfigFile objects of two processes on one file -------------------------------

struct CTally {
    std::mutex lock;
    std::map<HRESULT, int> failedWrites, failedReads;  // how often each code came
    int writes = 0, reads = 0, tornReads = 0;
};

std::string Text(const std::map<HRESULT, int>& failures) {
    std::string text;
    for (const auto& failure : failures) text += " " + Narrow(HexCode(failure.first)) + ": " + std::to_string(failure.second);
    return text;
}

// Open, Write, Close, each time with a ConfigFile of its own thread.
void Writer(const std::wstring& path, const std::wstring& name, CTally& tally) {
    const CComApartment apartment(COINIT_MULTITHREADED);
    ScenarioPtr scenario = CScenario::Create();
    CComPtr<IConfigFile> file = NewConfigFile();
    for (int i = 0; i < kWritesPerWriter; ++i) {
        CComPtr<CTagsDouble> tags = MarkedTags(scenario, name + L"i" + std::to_wstring(i));
        HRESULT hr = OpenRetried(file.Get(), path, 0);
        if (SUCCEEDED(hr)) hr = file->Write(tags->Dispatch());
        file->Close();
        const std::lock_guard<std::mutex> hold(tally.lock);
        if (FAILED(hr)) ++tally.failedWrites[hr];
        ++tally.writes;
    }
}

// Reads the file until the writers are done: every read must load one whole collection.
void Reader(const std::wstring& path, const std::atomic<bool>& done, CTally& tally) {
    const CComApartment apartment(COINIT_MULTITHREADED);
    CComPtr<IConfigFile> file = NewConfigFile();
    while (!done) {
        HRESULT hr = S_OK;
        const std::wstring marker = ReadMarker(file.Get(), path, hr);
        const std::lock_guard<std::mutex> hold(tally.lock);
        if (FAILED(hr)) {
            ++tally.failedReads[hr];
        } else {
            ++tally.reads;
            tally.tornReads += marker.empty();
        }
    }
}

// Two writers and a reader of this process on path.
void WritersAndReader(const std::wstring& path, const std::wstring& process) {
    CTally tally;
    std::atomic<bool> done{false};
    std::thread reader(Reader, path, std::cref(done), std::ref(tally));
    std::thread first(Writer, path, process + L"w0", std::ref(tally));
    std::thread second(Writer, path, process + L"w1", std::ref(tally));
    first.join();
    second.join();
    done = true;
    reader.join();
    printf("process %ls: %d writes, %d reads, %d torn\n", process.c_str(), tally.writes, tally.reads, tally.tornReads);
    EXPECT_TRUE(tally.failedWrites.empty()) << "failed writes:" << Text(tally.failedWrites);
    EXPECT_TRUE(tally.failedReads.empty()) << "failed reads:" << Text(tally.failedReads);
    EXPECT_EQ(0, tally.tornReads);
    EXPECT_GT(tally.reads, 0);
}

TEST(SharingChild, WritersAndReader) {
    const std::wstring path = EnvironmentVariable(kPathVariable);
    if (path.empty()) GTEST_SKIP() << "started by Contention.TwoProcessesLoseNoWrite";
    WritersAndReader(path, EnvironmentVariable(kArgumentVariable));
}

TEST(Contention, TwoProcessesLoseNoWrite) {
    CTempFolder folder(L"qvshare");
    const std::wstring path = folder.File(L"radio.cfg");
    CComPtr<IConfigFile> file = NewConfigFile();
    ASSERT_EQ(S_OK, file->Open(CBstr(path.c_str()), 0));
    ASSERT_EQ(S_OK, file->Write(MarkedTags(CScenario::Create(), L"first")->Dispatch()));
    file->Close();

    const CFileHandle child = StartChild(L"SharingChild.WritersAndReader", path, L"p2");
    ASSERT_TRUE(child.IsValid());
    WritersAndReader(path, L"p1");
    EXPECT_EQ(0u, ExitCodeOf(child, kChildWait));

    HRESULT hr = S_OK;
    const std::wstring marker = ReadMarker(file.Get(), path, hr);
    EXPECT_EQ(S_OK, hr);
    EXPECT_TRUE(marker.size() > 4 && marker[0] == L'p' && marker[2] == L'w') << Narrow(marker);
}

// ---- A program that is not a ConfigFile opens the file ------------------------------

// Opens the file for reading, sharing it with readers, at random instants
// until the event named by ARGUMENT is set, and keeps it HOLD milliseconds
// each time (the object holds the file at every other instant, so only its
// replace lets the opener in); a hold of a second or more is made once. Says how often it had
// the file, in FILE.opens.
TEST(SharingChild, ForeignOpener) {
    const std::wstring path = EnvironmentVariable(kPathVariable);
    if (path.empty()) GTEST_SKIP() << "started by the ForeignOpener tests";
    const DWORD hold = wcstoul(EnvironmentVariable(kHoldVariable).c_str(), nullptr, 10);
    const CFileHandle stop(OpenEventW(SYNCHRONIZE, FALSE, EnvironmentVariable(kArgumentVariable).c_str()));
    ASSERT_TRUE(stop.IsValid());
    std::minstd_rand random(GetCurrentProcessId());
    int opens = 0;
    DWORD pause = 0;
    while (WaitForSingleObject(stop.Get(), pause) == WAIT_TIMEOUT) {
        const CFileHandle held(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
        // Polls every 0 to 2 ms until it has the file, then rests 5 to 50 ms.
        pause = random() % 3;
        if (!held.IsValid()) continue;
        ++opens;
        Sleep(hold);
        if (hold >= 1000) break;
        pause = 5 + random() % 46;
    }
    WriteBytes(path + L".opens", std::to_string(opens));
}

class ForeignOpener : public testing::Test {
protected:
    void SetUp() override {
        file = NewConfigFile();
        ASSERT_EQ(S_OK, file->Open(CBstr(path.c_str()), 0));
        ASSERT_EQ(S_OK, WriteNumbered(0));
    }
    void TearDown() override { file->Close(); }

    // The opener runs until Stop.
    void StartOpener(DWORD holdMilliseconds) {
        const std::wstring name = L"QuorvexSharingStop" + std::to_wstring(GetCurrentProcessId());
        stop.Attach(CreateEventW(nullptr, TRUE, FALSE, name.c_str()));
        SetEnvironmentVariableW(kHoldVariable, std::to_wstring(holdMilliseconds).c_str());
        opener = StartChild(L"SharingChild.ForeignOpener", path, name);
        SetEnvironmentVariableW(kHoldVariable, nullptr);
        ASSERT_TRUE(opener.IsValid());
    }
    // How often the opener had the file.
    int StopOpener() {
        SetEvent(stop.Get());
        EXPECT_EQ(0u, ExitCodeOf(opener, kChildWait));
        return atoi(ReadBytes(path + L".opens").c_str());
    }
    HRESULT WriteNumbered(int i) { return file->Write(MarkedTags(scenario, L"n" + std::to_wstring(i))->Dispatch()); }
    // How many of 100 writes failed.
    int HundredWrites() {
        int failed = 0;
        for (int i = 1; i <= 100; ++i) failed += FAILED(WriteNumbered(i));
        return failed;
    }
    std::wstring Marker() {
        HRESULT hr = S_OK;
        CComPtr<IConfigFile> reader = NewConfigFile();
        file->Close();
        const std::wstring marker = ReadMarker(reader.Get(), path, hr);
        EXPECT_EQ(S_OK, hr);
        EXPECT_EQ(S_OK, file->Open(CBstr(path.c_str()), 0));
        return marker;
    }

    CTempFolder folder{L"qvforeign"};
    std::wstring path = folder.File(L"radio.cfg");
    ScenarioPtr scenario = CScenario::Create();
    CComPtr<IConfigFile> file;
    CFileHandle stop;
    CFileHandle opener;
};

TEST_F(ForeignOpener, BriefOpensDelayWritesButFailNone) {
    StartOpener(50);
    EXPECT_EQ(0, HundredWrites());
    const int opens = StopOpener();
    printf("100 writes with %d foreign opens of 50 ms\n", opens);
    EXPECT_EQ(path, HeldPath(file.Get()));
    EXPECT_EQ(L"n100", Marker());
}

// A holder past the bound fails that write, leaves the file and the object as
// they were, and the next write after it has gone works.
TEST_F(ForeignOpener, HolderPastTheBoundFailsOneWriteAndTheObjectStaysOpen) {
    StartOpener(5000);
    HRESULT hr = S_OK;
    int i = 1;
    const auto begun = std::chrono::steady_clock::now();
    for (; SUCCEEDED(hr) && Seconds(begun) < 30; ++i) hr = WriteNumbered(i);
    const double failedAfter = Seconds(begun);
    EXPECT_TRUE(hr == E_ACCESSDENIED || hr == kSharingViolation) << Narrow(HexCode(hr));
    EXPECT_EQ(path, HeldPath(file.Get()));
    EXPECT_EQ(1, StopOpener());
    printf("the write failed %.3f s after the first of %d writes\n", failedAfter, i - 1);
    EXPECT_EQ(L"n" + std::to_wstring(i - 2), Marker());  // the last write that succeeded
    EXPECT_EQ(S_OK, WriteNumbered(i));
    EXPECT_EQ(L"n" + std::to_wstring(i), Marker());
}

}  // namespace
