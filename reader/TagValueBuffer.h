// CTagValueBuffer: collects tag identifier/value pairs in two parallel
// one-dimensional automation arrays, so that a read hands them to the tag
// server in one bulk load. The arrays stay locked while the buffer owns them
// and elements are written straight into their data; capacity grows in steps
// of 500 and is trimmed to the exact count once, when the arrays are detached.
#pragma once
#include "platform/Platform.h"
#include "platform/SafeArray.h"

class CTagValueBuffer {
public:
    static constexpr ULONG GROWTH = 500;

    explicit CTagValueBuffer(ULONG initialSize);
    CTagValueBuffer(const CTagValueBuffer&) = delete;
    CTagValueBuffer& operator=(const CTagValueBuffer&) = delete;
    virtual ~CTagValueBuffer();

    // Appends one pair; a null value stands for a tag without a value (VT_EMPTY).
    // E_INVALIDARG for a null id, E_OUTOFMEMORY when the arrays are gone or a
    // copy cannot be made; a failed Add adds nothing.
    HRESULT Add(const WCHAR* id, const WCHAR* value);

    // Trims both arrays to the pairs added and gives them to the caller (BSTR
    // identifiers, VARIANT values). Afterwards the buffer owns nothing.
    HRESULT DetachSafeArrays(SAFEARRAY** ids, SAFEARRAY** values);

    ULONG Count() const { return m_nCount; }
    ULONG Capacity() const { return m_bound.cElements; }

private:
    HRESULT Redim(ULONG count);
    void Lock();
    void Unlock();

    SAFEARRAYBOUND m_bound;
    CSafeArray m_psaIds;
    CSafeArray m_psaValues;
    ULONG m_nCount;
};
