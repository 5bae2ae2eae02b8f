// The process the kill test cuts off: writes a collection of COUNT tags, whose
// values depend on SEED, to PATH through the registered ConfigFile, and says
// on standard output when Write begins and when it has returned.
//
//   write_child PATH COUNT SEED
#include "Quorvex3.h"
#include "TagServerLib.h"
#include "platform/Bstr.h"
#include "platform/ComPtr.h"
#include "platform/SafeArray.h"

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

int Fail(const char* what, HRESULT hr) {
    std::fprintf(stderr, "write_child: %s failed: 0x%08lX\n", what, static_cast<unsigned long>(hr));
    return 1;
}

// COUNT tags with four-group identifiers and values of 10 to 40 characters.
HRESULT Fill(ITags* tags, size_t count, unsigned long seed) {
    CComPtr<ITagsFromConfig> loader;
    HRESULT hr = tags->QueryInterface(IID_ITagsFromConfig, reinterpret_cast<void**>(loader.Out()));
    if (FAILED(hr)) return hr;
    SAFEARRAYBOUND bound = {static_cast<ULONG>(count), 0};
    CSafeArray ids(SafeArrayCreate(VT_BSTR, 1, &bound));
    CSafeArray values(SafeArrayCreate(VT_VARIANT, 1, &bound));
    for (LONG i = 0; i < static_cast<LONG>(count); ++i) {
        wchar_t id[40];
        std::swprintf(id, 40, L"1.0.%lX.%lX", static_cast<unsigned long>(i / 4096), static_cast<unsigned long>(i % 4096));
        std::wstring text = L"value " + std::to_wstring(seed) + L" " + std::to_wstring(i * 7919UL);
        text.resize(10 + (i + seed) % 31, L'x');
        CBstr bstrId(id);
        VARIANT value;
        V_VT(&value) = VT_BSTR;
        V_BSTR(&value) = SysAllocString(text.c_str());
        hr = SafeArrayPutElement(ids.Get(), &i, bstrId.Get());
        if (SUCCEEDED(hr)) hr = SafeArrayPutElement(values.Get(), &i, &value);
        VariantClear(&value);
        if (FAILED(hr)) return hr;
    }
    SAFEARRAY* idArray = ids.Get();
    SAFEARRAY* valueArray = values.Get();
    return loader->BulkLoad(&idArray, &valueArray);
}

int WriteCollection(const wchar_t* path, size_t count, unsigned long seed) {
    CComPtr<ITagServer> server;
    HRESULT hr = CoCreateInstance(CLSID_TagServer, nullptr, CLSCTX_INPROC_SERVER, IID_ITagServer,
                                  reinterpret_cast<void**>(server.Out()));
    if (FAILED(hr)) return Fail("creating the tag server", hr);
    CComPtr<ITags> tags;
    hr = server->CreateTags(tags.Out());
    if (FAILED(hr)) return Fail("CreateTags", hr);
    hr = Fill(tags.Get(), count, seed);
    if (FAILED(hr)) return Fail("filling the collection", hr);
    CComPtr<IConfigFile> config;
    hr = CoCreateInstance(CLSID_ConfigFile, nullptr, CLSCTX_INPROC_SERVER, IID_IConfigFile,
                          reinterpret_cast<void**>(config.Out()));
    if (FAILED(hr)) return Fail("creating ConfigFile", hr);
    hr = config->Open(CBstr(path), 0);
    if (FAILED(hr)) return Fail("Open", hr);
    CComPtr<IDispatch> collection;
    tags->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(collection.Out()));
    std::printf("writing\n");
    std::fflush(stdout);
    hr = config->Write(collection.Get());
    if (FAILED(hr)) return Fail("Write", hr);
    std::printf("written\n");
    std::fflush(stdout);
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: write_child PATH COUNT SEED\n");
        return 2;
    }
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    const int status = WriteCollection(argv[1], std::wcstoul(argv[2], nullptr, 10), std::wcstoul(argv[3], nullptr, 10));
    CoUninitialize();
    return status;
}
