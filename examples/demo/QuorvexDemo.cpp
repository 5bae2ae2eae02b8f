// A client of Quorvex3, as an application would use it: it fills a tag
// collection through the tag server, writes it to a configuration file, and
// reads a configuration file back into a new collection while listening to
// QueryLoad.
//
//   QuorvexDemo write FILE   fill a collection (TagSpec version 1.4.2) and write it
//   QuorvexDemo read FILE    read FILE into a new collection (database at 1.5.0)
#include "ConsoleText.h"
#include "QueryLoadSink.h"
#include "Quorvex3.h"
#include "TagServer.h"
#include "platform/Bstr.h"
#include "platform/ComPtr.h"
#include "platform/Variant.h"

#include <algorithm>
#include <cwchar>
#include <string>

namespace {

const wchar_t kTagServerProgId[] = L"Quorvex3.TagServer";
const wchar_t kConfigFileProgId[] = L"Brenlow.Zandel.Quorvex3.ConfigFile";

// Prints a failed call with the error information the component set.
bool Succeeded(HRESULT hr, const wchar_t* what) {
    if (SUCCEEDED(hr)) return true;
    Print(std::wstring(what) + L" failed: " + HexCode(hr));
    CComPtr<IErrorInfo> info;
    if (GetErrorInfo(0, info.Out()) == S_OK && info) {
        CBstr description, source;
        info->GetDescription(description.Out());
        info->GetSource(source.Out());
        Print(L"  " + description.ToString() + L" (source " + source.ToString() + L")");
    }
    return false;
}

template <class T>
HRESULT CreateByProgId(const wchar_t* progId, const IID& iid, CComPtr<T>& result) {
    CLSID clsid;
    HRESULT hr = CLSIDFromProgID(progId, &clsid);
    if (FAILED(hr)) return hr;
    return CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, iid, reinterpret_cast<void**>(result.Out()));
}

HRESULT MakeCollection(const wchar_t* tagSpecVersion, CComPtr<ITagServer>& server, CComPtr<ITags>& tags) {
    HRESULT hr = CreateByProgId(kTagServerProgId, IID_ITagServer, server);
    if (!Succeeded(hr, L"Creating the tag server")) return hr;
    CComPtr<ITagDatabase> database;
    hr = server->get_Database(database.Out());
    if (SUCCEEDED(hr)) hr = database->put_TagSpecVersion(CBstr(tagSpecVersion));
    if (!Succeeded(hr, L"Setting the TagSpec version")) return hr;
    hr = server->CreateTags(tags.Out());
    Succeeded(hr, L"CreateTags");
    return hr;
}

// A tag as the file will hold it: its identifier, the value's type and its
// string form.
void PrintTag(ITag* tag) {
    CBstr id;
    CVariant value;
    tag->get_ID(id.Out());
    tag->get_Value(value.Out());
    std::wstring line = L"  " + id.ToString();
    line.resize(std::max<size_t>(line.size(), 14), L' ');
    CVariant text;
    if (value.Type() == VT_EMPTY) {
        line += L"(no value)";
    } else if (FAILED(VariantChangeType(text.Out(), value.Get(), 0, VT_BSTR))) {
        line += VarTypeName(value.Type()) + L" without a string form";
    } else {
        line += VarTypeName(value.Type()) + L" " + Visible(V_BSTR(text.Get()));
    }
    Print(line);
}

void PrintCollection(ITags* tags) {
    long count = 0;
    tags->get_Count(&count);
    Print(std::to_wstring(count) + L" tags:");
    for (long i = 0; i < count; ++i) {
        CVariant index;
        V_VT(index.Get()) = VT_I4;
        V_I4(index.Get()) = i;
        CComPtr<ITag> tag;
        if (SUCCEEDED(tags->get_Item(*index.Get(), tag.Out()))) PrintTag(tag.Get());
    }
}

HRESULT AddTag(ITags* tags, const wchar_t* id, VARIANT& value) {
    CComPtr<ITag> added;
    const HRESULT hr = tags->Add(CBstr(id), value, added.Out());
    VariantClear(&value);
    return hr;
}

// A sample of what applications keep in tags: text with characters that need
// escapes, a tag without a value, numbers, a flag, a date and an amount.
HRESULT FillCollection(ITags* tags) {
    VARIANT v;
    HRESULT hr = S_OK;
    auto add = [&](const wchar_t* id) { if (SUCCEEDED(hr)) hr = AddTag(tags, id, v); };
    V_VT(&v) = VT_BSTR; V_BSTR(&v) = SysAllocString(L"data\\in\tend");              add(L"1.0.2A.FF");
    V_VT(&v) = VT_EMPTY;                                                            add(L"1.0.2A.100");
    V_VT(&v) = VT_I4; V_I4(&v) = -1;                                                add(L"1.0.2B.1");
    V_VT(&v) = VT_R8; V_R8(&v) = 3.5;                                               add(L"1.0.2B.2");
    V_VT(&v) = VT_BOOL; V_BOOL(&v) = VARIANT_TRUE;                                  add(L"1.0.2B.3");
    V_VT(&v) = VT_BSTR; V_BSTR(&v) = SysAllocString(L"Gr\u00FC\u00DFe, \"quoted\"\r\nsecond line");
    add(L"1.0.2C.1");
    V_VT(&v) = VT_DATE; V_DATE(&v) = 46362.5;                                       add(L"1.0.2C.2");
    V_VT(&v) = VT_CY; V_CY(&v).int64 = 1234567;                                     add(L"1.0.2C.3");
    V_VT(&v) = VT_BSTR; V_BSTR(&v) = SysAllocString(L"");                           add(L"1.0.2C.4");
    return hr;
}

HRESULT OpenConfigFile(const wchar_t* path, long readOnly, CComPtr<IConfigFile>& file) {
    HRESULT hr = CreateByProgId(kConfigFileProgId, IID_IConfigFile, file);
    if (!Succeeded(hr, L"Creating ConfigFile")) return hr;
    hr = file->Open(CBstr(path), readOnly);
    Succeeded(hr, L"Open");
    return hr;
}

int WriteDemo(const wchar_t* path) {
    CComPtr<ITagServer> server;
    CComPtr<ITags> tags;
    if (FAILED(MakeCollection(L"1.4.2", server, tags))) return 1;
    if (!Succeeded(FillCollection(tags.Get()), L"Filling the collection")) return 1;
    Print(L"Writing this collection (TagSpec version 1.4.2) to " + std::wstring(path));
    PrintCollection(tags.Get());

    CComPtr<IConfigFile> file;
    if (FAILED(OpenConfigFile(path, 0, file))) return 1;
    const HRESULT hr = file->Write(tags.Get());
    file->Close();
    return Succeeded(hr, L"Write") ? 0 : 1;
}

int ReadDemo(const wchar_t* path) {
    CComPtr<ITagServer> server;
    CComPtr<ITags> tags;
    if (FAILED(MakeCollection(L"1.5.0", server, tags))) return 1;

    CComPtr<IConfigFile> file;
    if (FAILED(OpenConfigFile(path, 1, file))) return 1;
    CQueryLoadSink sink;
    HRESULT hr = sink.Connect(file.Get());
    if (!Succeeded(hr, L"Advising the QueryLoad sink")) return 1;

    Print(L"Reading " + std::wstring(path) + L" into a new collection (tag database at version 1.5.0)");
    IDispatch* collection = tags.Get();
    hr = file->Read(server.Get(), &collection);
    sink.Disconnect();
    file->Close();
    if (!Succeeded(hr, L"Read")) return 1;
    if (!sink.Called()) Print(L"QueryLoad was not raised");
    PrintCollection(tags.Get());
    return sink.Called() ? 0 : 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 3 || (std::wcscmp(argv[1], L"write") != 0 && std::wcscmp(argv[1], L"read") != 0)) {
        Print(L"usage: QuorvexDemo write|read FILE");
        return 2;
    }
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 1;
    const int status = std::wcscmp(argv[1], L"write") == 0 ? WriteDemo(argv[2]) : ReadDemo(argv[2]);
    CoUninitialize();
    return status;
}
