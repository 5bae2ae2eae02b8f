#include "reader/TagValueBuffer.h"

#include "platform/Bstr.h"

CTagValueBuffer::CTagValueBuffer(ULONG initialSize) : m_bound{initialSize, 0}, m_nCount(0) {
    // An array that cannot be created stays null; Add then reports E_OUTOFMEMORY.
    m_psaIds.Attach(SafeArrayCreate(VT_BSTR, 1, &m_bound));
    m_psaValues.Attach(SafeArrayCreate(VT_VARIANT, 1, &m_bound));
    Lock();
}

CTagValueBuffer::~CTagValueBuffer() {
    // Locked arrays cannot be destroyed: unlock, then the owners destroy them
    // with every string and value they hold.
    Unlock();
}

HRESULT CTagValueBuffer::Add(const WCHAR* id, const WCHAR* value) {
    if (!m_psaIds.Get() || !m_psaValues.Get()) return E_OUTOFMEMORY;
    if (!id) return E_INVALIDARG;
    if (m_nCount >= m_bound.cElements) {
        const HRESULT hr = Redim(m_bound.cElements + GROWTH);
        if (FAILED(hr)) return hr;
    }

    // Both copies are made before either goes into the arrays, so a failure
    // leaves the elements past the count empty.
    CBstr idCopy(id);
    if (idCopy.IsNull()) return E_OUTOFMEMORY;
    CBstr valueCopy(value);
    if (value && valueCopy.IsNull()) return E_OUTOFMEMORY;

    static_cast<BSTR*>(m_psaIds.Get()->pvData)[m_nCount] = idCopy.Detach();
    VARIANT& valueElement = static_cast<VARIANT*>(m_psaValues.Get()->pvData)[m_nCount];
    VariantClear(&valueElement);
    if (value) {
        V_VT(&valueElement) = VT_BSTR;
        V_BSTR(&valueElement) = valueCopy.Detach();
    }
    ++m_nCount;
    return S_OK;
}

HRESULT CTagValueBuffer::DetachSafeArrays(SAFEARRAY** ids, SAFEARRAY** values) {
    if (!ids || !values) return E_POINTER;
    if (!m_psaIds.Get() || !m_psaValues.Get()) return E_OUTOFMEMORY;
    const HRESULT hr = Redim(m_nCount);
    if (FAILED(hr)) return hr;
    Unlock();
    *ids = m_psaIds.Detach();
    *values = m_psaValues.Detach();
    return S_OK;
}

// When only the value array fails to resize, the identifier array keeps its
// new size; the bound stays at the old count, so the extra elements are unused.
HRESULT CTagValueBuffer::Redim(ULONG count) {
    Unlock();
    SAFEARRAYBOUND bound{count, m_bound.lLbound};
    HRESULT hr = SafeArrayRedim(m_psaIds.Get(), &bound);
    if (SUCCEEDED(hr)) hr = SafeArrayRedim(m_psaValues.Get(), &bound);
    if (SUCCEEDED(hr)) m_bound.cElements = count;
    Lock();
    return hr;
}

void CTagValueBuffer::Lock() {
    if (m_psaIds.Get()) SafeArrayLock(m_psaIds.Get());
    if (m_psaValues.Get()) SafeArrayLock(m_psaValues.Get());
}

void CTagValueBuffer::Unlock() {
    if (m_psaIds.Get()) SafeArrayUnlock(m_psaIds.Get());
    if (m_psaValues.Get()) SafeArrayUnlock(m_psaValues.Get());
}
