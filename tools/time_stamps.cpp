#include "tools/time_stamps.h"

#include <cstdio>
#include <ctime>

#ifndef _WIN32
#  include <fcntl.h>
#  include <sys/stat.h>
#endif

namespace {

struct CivilTime {
    int year, month, day, hour, minute, second;
};

CivilTime FromTimeStamp(uint32_t stamp) {
#ifdef _WIN32
    return CivilTime{static_cast<int>(1980 + (stamp >> 25)), static_cast<int>((stamp >> 21) & 0x0F),
                     static_cast<int>((stamp >> 16) & 0x1F), static_cast<int>((stamp >> 11) & 0x1F),
                     static_cast<int>((stamp >> 5) & 0x3F), static_cast<int>((stamp & 0x1F) * 2)};
#else
    std::time_t seconds = static_cast<std::time_t>(stamp);
    std::tm local{};
    localtime_r(&seconds, &local);
    return CivilTime{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min,
                     local.tm_sec};
#endif
}

}  // namespace

std::string FormatTime(uint32_t stamp, char dateTimeSeparator) {
    CivilTime t = FromTimeStamp(stamp);
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d%c%02d:%02d:%02d", t.year, t.month, t.day, dateTimeSeparator,
                  t.hour, t.minute, t.second);
    return text;
}

void SetLastWriteTime(const HostText& path, uint32_t stamp) {
#ifdef _WIN32
    CivilTime t = FromTimeStamp(stamp);
    SYSTEMTIME local{};
    local.wYear = static_cast<WORD>(t.year);
    local.wMonth = static_cast<WORD>(t.month);
    local.wDay = static_cast<WORD>(t.day);
    local.wHour = static_cast<WORD>(t.hour);
    local.wMinute = static_cast<WORD>(t.minute);
    local.wSecond = static_cast<WORD>(t.second);
    SYSTEMTIME universal{};
    FILETIME time{};
    if (!TzSpecificLocalTimeToSystemTime(nullptr, &local, &universal) || !SystemTimeToFileTime(&universal, &time))
        return;
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
