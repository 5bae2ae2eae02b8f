// The reader's fast path for the usual tag assignment promises what the
// general path gives: the same tokens and strings, the same line each token's
// statement begins on, the same position and line count after each, and the
// same error at the same place. Tests and the
// fuzzer read a file both ways and compare. Texts are shown as the reader
// tests show them.
#pragma once
#include "platform/Platform.h"
#include "tests/support/ShownText.h"

#include <string>

namespace readerpaths {

using testsupport::Show;

// kind@line[line text]message
template <class E>
std::string ShowError(const char* kind, const E& e) {
    return std::string(kind) + "@" + std::to_string(e.m_nLine) + "[" + Show(e.m_strLineText) + "]" +
           Show(e.m_strMessage);
}

// Where the two readings of the open file first part, in words; empty when
// they agree from its start to its end or first error.
std::string CompareBothWays(HANDLE file);

}  // namespace readerpaths
