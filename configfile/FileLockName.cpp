#include "configfile/FileLockName.h"

namespace {
const wchar_t kPrefix[] = L"Global\\Quorvex3.ConfigFile.";
}

WString CFileLockName::Of(const wchar_t* path) {
    WString name = FullPath(path);
    if (name.empty() || !FoldCase(name)) return WString();
    wchar_t hash[17];
    swprintf(hash, 17, L"%016llX", Hash(name));
    return kPrefix + WString(hash);
}

WString CFileLockName::FullPath(const wchar_t* path) {
    if (!path || !*path) {
        SetLastError(ERROR_INVALID_NAME);
        return WString();
    }
    const DWORD size = GetFullPathNameW(path, 0, nullptr, nullptr);
    if (size == 0) return WString();
    WString full(size, L'\0');
    const DWORD length = GetFullPathNameW(path, size, &full[0], nullptr);
    if (length == 0 || length >= size) return WString();
    full.resize(length);
    return full;
}

// The invariant upper case, as the file system compares names.
bool CFileLockName::FoldCase(WString& text) {
    const int length = static_cast<int>(text.size());
    WString folded(text.size(), L'\0');
    if (LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, text.c_str(), length, &folded[0], length, nullptr,
                      nullptr, 0) != length)
        return false;
    text.swap(folded);
    return true;
}

unsigned long long CFileLockName::Hash(const WString& text) {
    unsigned long long hash = 14695981039346656037ULL;
    for (const wchar_t unit : text) {
        for (const unsigned byte : {static_cast<unsigned>(unit) & 0xFF, static_cast<unsigned>(unit) >> 8}) {
            hash ^= byte;
            hash *= 1099511628211ULL;
        }
    }
    return hash;
}
