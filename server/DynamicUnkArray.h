// The sink list of a connection point: a row of slots, each holding a global
// interface table cookie or 0 when free.
//
// A single sink (the common case) is held in place without a heap array. The
// count is the number of slots, not the number of sinks: slots are cleared,
// never compacted, so a slot index stays valid while a firing walks the list.
#pragma once
#include "platform/Platform.h"

#include <climits>
#include <new>

class CComDynamicUnkArray {
public:
    CComDynamicUnkArray() : m_nSize(0), m_dwValue(0) {}
    CComDynamicUnkArray(const CComDynamicUnkArray&) = delete;
    CComDynamicUnkArray& operator=(const CComDynamicUnkArray&) = delete;
    ~CComDynamicUnkArray() { FreeArray(); }

    int GetSize() const { return m_nSize; }

    // The cookie in slot nIndex; 0 for a free slot or an index out of range.
    DWORD GetAt(int nIndex) const {
        if (nIndex < 0 || nIndex >= m_nSize) return 0;
        return m_nSize == 1 ? m_dwValue : m_pArr[nIndex];
    }

    // Puts the cookie into the first free slot, growing the list when it is
    // full. False when there is no memory for the larger list.
    bool Add(DWORD dwCookie) {
        if (m_nSize == 0) {
            m_dwValue = dwCookie;
            m_nSize = 1;
            return true;
        }
        if (m_nSize == 1) return MoveHeldValueToArray(dwCookie);
        for (int i = 0; i < m_nSize; ++i) {
            if (m_pArr[i] == 0) {
                m_pArr[i] = dwCookie;
                return true;
            }
        }
        return Grow(dwCookie);
    }

    // Clears the first slot holding the cookie. False when 0 or not present.
    bool Remove(DWORD dwCookie) {
        if (dwCookie == 0) return false;
        if (m_nSize == 1) {
            if (m_dwValue != dwCookie) return false;
            m_dwValue = 0;
            m_nSize = 0;
            return true;
        }
        for (int i = 0; i < m_nSize; ++i) {
            if (m_pArr[i] == dwCookie) {
                m_pArr[i] = 0;
                return true;
            }
        }
        return false;
    }

private:
    static constexpr int kFirstArraySize = 4;

    bool MoveHeldValueToArray(DWORD dwCookie) {
        DWORD* pArr = AllocateZeroed(kFirstArraySize);
        if (!pArr) return false;
        pArr[0] = m_dwValue;
        pArr[1] = dwCookie;
        m_pArr = pArr;
        m_nSize = kFirstArraySize;
        return true;
    }

    // Doubles a full list; the new half starts zeroed and takes the cookie.
    bool Grow(DWORD dwCookie) {
        if (m_nSize > INT_MAX / 2) return false;
        const int nNewSize = m_nSize * 2;
        DWORD* pArr = AllocateZeroed(nNewSize);
        if (!pArr) return false;
        for (int i = 0; i < m_nSize; ++i) pArr[i] = m_pArr[i];
        pArr[m_nSize] = dwCookie;
        delete[] m_pArr;
        m_pArr = pArr;
        m_nSize = nNewSize;
        return true;
    }

    static DWORD* AllocateZeroed(int nSize) {
        return new (std::nothrow) DWORD[static_cast<size_t>(nSize)]();
    }

    void FreeArray() {
        if (m_nSize > 1) delete[] m_pArr;
        m_nSize = 0;
        m_dwValue = 0;
    }

    int m_nSize;
    union {
        DWORD m_dwValue;  // the one slot while m_nSize == 1
        DWORD* m_pArr;    // m_nSize slots while m_nSize > 1
    };
};
