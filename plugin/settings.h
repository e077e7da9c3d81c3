// The plug-in's only settings: environment variables read at each open.
#pragma once

#include <string>

#include "document/archive.h"

// Smallest default budget for kept decoded bytes.
constexpr uint64_t MinimumDefaultBudget = uint64_t{256} << 20;

// VELLUM_THREADS: the threads an open decodes on, when it holds a whole
// number from 1 up (at most 16 are used); else the machine's hardware threads.
// VELLUM_MEMORY_MB: the budget for decoded bytes kept in memory, in MiB (0
// keeps none); else a quarter of the machine's memory, at least 256 MiB.
DecodeSettings ReadDecodeSettings();
// VELLUM_PASSWORD: the password, user or owner, that opens an encrypted
// document, as UTF-8; empty when the variable is unset or empty. A document
// whose user password is empty opens without it. May throw std::bad_alloc.
std::string ReadPassword();
