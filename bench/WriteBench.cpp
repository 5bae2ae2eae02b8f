// Measures ConfigFile::Write of collections held by the reference tag server
// against writing the same bytes with a single WriteFile call.
//
//   write_bench [--runs R] [--json FILE] [TAGS...]   (default: 10000 1000000)
//
// Both DLLs are loaded from this program's folder through DllGetClassObject,
// so no registration is needed. Each figure is the median of R runs (default:
// 21 up to 100,000 tags, 5 above). The baselines write the bytes Write
// produced to an already open file with one WriteFile call (then cut it
// there), without and with FlushFileBuffers; Write itself flushes. Write's
// own cost is what remains of it beside the same I/O in its chunks and the
// tag server's calls for every tag.
#include "BenchJson.h"
#include "Quorvex3.h"
#include "TagServerLib.h"
#include "platform/Bstr.h"
#include "platform/ComPtr.h"
#include "platform/FileHandle.h"
#include "platform/SafeArray.h"
#include "platform/Utf8.h"
#include "platform/Variant.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

class CComRuntime {
public:
    CComRuntime() { CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
    ~CComRuntime() { CoUninitialize(); }
};

std::wstring ProgramFolder() {
    wchar_t path[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, n);
    return folder.substr(0, folder.rfind(L'\\') + 1);
}

template <class T>
HRESULT CreateFromDll(const std::wstring& dll, const CLSID& clsid, const IID& iid, CComPtr<T>& out) {
    HMODULE module = LoadLibraryW((ProgramFolder() + dll).c_str());
    if (!module) return HRESULT_FROM_WIN32(GetLastError());
    auto getClassObject =
        reinterpret_cast<HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**)>(GetProcAddress(module, "DllGetClassObject"));
    if (!getClassObject) return E_NOINTERFACE;
    CComPtr<IClassFactory> factory;
    HRESULT hr = getClassObject(clsid, IID_IClassFactory, reinterpret_cast<void**>(factory.Out()));
    if (FAILED(hr)) return hr;
    return factory->CreateInstance(nullptr, iid, reinterpret_cast<void**>(out.Out()));
}

void Check(HRESULT hr, const char* what) {
    if (SUCCEEDED(hr)) return;
    std::fprintf(stderr, "write_bench: %s failed: 0x%08lX\n", what, static_cast<unsigned long>(hr));
    std::exit(1);
}

// Identifiers of four hex groups and values of 10 to 40 characters, a few
// of them with characters that need escapes.
std::wstring ValueOf(size_t i) {
    std::wstring value = L"value " + std::to_wstring(i * 7919);
    value.resize(10 + i % 31, L'x');
    if (i % 10 == 0) value += L"\t\"q\"\\";
    return value;
}

std::wstring IdOf(size_t i) {
    wchar_t id[40];
    std::swprintf(id, 40, L"1.0.%zX.%zX", i / 4096, i % 4096);
    return id;
}

void FillCollection(ITags* tags, size_t count) {
    CComPtr<ITagsFromConfig> loader;
    Check(tags->QueryInterface(IID_ITagsFromConfig, reinterpret_cast<void**>(loader.Out())), "ITagsFromConfig");
    SAFEARRAYBOUND bound = {static_cast<ULONG>(count), 0};
    SAFEARRAY* ids = SafeArrayCreate(VT_BSTR, 1, &bound);
    SAFEARRAY* values = SafeArrayCreate(VT_VARIANT, 1, &bound);
    BSTR* idData = nullptr;
    VARIANT* valueData = nullptr;
    SafeArrayAccessData(ids, reinterpret_cast<void**>(&idData));
    SafeArrayAccessData(values, reinterpret_cast<void**>(&valueData));
    for (size_t i = 0; i < count; ++i) {
        idData[i] = SysAllocString(IdOf(i).c_str());
        V_VT(&valueData[i]) = VT_BSTR;
        V_BSTR(&valueData[i]) = SysAllocString(ValueOf(i).c_str());
    }
    SafeArrayUnaccessData(ids);
    SafeArrayUnaccessData(values);
    Check(loader->BulkLoad(&ids, &values), "BulkLoad");
}

std::string ReadWholeFile(const std::wstring& path) {
    CFileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_EXISTING, 0, nullptr));
    std::string bytes(GetFileSize(file.Get(), nullptr), '\0');
    DWORD read = 0;
    ReadFile(file.Get(), &bytes[0], static_cast<DWORD>(bytes.size()), &read, nullptr);
    bytes.resize(read);
    return bytes;
}

void WalkLikeWrite(ITags* tags) {
    CComPtr<IEnumVARIANT> items;
    Check(tags->get__NewEnum(items.Out()), "get__NewEnum");
    CVariant item;
    ULONG fetched = 0;
    while (items->Next(1, item.Out(), &fetched) == S_OK) {
        CComPtr<ITag> tag;
        Check(V_DISPATCH(item.Get())->QueryInterface(IID_ITag, reinterpret_cast<void**>(tag.Out())), "ITag");
        CBstr id;
        CVariant value;
        Check(tag->get_ID(id.Out()), "get_ID");
        Check(tag->get_Value(value.Out()), "get_Value");
    }
}

template <class Step>
double Milliseconds(Step step) {
    auto start = Clock::now();
    step();
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double Median(std::vector<double> times) {
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

template <class Step>
double MedianMilliseconds(int rounds, Step step) {
    std::vector<double> times;
    for (int i = 0; i < rounds; ++i) times.push_back(Milliseconds(step));
    return Median(times);
}

void Measure(ITagServer* server, size_t count, int runs, const std::wstring& folder, CBenchReport& report) {
    CComPtr<ITags> tags;
    Check(server->CreateTags(tags.Out()), "CreateTags");
    FillCollection(tags.Get(), count);

    CComPtr<IConfigFile> config;
    Check(CreateFromDll(L"Quorvex3.dll", CLSID_ConfigFile, IID_IConfigFile, config), "ConfigFile");
    const std::wstring path = folder + L"write_bench.cfg";
    Check(config->Open(CBstr(path.c_str()), 0), "Open");
    CComPtr<IDispatch> collection;
    Check(tags->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(collection.Out())), "IDispatch");

    const int rounds = runs > 0 ? runs : count <= 100000 ? 21 : 5;
    Check(config->Write(collection.Get()), "Write");  // the bytes the I/O baselines write
    config->Close();

    const std::string bytes = ReadWholeFile(path);
    if (bytes.size() < 2 || bytes.compare(0, 2, "\xFF\xFE") != 0 || bytes.size() < count * 2 * (10 + 10)) {
        std::fprintf(stderr, "write_bench: the written file (%zu bytes) is not the whole collection\n", bytes.size());
        std::exit(1);
    }
    const std::wstring plainPath = folder + L"write_bench_plain.cfg";
    CFileHandle plain(CreateFileW(plainPath.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    auto writeOnce = [&](bool flush) {
        DWORD written = 0;
        SetFilePointer(plain.Get(), 0, nullptr, FILE_BEGIN);
        if (!WriteFile(plain.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr))
            Check(HRESULT_FROM_WIN32(GetLastError()), "WriteFile");
        SetEndOfFile(plain.Get());
        if (flush) FlushFileBuffers(plain.Get());
    };
    // The I/O that Write's own steps imply for these bytes: chunks of about
    // 2040 units to a delete-on-close temporary file, then 4096-byte blocks
    // copied back, cut and flushed.
    auto writeInWritesChunks = [&] {
        const std::wstring tempPath = folder + L"~rite_bench_plain.cfg";
        CFileHandle temp(CreateFileW(tempPath.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                     FILE_FLAG_DELETE_ON_CLOSE | FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_HIDDEN,
                                     nullptr));
        DWORD done = 0;
        for (size_t at = 0; at < bytes.size(); at += 4082)
            WriteFile(temp.Get(), bytes.data() + at, static_cast<DWORD>(std::min<size_t>(4082, bytes.size() - at)),
                      &done, nullptr);
        SetFilePointer(temp.Get(), 0, nullptr, FILE_BEGIN);
        SetFilePointer(plain.Get(), 0, nullptr, FILE_BEGIN);
        char block[4096];
        do {
            ReadFile(temp.Get(), block, sizeof block, &done, nullptr);
            DWORD written = 0;
            WriteFile(plain.Get(), block, done, &written, nullptr);
        } while (done == sizeof block);
        SetEndOfFile(plain.Get());
        FlushFileBuffers(plain.Get());
    };
    // Each round measures the three parts of Write side by side, so that the
    // changing load of a shared machine moves them together: Write, the same
    // I/O in its chunks, and the tag server alone (the calls Write makes for
    // each tag). Write's own cost is the median of what each round leaves.
    Check(config->Open(CBstr(path.c_str()), 0), "Open");
    std::vector<double> writes, chunks, walks, owns;
    for (int i = 0; i < rounds; ++i) {
        writes.push_back(Milliseconds([&] { Check(config->Write(collection.Get()), "Write"); }));
        chunks.push_back(Milliseconds(writeInWritesChunks));
        walks.push_back(Milliseconds([&] { WalkLikeWrite(tags.Get()); }));
        owns.push_back(writes.back() - chunks.back() - walks.back());
    }
    config->Close();
    const double writeMs = Median(writes), chunkedMs = Median(chunks), walkMs = Median(walks), ownMs = Median(owns);
    double plainMs = MedianMilliseconds(rounds, [&] { writeOnce(false); });
    double flushedMs = MedianMilliseconds(rounds, [&] { writeOnce(true); });
    plain.Close();
    DeleteFileW(plainPath.c_str());
    DeleteFileW(path.c_str());

    std::printf("%8zu tags, %9zu bytes: Write %9.3f ms (%4.0f tags/ms) | one WriteFile %8.3f ms, ratio %6.2f | "
                "WriteFile+Flush %8.3f ms, ratio %5.2f | same I/O in Write's chunks %8.3f ms, ratio %5.2f | tag server calls alone %8.3f ms\n",
                count, bytes.size(), writeMs, count / writeMs, plainMs, writeMs / plainMs, flushedMs,
                writeMs / flushedMs, chunkedMs, writeMs / chunkedMs, walkMs);
    const double usPerTag = 1000.0 / static_cast<double>(count);
    std::printf("%8zu tags, per tag: Write %.3f us = I/O %.3f + tag server %.3f + own %.3f us (goal < 0.15)\n", count,
                writeMs * usPerTag, chunkedMs * usPerTag, walkMs * usPerTag, ownMs * usPerTag);
    const long long rowTags = static_cast<long long>(count);
    report.Add("write", rowTags, writeMs);
    report.Add("write_io", rowTags, chunkedMs);
    report.Add("write_enum", rowTags, walkMs);
    report.Add("write_own", rowTags, ownMs);
    report.Add("writefile", rowTags, plainMs);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    CComRuntime com;
    std::vector<size_t> counts;
    int runs = 0;
    std::wstring jsonPath;
    for (int i = 1; i < argc; ++i) {
        if (std::wcscmp(argv[i], L"--runs") == 0 && i + 1 < argc)
            runs = static_cast<int>(std::wcstoul(argv[++i], nullptr, 10));
        else if (std::wcscmp(argv[i], L"--json") == 0 && i + 1 < argc)
            jsonPath = argv[++i];
        else
            counts.push_back(std::wcstoul(argv[i], nullptr, 10));
    }
    if (counts.empty()) counts = {10000, 1000000};

    wchar_t temp[MAX_PATH];
    ::GetTempPathW(MAX_PATH, temp);
    CComPtr<ITagServer> server;
    Check(CreateFromDll(L"TagServer.dll", CLSID_TagServer, IID_ITagServer, server), "TagServer");
    CBenchReport report("write_bench");
    for (size_t count : counts) Measure(server.Get(), count, runs, temp, report);
    if (!jsonPath.empty() && !report.WriteJson(CUtf8::FromUtf16(jsonPath))) {
        std::fprintf(stderr, "write_bench: cannot write the JSON report\n");
        return 1;
    }
    return 0;
}
