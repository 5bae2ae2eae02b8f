// The platform API the portable code is written against: the real Win32 and
// automation headers on Windows, the small POSIX stand-in on Linux.
#pragma once

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <ole2.h>
#include <oleauto.h>
#else
#include "platform/posix/Win32Posix.h"
#endif

#include <string>

// A growable string of 16-bit UTF-16 code units: std::wstring on Windows,
// std::u16string where wchar_t is 32 bits wide.
using WString = std::basic_string<WCHAR>;
