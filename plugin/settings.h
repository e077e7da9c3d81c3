// The plug-in's only settings: environment variables, and the host's INI
// file for the viewable mode, read at each open.
#pragma once

#include <string>

#include "document/archive.h"

// Smallest default budget for kept decoded bytes, where the machine has four
// times as much or more.
constexpr uint64_t MinimumDefaultBudget = uint64_t{256} << 20;

// VELLUM_THREADS: the threads an open decodes on, when it holds a whole
// number from 1 to 16; else the machine's hardware threads, at most 16.
// VELLUM_MEMORY_MB: the budget for decoded bytes kept in memory, in MiB (0
// keeps none), shared by every archive open in the process; else a quarter
// of the machine's memory (the least of its physical memory, the memory that
// can still be committed and a control group's limit), at least 256 MiB
// where that is no more than half of it. Anything else falls back to the
// default.
DecodeSettings ReadDecodeSettings();
// The viewable mode: VELLUM_VIEWABLE=1 turns it on and VELLUM_VIEWABLE=0
// off; any other value, or none, leaves it to the host's INI file (see
// RememberDefaultIni), where "Viewable=1" in a "[vellum]" section turns it on.
bool ReadViewable();
// Keeps the INI file the host names (ANSI text, at most `capacity` bytes,
// ending at a NUL) for ReadViewable; an empty name forgets it.
void RememberDefaultIni(const char* name, size_t capacity);

// VELLUM_PASSWORD: the password, user or owner, that opens an encrypted
// document, as bytes: on Linux the variable's own, on Windows the UTF-8 of
// its text. Empty when the variable is unset or empty. A document whose user
// password is empty opens without it. May throw std::bad_alloc.
std::string ReadPassword();
