#include "plugin/settings.h"

#include <algorithm>
#include <iterator>
#include <thread>
#include <vector>

#include "document/decode_pool.h"
#include "platform/win32.h"
#include "plugin/module_state.h"

namespace {

// Room for any number worth writing, and its terminator.
constexpr DWORD SettingCapacity = 32;
// Digits beyond these could overflow and name nothing sensible anyway.
constexpr DWORD MaxSettingDigits = 12;
constexpr uint64_t BytesPerMiB = uint64_t{1} << 20;

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

DecodeSettings ReadDecodeSettings() { return DecodeSettings{DecodeThreadCount(), KeptBytesBudget(), ReadViewable()}; }

bool ReadViewable() {
    char text[SettingCapacity];
    const DWORD length = GetEnvironmentVariableA("VELLUM_VIEWABLE", text, SettingCapacity);
    if (length == 1 && (text[0] == '0' || text[0] == '1')) return text[0] == '1';
    DefaultIni& ini = moduleState.defaultIni;
    std::lock_guard<std::mutex> held(ini.lock);
    if (ini.path[0] == 0) return false;
    return GetPrivateProfileIntW(WIDE("vellum"), WIDE("Viewable"), 0, ini.path) == 1;
}

void RememberDefaultIni(const char* name, size_t capacity) {
    // The host's record need not end its name with a NUL; a bounded copy does.
    char bounded[MAX_PATH];
    size_t length = 0;
    while (length < capacity && length < MAX_PATH - 1 && name[length] != 0) {
        bounded[length] = name[length];
        ++length;
    }
    bounded[length] = 0;
    WCHAR wide[MAX_PATH] = {};
    if (length != 0 && MultiByteToWideChar(CP_ACP, 0, bounded, -1, wide, MAX_PATH) == 0) wide[0] = 0;
    DefaultIni& ini = moduleState.defaultIni;
    std::lock_guard<std::mutex> held(ini.lock);
    std::copy(std::begin(wide), std::end(wide), std::begin(ini.path));
}

std::string ReadPassword() {
#ifdef _WIN32
    // Windows keeps the environment as UTF-16 text: read wide, so that every
    // character comes whatever the code page, and handed on as UTF-8.
    const DWORD units = GetEnvironmentVariableW(WIDE("VELLUM_PASSWORD"), nullptr, 0);
    if (units == 0) return {};
    std::vector<WCHAR> wide(units);
    const DWORD length = GetEnvironmentVariableW(WIDE("VELLUM_PASSWORD"), wide.data(), units);
    if (length == 0 || length >= units) return {};
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(length), nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) return {};
    std::string password(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(length), password.data(), bytes, nullptr, nullptr);
    return password;
#else
    // Linux keeps it as bytes, which are handed on as they are: a password
    // that is not UTF-8 is still the password its writer hashed.
    const DWORD size = GetEnvironmentVariableA("VELLUM_PASSWORD", nullptr, 0);
    if (size == 0) return {};
    std::string password(size, '\0');
    const DWORD length = GetEnvironmentVariableA("VELLUM_PASSWORD", password.data(), size);
    if (length == 0 || length >= size) return {};
    password.resize(length);
    return password;
#endif
}
