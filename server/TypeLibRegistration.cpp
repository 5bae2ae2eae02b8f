#include "server/TypeLibRegistration.h"

#include "platform/ComPtr.h"
#include "platform/UniqueResource.h"
#include "platform/Win32Error.h"

#include <cwchar>
#include <iterator>

namespace {

WString TlbPathBeside(const WString& modulePath) {
    const size_t dot = modulePath.rfind(L'.');
    return (dot == WString::npos ? modulePath : modulePath.substr(0, dot)) + L".tlb";
}

// The folder part of path, its last separator kept.
WString HelpDirOf(const WString& path) {
    const size_t separator = path.find_last_of(L"\\/:");
    return separator == WString::npos ? WString() : path.substr(0, separator + 1);
}

class CLibAttr {
public:
    explicit CLibAttr(ITypeLib* ptl) : m_ptl(ptl) {
        if (FAILED(ptl->GetLibAttr(&m_pAttr))) m_pAttr = nullptr;
    }
    CLibAttr(const CLibAttr&) = delete;
    CLibAttr& operator=(const CLibAttr&) = delete;
    ~CLibAttr() {
        if (m_pAttr) m_ptl->ReleaseTLibAttr(m_pAttr);
    }
    const TLIBATTR* Get() const { return m_pAttr; }

private:
    ITypeLib* m_ptl;
    TLIBATTR* m_pAttr = nullptr;
};

typedef HRESULT(WINAPI* PFN_UNREGISTER_TYPELIB)(REFGUID, WORD, WORD, LCID, SYSKIND);

// The attributes of the module's type library, copied.
bool ModuleLibAttr(HINSTANCE hInst, TLIBATTR& attr) {
    WString path;
    CComPtr<ITypeLib> pTypeLib;
    if (FAILED(LoadModuleTypeLib(hInst, path, pTypeLib.Out()))) return false;
    CLibAttr libAttr(pTypeLib.Get());
    if (!libAttr.Get()) return false;
    attr = *libAttr.Get();
    return true;
}

}  // namespace

WString ModuleFilePath(HINSTANCE hInst) {
    WCHAR path[MAX_PATH + 1] = {};
    const DWORD length = GetModuleFileNameW(hInst, path, MAX_PATH);
    return WString(path, length);
}

HRESULT LoadModuleTypeLib(HINSTANCE hInst, WString& path, ITypeLib** pptl) {
    *pptl = nullptr;
    const WString modulePath = ModuleFilePath(hInst);
    if (modulePath.empty()) return HResultFromLastError();
    HRESULT hr = LoadTypeLibEx(modulePath.c_str(), REGKIND_NONE, pptl);
    if (SUCCEEDED(hr)) {
        path = modulePath;
        return hr;
    }
    const WString tlbPath = TlbPathBeside(modulePath);
    hr = LoadTypeLibEx(tlbPath.c_str(), REGKIND_NONE, pptl);
    if (SUCCEEDED(hr)) path = tlbPath;
    return hr;
}

HRESULT RegisterModuleTypeLib(HINSTANCE hInst) {
    WString path;
    CComPtr<ITypeLib> pTypeLib;
    HRESULT hr = LoadModuleTypeLib(hInst, path, pTypeLib.Out());
    if (FAILED(hr)) return hr;
    WString helpDir = HelpDirOf(path);
    return RegisterTypeLib(pTypeLib.Get(), &path[0], helpDir.empty() ? nullptr : &helpDir[0]);
}

void UnregisterModuleTypeLib(HINSTANCE hInst) {
    TLIBATTR attr;
    if (!ModuleLibAttr(hInst, attr)) return;
    const CLoadedModule oleaut32(LoadLibraryW(L"oleaut32.dll"));
    if (!oleaut32.IsValid()) return;
    auto pfnUnregister =
        reinterpret_cast<PFN_UNREGISTER_TYPELIB>(
        reinterpret_cast<void*>(GetProcAddress(oleaut32.Get(), "UnRegisterTypeLib")));
    if (!pfnUnregister) return;
    pfnUnregister(attr.guid, attr.wMajorVerNum, attr.wMinorVerNum, attr.lcid, attr.syskind);
}

void UnregisterModuleTypeLibEntry(HINSTANCE hInst) {
    static const WCHAR* const kSysKindNames[] = {L"win16", L"win32", L"mac", L"win64"};
    TLIBATTR attr;
    if (!ModuleLibAttr(hInst, attr) || static_cast<size_t>(attr.syskind) >= std::size(kSysKindNames)) return;
    WCHAR libid[39] = {};
    StringFromGUID2(attr.guid, libid, 39);
    // Numbers in hexadecimal, as RegisterTypeLib names the keys.
    WCHAR key[128] = {};
    swprintf(key, 128, L"TypeLib\\%ls\\%x.%x\\%lx\\%ls", libid, attr.wMajorVerNum, attr.wMinorVerNum,
             static_cast<unsigned long>(attr.lcid), kSysKindNames[attr.syskind]);
    RegDeleteTreeW(HKEY_CLASSES_ROOT, key);
}
