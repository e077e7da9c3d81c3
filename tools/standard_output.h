// Everything the command writes to stdout goes through here, so that a write
// that fails (a full disk, a closed pipe) is never lost: the run then ends
// with a failure status.
#pragma once

#include <cstddef>

#include "tools/terminal_text.h"

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
// Whether stdout failed because its reader is gone (a pipe closed early):
// the run then ends quietly, as a program killed by SIGPIPE does.
bool OutputReaderGone();
// Sends what Print and PrintBytes hold back; false once any write has failed.
bool FlushOutput();
// Raw bytes straight to stdout's descriptor, past the buffer of Print, from
// any one thread at a time while the others leave stdout alone; false once
// any write has failed.
bool WriteOutputDirectly(const void* data, size_t size);
// Notes a failed write to stdout made elsewhere, with the system's code.
void NoteOutputFailure(SystemCode code);
// stdout takes bytes unchanged (on Windows it turns "\n" into "\r\n" else).
void UseBinaryOutput();
// Flushes stdout. Answers whether every write went out; if not, says so
// once on stderr with the system's text, unless the reader is gone.
bool FinishOutput();
