#include "server/ErrorInfo.h"

#include "platform/ComPtr.h"
#include "platform/UniqueResource.h"

namespace {

const UINT kLoadedDescriptionChars = 1024;

bool IsStringId(LPCOLESTR lpszDesc) { return reinterpret_cast<ULONG_PTR>(lpszDesc) < 0x10000; }

UINT StringIdOf(LPCOLESTR lpszDesc) { return static_cast<UINT>(reinterpret_cast<ULONG_PTR>(lpszDesc)); }

struct CTaskMemStringTraits {
    using Resource = LPOLESTR;
    static Resource Invalid() { return nullptr; }
    static void Close(Resource s) { CoTaskMemFree(s); }
};

// The class's ProgID, or none.
class CProgId : public CUniqueResource<CTaskMemStringTraits> {
public:
    explicit CProgId(const CLSID& clsid) {
        if (FAILED(ProgIDFromCLSID(clsid, Out()))) Detach();
    }
};

void SetThreadErrorInfo(const CLSID& clsid, LPCOLESTR lpszDesc, DWORD dwHelpID, LPCOLESTR lpszHelpFile,
                        const IID& iid) {
    CComPtr<ICreateErrorInfo> pCreate;
    if (FAILED(CreateErrorInfo(pCreate.Out())) || !pCreate) return;
    pCreate->SetGUID(iid);
    CProgId progId(clsid);
    if (progId.Get()) pCreate->SetSource(progId.Get());
    if (dwHelpID != 0 && lpszHelpFile) {
        pCreate->SetHelpContext(dwHelpID);
        pCreate->SetHelpFile(const_cast<LPOLESTR>(lpszHelpFile));
    }
    pCreate->SetDescription(const_cast<LPOLESTR>(lpszDesc));
    CComPtr<IErrorInfo> pErrorInfo;
    if (SUCCEEDED(pCreate.QueryInterface(IID_IErrorInfo, pErrorInfo))) SetErrorInfo(0, pErrorInfo.Get());
}

}  // namespace

HRESULT WINAPI AtlSetErrorInfo(const CLSID& clsid, LPCOLESTR lpszDesc, DWORD dwHelpID, LPCOLESTR lpszHelpFile,
                               const IID& iid, HRESULT hRes, HINSTANCE hInst) {
    WCHAR loaded[kLoadedDescriptionChars];
    if (IsStringId(lpszDesc)) {
        UINT nID = StringIdOf(lpszDesc);
        if (nID == 0 || LoadStringW(hInst, nID, loaded, kLoadedDescriptionChars) == 0)
            lstrcpyW(loaded, L"Unknown Error");
        if (hRes == 0) hRes = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_ITF, nID);
        lpszDesc = loaded;
    }
    SetThreadErrorInfo(clsid, lpszDesc, dwHelpID, lpszHelpFile, iid);
    return hRes == 0 ? DISP_E_EXCEPTION : hRes;
}

HRESULT WINAPI AtlReportError(const CLSID& clsid, UINT nID, const IID& iid, HRESULT hRes, HINSTANCE hInst) {
    return AtlSetErrorInfo(clsid, MAKEINTRESOURCEW(LOWORD(nID)), 0, nullptr, iid, hRes, hInst);
}
