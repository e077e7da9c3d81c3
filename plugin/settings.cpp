#include "plugin/settings.h"

#include <thread>

#include "document/decode_pool.h"
#include "platform/win32.h"

namespace {

// Room for any number worth writing, and its terminator.
constexpr DWORD SettingCapacity = 32;

// The variable as a whole number from 1 up, or 0 when it is unset or not one.
uint64_t ReadCount(const char* name) {
    char text[SettingCapacity];
    const DWORD length = GetEnvironmentVariableA(name, text, SettingCapacity);
    if (length == 0 || length >= SettingCapacity) return 0;
    uint64_t value = 0;
    for (DWORD i = 0; i < length; ++i) {
        if (text[i] < '0' || text[i] > '9') return 0;
        value = value * 10 + static_cast<uint64_t>(text[i] - '0');
    }
    return value;
}

}  // namespace

uint32_t DecodeThreadCount() {
    uint64_t threads = ReadCount("VELLUM_THREADS");
    if (threads == 0) threads = std::thread::hardware_concurrency();
    if (threads == 0) threads = 1;
    return threads > MaxDecodeThreads ? MaxDecodeThreads : static_cast<uint32_t>(threads);
}
