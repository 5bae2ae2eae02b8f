#include "LogLine.h"

#include <cstdio>
#include <cwchar>

namespace utilities {

WString FormatLogText(const wchar_t* format, va_list args) {
    if (!format) return WString();
    va_list measure;
    va_copy(measure, args);
    const int length = _vscwprintf(format, measure);
    va_end(measure);
    if (length < 0) return WString(format);
    // One spare unit for the terminator _vsnwprintf writes when there is room.
    WString text(static_cast<size_t>(length) + 1, L'\0');
    const int written = _vsnwprintf(&text[0], text.size(), format, args);
    if (written < 0) return WString(format);
    text.resize(static_cast<size_t>(written));
    return text;
}

WString ComposeLogLine(const SYSTEMTIME& time, const WString& level, const wchar_t* source,
                       const WString& text) {
    wchar_t stamp[32];
    _snwprintf(stamp, sizeof stamp / sizeof stamp[0], L"%04u-%02u-%02u %02u:%02u:%02u.%03u ",
               time.wYear, time.wMonth, time.wDay, time.wHour, time.wMinute, time.wSecond,
               time.wMilliseconds);
    stamp[sizeof stamp / sizeof stamp[0] - 1] = L'\0';
    WString line(stamp);
    line += level;
    if (level.size() < 5) line.append(5 - level.size(), L' ');
    line += L' ';
    line += source ? source : L"";
    line += L"  ";
    line += text;
    line += L"\r\n";
    return line;
}

}  // namespace utilities
