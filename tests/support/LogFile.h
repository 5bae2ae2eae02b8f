// The log file QuorvexLog.dll writes to for the whole test program, read
// back as the lines a call added.
#pragma once
#include "platform/Platform.h"

#include <ostream>
#include <vector>

namespace testsupport {

// "2026-12-06 10:00:00.123 INFO  Quorvex  text" as its level and text.
struct CLogLine {
    WString level;  // INFO, ERROR, DEBUG8 ...
    WString text;
    bool operator==(const CLogLine& other) const { return level == other.level && text == other.text; }
};
void PrintTo(const CLogLine& line, std::ostream* os);
CLogLine Info(const WString& text);
CLogLine Error(const WString& text);

// Points the process's log at a fresh file (before the first object asks for
// the log) and deletes it at the end.
class CTestLogFile {
public:
    CTestLogFile();
    ~CTestLogFile();
    CTestLogFile(const CTestLogFile&) = delete;
    CTestLogFile& operator=(const CTestLogFile&) = delete;
};

// The lines the log gained after construction.
class CLogWatch {
public:
    CLogWatch();
    std::vector<CLogLine> NewLines() const;

private:
    size_t m_nStart;
};

}  // namespace testsupport
