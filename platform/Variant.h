// Owner of one VARIANT: cleared on every path.
#pragma once
#include "platform/Platform.h"

class CVariant {
public:
    CVariant() { VariantInit(&m_var); }
    CVariant(const CVariant&) = delete;
    CVariant& operator=(const CVariant&) = delete;
    ~CVariant() { VariantClear(&m_var); }

    VARIANT* Get() { return &m_var; }
    const VARIANT* Get() const { return &m_var; }
    VARTYPE Type() const { return V_VT(&m_var); }
    // Clears the current value and gives the address for an out-parameter.
    VARIANT* Out() { Clear(); return &m_var; }
    HRESULT Clear() { return VariantClear(&m_var); }
    // Hands the value to the caller, leaving this one VT_EMPTY.
    VARIANT Detach() { VARIANT v = m_var; VariantInit(&m_var); return v; }

private:
    VARIANT m_var;
};
