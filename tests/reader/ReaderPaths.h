// The reader's fast path for the usual tag assignment promises what the
// general path gives: the same tokens and strings, the same position and line
// count after each, and the same error at the same place. This reads a file
// both ways and records each step, so that tests and the fuzzer can compare.
#pragma once
#include "platform/Platform.h"

#include <string>
#include <vector>

namespace readerpaths {

// One token and where the scan stood after it.
struct Step {
    WCHAR token;
    bool nameIsNull, valueIsNull;
    WString name, value;
    ULONG line;
    std::size_t offset;
};

// How the read ended: "end" (the end of input, which left the strings alone
// and was the end again when scanned once more), "end, unsettled" (it was not),
// "init" (Init failed) or the kind of parser error ("parse", "newer-version",
// "unexpected") with its line, line text and message.
struct Ending {
    std::string kind;
    ULONG line;
    WString lineText, message;
};

struct Reading {
    std::vector<Step> steps;
    Ending ending;
};

enum class Path { All, GeneralOnly };

// Reads the open file from its start to its end or first error.
Reading Read(HANDLE file, Path path);

// Where the two readings first part, in words; empty when they agree.
std::string FirstDifference(const Reading& fast, const Reading& general);

// Both ways at once: the first difference, or empty.
std::string CompareBothWays(HANDLE file);

}  // namespace readerpaths
