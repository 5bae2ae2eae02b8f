// The whole content of a file, a pipe, a FIFO or standard input ("-"), read
// to its end: pipes cannot be sized or rewound, so nothing here asks for
// either, and the reader is then given the bytes in memory. And the whole
// content of a file written in one go.
#pragma once
#include "platform/Platform.h"

#include <string>

class CFileBytes {
public:
    // S_OK, or the failure that kept path from being opened or read.
    static HRESULT Read(const WString& path, std::string& bytes);
    // Creates or replaces path with bytes; "-" is standard output.
    static HRESULT Write(const WString& path, const std::string& bytes);
    static bool IsStandardStream(const WString& path) { return path.size() == 1 && path[0] == '-'; }
};
