// The two arrays of a bulk load, owned from the moment they are received:
// destroyed on every path, whether they are valid or not.
#pragma once
#include "platform/Platform.h"
#include "platform/SafeArray.h"

#include <functional>

namespace tagserver {

class CBulkLoadArrays {
public:
    // Takes both arrays and clears the caller's pointers to them.
    CBulkLoadArrays(SAFEARRAY** ids, SAFEARRAY** values);

    // S_OK when the arrays are one-dimensional, start at 0, have the same
    // length, hold non-empty BSTR identifiers and VT_BSTR or VT_EMPTY values;
    // otherwise E_INVALIDARG and the reason in problem.
    HRESULT Validate(WString& problem) const;

    size_t Count() const;
    // Shows take the elements, for it to take over: what it leaves in them
    // is destroyed with the arrays.
    void TakeAll(const std::function<void(BSTR* ids, VARIANT* values, size_t count)>& take);

private:
    HRESULT ValidateShape(WString& problem) const;
    HRESULT ValidateElements(WString& problem) const;

    CSafeArray m_ids;
    CSafeArray m_values;
};

}  // namespace tagserver
