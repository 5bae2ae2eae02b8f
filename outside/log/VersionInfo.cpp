#include "contracts/Log.h"

#include "platform/Platform.h"

#include <vector>

namespace utility {
namespace {

// A copy of the module's version resource: VerQueryValue may write into the
// block it reads, which a mapped resource does not allow.
std::vector<BYTE> CopyVersionResource(HMODULE module) {
    HRSRC resource = FindResourceW(module, MAKEINTRESOURCEW(VS_VERSION_INFO), MAKEINTRESOURCEW(16));
    if (!resource) return {};
    HGLOBAL loaded = LoadResource(module, resource);
    const void* data = loaded ? LockResource(loaded) : nullptr;
    const DWORD size = SizeofResource(module, resource);
    if (!data || size == 0) return {};
    const BYTE* bytes = static_cast<const BYTE*>(data);
    return std::vector<BYTE>(bytes, bytes + size);
}

std::wstring Dotted(DWORD high, DWORD low) {
    return std::to_wstring(HIWORD(high)) + L"." + std::to_wstring(LOWORD(high)) + L"." +
           std::to_wstring(HIWORD(low)) + L"." + std::to_wstring(LOWORD(low));
}

}  // namespace

CVersionInfo::CVersionInfo() : m_hModule(nullptr) {}

CVersionInfo::~CVersionInfo() = default;

void CVersionInfo::setModule(HMODULE& module) { m_hModule = module; }

std::wstring CVersionInfo::getModuleFileName() const {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(m_hModule, &path[0], static_cast<DWORD>(path.size()));
        if (length == 0) return std::wstring();
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.assign(path.size() * 2, L'\0');
    }
}

std::wstring CVersionInfo::getVersionInfoFixedValue(eFIXED_VER_INFO field) const {
    std::vector<BYTE> block = CopyVersionResource(m_hModule);
    if (block.empty()) return std::wstring();
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT size = 0;
    if (!VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &size) || !fixed ||
        size < sizeof(VS_FIXEDFILEINFO))
        return std::wstring();
    switch (field) {
    case eFIXED_PRODUCT_VERSION:
        return Dotted(fixed->dwProductVersionMS, fixed->dwProductVersionLS);
    case eFIXED_FILE_VERSION:
        return Dotted(fixed->dwFileVersionMS, fixed->dwFileVersionLS);
    }
    return std::wstring();
}

}  // namespace utility
