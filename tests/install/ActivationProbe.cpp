// Says whether ConfigFile can be created through the registry, the way a
// compiled client creates it, by CLSID and by ProgID, and whether its type
// library is found through the registry (as the type library marshaler finds
// it). Prints one line each:
//   by CLSID: 0x00000000
//   by ProgID: 0x800401F3
//   type library: 0x00000000
// and exits 0 only when all succeed.
#include "Quorvex3.h"

#include "platform/ComPtr.h"

#include <cstdio>

namespace {

HRESULT CreateByClsid(const CLSID& clsid) {
    CComPtr<IConfigFile> file;
    return CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IConfigFile,
                            reinterpret_cast<void**>(file.Out()));
}

HRESULT CreateByProgId() {
    CLSID clsid;
    const HRESULT hr = CLSIDFromProgID(L"Brenlow.Zandel.Quorvex3.ConfigFile", &clsid);
    return FAILED(hr) ? hr : CreateByClsid(clsid);
}

HRESULT LoadRegisteredTypeLib() {
    CComPtr<ITypeLib> library;
    return LoadRegTypeLib(LIBID_Quorvex3, 1, 0, 0x409, library.Out());
}

bool Report(const char* how, HRESULT hr) {
    std::printf("%s: 0x%08lX\n", how, static_cast<unsigned long>(hr));
    return SUCCEEDED(hr);
}

}  // namespace

int main() {
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 2;
    const bool byClsid = Report("by CLSID", CreateByClsid(CLSID_ConfigFile));
    const bool byProgId = Report("by ProgID", CreateByProgId());
    const bool typeLib = Report("type library", LoadRegisteredTypeLib());
    CoUninitialize();
    return byClsid && byProgId && typeLib ? 0 : 1;
}
