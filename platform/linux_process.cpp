// The process's environment and the machine's memory for Linux.
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "platform/linux_win32.h"

DWORD GetEnvironmentVariableA(LPCSTR name, LPSTR buffer, DWORD size) {
    const char* value = std::getenv(name);
    if (value == nullptr) return 0;
    const size_t length = std::strlen(value);
    if (length >= size || buffer == nullptr) return static_cast<DWORD>(length + 1);
    std::memcpy(buffer, value, length + 1);
    return static_cast<DWORD>(length);
}

BOOL GlobalMemoryStatusEx(MEMORYSTATUSEX* status) {
    if (status == nullptr || status->dwLength != sizeof(MEMORYSTATUSEX)) return FALSE;
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long available = sysconf(_SC_AVPHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGESIZE);
    if (pages <= 0 || pageSize <= 0) return FALSE;
    status->ullTotalPhys = static_cast<uint64_t>(pages) * static_cast<uint64_t>(pageSize);
    status->ullAvailPhys = available > 0 ? static_cast<uint64_t>(available) * static_cast<uint64_t>(pageSize) : 0;
    return TRUE;
}
