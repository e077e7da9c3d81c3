#include "plugin/settings.h"

#include <thread>

#include "document/decode_pool.h"
#include "platform/win32.h"

namespace {

// Room for any number worth writing, and its terminator.
constexpr DWORD SettingCapacity = 32;
// Digits beyond these could overflow and name nothing sensible anyway.
constexpr DWORD MaxSettingDigits = 12;
constexpr uint64_t BytesPerMiB = uint64_t{1} << 20;
// Longest password read; the standard handler uses at most 127 bytes of one.
constexpr DWORD PasswordCapacity = 256;

// The variable as a whole number, or false when it is unset or not one.
bool ReadNumber(const char* name, uint64_t& value) {
    char text[SettingCapacity];
    const DWORD length = GetEnvironmentVariableA(name, text, SettingCapacity);
    if (length == 0 || length > MaxSettingDigits) return false;
    value = 0;
    for (DWORD i = 0; i < length; ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        value = value * 10 + static_cast<uint64_t>(text[i] - '0');
    }
    return true;
}

uint32_t DecodeThreadCount() {
    uint64_t threads = 0;
    if (!ReadNumber("VELLUM_THREADS", threads) || threads == 0 || threads > MaxDecodeThreads) {
        threads = std::thread::hardware_concurrency();
    }
    if (threads == 0) threads = 1;
    return threads > MaxDecodeThreads ? MaxDecodeThreads : static_cast<uint32_t>(threads);
}

uint64_t KeptBytesBudget() {
    uint64_t mebibytes = 0;
    if (ReadNumber("VELLUM_MEMORY_MB", mebibytes)) return mebibytes * BytesPerMiB;
    MEMORYSTATUSEX status{};
    status.dwLength = sizeof status;
    if (!GlobalMemoryStatusEx(&status)) return MinimumDefaultBudget;
    const uint64_t machine = status.ullAvailPageFile < status.ullTotalPhys ? status.ullAvailPageFile : status.ullTotalPhys;
    const uint64_t quarter = machine / 4;
    const uint64_t floor = MinimumDefaultBudget < machine / 2 ? MinimumDefaultBudget : machine / 2;
    return quarter > floor ? quarter : floor;
}

}  // namespace

DecodeSettings ReadDecodeSettings() { return DecodeSettings{DecodeThreadCount(), KeptBytesBudget()}; }

std::string ReadPassword() {
    char text[PasswordCapacity];
    const DWORD length = GetEnvironmentVariableA("VELLUM_PASSWORD", text, PasswordCapacity);
    if (length == 0 || length >= PasswordCapacity) return std::string();
    return std::string(text, length);
}
