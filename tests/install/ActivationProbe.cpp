// Says whether ConfigFile can be created through the registry, the way a
// compiled client creates it: by CLSID, and by ProgID. Prints one line each:
//   by CLSID: 0x00000000
//   by ProgID: 0x800401F3
// and exits 0 only when both succeed.
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

bool Report(const char* how, HRESULT hr) {
    std::printf("%s: 0x%08lX\n", how, static_cast<unsigned long>(hr));
    return SUCCEEDED(hr);
}

}  // namespace

int main() {
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 2;
    const bool byClsid = Report("by CLSID", CreateByClsid(CLSID_ConfigFile));
    const bool byProgId = Report("by ProgID", CreateByProgId());
    CoUninitialize();
    return byClsid && byProgId ? 0 : 1;
}
