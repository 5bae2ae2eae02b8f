// Composition of one log line: printf-style text, timestamp, level, source.
#pragma once
#include "platform/Platform.h"

#include <cstdarg>

namespace utilities {

// The text of a printf-style wide format with Microsoft semantics ("%s" reads
// a wide string). A format that cannot be expanded is returned as it stands.
WString FormatLogText(const wchar_t* format, va_list args);

// "yyyy-mm-dd hh:mm:ss.mmm LEVEL source  text" followed by CR LF; the level is
// padded to five characters.
WString ComposeLogLine(const SYSTEMTIME& time, const WString& level, const wchar_t* source,
                       const WString& text);

}  // namespace utilities
