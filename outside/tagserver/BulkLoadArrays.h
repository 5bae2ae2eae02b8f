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
    HRESULT Validate(WString& problem);

    size_t Count() const;
    // Characters of every identifier and text value, once validated.
    size_t TextLength() const { return m_nTextLength; }
    // Shows each identifier and value in order to visit, until it fails, and
    // frees each pair once visited: their memory goes while the caller's copy grows.
    HRESULT VisitAndFreeEach(const std::function<HRESULT(BSTR id, const VARIANT& value)>& visit);

private:
    HRESULT ValidateShape(WString& problem) const;
    HRESULT ValidateElements(WString& problem);

    CSafeArray m_ids;
    CSafeArray m_values;
    size_t m_nTextLength = 0;
};

}  // namespace tagserver
