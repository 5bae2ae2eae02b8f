// The file a log appends its lines to, shared safely by every thread.
#pragma once
#include "platform/CriticalSection.h"
#include "platform/FileHandle.h"
#include "platform/Platform.h"

namespace utilities {

class CLogFile {
public:
    // Opens (or creates) the file for appending; an empty path or a file that
    // cannot be opened leaves the log without a file.
    explicit CLogFile(const WString& path);
    bool IsOpen() const { return m_hFile.IsValid(); }
    // Appends the line as UTF-8 in one write, so lines never interleave.
    void Append(const WString& line);

private:
    CFileHandle m_hFile;
    CComAutoCriticalSection m_lock;
};

}  // namespace utilities
