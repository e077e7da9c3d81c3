// The process's environment and the machine's memory for Linux.
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "platform/linux_win32.h"

namespace {

// The longest variable name looked up, in UTF-8 with its terminator.
constexpr int EnvironmentNameCapacity = 256;

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
    status->ullTotalPhys = static_cast<uint64_t>(pages) * static_cast<uint64_t>(pageSize);
    status->ullAvailPhys = available > 0 ? static_cast<uint64_t>(available) * static_cast<uint64_t>(pageSize) : 0;
    return TRUE;
}
