// The Windows API as the product code sees it. On Windows this is <windows.h>
// itself; elsewhere it is our own stand-in that declares exactly the calls the
// code makes, with their Win32 names, types and failure values.
#pragma once

#ifdef _WIN32
#  ifndef WIN32_LEAN_AND_MEAN
#    define WIN32_LEAN_AND_MEAN
#  endif
#  ifndef NOMINMAX
#    define NOMINMAX
#  endif
#  include <windows.h>
#  include <bcrypt.h>
#  include <wchar.h>
#  include <stdlib.h>
// Wide literals in the host's 16-bit encoding.
#  define WIDE(text) L##text
#else
#  include "platform/linux_win32.h"
#  define WIDE(text) u##text
#endif

#include <cstddef>
#include <cstdint>

// FILETIME counts 100-nanosecond ticks from 1 January 1601 UTC.
constexpr int64_t FileTimeTicksPerSecond = 10000000;
constexpr int64_t FileTimeSecondsBefore1970 = 11644473600;

// Length of a NUL-terminated wide text in units, terminator not counted.
inline size_t WideLength(const WCHAR* text) {
    size_t length = 0;
    while (text[length] != 0) ++length;
    return length;
}
