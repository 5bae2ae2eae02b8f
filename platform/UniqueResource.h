// Owner of one resource of the platform: closed on every path, moved but
// never copied. Traits name the resource's type, the value that holds
// nothing (Invalid) and the function that gives it back (Close); the type's
// null value holds nothing either.
#pragma once
#include "platform/Platform.h"

#include <utility>

template <class Traits>
class CUniqueResource {
public:
    using Resource = typename Traits::Resource;

    CUniqueResource() = default;
    explicit CUniqueResource(Resource r) : m_r(r) {}
    CUniqueResource(const CUniqueResource&) = delete;
    CUniqueResource& operator=(const CUniqueResource&) = delete;
    CUniqueResource(CUniqueResource&& other) noexcept : m_r(other.Detach()) {}
    CUniqueResource& operator=(CUniqueResource&& other) noexcept {
        Attach(other.Detach());
        return *this;
    }
    ~CUniqueResource() { Close(); }

    Resource Get() const { return m_r; }
    bool IsValid() const { return IsValid(m_r); }
    // Closes the current resource and takes over r.
    void Attach(Resource r) {
        if (r == m_r) return;
        if (IsValid()) Traits::Close(m_r);
        m_r = r;
    }
    Resource Detach() { return std::exchange(m_r, Traits::Invalid()); }
    void Close() { Attach(Traits::Invalid()); }
    // Closes the current resource and gives the address for an out-parameter.
    Resource* Out() {
        Close();
        return &m_r;
    }

private:
    static bool IsValid(Resource r) { return r != Traits::Invalid() && r != Resource{}; }

    Resource m_r = Traits::Invalid();
};

struct CHandleTraits {
    using Resource = HANDLE;
    static Resource Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(Resource h) { CloseHandle(h); }
};

struct CBstrTraits {
    using Resource = BSTR;
    static Resource Invalid() { return nullptr; }
    static void Close(Resource s) { SysFreeString(s); }
};

#ifdef _WIN32
struct CRegKeyTraits {
    using Resource = HKEY;
    static Resource Invalid() { return nullptr; }
    static void Close(Resource k) { RegCloseKey(k); }
};

struct CModuleTraits {
    using Resource = HMODULE;
    static Resource Invalid() { return nullptr; }
    static void Close(Resource m) { FreeLibrary(m); }
};

// A module loaded by LoadLibrary or LoadLibraryEx, freed on every path.
using CLoadedModule = CUniqueResource<CModuleTraits>;
#endif
