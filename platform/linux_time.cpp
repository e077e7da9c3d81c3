// Time conversion for Linux. FILETIME counts 100-ns units since 1601-01-01
// UTC; the local zone is the C library's (TZ, else /etc/localtime).
#include <ctime>

#include "platform/win32.h"

namespace {

constexpr int64_t fileTimeUnitsPerMillisecond = 10000;
constexpr int64_t millisecondsPerDay = 86400000;
constexpr int64_t secondsPerDay = 86400;
constexpr int64_t unixEpochInFileTimeDays = FileTimeSecondsBefore1970 / secondsPerDay;
// The years a SYSTEMTIME may hold on Windows.
constexpr int firstYear = 1601;
constexpr int lastYear = 30827;

struct CivilDate {
    int64_t year;
    unsigned month;  // 1 to 12
    unsigned day;    // 1 to 31
};

// Proleptic Gregorian date of a day count from 1970-01-01 (H. Hinnant's civil_from_days).
CivilDate DateFromDays(int64_t days) {
    days += 719468;
    const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const auto dayOfEra = static_cast<unsigned>(days - era * 146097);
    const unsigned yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const unsigned shiftedMonth = (5 * dayOfYear + 2) / 153;
    const unsigned day = dayOfYear - (153 * shiftedMonth + 2) / 5 + 1;
    const unsigned month = shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9;
    return {static_cast<int64_t>(yearOfEra) + era * 400 + (month <= 2 ? 1 : 0), month, day};
}

// Day count from 1970-01-01 of a proleptic Gregorian date (days_from_civil).
int64_t DaysFromDate(int64_t year, unsigned month, unsigned day) {
    year -= month <= 2 ? 1 : 0;
    const int64_t era = (year >= 0 ? year : year - 399) / 400;
    const auto yearOfEra = static_cast<unsigned>(year - era * 400);
    const unsigned dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + static_cast<int64_t>(dayOfEra) - 719468;
}

bool IsLeapYear(unsigned year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

unsigned DaysInMonth(unsigned year, unsigned month) {
    static constexpr unsigned days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : days[month - 1];
}

bool IsValid(const SYSTEMTIME& time) {
    return time.wYear >= firstYear && time.wYear <= lastYear && time.wMonth >= 1 && time.wMonth <= 12 &&
           time.wDay >= 1 && time.wDay <= DaysInMonth(time.wYear, time.wMonth) && time.wHour < 24 &&
           time.wMinute < 60 && time.wSecond < 60 && time.wMilliseconds < 1000;
}

}  // namespace

BOOL FileTimeToSystemTime(const FILETIME* fileTime, SYSTEMTIME* systemTime) {
    if (fileTime == nullptr || systemTime == nullptr) return FALSE;
    // Windows refuses times with the high bit set.
    if ((fileTime->dwHighDateTime & 0x80000000u) != 0) return FALSE;
    const auto units = static_cast<int64_t>((static_cast<uint64_t>(fileTime->dwHighDateTime) << 32) |
                                            fileTime->dwLowDateTime);
    const int64_t milliseconds = units / fileTimeUnitsPerMillisecond;
    const int64_t days = milliseconds / millisecondsPerDay;
    const int64_t ofDay = milliseconds % millisecondsPerDay;
    const CivilDate date = DateFromDays(days - unixEpochInFileTimeDays);
    systemTime->wYear = static_cast<WORD>(date.year);
    systemTime->wMonth = static_cast<WORD>(date.month);
    systemTime->wDay = static_cast<WORD>(date.day);
    systemTime->wDayOfWeek = static_cast<WORD>((days + 1) % 7);  // 1601-01-01 was a Monday
    systemTime->wHour = static_cast<WORD>(ofDay / 3600000);
    systemTime->wMinute = static_cast<WORD>(ofDay / 60000 % 60);
    systemTime->wSecond = static_cast<WORD>(ofDay / 1000 % 60);
    systemTime->wMilliseconds = static_cast<WORD>(ofDay % 1000);
    return TRUE;
}

BOOL SystemTimeToTzSpecificLocalTime(const TIME_ZONE_INFORMATION* zone, const SYSTEMTIME* universal,
                                     SYSTEMTIME* local) {
    // Only the zone in effect is supported: that is what a null zone asks for.
    if (zone != nullptr || universal == nullptr || local == nullptr || !IsValid(*universal)) return FALSE;
    const time_t seconds = static_cast<time_t>(
        DaysFromDate(universal->wYear, universal->wMonth, universal->wDay) * 86400 + universal->wHour * 3600 +
        universal->wMinute * 60 + universal->wSecond);
    tzset();
    struct tm parts;
    if (localtime_r(&seconds, &parts) == nullptr) return FALSE;
    // West of UTC the first moments of 1601 fall before the first year Windows
    // represents, and Windows fails the conversion; so does this one.
    const int year = parts.tm_year + 1900;
    if (year < firstYear || year > lastYear) return FALSE;
    local->wYear = static_cast<WORD>(year);
    local->wMonth = static_cast<WORD>(parts.tm_mon + 1);
    local->wDayOfWeek = static_cast<WORD>(parts.tm_wday);
    local->wDay = static_cast<WORD>(parts.tm_mday);
    local->wHour = static_cast<WORD>(parts.tm_hour);
    local->wMinute = static_cast<WORD>(parts.tm_min);
    local->wSecond = static_cast<WORD>(parts.tm_sec);
    local->wMilliseconds = universal->wMilliseconds;
    return TRUE;
}
