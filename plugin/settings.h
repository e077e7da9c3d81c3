// The plug-in's only settings: environment variables read at each open.
#pragma once

#include <cstdint>

// Threads an open decodes on: VELLUM_THREADS when it holds a whole number
// from 1 up (at most 16 are used), else the machine's hardware threads.
uint32_t DecodeThreadCount();
