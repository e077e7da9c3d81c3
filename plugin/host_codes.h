// The one place where a Status from below becomes a host code.
#pragma once

#include <cstdint>

#include "decode/status.h"

// The calls whose work answers a Status.
enum class HostCall : uint8_t {
    Open,      // OpenArchive(W): every failure is 11, the file cannot be opened as an archive
    Extract,   // ProcessFile(W) with operation 2 or 3
    Header,    // ReadHeader(Ex)(W) at the end of the table: End is 10
};

// The host code for a status. An I/O error's own code is left as the
// calling thread's last error, where a host reads it (GetLastError, or errno
// on Linux), unless it is 0; so is ERROR_NOT_ENOUGH_MEMORY for OutOfMemory,
// which tells the host an open that ran out of memory from one that failed
// otherwise (both are 11).
int HostCode(Status status, HostCall call, uint32_t systemError = 0);
