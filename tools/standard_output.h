// Everything the command writes to stdout goes through here, so that a write
// that fails (a full disk, a closed pipe) is never lost: the run then ends
// with a failure status.
#pragma once

#include <cstddef>

#ifdef _WIN32
#  define VELLUM_PRINTF_FORMAT __attribute__((format(gnu_printf, 1, 2)))
#else
#  define VELLUM_PRINTF_FORMAT __attribute__((format(printf, 1, 2)))
#endif

// printf to stdout. Answers false once any write to stdout has failed.
bool Print(const char* format, ...) VELLUM_PRINTF_FORMAT;
// Raw bytes to stdout; false once any write has failed.
bool PrintBytes(const void* data, size_t size);
// Whether every write to stdout so far went out.
bool OutputIntact();
// stdout takes bytes unchanged (on Windows it turns "\n" into "\r\n" else).
void UseBinaryOutput();
// Flushes stdout. Answers whether every write went out; if not, says so
// once on stderr with the system's text.
bool FinishOutput();
