// Owner of one SAFEARRAY: destroyed (elements freed) on every path.
#pragma once
#include "platform/Platform.h"

#include <utility>

class CSafeArray {
public:
    CSafeArray() = default;
    explicit CSafeArray(SAFEARRAY* psa) : m_psa(psa) {}
    CSafeArray(const CSafeArray&) = delete;
    CSafeArray& operator=(const CSafeArray&) = delete;
    CSafeArray(CSafeArray&& other) noexcept : m_psa(other.Detach()) {}
    ~CSafeArray() { Attach(nullptr); }

    SAFEARRAY* Get() const { return m_psa; }
    SAFEARRAY** Out() { Attach(nullptr); return &m_psa; }
    void Attach(SAFEARRAY* psa) { if (psa != m_psa) { if (m_psa) SafeArrayDestroy(m_psa); m_psa = psa; } }
    SAFEARRAY* Detach() { return std::exchange(m_psa, nullptr); }

private:
    SAFEARRAY* m_psa = nullptr;
};
