#include "BulkLoadArrays.h"

#include <utility>

namespace tagserver {
namespace {

// Access to an array's elements for the lifetime of this object.
class CSafeArrayData {
public:
    explicit CSafeArrayData(SAFEARRAY* array) : m_pArray(array) {
        if (FAILED(SafeArrayAccessData(m_pArray, &m_pData))) m_pData = nullptr;
    }
    CSafeArrayData(const CSafeArrayData&) = delete;
    CSafeArrayData& operator=(const CSafeArrayData&) = delete;
    ~CSafeArrayData() {
        if (m_pData) SafeArrayUnaccessData(m_pArray);
    }
    template <class T>
    T* As() const { return static_cast<T*>(m_pData); }

private:
    SAFEARRAY* m_pArray;
    void* m_pData = nullptr;
};

LONG ElementCount(SAFEARRAY* array) {
    LONG lower = 0;
    LONG upper = -1;
    SafeArrayGetLBound(array, 1, &lower);
    SafeArrayGetUBound(array, 1, &upper);
    return upper - lower + 1;
}

bool StartsAtZero(SAFEARRAY* array) {
    LONG lower = -1;
    return SUCCEEDED(SafeArrayGetLBound(array, 1, &lower)) && lower == 0;
}

VARTYPE ElementType(SAFEARRAY* array) {
    VARTYPE type = VT_EMPTY;
    return SUCCEEDED(SafeArrayGetVartype(array, &type)) ? type : static_cast<VARTYPE>(VT_EMPTY);
}

SAFEARRAY* Take(SAFEARRAY** array) {
    return array ? std::exchange(*array, nullptr) : nullptr;
}

}  // namespace

CBulkLoadArrays::CBulkLoadArrays(SAFEARRAY** ids, SAFEARRAY** values) : m_ids(Take(ids)) {
    SAFEARRAY* valueArray = Take(values);
    // The same array given twice must be destroyed once.
    if (valueArray != m_ids.Get()) m_values.Attach(valueArray);
}

HRESULT CBulkLoadArrays::Validate(WString& problem) const {
    const HRESULT hr = ValidateShape(problem);
    return FAILED(hr) ? hr : ValidateElements(problem);
}

HRESULT CBulkLoadArrays::ValidateShape(WString& problem) const {
    SAFEARRAY* ids = m_ids.Get();
    SAFEARRAY* values = m_values.Get();
    if (!ids || !values)
        problem = L"BulkLoad needs two distinct arrays";
    else if (SafeArrayGetDim(ids) != 1 || SafeArrayGetDim(values) != 1)
        problem = L"BulkLoad arrays must have one dimension";
    else if (!StartsAtZero(ids) || !StartsAtZero(values))
        problem = L"BulkLoad arrays must start at index 0";
    else if (ElementCount(ids) != ElementCount(values))
        problem = L"BulkLoad arrays must have the same length";
    else if (ElementType(ids) != VT_BSTR)
        problem = L"BulkLoad identifiers must be an array of BSTR";
    else if (ElementType(values) != VT_VARIANT)
        problem = L"BulkLoad values must be an array of VARIANT";
    else
        return S_OK;
    return E_INVALIDARG;
}

HRESULT CBulkLoadArrays::ValidateElements(WString& problem) const {
    const LONG count = ElementCount(m_ids.Get());
    CSafeArrayData ids(m_ids.Get());
    CSafeArrayData values(m_values.Get());
    if (count > 0 && (!ids.As<BSTR>() || !values.As<VARIANT>())) {
        problem = L"BulkLoad arrays cannot be read";
        return E_INVALIDARG;
    }
    for (LONG i = 0; i < count; ++i) {
        if (SysStringLen(ids.As<BSTR>()[i]) == 0) {
            problem = L"BulkLoad identifier " + std::to_wstring(i) + L" is empty";
            return E_INVALIDARG;
        }
        const VARTYPE type = V_VT(&values.As<VARIANT>()[i]);
        if (type != VT_BSTR && type != VT_EMPTY) {
            problem = L"BulkLoad value " + std::to_wstring(i) + L" is neither VT_BSTR nor VT_EMPTY";
            return E_INVALIDARG;
        }
    }
    return S_OK;
}

size_t CBulkLoadArrays::Count() const { return m_ids.Get() ? static_cast<size_t>(ElementCount(m_ids.Get())) : 0; }

void CBulkLoadArrays::TakeAll(const std::function<void(BSTR* ids, VARIANT* values, size_t count)>& take) {
    CSafeArrayData ids(m_ids.Get());
    CSafeArrayData values(m_values.Get());
    take(ids.As<BSTR>(), values.As<VARIANT>(), Count());
}

}  // namespace tagserver
