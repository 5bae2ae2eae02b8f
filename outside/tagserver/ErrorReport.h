// Failures reported to callers with error information (scripts show its text).
#pragma once
#include "platform/Platform.h"

#include <new>

namespace tagserver {

// Sets error information for the calling thread (source "Quorvex3.TagServer")
// and returns hr.
HRESULT ReportError(HRESULT hr, REFIID iid, const WString& description);

// Runs body, turning an exception into E_OUTOFMEMORY or E_UNEXPECTED: no
// exception leaves a COM method.
template <class Body>
HRESULT CallGuarded(Body body) noexcept {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_UNEXPECTED;
    }
}

}  // namespace tagserver
