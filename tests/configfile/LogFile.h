// The log file the tests point QuorvexLog.dll at, read back line by line.
#pragma once
#include "platform/Platform.h"

#include <string>
#include <vector>

class CTestLog {
public:
    // Points the process's log at a fresh file; must run before the first
    // object of the process asks for the log.
    static void Start();
    static const WString& Path();

    // The lines appended since the mark, without their time stamps
    // ("INFO  Quorvex  text").
    size_t Mark() const;
    std::vector<std::string> LinesSince(size_t mark) const;
};
