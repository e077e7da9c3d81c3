// The process's environment for Linux.
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
