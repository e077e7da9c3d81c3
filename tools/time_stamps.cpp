#include "tools/time_stamps.h"

#include <cstdint>
#include <cstdio>
#include <ctime>

#ifndef _WIN32
#  include <fcntl.h>
#  include <sys/stat.h>
#endif

namespace {

constexpr int SecondsPerMinute = 60;
constexpr int MinutesPerHour = 60;
#ifdef _WIN32
constexpr int64_t FileTimeUnitsPerMinute = int64_t{10000000} * SecondsPerMinute;
#endif

struct CivilTime {
    int year, month, day, hour, minute, second;
    int offsetMinutes;  // local time minus UTC
};

#ifdef _WIN32
SYSTEMTIME ToSystemTime(const CivilTime& t) {
    SYSTEMTIME time{};
    time.wYear = static_cast<WORD>(t.year);
    time.wMonth = static_cast<WORD>(t.month);
    time.wDay = static_cast<WORD>(t.day);
    time.wHour = static_cast<WORD>(t.hour);
    time.wMinute = static_cast<WORD>(t.minute);
    time.wSecond = static_cast<WORD>(t.second);
    return time;
}
#endif

CivilTime FromTimeStamp(uint32_t stamp) {
#ifdef _WIN32
    CivilTime t{static_cast<int>(1980 + (stamp >> 25)), static_cast<int>((stamp >> 21) & 0x0F),
                static_cast<int>((stamp >> 16) & 0x1F), static_cast<int>((stamp >> 11) & 0x1F),
                static_cast<int>((stamp >> 5) & 0x3F), static_cast<int>((stamp & 0x1F) * 2), 0};
    // The offset is the zone's at that local time, summer time included.
    SYSTEMTIME local = ToSystemTime(t);
    SYSTEMTIME universal{};
    FILETIME localTime{}, universalTime{};
    if (TzSpecificLocalTimeToSystemTime(nullptr, &local, &universal) && SystemTimeToFileTime(&local, &localTime) &&
        SystemTimeToFileTime(&universal, &universalTime)) {
        auto units = [](const FILETIME& time) {
            return static_cast<int64_t>((uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime);
        };
        t.offsetMinutes = static_cast<int>((units(localTime) - units(universalTime)) / FileTimeUnitsPerMinute);
    }
    return t;
#else
    std::time_t seconds = static_cast<std::time_t>(stamp);
    std::tm local{};
    localtime_r(&seconds, &local);
    return CivilTime{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min,
                     local.tm_sec, static_cast<int>(local.tm_gmtoff / SecondsPerMinute)};
#endif
}

}  // namespace

std::string FormatTime(uint32_t stamp) {
    CivilTime t = FromTimeStamp(stamp);
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour, t.minute,
                  t.second);
    return text;
}

std::string FormatIsoTime(uint32_t stamp) {
    CivilTime t = FromTimeStamp(stamp);
    int offset = t.offsetMinutes < 0 ? -t.offsetMinutes : t.offsetMinutes;
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d%c%02d:%02d", t.year, t.month, t.day, t.hour,
                  t.minute, t.second, t.offsetMinutes < 0 ? '-' : '+', offset / MinutesPerHour,
                  offset % MinutesPerHour);
    return text;
}

#ifdef _WIN32
namespace {

// The stamp as the system's file time; false when it names no valid time.
bool ToFileTime(uint32_t stamp, FILETIME& time) {
    SYSTEMTIME local = ToSystemTime(FromTimeStamp(stamp));
    SYSTEMTIME universal{};
    return TzSpecificLocalTimeToSystemTime(nullptr, &local, &universal) && SystemTimeToFileTime(&universal, &time);
}

}  // namespace
#endif

void SetLastWriteTime(const HostText& path, uint32_t stamp) {
#ifdef _WIN32
    FILETIME time{};
    if (!ToFileTime(stamp, time)) return;
    HANDLE file = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    SetFileTime(file, nullptr, nullptr, &time);
    CloseHandle(file);
#else
    const timespec times[2] = {{0, UTIME_OMIT}, {static_cast<time_t>(stamp), 0}};
    utimensat(AT_FDCWD, ToUtf8(path).c_str(), times, 0);
#endif
}

void SetLastWriteTime(NativeFile file, uint32_t stamp) {
#ifdef _WIN32
    FILETIME time{};
    if (ToFileTime(stamp, time)) SetFileTime(file, nullptr, nullptr, &time);
#else
    const timespec times[2] = {{0, UTIME_OMIT}, {static_cast<time_t>(stamp), 0}};
    futimens(file, times);
#endif
}
