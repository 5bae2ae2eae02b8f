// Owner of one BSTR: freed on every path, handed out with Detach().
#pragma once
#include "platform/Platform.h"

#include <utility>

class CBstr {
public:
    CBstr() = default;
    explicit CBstr(const WCHAR* text) : m_bstr(text ? SysAllocString(text) : nullptr) {}
    CBstr(const WCHAR* text, UINT length) : m_bstr(SysAllocStringLen(text, length)) {}
    explicit CBstr(const WString& text) : CBstr(text.data(), static_cast<UINT>(text.size())) {}
    CBstr(const CBstr&) = delete;
    CBstr& operator=(const CBstr&) = delete;
    CBstr(CBstr&& other) noexcept : m_bstr(other.Detach()) {}
    CBstr& operator=(CBstr&& other) noexcept { Attach(other.Detach()); return *this; }
    ~CBstr() { SysFreeString(m_bstr); }

    BSTR Get() const { return m_bstr; }
    operator BSTR() const { return m_bstr; }
    // Frees the current string and gives the address for an out-parameter.
    BSTR* Out() { Attach(nullptr); return &m_bstr; }
    void Attach(BSTR bstr) { if (bstr != m_bstr) { SysFreeString(m_bstr); m_bstr = bstr; } }
    BSTR Detach() { return std::exchange(m_bstr, nullptr); }
    UINT Length() const { return SysStringLen(m_bstr); }
    bool IsNull() const { return m_bstr == nullptr; }
    // The text up to its first null character; a null BSTR reads as "".
    WString ToString() const { return m_bstr ? WString(m_bstr) : WString(); }

private:
    BSTR m_bstr = nullptr;
};
