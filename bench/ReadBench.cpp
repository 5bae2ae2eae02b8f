// Read benchmark: ConfigFile::Read end to end into the reference tag server,
// beside the reader pass alone (Init + Scan to the end) over the same file.
//
//   read_bench [--tags N[,N...]] [--runs R] [--json FILE]
//
// For every tag count the parent writes one file and measures each phase in a
// child process of its own, so that each phase's peak memory is its own:
//   scan    CConfigReader Init and Scan to the end of input
//   sized   the same, every pair added to a CTagValueBuffer made with room
//           for all of them, and detached
//   buffer  the same with the buffer made as Read makes it (a pair per line
//           end, at least 10000): Read into a sink that only takes the arrays
//   bulk    the buffer's arrays bulk-loaded into a new collection of the
//           reference tag server (Read without the client's update)
//   server  the pairs gathered as in buffer (not timed), then BulkLoad into a
//           new collection and Update of the client's collection from it; the
//           client is kept, so "held" is what the collection holds after
//           the run: the heap blocks that releasing it frees
//   read    IConfigFile::Read from the call to its return, client collection
//           updated (checked: it holds every tag afterwards)
// Times are medians of R runs; peak memory is the rise of the peak working
// set (and of the peak pagefile usage) over the child's usage before its
// first run. "pairs" is the UTF-16 text of every identifier and value.
#include "BenchJson.h"
#include "ComponentFromDll.h"
#include "Quorvex3.h"
#include "TagServerLib.h"
#include "platform/Bstr.h"
#include "platform/ComPtr.h"
#include "platform/FileHandle.h"
#include "platform/HeapUsage.h"
#include "platform/SafeArray.h"
#include "platform/Utf8.h"
#include "reader/ConfigReader.h"
#include "reader/TagValueBuffer.h"

#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

namespace {

struct CFileFacts {
    ULONG nTags = 0;
    ULONGLONG nFileBytes = 0;
    ULONGLONG nPairBytes = 0;
};

struct CPhaseResult {
    double dMedianMs = 0;
    double dMinMs = 0;
    ULONGLONG nPeakWorkingSetRise = 0;
    ULONGLONG nPeakPagefileRise = 0;
    LONGLONG nHeldBytes = 0;
    bool bOk = false;
};

// ---- the configuration file -------------------------------------------------

std::wstring TagId(ULONG i) {
    wchar_t id[32];
    swprintf(id, 32, L"%04X.%04X.%04X.%04X", (i >> 24) & 0xFF, (i >> 16) & 0xFF, (i >> 8) & 0xFF, i & 0xFF);
    return id;
}

// Every tenth tag has no value; every seventh value carries escapes.
bool HasValue(ULONG i) { return i % 10 != 9; }
std::wstring DecodedValue(ULONG i) {
    std::wstring value = L"value " + std::to_wstring(i);
    if (i % 7 == 0) value += L" \"quoted\" \\ path";
    return value;
}
std::wstring WrittenValue(ULONG i) {
    std::wstring text = L"\"";
    for (wchar_t c : DecodedValue(i)) {
        if (c == L'"' || c == L'\\') text += L'\\';
        text += c;
    }
    return text + L"\"";
}

CFileFacts WriteConfigFile(const std::wstring& path, ULONG nTags) {
    CFileFacts facts;
    facts.nTags = nTags;
    std::wstring text = L"\xFEFF" L"1.0.0\r\n; benchmark file\r\n";
    for (ULONG i = 0; i < nTags; ++i) {
        const std::wstring id = TagId(i);
        text += id + L" = ";
        facts.nPairBytes += id.size() * sizeof(wchar_t);
        if (HasValue(i)) {
            text += WrittenValue(i);
            facts.nPairBytes += DecodedValue(i).size() * sizeof(wchar_t);
        }
        text += L"\r\n";
    }
    CFileHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                 nullptr));
    const DWORD bytes = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    DWORD written = 0;
    if (!file.IsValid() || !WriteFile(file.Get(), text.data(), bytes, &written, nullptr) || written != bytes) {
        std::fprintf(stderr, "cannot write %ls\n", path.c_str());
        std::exit(2);
    }
    facts.nFileBytes = bytes;
    return facts;
}

// ---- measuring ---------------------------------------------------------------

PROCESS_MEMORY_COUNTERS MemoryCounters() {
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    return counters;
}

CFileHandle OpenForReading(const std::wstring& path) {
    return CFileHandle(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
}

// One run of a phase: its time in ms, or a negative value when it went wrong.
using RunFn = double (*)(const std::wstring& path, ULONG nTags);

double ScanRun(const std::wstring& path, ULONG nTags) {
    CFileHandle file = OpenForReading(path);
    const double start = NowMs();
    CConfigReader reader(file.Get());
    if (FAILED(reader.Init())) return -1;
    ULONG nPairs = 0;
    for (;;) {
        CBstr name, value;
        const WCHAR token = reader.Scan(name.Out(), value.Out());
        if (token == CConfigReader::TOKEN_END_OF_FILE) break;
        if (token == CConfigReader::TOKEN_TAG_VALUE || token == CConfigReader::TOKEN_TAG_EMPTY) ++nPairs;
    }
    const double elapsed = NowMs() - start;
    return nPairs == nTags ? elapsed : -1;
}

// The reader's pairs gathered as Read gathers them, into a buffer that starts
// at initialSize pairs (0: as Read sizes it); false when the file did not
// give nTags pairs.
bool GatherPairs(const std::wstring& path, ULONG initialSize, ULONG nTags, CSafeArray& ids, CSafeArray& values) {
    CFileHandle file = OpenForReading(path);
    CConfigReader reader(file.Get());
    if (FAILED(reader.Init())) return false;
    CTagValueBuffer buffer(initialSize ? initialSize : std::max(10000UL, reader.CountLineEnds()));
    for (;;) {
        CBstr name, value;
        const WCHAR token = reader.Scan(name.Out(), value.Out());
        if (token == CConfigReader::TOKEN_END_OF_FILE) break;
        if (token == CConfigReader::TOKEN_TAG_VALUE) buffer.Add(name.Get(), value.Get());
        if (token == CConfigReader::TOKEN_TAG_EMPTY) buffer.Add(name.Get(), nullptr);
    }
    return SUCCEEDED(buffer.DetachSafeArrays(ids.Out(), values.Out())) &&
           ids.Get()->rgsabound[0].cElements == nTags;
}

double BufferRun(const std::wstring& path, ULONG nTags) {
    const double start = NowMs();
    CSafeArray ids, values;
    const bool ok = GatherPairs(path, 0, nTags, ids, values);
    const double elapsed = NowMs() - start;
    return ok ? elapsed : -1;
}

// The same with the buffer made large enough at once: what its growth costs.
double SizedBufferRun(const std::wstring& path, ULONG nTags) {
    const double start = NowMs();
    CSafeArray ids, values;
    const bool ok = GatherPairs(path, nTags, nTags, ids, values);
    const double elapsed = NowMs() - start;
    return ok ? elapsed : -1;
}

// The read phase's client: one tag server and one ConfigFile object.
CComPtr<ITagServer> g_pServer;
CComPtr<IConfigFile> g_pConfigFile;

double ReadRun(const std::wstring& path, ULONG nTags) {
    CComPtr<ITags> client;
    if (FAILED(g_pServer->CreateTags(client.Out()))) return -1;
    IConfigFile* file = g_pConfigFile.Get();
    CBstr bstrPath(path.c_str());
    if (FAILED(file->Open(bstrPath, 1))) return -1;
    IDispatch* collection = client.Get();
    const double start = NowMs();
    const HRESULT hr = file->Read(g_pServer.Get(), &collection);
    const double elapsed = NowMs() - start;
    file->Close();
    LONG count = -1;
    client->get_Count(&count);
    return SUCCEEDED(hr) && count == static_cast<LONG>(nTags) ? elapsed : -1;
}

// Pairs gathered as Read does and bulk-loaded into a new collection of the
// reference server: Read without the update of the client's collection.
double BulkLoadRun(const std::wstring& path, ULONG nTags) {
    const double start = NowMs();
    CSafeArray ids, values;
    if (!GatherPairs(path, 0, nTags, ids, values)) return -1;
    CComPtr<ITags> tags;
    CComPtr<ITagsFromConfig> loader;
    if (FAILED(g_pServer->CreateTags(tags.Out())) ||
        FAILED(tags->QueryInterface(IID_ITagsFromConfig, reinterpret_cast<void**>(loader.Out()))))
        return -1;
    SAFEARRAY* idArray = ids.Detach();
    SAFEARRAY* valueArray = values.Detach();
    const HRESULT hr = loader->BulkLoad(&idArray, &valueArray);
    const double elapsed = NowMs() - start;
    LONG count = -1;
    tags->get_Count(&count);
    return SUCCEEDED(hr) && count == static_cast<LONG>(nTags) ? elapsed : -1;
}

// The reference server's own share of Read: BulkLoad and Update.
CComPtr<ITags> g_pHeldClient;

double ServerRun(const std::wstring& path, ULONG nTags) {
    CSafeArray ids, values;
    if (!GatherPairs(path, 0, nTags, ids, values)) return -1;
    g_pHeldClient.Release();
    CComPtr<ITags> client, loaded;
    CComPtr<ITagsFromConfig> loader;
    if (FAILED(g_pServer->CreateTags(client.Out())) || FAILED(g_pServer->CreateTags(loaded.Out())) ||
        FAILED(loaded->QueryInterface(IID_ITagsFromConfig, reinterpret_cast<void**>(loader.Out()))))
        return -1;
    SAFEARRAY* idArray = ids.Detach();
    SAFEARRAY* valueArray = values.Detach();
    const double start = NowMs();
    HRESULT hr = loader->BulkLoad(&idArray, &valueArray);
    if (SUCCEEDED(hr)) hr = client->Update(loaded.Get());
    loader.Release();
    loaded.Release();
    const double elapsed = NowMs() - start;
    LONG count = -1;
    client->get_Count(&count);
    g_pHeldClient = client;
    return SUCCEEDED(hr) && count == static_cast<LONG>(nTags) ? elapsed : -1;
}

RunFn PhaseFunction(const std::wstring& phase) {
    if (phase == L"server") return ServerRun;
    if (phase == L"sized") return SizedBufferRun;
    if (phase == L"bulk") return BulkLoadRun;
    if (phase == L"scan") return ScanRun;
    if (phase == L"buffer") return BufferRun;
    if (phase == L"read") return ReadRun;
    return nullptr;
}

// Child: runs one phase R times, prints "ok <ms>... | <peakWS> <peakPF> <held>".
int RunChild(const std::wstring& phase, const std::wstring& path, ULONG nTags, int nRuns) {
    const RunFn run = PhaseFunction(phase);
    if (!run) return 2;
    if (phase == L"read" || phase == L"bulk" || phase == L"server") {
        g_pServer = CreateFromDll<ITagServer>(L"TagServer.dll", CLSID_TagServer, IID_ITagServer);
        g_pConfigFile = CreateFromDll<IConfigFile>(L"Quorvex3.dll", CLSID_ConfigFile, IID_IConfigFile);
    }
    const PROCESS_MEMORY_COUNTERS before = MemoryCounters();
    std::vector<double> times;
    for (int i = 0; i < nRuns; ++i) {
        const double ms = run(path, nTags);
        if (ms < 0) {
            std::printf("failed\n");
            return 1;
        }
        times.push_back(ms);
    }
    const PROCESS_MEMORY_COUNTERS after = MemoryCounters();
    const size_t heapWithClient = HeapBytesInUse();
    g_pHeldClient.Release();
    const long long held = static_cast<long long>(heapWithClient) - static_cast<long long>(HeapBytesInUse());
    std::printf("ok");
    for (double ms : times) std::printf(" %.3f", ms);
    std::printf(" | %llu %llu %lld\n",
                static_cast<unsigned long long>(after.PeakWorkingSetSize - before.WorkingSetSize),
                static_cast<unsigned long long>(after.PeakPagefileUsage - before.PagefileUsage), held);
    return 0;
}

// ---- parent -------------------------------------------------------------------

std::wstring ProgramPath() {
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    return path;
}

std::string RunAndCapture(std::wstring commandLine) {
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return std::string();
    CFileHandle reading(readEnd), writing(writeEnd);
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd;
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process))
        return std::string();
    writing.Close();
    std::string output;
    char chunk[512];
    DWORD got = 0;
    while (ReadFile(readEnd, chunk, sizeof chunk, &got, nullptr) && got > 0) output.append(chunk, got);
    WaitForSingleObject(process.hProcess, INFINITE);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return output;
}

CPhaseResult MeasurePhase(const std::wstring& phase, const std::wstring& path, ULONG nTags, int nRuns) {
    const std::wstring command = L"\"" + ProgramPath() + L"\" --child " + phase + L" \"" + path + L"\" " +
                                 std::to_wstring(nTags) + L" " + std::to_wstring(nRuns);
    const std::string output = RunAndCapture(command);
    CPhaseResult result;
    if (output.compare(0, 3, "ok ") != 0) return result;
    std::vector<double> times;
    const char* p = output.c_str() + 3;
    char* end = nullptr;
    for (double ms = std::strtod(p, &end); end != p; ms = std::strtod(p, &end)) {
        times.push_back(ms);
        p = end;
    }
    const char* bar = std::strchr(p, '|');
    if (times.empty() || !bar) return result;
    std::sort(times.begin(), times.end());
    result.dMedianMs = times[times.size() / 2];
    result.dMinMs = times.front();
    result.nPeakWorkingSetRise = std::strtoull(bar + 1, &end, 10);
    result.nPeakPagefileRise = std::strtoull(end, &end, 10);
    result.nHeldBytes = std::strtoll(end, nullptr, 10);
    result.bOk = true;
    return result;
}

double Mb(ULONGLONG bytes) { return static_cast<double>(bytes) / (1024.0 * 1024.0); }

std::vector<ULONG> ParseCounts(const wchar_t* text) {
    std::vector<ULONG> counts;
    for (const wchar_t* p = text; *p;) {
        wchar_t* end = nullptr;
        counts.push_back(std::wcstoul(p, &end, 10));
        p = (*end == L',') ? end + 1 : end;
        if (end == p && *p) break;
    }
    return counts;
}

int RunParent(const std::vector<ULONG>& counts, int nRuns, CBenchReport& report) {
    wchar_t folder[MAX_PATH];
    GetTempPathW(MAX_PATH, folder);
    bool bAllOk = true;
    std::printf("%-9s %9s %9s | %-7s %10s %10s %12s %12s %9s\n", "tags", "file MB", "pairs MB", "phase",
                "median ms", "min ms", "peak WS MB", "peak PF MB", "WS/pairs");
    for (ULONG nTags : counts) {
        const std::wstring path = std::wstring(folder) + L"read_bench_" + std::to_wstring(nTags) + L".cfg";
        const CFileFacts facts = WriteConfigFile(path, nTags);
        double scanMs = 0;
        for (const wchar_t* phase : {L"scan", L"sized", L"buffer", L"bulk", L"server", L"read"}) {
            const CPhaseResult r = MeasurePhase(phase, path, nTags, nRuns);
            bAllOk = bAllOk && r.bOk;
            if (!r.bOk) {
                std::printf("%-9lu %9.1f %9.1f | %-7ls FAILED\n", nTags, Mb(facts.nFileBytes), Mb(facts.nPairBytes),
                            phase);
                continue;
            }
            if (std::wcscmp(phase, L"scan") == 0) scanMs = r.dMedianMs;
            report.Add(CUtf8::FromUtf16(phase), nTags, r.dMedianMs, Mb(r.nPeakWorkingSetRise));
            std::printf("%-9lu %9.1f %9.1f | %-7ls %10.1f %10.1f %12.1f %12.1f %9.2f", nTags, Mb(facts.nFileBytes),
                        Mb(facts.nPairBytes), phase, r.dMedianMs, r.dMinMs, Mb(r.nPeakWorkingSetRise),
                        Mb(r.nPeakPagefileRise),
                        static_cast<double>(r.nPeakWorkingSetRise) / static_cast<double>(facts.nPairBytes));
            if (scanMs > 0 && std::wcscmp(phase, L"scan") != 0) std::printf("  x%.2f of scan", r.dMedianMs / scanMs);
            if (std::wcscmp(phase, L"server") == 0)
                std::printf("  held %.0f B/tag, %.0f beyond the pairs' text",
                            static_cast<double>(r.nHeldBytes) / nTags,
                            static_cast<double>(r.nHeldBytes - static_cast<LONGLONG>(facts.nPairBytes)) / nTags);
            std::printf("\n");
        }
        DeleteFileW(path.c_str());
    }
    return bAllOk ? 0 : 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) return 4;
    int exitCode = 2;
    if (argc == 6 && std::wcscmp(argv[1], L"--child") == 0) {
        exitCode = RunChild(argv[2], argv[3], std::wcstoul(argv[4], nullptr, 10), _wtoi(argv[5]));
    } else {
        std::vector<ULONG> counts = {10000, 1000000};
        int nRuns = 5;
        std::wstring jsonPath;
        for (int i = 1; i + 1 < argc; i += 2) {
            if (std::wcscmp(argv[i], L"--tags") == 0) counts = ParseCounts(argv[i + 1]);
            if (std::wcscmp(argv[i], L"--runs") == 0) nRuns = std::max(1, _wtoi(argv[i + 1]));
            if (std::wcscmp(argv[i], L"--json") == 0) jsonPath = argv[i + 1];
        }
        CBenchReport report("read_bench");
        exitCode = RunParent(counts, nRuns, report);
        if (!jsonPath.empty() && !report.WriteJson(CUtf8::FromUtf16(jsonPath))) exitCode = 2;
    }
    // The components' objects go before COM does.
    g_pHeldClient.Release();
    g_pConfigFile.Release();
    g_pServer.Release();
    CoUninitialize();
    return exitCode;
}
