#include "tools/environment.h"

#include <cstdint>
#include <cstdlib>
#include <iterator>

namespace {

// The bounds the plug-in puts on its settings.
constexpr uint64_t MaxThreads = 16;
constexpr size_t MaxSettingDigits = 12;

bool IsDigits(const std::string& text) {
    if (text.empty() || text.size() > MaxSettingDigits) return false;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
    }
    return true;
}

// The variable's value, or empty when it is not set.
std::string Variable(const char* name) {
#ifdef _WIN32
    WCHAR buffer[256];
    DWORD length = GetEnvironmentVariableW(FromAscii(name).c_str(), buffer, static_cast<DWORD>(std::size(buffer)));
    if (length == 0) return {};
    if (length >= std::size(buffer)) return std::string(length, '?');
    return ToUtf8(HostText(buffer, length));
#else
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
#endif
}

}  // namespace

bool IsThreadCount(const std::string& text) {
    if (!IsDigits(text)) return false;
    uint64_t value = std::strtoull(text.c_str(), nullptr, 10);
    return value >= 1 && value <= MaxThreads;
}

bool IsMebibyteCount(const std::string& text) { return IsDigits(text); }

void WarnAboutSettings() {
    std::string threads = Variable("VELLUM_THREADS");
    if (!threads.empty() && !IsThreadCount(threads))
        Warn("VELLUM_THREADS=" + threads + " is not a number from 1 to 16; the default is used");
    std::string memory = Variable("VELLUM_MEMORY_MB");
    if (!memory.empty() && !IsMebibyteCount(memory))
        Warn("VELLUM_MEMORY_MB=" + memory + " is not a whole number of MiB (at most 12 digits); the default is used");
}

bool SetPassword(const std::string& bytes) {
#ifdef _WIN32
    return SetEnvironmentVariableW(L"VELLUM_PASSWORD", FromUtf8(bytes).c_str()) != FALSE;
#else
    return setenv("VELLUM_PASSWORD", bytes.c_str(), 1) == 0;
#endif
}

std::string PasswordSetting() {
#ifdef _WIN32
    // As the plug-in reads it: wide text, handed on as UTF-8.
    return ToUtf8(FromUtf8(Variable("VELLUM_PASSWORD")));
#else
    const char* value = std::getenv("VELLUM_PASSWORD");
    return value != nullptr ? value : "";
#endif
}

bool SetViewable() {
#ifdef _WIN32
    return SetEnvironmentVariableW(L"VELLUM_VIEWABLE", L"1") != FALSE;
#else
    return setenv("VELLUM_VIEWABLE", "1", 1) == 0;
#endif
}
