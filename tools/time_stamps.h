// Entries' time stamps. The header carries a DOS date and time in local time
// on Windows and seconds since 1970 on Linux, as the hosts on each system
// read it.
#pragma once

#include <cstdint>
#include <string>

#include "tools/terminal_text.h"

// "2026-12-10 01:47:57", in local time.
std::string FormatTime(uint32_t stamp);
// ISO 8601 in local time with the offset from UTC: "2026-12-10T01:47:57+01:00".
std::string FormatIsoTime(uint32_t stamp);
#ifdef _WIN32
using NativeFile = HANDLE;
#else
using NativeFile = int;  // a descriptor
#endif

// Gives a file the stamp as its last-write time. A file whose time cannot be
// set keeps the time of its writing.
void SetLastWriteTime(const HostText& path, uint32_t stamp);
// The same through a file open for writing, which costs no lookup of its name.
void SetLastWriteTime(NativeFile file, uint32_t stamp);
