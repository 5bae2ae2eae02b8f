// A small client of the Quorvex3 SDK: fills a tag collection through the tag
// server, writes it with a ConfigFile made by CLSID, and reads the file back
// with a ConfigFile made by ProgID. Each step prints its HRESULT.
//
//   QuorvexClient FILE
#include "Quorvex3.h"
#include "TagServer.h"

#include <cstdio>
#include <memory>

namespace {

struct Releaser {
    void operator()(IUnknown* object) const { object->Release(); }
};
template <class T>
using Ref = std::unique_ptr<T, Releaser>;

struct Bstr {
    explicit Bstr(const wchar_t* text) : value(SysAllocString(text)) {}
    ~Bstr() { SysFreeString(value); }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    BSTR value;
};

bool Check(const char* step, HRESULT hr) {
    std::printf("%s: 0x%08lX\n", step, static_cast<unsigned long>(hr));
    return SUCCEEDED(hr);
}

template <class T>
HRESULT Create(const CLSID& clsid, const IID& iid, Ref<T>& object) {
    T* raw = nullptr;
    const HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, iid, reinterpret_cast<void**>(&raw));
    object.reset(raw);
    return hr;
}

HRESULT Add(ITags* tags, const wchar_t* id, const wchar_t* text) {
    VARIANT value;
    VariantInit(&value);  // VT_EMPTY: a tag without a value
    if (text) {
        V_VT(&value) = VT_BSTR;
        V_BSTR(&value) = SysAllocString(text);
    }
    ITag* added = nullptr;
    const HRESULT hr = tags->Add(Bstr(id).value, value, &added);
    if (added) added->Release();
    VariantClear(&value);
    return hr;
}

void PrintTags(ITags* tags) {
    long count = 0;
    tags->get_Count(&count);
    for (long i = 0; i < count; ++i) {
        VARIANT index, value;
        VariantInit(&index);
        VariantInit(&value);
        V_VT(&index) = VT_I4;
        V_I4(&index) = i;
        ITag* raw = nullptr;
        if (FAILED(tags->get_Item(index, &raw))) continue;
        Ref<ITag> tag(raw);
        BSTR id = nullptr;
        tag->get_ID(&id);
        tag->get_Value(&value);
        if (V_VT(&value) == VT_BSTR) {
            std::printf("read %ls = \"%ls\"\n", id, V_BSTR(&value));
        } else {
            std::printf("read %ls (no value)\n", id);
        }
        SysFreeString(id);
        VariantClear(&value);
    }
}

int Run(const wchar_t* path) {
    CLSID tagServerClsid;
    Ref<ITagServer> server;
    Ref<ITags> written, loaded;
    if (!Check("tag server by ProgID", CLSIDFromProgID(L"Quorvex3.TagServer", &tagServerClsid)) ||
        !Check("tag server created", Create(tagServerClsid, IID_ITagServer, server)))
        return 1;
    ITags* raw = nullptr;
    if (!Check("collection created", server->CreateTags(&raw))) return 1;
    written.reset(raw);
    if (!Check("tags added", Add(written.get(), L"1.0.2A.FF", L"pump 1")) ||
        !Check("tags added", Add(written.get(), L"1.0.2A.100", nullptr)))
        return 1;

    Ref<IConfigFile> writer;
    if (!Check("ConfigFile by CLSID", Create(CLSID_ConfigFile, IID_IConfigFile, writer)) ||
        !Check("Open", writer->Open(Bstr(path).value, 0)) || !Check("Write", writer->Write(written.get())))
        return 1;
    writer->Close();

    CLSID configFileClsid;
    Ref<IConfigFile> reader;
    if (!Check("ConfigFile by ProgID", CLSIDFromProgID(L"Brenlow.Zandel.Quorvex3.ConfigFile", &configFileClsid)) ||
        !Check("ConfigFile created", Create(configFileClsid, IID_IConfigFile, reader)) ||
        !Check("Open read-only", reader->Open(Bstr(path).value, 1)))
        return 1;
    if (!Check("collection created", server->CreateTags(&raw))) return 1;
    loaded.reset(raw);
    IDispatch* collection = loaded.get();
    collection->AddRef();
    const HRESULT hr = reader->Read(server.get(), &collection);
    if (collection) collection->Release();
    reader->Close();
    if (!Check("Read", hr)) return 1;
    PrintTags(loaded.get());
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) {
        std::printf("usage: QuorvexClient FILE\n");
        return 2;
    }
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 1;
    const int status = Run(argv[1]);
    CoUninitialize();
    return status;
}
