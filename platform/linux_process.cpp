// The process's environment, its last error and the machine's memory for Linux.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "platform/linux_win32.h"

namespace {

// The longest variable name looked up, in UTF-8 with its terminator.
constexpr int EnvironmentNameCapacity = 256;

// The memory limit of the process's control group (v2: memory.max, v1:
// memory.limit_in_bytes), or 0 when there is none or it cannot be read.
uint64_t ControlGroupLimit() {
    for (const char* path : {"/sys/fs/cgroup/memory.max", "/sys/fs/cgroup/memory/memory.limit_in_bytes"}) {
        std::FILE* file = std::fopen(path, "r");
        if (file == nullptr) continue;
        unsigned long long limit = 0;
        const int read = std::fscanf(file, "%llu", &limit);
        std::fclose(file);
        // "max" reads as no number: no limit.
        if (read == 1) return limit;
        return 0;
    }
    return 0;
}

}  // namespace

DWORD GetEnvironmentVariableA(LPCSTR name, LPSTR buffer, DWORD size) {
    const char* value = std::getenv(name);
    if (value == nullptr) return 0;
    const size_t length = std::strlen(value);
    if (length >= size || buffer == nullptr) return static_cast<DWORD>(length + 1);
    std::memcpy(buffer, value, length + 1);
    return static_cast<DWORD>(length);
}

DWORD GetEnvironmentVariableW(LPCWSTR name, LPWSTR buffer, DWORD size) {
    char narrowName[EnvironmentNameCapacity];
    if (WideCharToMultiByte(CP_UTF8, 0, name, -1, narrowName, EnvironmentNameCapacity, nullptr, nullptr) == 0) {
        return 0;
    }
    const char* value = std::getenv(narrowName);
    if (value == nullptr || value[0] == 0) return 0;
    // The units it needs, terminator included.
    const int needed = MultiByteToWideChar(CP_UTF8, 0, value, -1, nullptr, 0);
    if (needed <= 0) return 0;
    if (buffer == nullptr || static_cast<DWORD>(needed) > size) return static_cast<DWORD>(needed);
    MultiByteToWideChar(CP_UTF8, 0, value, -1, buffer, needed);
    return static_cast<DWORD>(needed - 1);
}

BOOL GlobalMemoryStatusEx(MEMORYSTATUSEX* status) {
    if (status == nullptr || status->dwLength != sizeof(MEMORYSTATUSEX)) return FALSE;
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long available = sysconf(_SC_AVPHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGESIZE);
    if (pages <= 0 || pageSize <= 0) return FALSE;
    uint64_t total = static_cast<uint64_t>(pages) * static_cast<uint64_t>(pageSize);
    const uint64_t limit = ControlGroupLimit();
    if (limit != 0 && limit < total) total = limit;
    status->ullTotalPhys = total;
    status->ullAvailPhys = available > 0 ? static_cast<uint64_t>(available) * static_cast<uint64_t>(pageSize) : 0;
    status->ullAvailPageFile = total;
    return TRUE;
}

DWORD GetLastError() { return static_cast<DWORD>(errno); }

void SetLastError(DWORD code) { errno = static_cast<int>(code); }
