// Quorvex3.dll's module-wide state as a process sees it: failures on several
// threads at once keep their own descriptions, and loading and unloading the
// DLLs (with the tag server and the log) again and again leaves no handle and
// no memory behind. This program imports none of those DLLs itself.
#include "Quorvex3.h"
#include "TagServer.h"
#include "platform/HeapUsage.h"
#include "platform/Variant.h"
#include "tests/support/ComTestSupport.h"
#include "tests/support/ConfigFileObject.h"
#include "tests/support/ReferenceTagServer.h"

#include <gtest/gtest.h>

#include <winternl.h>

#include <string>
#include <thread>
#include <vector>

using namespace testsupport;

namespace {

CComPtr<IConfigFile> OpenConfigFile(const WString& path, long readOnly) {
    CComPtr<IConfigFile> file = NewConfigFile();
    if (file) { EXPECT_EQ(S_OK, file->Open(CBstr(path), readOnly)); }
    return file;
}

HRESULT ReadInto(IConfigFile* file, ITagServer* server, ITags* tags) {
    IDispatch* collection = tags;
    return file->Read(server, &collection);
}

// ---- failures on several threads at once

// A file the reader refuses on the given line, with valid tags before it, and
// the description of that failure. Odd lines end in a section only a newer
// application understands, whose description is another of the module's texts.
struct Refusal {
    std::string file;
    WString description;
};

Refusal RefusedOnLine(int line) {
    std::string text = "1.0.0\r\n";
    for (int n = 2; n < line; ++n) text += "0001.0002.0003.0004 = \"a\"\r\n";
    if (line % 2 == 1) return {text + "!NEXT MUST_UNDERSTAND\r\n!END\r\n", L"A newer version of the application is required."};
    return {text + "0001.0002.0003.000G = \"bad\"\r\n",
            L"Invalid file format detected on line " + std::to_wstring(line) + L"."};
}

// Reads the thread's own file again and again; returns the descriptions
// that differed from the one its failure must carry.
std::vector<WString> FailRepeatedly(const WString& path, const WString& expected, int rounds) {
    CComApartment com;
    std::vector<WString> wrong;
    CComPtr<ITagServer> server = NewReferenceServer();
    CComPtr<ITags> tags = server ? NewReferenceCollection(server.Get()) : nullptr;
    CComPtr<IConfigFile> file = OpenConfigFile(path, 1);
    if (!tags || !file) return {L"no objects"};
    for (int round = 0; round < rounds; ++round) {
        ClearErrorInfo();
        const HRESULT hr = ReadInto(file.Get(), server.Get(), tags.Get());
        const CErrorSnapshot info = TakeErrorInfo();
        if (hr != E_FAIL || info.strDescription != expected) wrong.push_back(info.strDescription);
    }
    return wrong;
}

TEST(ModuleState, ThreadsFailingAtOnceEachGetTheirOwnDescription) {
    constexpr int kThreads = 8;
    constexpr int kRounds = 2000;
    CTempFolder folder;
    std::vector<std::vector<WString>> wrong(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        const Refusal refusal = RefusedOnLine(2 + 3 * t);  // texts of several lengths, from two resources
        const WString path = folder.File(L"refused" + std::to_wstring(t) + L".cfg");
        ASSERT_TRUE(WriteBytes(path, refusal.file));
        threads.emplace_back([&wrong, t, path, refusal] { wrong[t] = FailRepeatedly(path, refusal.description, kRounds); });
    }
    for (std::thread& thread : threads) thread.join();
    for (int t = 0; t < kThreads; ++t) {
        EXPECT_EQ(0u, wrong[t].size()) << "thread " << t << ", first: " << Narrow(wrong[t].empty() ? L"" : wrong[t][0]);
    }
}

// ---- load and unload

// Handles of this process in the system's handle list (the count the
// platform answers for the process itself is 0 under Wine).
ULONG HandleCount() {
    struct Entry {
        ULONG ownerPid;
        BYTE objectType;
        BYTE flags;
        USHORT handle;
        PVOID object;
        ULONG access;
    };
    struct List {
        ULONG count;
        Entry entries[1];
    };
    constexpr auto kSystemHandleInformation = static_cast<SYSTEM_INFORMATION_CLASS>(16);
    std::vector<BYTE> buffer(1 << 16);
    NTSTATUS status;
    while ((status = NtQuerySystemInformation(kSystemHandleInformation, buffer.data(),
                                              static_cast<ULONG>(buffer.size()), nullptr)) ==
           static_cast<NTSTATUS>(0xC0000004L))  // STATUS_INFO_LENGTH_MISMATCH
        buffer.resize(buffer.size() * 2);
    EXPECT_EQ(0, status);
    const List* list = reinterpret_cast<const List*>(buffer.data());
    ULONG mine = 0;
    for (ULONG i = 0; i < list->count; ++i) mine += list->entries[i].ownerPid == GetCurrentProcessId() ? 1 : 0;
    return mine;
}

bool AnyLoaded() {
    return GetModuleHandleW(L"Quorvex3.dll") || GetModuleHandleW(L"TagServer.dll") ||
           GetModuleHandleW(L"QuorvexLog.dll");
}

// Everything a client does with the DLLs once: create, write, read, and a
// Read the reader refuses (that path throws inside the DLL and formats a
// description from its resources); then everything is released and unloaded.
void UseAndUnload(const WString& path, const WString& refusedPath) {
    {
        CComPtr<ITagServer> server = NewReferenceServer();
        ASSERT_TRUE(server);
        CComPtr<ITags> tags = NewReferenceCollection(server.Get());
        CComPtr<ITag> tag;
        ASSERT_TRUE(tags);
        CVariant value;
        V_VT(value.Get()) = VT_BSTR;
        V_BSTR(value.Get()) = SysAllocString(L"pump 1");
        ASSERT_EQ(S_OK, tags->Add(CBstr(L"1.0.2A.FF"), *value.Get(), tag.Out()));
        CComPtr<IConfigFile> file = OpenConfigFile(path, 0);
        ASSERT_TRUE(file);
        EXPECT_EQ(S_OK, file->Write(tags.Get()));
        EXPECT_EQ(S_OK, ReadInto(file.Get(), server.Get(), tags.Get()));
        file = OpenConfigFile(refusedPath, 1);
        ASSERT_TRUE(file);
        EXPECT_EQ(E_FAIL, ReadInto(file.Get(), server.Get(), tags.Get()));
        EXPECT_EQ(RefusedOnLine(2).description, TakeErrorInfo().strDescription);
    }
    CoFreeUnusedLibrariesEx(0, 0);
    ASSERT_FALSE(AnyLoaded()) << "a DLL stayed loaded";
}

TEST(ModuleState, LoadingAndUnloadingAHundredTimesLeavesNothingBehind) {
    CComApartment com;
    CTempFolder folder;
    const WString path = folder.File(L"plant.cfg");
    const WString refusedPath = folder.File(L"refused.cfg");
    ASSERT_TRUE(WriteBytes(refusedPath, RefusedOnLine(2).file));
    ASSERT_FALSE(AnyLoaded());
    // The platform's own caches (COM, the registry, the file system) fill up
    // in the first rounds.
    for (int round = 0; round < 10; ++round) UseAndUnload(path, refusedPath);
    const ULONG handlesBefore = HandleCount();
    const size_t bytesBefore = HeapBytesInUse();
    for (int round = 0; round < 100; ++round) UseAndUnload(path, refusedPath);
    const ULONG handlesAfter = HandleCount();
    const size_t bytesAfter = HeapBytesInUse();
    std::printf("handles %lu -> %lu, heap bytes in use %zu -> %zu\n", handlesBefore, handlesAfter, bytesBefore,
                bytesAfter);
    // One handle or one small block a round would exceed these.
    EXPECT_LE(handlesAfter, handlesBefore + 2);
    EXPECT_LE(bytesAfter, bytesBefore + 256);
}

}  // namespace
