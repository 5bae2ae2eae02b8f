// Owner of one BSTR: freed on every path, handed out with Detach().
#pragma once
#include "platform/UniqueResource.h"

class CBstr : public CUniqueResource<CBstrTraits> {
public:
    CBstr() = default;
    explicit CBstr(const WCHAR* text) : CUniqueResource(text ? SysAllocString(text) : nullptr) {}
    CBstr(const WCHAR* text, UINT length) : CUniqueResource(SysAllocStringLen(text, length)) {}
    explicit CBstr(const WString& text) : CBstr(text.data(), static_cast<UINT>(text.size())) {}

    operator BSTR() const { return Get(); }
    UINT Length() const { return SysStringLen(Get()); }
    bool IsNull() const { return Get() == nullptr; }
    // The text up to its first null character; a null BSTR reads as "".
    WString ToString() const { return IsNull() ? WString() : WString(Get()); }
};
