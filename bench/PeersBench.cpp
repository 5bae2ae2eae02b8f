// Peers benchmark: one collection of tags written and read back by ConfigFile
// with the reference tag server, and by the platform's own means beside it:
//   write / read                            ConfigFile (Write; Read into a client collection)
//   profile_section_write / _read           WritePrivateProfileSectionW / GetPrivateProfileSectionW, one section
//   profile_string_write                    one WritePrivateProfileStringW per key (at most 10,000 keys)
//   msxml_write / msxml_load                MSXML2.DOMDocument.6.0: build and save / load and walk
//   writefile_limit / readfile_limit        one WriteFile / ReadFile of ConfigFile's bytes: the bare I/O,
//                                           a limit no peer can beat, not a peer
// Every peer does the work ConfigFile does: its write starts from the
// collection (each tag fetched through the collection's enumerator, its value
// as text), and its read ends where Read ends (the pairs in the same arrays,
// bulk-loaded into a new collection of the server and handed to the client's
// collection in one bracketed update).
//
//   peers_bench [--runs R] [--json FILE] [N ...]      (default 1000 10000 100000 1000000)
//
// Times are medians of R runs. A measurement whose time, extrapolated from
// the smaller sizes, would pass 60 s is skipped and said so.
#include "BenchJson.h"
#include "ComponentFromDll.h"
#include "Quorvex3.h"
#include "TagServerLib.h"
#include "platform/Bstr.h"
#include "platform/FileHandle.h"
#include "platform/SafeArray.h"
#include "platform/Utf8.h"
#include "platform/Variant.h"

#include <msxml2.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cwchar>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace {

constexpr double kLimitMs = 60000;
constexpr ULONG kMostProfileStrings = 10000;

struct CCollection {
    std::vector<std::wstring> ids;
    std::vector<std::wstring> values;
};

CCollection MakeCollection(ULONG nTags) {
    CCollection tags;
    for (ULONG i = 0; i < nTags; ++i) {
        wchar_t id[32];
        swprintf(id, 32, L"%04X.%04X.%04X.%04X", (i >> 24) & 0xFF, (i >> 16) & 0xFF, (i >> 8) & 0xFF, i & 0xFF);
        tags.ids.push_back(id);
        tags.values.push_back(L"value " + std::to_wstring(i));
    }
    return tags;
}

std::wstring TempPath(const wchar_t* name) {
    wchar_t folder[MAX_PATH];
    GetTempPathW(MAX_PATH, folder);
    return std::wstring(folder) + name;
}

// ---- ConfigFile with the reference tag server ----------------------------------

struct CComponents {
    CComPtr<ITagServer> server = CreateFromDll<ITagServer>(L"TagServer.dll", CLSID_TagServer, IID_ITagServer);
    CComPtr<IConfigFile> file = CreateFromDll<IConfigFile>(L"Quorvex3.dll", CLSID_ConfigFile, IID_IConfigFile);
};

CComPtr<ITags> LoadedCollection(ITagServer* server, const CCollection& tags) {
    const ULONG count = static_cast<ULONG>(tags.ids.size());
    CSafeArray ids(SafeArrayCreateVector(VT_BSTR, 0, count));
    CSafeArray values(SafeArrayCreateVector(VT_VARIANT, 0, count));
    for (LONG i = 0; i < static_cast<LONG>(count); ++i) {
        CBstr id(tags.ids[i]);
        CVariant value;
        V_VT(value.Get()) = VT_BSTR;
        V_BSTR(value.Get()) = SysAllocString(tags.values[i].c_str());
        SafeArrayPutElement(ids.Get(), &i, id.Get());
        SafeArrayPutElement(values.Get(), &i, value.Get());
    }
    CComPtr<ITags> collection;
    CComPtr<ITagsFromConfig> loader;
    SAFEARRAY* idArray = ids.Detach();
    SAFEARRAY* valueArray = values.Detach();
    if (FAILED(server->CreateTags(collection.Out())) ||
        FAILED(collection->QueryInterface(IID_ITagsFromConfig, reinterpret_cast<void**>(loader.Out()))) ||
        FAILED(loader->BulkLoad(&idArray, &valueArray)))
        collection = nullptr;
    return collection;
}

// Where every peer's write starts, as Write does: each tag of the collection
// one at a time through its enumerator, its value turned into text.
bool TagsOf(ITags* collection, CCollection& tags) {
    CComPtr<IEnumVARIANT> each;
    if (FAILED(collection->get__NewEnum(each.Out())) || !each) return false;
    for (;;) {
        CVariant item, value;
        ULONG fetched = 0;
        if (each->Next(1, item.Get(), &fetched) != S_OK || fetched != 1) return true;
        CComPtr<ITag> tag;
        CBstr id;
        if (item.Type() != VT_DISPATCH || !V_DISPATCH(item.Get()) ||
            FAILED(V_DISPATCH(item.Get())->QueryInterface(IID_ITag, reinterpret_cast<void**>(tag.Out()))) ||
            FAILED(tag->get_ID(id.Out())) || FAILED(tag->get_Value(value.Out())) ||
            FAILED(VariantChangeType(value.Get(), value.Get(), 0, VT_BSTR)))
            return false;
        tags.ids.emplace_back(id.Get(), SysStringLen(id.Get()));
        tags.values.emplace_back(V_BSTR(value.Get()), SysStringLen(V_BSTR(value.Get())));
    }
}

// Where every peer's read ends, as Read does: the pairs bulk-loaded into a new
// collection of the server and handed to the client's in one bracketed update.
bool HandOver(ITagServer* server, const CCollection& pairs, ULONG nTags) {
    CComPtr<ITags> client;
    CComPtr<ITags> loaded = LoadedCollection(server, pairs);
    LONG count = -1;
    return loaded && SUCCEEDED(server->CreateTags(client.Out())) && SUCCEEDED(client->BeginUpdate()) &&
           SUCCEEDED(client->Update(loaded.Get())) && SUCCEEDED(client->EndUpdate()) &&
           SUCCEEDED(client->get_Count(&count)) && count == static_cast<LONG>(nTags);
}

double ConfigFileWrite(CComponents& c, ITags* tags, const std::wstring& path) {
    DeleteFileW(path.c_str());
    if (FAILED(c.file->Open(CBstr(path.c_str()), 0))) return -1;
    const double start = NowMs();
    const HRESULT hr = c.file->Write(tags);
    const double elapsed = NowMs() - start;
    c.file->Close();
    return SUCCEEDED(hr) ? elapsed : -1;
}

double ConfigFileRead(CComponents& c, const std::wstring& path, ULONG nTags) {
    CComPtr<ITags> client;
    if (FAILED(c.server->CreateTags(client.Out())) || FAILED(c.file->Open(CBstr(path.c_str()), 1))) return -1;
    IDispatch* collection = client.Get();
    const double start = NowMs();
    const HRESULT hr = c.file->Read(c.server.Get(), &collection);
    const double elapsed = NowMs() - start;
    c.file->Close();
    LONG count = -1;
    client->get_Count(&count);
    return SUCCEEDED(hr) && count == static_cast<LONG>(nTags) ? elapsed : -1;
}

// ---- one WriteFile / ReadFile ----------------------------------------------------

std::string FileBytes(const std::wstring& path) {
    CFileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    std::string bytes(file.IsValid() ? GetFileSize(file.Get(), nullptr) : 0, '\0');
    DWORD got = 0;
    if (!bytes.empty()) ReadFile(file.Get(), &bytes[0], static_cast<DWORD>(bytes.size()), &got, nullptr);
    bytes.resize(got);
    return bytes;
}

double WriteBytes(const std::wstring& path, const std::string& bytes) {
    const double start = NowMs();
    CFileHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    const BOOL ok = file.IsValid() && WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                                                nullptr) && written == bytes.size();
    file.Close();
    const double elapsed = NowMs() - start;
    return ok ? elapsed : -1;
}

double ReadBytes(const std::wstring& path, size_t expected) {
    const double start = NowMs();
    const size_t got = FileBytes(path).size();
    const double elapsed = NowMs() - start;
    return got == expected ? elapsed : -1;
}

// ---- the profile API ---------------------------------------------------------------

// Wine keeps a profile file in memory: letting it go makes the next call read the file.
void ForgetProfile(const std::wstring& path) { WritePrivateProfileStringW(nullptr, nullptr, nullptr, path.c_str()); }

double ProfileSectionWrite(const std::wstring& path, ITags* collection) {
    DeleteFileW(path.c_str());
    ForgetProfile(path);
    const double start = NowMs();
    CCollection tags;
    if (!TagsOf(collection, tags)) return -1;
    std::wstring section;
    for (size_t i = 0; i < tags.ids.size(); ++i) section += tags.ids[i] + L"=" + tags.values[i] + L'\0';
    section += L'\0';
    const BOOL ok = WritePrivateProfileSectionW(L"tags", section.c_str(), path.c_str());
    ForgetProfile(path);
    const double elapsed = NowMs() - start;
    return ok ? elapsed : -1;
}

// Each "key=value" entry of the section, split at its first '='.
CCollection SplitSection(const wchar_t* entry, const wchar_t* end) {
    CCollection pairs;
    while (entry < end && *entry) {
        const wchar_t* const next = entry + std::wcslen(entry);
        const wchar_t* const equals = std::find(entry, next, L'=');
        pairs.ids.emplace_back(entry, equals);
        pairs.values.emplace_back(equals == next ? next : equals + 1, next);
        entry = next + 1;
    }
    return pairs;
}

double ProfileSectionRead(ITagServer* server, const std::wstring& path, ULONG nTags) {
    std::vector<wchar_t> buffer(static_cast<size_t>(nTags) * 40 + 2);
    const double start = NowMs();
    const DWORD got = GetPrivateProfileSectionW(L"tags", buffer.data(), static_cast<DWORD>(buffer.size()), path.c_str());
    const bool ok = HandOver(server, SplitSection(buffer.data(), buffer.data() + got), nTags);
    const double elapsed = NowMs() - start;
    ForgetProfile(path);
    return ok ? elapsed : -1;
}

double ProfileStringWrite(const std::wstring& path, ITags* collection) {
    DeleteFileW(path.c_str());
    ForgetProfile(path);
    const double start = NowMs();
    CCollection tags;
    if (!TagsOf(collection, tags)) return -1;
    for (size_t i = 0; i < tags.ids.size(); ++i)
        if (!WritePrivateProfileStringW(L"tags", tags.ids[i].c_str(), tags.values[i].c_str(), path.c_str())) return -1;
    ForgetProfile(path);
    return NowMs() - start;
}

// ---- the XML DOM --------------------------------------------------------------------

// The document class, or a line saying which call failed and what it returned.
bool FindXmlClass(CLSID& clsid) {
    const HRESULT hr = CLSIDFromProgID(L"Msxml2.DOMDocument.6.0", &clsid);
    if (SUCCEEDED(hr)) return true;
    std::printf("msxml: CLSIDFromProgID(\"Msxml2.DOMDocument.6.0\") returned 0x%08lX\n", static_cast<unsigned long>(hr));
    return false;
}

CComPtr<IXMLDOMDocument> NewDocument(const CLSID& clsid) {
    CComPtr<IXMLDOMDocument> document;
    const HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IXMLDOMDocument,
                                        reinterpret_cast<void**>(document.Out()));
    if (FAILED(hr)) std::printf("msxml: CoCreateInstance returned 0x%08lX\n", static_cast<unsigned long>(hr));
    return document;
}

HRESULT SetAttribute(IXMLDOMElement* element, const wchar_t* name, const std::wstring& text) {
    CVariant value;
    V_VT(value.Get()) = VT_BSTR;
    V_BSTR(value.Get()) = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return element->setAttribute(CBstr(name), *value.Get());
}

// <tags><tag id=".." value=".."/>...</tags>, built and saved.
double XmlWrite(const CLSID& clsid, const std::wstring& path, ITags* collection) {
    const double start = NowMs();
    CCollection tags;
    if (!TagsOf(collection, tags)) return -1;
    CComPtr<IXMLDOMDocument> document = NewDocument(clsid);
    CComPtr<IXMLDOMElement> root;
    CComPtr<IXMLDOMNode> added;
    if (!document || FAILED(document->createElement(CBstr(L"tags"), root.Out())) ||
        FAILED(document->appendChild(root.Get(), added.Out())))
        return -1;
    const CBstr tagName(L"tag");
    for (size_t i = 0; i < tags.ids.size(); ++i) {
        CComPtr<IXMLDOMElement> element;
        CComPtr<IXMLDOMNode> child;
        if (FAILED(document->createElement(tagName, element.Out())) ||
            FAILED(SetAttribute(element.Get(), L"id", tags.ids[i])) ||
            FAILED(SetAttribute(element.Get(), L"value", tags.values[i])) ||
            FAILED(root->appendChild(element.Get(), child.Out())))
            return -1;
    }
    CVariant target;
    V_VT(target.Get()) = VT_BSTR;
    V_BSTR(target.Get()) = SysAllocString(path.c_str());
    const HRESULT hr = document->save(*target.Get());
    const double elapsed = NowMs() - start;
    if (FAILED(hr)) std::printf("msxml: save returned 0x%08lX\n", static_cast<unsigned long>(hr));
    return SUCCEEDED(hr) ? elapsed : -1;
}

// Loaded, and every element's two attributes read.
double XmlLoad(ITagServer* server, const CLSID& clsid, const std::wstring& path, ULONG nTags) {
    const double start = NowMs();
    CComPtr<IXMLDOMDocument> document = NewDocument(clsid);
    CVariant source;
    V_VT(source.Get()) = VT_BSTR;
    V_BSTR(source.Get()) = SysAllocString(path.c_str());
    VARIANT_BOOL loaded = VARIANT_FALSE;
    if (!document || FAILED(document->put_async(VARIANT_FALSE)) || FAILED(document->load(*source.Get(), &loaded)) ||
        loaded != VARIANT_TRUE) {
        std::printf("msxml: load did not succeed\n");
        return -1;
    }
    CComPtr<IXMLDOMElement> root;
    if (FAILED(document->get_documentElement(root.Out())) || !root) return -1;
    // Sibling to sibling: a node list's item(i) may walk from the first child each time.
    const CBstr idName(L"id"), valueName(L"value");
    CCollection pairs;
    CComPtr<IXMLDOMNode> node;
    if (FAILED(root->get_firstChild(node.Out()))) return -1;
    while (node) {
        CComPtr<IXMLDOMElement> element;
        CVariant id, value;
        if (FAILED(node->QueryInterface(IID_IXMLDOMElement, reinterpret_cast<void**>(element.Out()))) ||
            FAILED(element->getAttribute(idName, id.Out())) || FAILED(element->getAttribute(valueName, value.Out())))
            return -1;
        if (id.Type() != VT_BSTR || value.Type() != VT_BSTR) return -1;
        pairs.ids.emplace_back(V_BSTR(id.Get()), SysStringLen(V_BSTR(id.Get())));
        pairs.values.emplace_back(V_BSTR(value.Get()), SysStringLen(V_BSTR(value.Get())));
        CComPtr<IXMLDOMNode> next;
        if (FAILED(node->get_nextSibling(next.Out()))) return -1;
        node = next;
    }
    const bool ok = HandOver(server, pairs, nTags);
    const double elapsed = NowMs() - start;
    return ok ? elapsed : -1;
}

// ---- the run -------------------------------------------------------------------------

struct CMeasured {
    ULONG nTags;
    double dMs;
};

class CPeersRun {
public:
    CPeersRun(int nRuns, CBenchReport& report) : m_nRuns(nRuns), m_report(report) {}

    // Measures one row unless its extrapolated time passes the limit; the
    // median in ms, or a negative value when skipped or failed.
    double Row(const char* name, ULONG nTags, const std::function<double()>& run) {
        const double predicted = Predicted(name, nTags);
        if (predicted > kLimitMs) {
            std::printf("%-9lu %-22s skipped: about %.0f s extrapolated from the smaller sizes\n", nTags, name,
                        predicted / 1000);
            return -1;
        }
        std::vector<double> times;
        for (int i = 0; i < m_nRuns; ++i) {
            const double ms = run();
            if (ms < 0) {
                std::printf("%-9lu %-22s FAILED\n", nTags, name);
                m_bFailed = true;
                return -1;
            }
            times.push_back(ms);
        }
        std::sort(times.begin(), times.end());
        const double median = times[times.size() / 2];
        m_history[name].push_back({nTags, median});
        m_report.Add(name, nTags, median);
        return median;
    }

    void Print(const char* name, ULONG nTags, double ms, double configFileMs) const {
        if (ms < 0) return;
        std::printf("%-9lu %-22s %10.1f %14.0f", nTags, name, ms, nTags * 1000.0 / std::max(ms, 1e-3));
        if (configFileMs > 0) std::printf(" %9.2f", configFileMs / std::max(ms, 1e-3));
        std::printf("\n");
    }

    bool Failed() const { return m_bFailed; }

private:
    // Linear from the last size, or with the growth seen between the last two.
    double Predicted(const char* name, ULONG nTags) const {
        const auto found = m_history.find(name);
        if (found == m_history.end() || found->second.empty()) return 0;
        const std::vector<CMeasured>& seen = found->second;
        double exponent = 1;
        if (seen.size() >= 2) {
            const CMeasured& a = seen[seen.size() - 2];
            const CMeasured& b = seen.back();
            if (a.dMs > 0 && b.nTags > a.nTags)
                exponent = std::log(b.dMs / a.dMs) / std::log(double(b.nTags) / a.nTags);
            // Growth faster than linear tends to speed up further (the profile
            // API's is worse than quadratic here): allow for it.
            exponent = exponent > 1.2 ? std::min(exponent + 0.5, 3.0) : 1.0;
        }
        return seen.back().dMs * std::pow(double(nTags) / seen.back().nTags, exponent);
    }

    int m_nRuns;
    CBenchReport& m_report;
    std::map<std::string, std::vector<CMeasured>> m_history;
    bool m_bFailed = false;
};

void MeasureSize(CPeersRun& run, CComponents& components, ULONG nTags, bool bHaveXml, const CLSID& xmlClass) {
    const CCollection tags = MakeCollection(nTags);
    const std::wstring cfg = TempPath(L"peers_bench.cfg"), bytesPath = TempPath(L"peers_bench.bin"),
                       ini = TempPath(L"peers_bench.ini"), xml = TempPath(L"peers_bench.xml");
    CComPtr<ITags> collection = LoadedCollection(components.server.Get(), tags);

    const double write = run.Row("write", nTags, [&] { return ConfigFileWrite(components, collection.Get(), cfg); });
    const double read = run.Row("read", nTags, [&] { return ConfigFileRead(components, cfg, nTags); });
    run.Print("write", nTags, write, 0);
    run.Print("read", nTags, read, 0);
    const std::string bytes = FileBytes(cfg);
    run.Print("writefile_limit", nTags,
              run.Row("writefile_limit", nTags, [&] { return WriteBytes(bytesPath, bytes); }), write);
    run.Print("readfile_limit", nTags,
              run.Row("readfile_limit", nTags, [&] { return ReadBytes(bytesPath, bytes.size()); }), read);
    ITagServer* const server = components.server.Get();
    const double sectionWrite =
        run.Row("profile_section_write", nTags, [&] { return ProfileSectionWrite(ini, collection.Get()); });
    run.Print("profile_section_write", nTags, sectionWrite, write);
    // A read needs the file its write left.
    if (sectionWrite >= 0)
        run.Print("profile_section_read", nTags,
                  run.Row("profile_section_read", nTags, [&] { return ProfileSectionRead(server, ini, nTags); }), read);
    if (nTags <= kMostProfileStrings)
        run.Print("profile_string_write", nTags,
                  run.Row("profile_string_write", nTags, [&] { return ProfileStringWrite(ini, collection.Get()); }), write);
    if (bHaveXml) {
        const double xmlWrite = run.Row("msxml_write", nTags, [&] { return XmlWrite(xmlClass, xml, collection.Get()); });
        run.Print("msxml_write", nTags, xmlWrite, write);
        if (xmlWrite >= 0)
            run.Print("msxml_load", nTags,
                      run.Row("msxml_load", nTags, [&] { return XmlLoad(server, xmlClass, xml, nTags); }), read);
    }
    for (const std::wstring& path : {cfg, bytesPath, ini, xml}) DeleteFileW(path.c_str());
}

int Run(int argc, wchar_t** argv) {
    std::vector<ULONG> counts;
    int nRuns = 3;
    std::wstring jsonPath;
    for (int i = 1; i < argc; ++i) {
        if (std::wcscmp(argv[i], L"--runs") == 0 && i + 1 < argc)
            nRuns = std::max(1, _wtoi(argv[++i]));
        else if (std::wcscmp(argv[i], L"--json") == 0 && i + 1 < argc)
            jsonPath = argv[++i];
        else
            counts.push_back(std::wcstoul(argv[i], nullptr, 10));
    }
    // 1,000 first: two sizes tell how a peer's time grows before the larger ones.
    if (counts.empty()) counts = {1000, 10000, 100000, 1000000};
    CBenchReport report("peers_bench");
    CPeersRun run(nRuns, report);
    CComponents components;
    CLSID xmlClass = CLSID_NULL;
    const bool bHaveXml = FindXmlClass(xmlClass);
    std::printf("%-9s %-22s %10s %14s %9s\n", "tags", "row", "median ms", "tags/s", "x ConfigFile");
    for (ULONG nTags : counts) MeasureSize(run, components, nTags, bHaveXml, xmlClass);
    if (!jsonPath.empty() && !report.WriteJson(CUtf8::FromUtf16(jsonPath))) return 2;
    return run.Failed() ? 1 : 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) return 4;
    const int exitCode = Run(argc, argv);
    CoUninitialize();
    return exitCode;
}
