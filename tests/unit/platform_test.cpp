// The Windows calls the product makes, checked case by case. The same program
// runs natively against the Linux stand-in and under Wine against the real
// API, so every expectation here holds for both.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/win32.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace {

using WideString = std::basic_string<WCHAR>;

// 100-ns units from 1601-01-01 to 1970-01-01 (Windows' documented offset of 11644473600 s).
constexpr uint64_t unixEpochUnits = 116444736000000000ull;

FILETIME MakeFileTime(uint64_t units) {
    return FILETIME{static_cast<DWORD>(units), static_cast<DWORD>(units >> 32)};
}

// Unix seconds (from `date -u +%s -d ...`) plus milliseconds as a FILETIME.
FILETIME FromUnix(int64_t seconds, unsigned milliseconds = 0) {
    return MakeFileTime(unixEpochUnits + static_cast<uint64_t>(seconds) * 10000000ull + milliseconds * 10000ull);
}

struct Civil {
    int year, month, day, hour, minute, second, milliseconds;
};

void ExpectTime(const SYSTEMTIME& actual, const Civil& expected) {
    EXPECT_EQ(actual.wYear, expected.year);
    EXPECT_EQ(actual.wMonth, expected.month);
    EXPECT_EQ(actual.wDay, expected.day);
    EXPECT_EQ(actual.wHour, expected.hour);
    EXPECT_EQ(actual.wMinute, expected.minute);
    EXPECT_EQ(actual.wSecond, expected.second);
    EXPECT_EQ(actual.wMilliseconds, expected.milliseconds);
}

struct FileTimeCase {
    const char* label;
    FILETIME input;
    Civil expected;
    int dayOfWeek;  // 0 Sunday
};

TEST(Platform, FileTimeToSystemTime) {
    const FileTimeCase cases[] = {
        {"the zero time", MakeFileTime(0), {1601, 1, 1, 0, 0, 0, 0}, 1},
        {"2023-06-15 14:30:45.123", FromUnix(1686839445, 123), {2023, 6, 15, 14, 30, 45, 123}, 4},
        {"leap day 2000", FromUnix(951868799, 999), {2000, 2, 29, 23, 59, 59, 999}, 2},
        {"before the DOS epoch", FromUnix(315532798), {1979, 12, 31, 23, 59, 58, 0}, 1},
        {"the largest time", MakeFileTime(0x7FFFFFFFFFFFFFFFull), {30828, 9, 14, 2, 48, 5, 477}, 4},
    };
    for (const FileTimeCase& c : cases) {
        SCOPED_TRACE(c.label);
        SYSTEMTIME time{};
        ASSERT_TRUE(FileTimeToSystemTime(&c.input, &time));
        ExpectTime(time, c.expected);
        EXPECT_EQ(time.wDayOfWeek, c.dayOfWeek);
    }
    const FILETIME highBit = MakeFileTime(0x8000000000000000ull);
    SYSTEMTIME time{};
    EXPECT_FALSE(FileTimeToSystemTime(&highBit, &time));
}

// The zone in effect is set through TZ where the C library reads it. Wine
// takes the zone from TZ once, when the program starts, so there a row runs
// when the program was started with the row's TZ, and the UTC rows also run
// on a host that keeps UTC (as the test machines do).
bool UseZone(const char* zone) {
#ifdef _WIN32
    const char* started = std::getenv("TZ");
    if (started != nullptr && *started != '\0') return std::strcmp(started, zone) == 0;
    TIME_ZONE_INFORMATION information;
    const DWORD kind = GetTimeZoneInformation(&information);
    return std::strcmp(zone, "UTC0") == 0 && kind == TIME_ZONE_ID_UNKNOWN && information.Bias == 0;
#else
    setenv("TZ", zone, 1);
    tzset();
    return true;
#endif
}

void RestoreZone(const char* saved) {
#ifndef _WIN32
    if (saved != nullptr) {
        setenv("TZ", saved, 1);
    } else {
        unsetenv("TZ");
    }
    tzset();
#else
    (void)saved;
#endif
}

struct LocalCase {
    const char* label;
    const char* zone;  // POSIX TZ text
    FILETIME input;
    bool succeeds;
    Civil expected;
};

TEST(Platform, SystemTimeToLocalTimeInTheZoneInEffect) {
    const char* const saved = std::getenv("TZ");
    const std::string savedZone = saved != nullptr ? saved : "";
    const LocalCase cases[] = {
        {"UTC", "UTC0", FromUnix(1686839445, 250), true, {2023, 6, 15, 14, 30, 45, 250}},
        {"UTC, the zero time", "UTC0", MakeFileTime(0), true, {1601, 1, 1, 0, 0, 0, 0}},
        {"New York in summer", "EST5EDT,M3.2.0,M11.1.0", FromUnix(1686839445), true, {2023, 6, 15, 10, 30, 45, 0}},
        {"New York in winter", "EST5EDT,M3.2.0,M11.1.0", FromUnix(1673793045), true, {2023, 1, 15, 9, 30, 45, 0}},
        {"east of UTC across midnight", "XST-3", FromUnix(1686862800), true, {2023, 6, 16, 0, 0, 0, 0}},
        {"the zero time east of UTC", "CET-1", MakeFileTime(0), true, {1601, 1, 1, 1, 0, 0, 0}},
        // West of UTC the zero time falls into 1600, which Windows cannot represent.
        {"the zero time west of UTC", "EST5", MakeFileTime(0), false, {}},
    };
    for (const LocalCase& c : cases) {
        SCOPED_TRACE(c.label);
        if (!UseZone(c.zone)) continue;
        SYSTEMTIME universal{};
        ASSERT_TRUE(FileTimeToSystemTime(&c.input, &universal));
        SYSTEMTIME local{};
        const BOOL converted = SystemTimeToTzSpecificLocalTime(nullptr, &universal, &local);
        ASSERT_EQ(converted != FALSE, c.succeeds);
        if (c.succeeds) ExpectTime(local, c.expected);
    }
    RestoreZone(saved != nullptr ? savedZone.c_str() : nullptr);
}

// The C runtime's localtime is a second opinion on the zone in effect, whatever it is.
TEST(Platform, LocalTimeAgreesWithTheRuntimeInAnyZone) {
    const int64_t seconds = 1686839445;
    const FILETIME input = FromUnix(seconds);
    SYSTEMTIME universal{};
    SYSTEMTIME local{};
    ASSERT_TRUE(FileTimeToSystemTime(&input, &universal));
    ASSERT_TRUE(SystemTimeToTzSpecificLocalTime(nullptr, &universal, &local));
    const time_t instant = static_cast<time_t>(seconds);
    const std::tm* runtime = std::localtime(&instant);
    ASSERT_NE(runtime, nullptr);
    ExpectTime(local, {runtime->tm_year + 1900, runtime->tm_mon + 1, runtime->tm_mday, runtime->tm_hour,
                       runtime->tm_min, runtime->tm_sec, 0});
}

struct TextCase {
    const char* label;
    std::string utf8;
    WideString utf16;
};

// Well-formed text converts the same way in both directions.
const TextCase wellFormedText[] = {
    {"ASCII", "object-stream-00000012.jpg", WIDE("object-stream-00000012.jpg")},
    {"two-byte sequence", "caf\xC3\xA9", WideString{u'c', u'a', u'f', 0x00E9}},
    {"three-byte sequence", "\xE2\x82\xAC" "5", WideString{0x20AC, u'5'}},
    {"four-byte sequence as a surrogate pair", "a\xF0\x9F\x98\x80", WideString{u'a', 0xD83D, 0xDE00}},
    {"highest code point", "\xF4\x8F\xBF\xBF", WideString{0xDBFF, 0xDFFF}},
};

// Malformed UTF-8 becomes U+FFFD: one for a cut-short sequence or a stray
// byte, and one for a start that cannot lead anywhere valid taken together
// with its first continuation byte (what Windows does, rather than one per byte).
const TextCase malformedUtf8[] = {
    {"lone continuation byte", "a\x80" "b", WideString{u'a', 0xFFFD, u'b'}},
    {"byte that never occurs", "\xFF", WideString{0xFFFD}},
    {"cut-short two-byte sequence", "\xC3" "A", WideString{0xFFFD, u'A'}},
    {"cut-short three-byte sequence", "\xE2\x82" "A", WideString{0xFFFD, u'A'}},
    {"overlong slash", "\xC0\xAF", WideString{0xFFFD, 0xFFFD}},
    {"overlong three-byte sequence", "\xE0\x80\x80", WideString{0xFFFD, 0xFFFD}},
    {"encoded surrogate", "\xED\xA0\x80", WideString{0xFFFD, 0xFFFD}},
    {"above U+10FFFF", "\xF4\x90\x80\x80", WideString{0xFFFD, 0xFFFD, 0xFFFD}},
    {"cut short by the end", "\xF0\x9F\x98", WideString{0xFFFD}},
    {"five-byte form", "\xF8\x88\x80\x80\x80", WideString{0xFFFD, 0xFFFD, 0xFFFD, 0xFFFD, 0xFFFD}},
};

// Lone surrogates become U+FFFD on the way to UTF-8.
const TextCase malformedUtf16[] = {
    {"lone high surrogate", "\xEF\xBF\xBD" "a", WideString{0xD800, u'a'}},
    {"lone low surrogate", "a\xEF\xBF\xBD", WideString{u'a', 0xDC00}},
    {"reversed pair", "\xEF\xBF\xBD\xEF\xBF\xBD", WideString{0xDE00, 0xD83D}},
};

void CheckToWide(const TextCase& c) {
    SCOPED_TRACE(c.label);
    const int needed = static_cast<int>(c.utf16.size()) + 1;  // the terminator is counted
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, c.utf8.c_str(), -1, nullptr, 0), needed);
    std::vector<WCHAR> out(static_cast<size_t>(needed) + 1, 0x7777);
    ASSERT_EQ(MultiByteToWideChar(CP_UTF8, 0, c.utf8.c_str(), -1, out.data(), needed), needed);
    EXPECT_EQ(WideString(out.data(), c.utf16.size() + 1), WideString(c.utf16.c_str(), c.utf16.size() + 1));
    EXPECT_EQ(out[static_cast<size_t>(needed)], 0x7777);
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, c.utf8.c_str(), -1, out.data(), needed - 1), 0);
}

void CheckToUtf8(const TextCase& c) {
    SCOPED_TRACE(c.label);
    const int needed = static_cast<int>(c.utf8.size()) + 1;
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, c.utf16.c_str(), -1, nullptr, 0, nullptr, nullptr), needed);
    std::vector<char> out(static_cast<size_t>(needed) + 1, '#');
    ASSERT_EQ(WideCharToMultiByte(CP_UTF8, 0, c.utf16.c_str(), -1, out.data(), needed, nullptr, nullptr), needed);
    EXPECT_EQ(std::string(out.data(), c.utf8.size() + 1), std::string(c.utf8.c_str(), c.utf8.size() + 1));
    EXPECT_EQ(out[static_cast<size_t>(needed)], '#');
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, c.utf16.c_str(), -1, out.data(), needed - 1, nullptr, nullptr), 0);
}

TEST(Platform, Utf8ToUtf16) {
    for (const TextCase& c : wellFormedText) CheckToWide(c);
    for (const TextCase& c : malformedUtf8) CheckToWide(c);
}

TEST(Platform, Utf16ToUtf8) {
    for (const TextCase& c : wellFormedText) CheckToUtf8(c);
    for (const TextCase& c : malformedUtf16) CheckToUtf8(c);
}

TEST(Platform, TextConversionBoundaries) {
    // An explicit length converts exactly those units, without a terminator.
    WCHAR wide[4] = {0x7777, 0x7777, 0x7777, 0x7777};
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "abc", 2, wide, 4), 2);
    EXPECT_EQ(wide[1], u'b');
    EXPECT_EQ(wide[2], 0x7777);
    char narrow[4] = {'#', '#', '#', '#'};
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, WIDE("abc"), 2, narrow, 4, nullptr, nullptr), 2);
    EXPECT_EQ(narrow[2], '#');
    // An empty source length, a null source and a negative size are refused.
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "abc", 0, wide, 4), 0);
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, nullptr, -1, wide, 4), 0);
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, WIDE("abc"), 0, narrow, 4, nullptr, nullptr), 0);
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, WIDE("abc"), -1, narrow, -1, nullptr, nullptr), 0);
    // The empty text is its terminator.
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "", -1, wide, 4), 1);
    EXPECT_EQ(wide[0], 0);
}

TEST(Platform, AnsiCodePageForAsciiNames) {
    // The header records convert names to the ANSI code page with WC_COMPOSITECHECK;
    // the generated names are ASCII, which every ANSI code page keeps as is.
    const WCHAR* name = WIDE("object-stream-00000012.jpg");
    char out[260];
    std::memset(out, '#', sizeof out);
    ASSERT_EQ(WideCharToMultiByte(CP_ACP, WC_COMPOSITECHECK, name, -1, out, 260, nullptr, nullptr), 27);
    EXPECT_STREQ(out, "object-stream-00000012.jpg");
    WCHAR back[260];
    ASSERT_EQ(MultiByteToWideChar(CP_ACP, 0, out, -1, back, 260), 27);
    EXPECT_EQ(WideString(back), WideString(name));
}

TEST(Platform, WcsnicmpFoldsAsciiLetters) {
    struct {
        const WCHAR* left;
        const WCHAR* right;
        size_t count;
        int sign;
    } const cases[] = {
        {WIDE("HTTPS://host"), WIDE("https:"), 6, 0},
        {WIDE("Ftp:x"), WIDE("fTP:y"), 4, 0},
        {WIDE("http:"), WIDE("ftp:"), 4, 1},
        {WIDE("ab"), WIDE("ABC"), 3, -1},
        {WIDE("abc"), WIDE("abd"), 2, 0},
        {WIDE("[x"), WIDE("{x"), 2, -1},  // not letters: compared as they are
    };
    for (const auto& c : cases) {
        const int result = _wcsnicmp(c.left, c.right, c.count);
        EXPECT_EQ((result > 0) - (result < 0), c.sign);
    }
}

TEST(Platform, WcsrchrFindsTheLastUnit) {
    const WCHAR* path = WIDE("C:\\out/object-stream-00000012.jpg");
    EXPECT_EQ(wcsrchr(path, u'-'), path + 20);
    EXPECT_EQ(wcsrchr(path, u'\\'), path + 2);
    EXPECT_EQ(wcsrchr(path, u'#'), nullptr);
    EXPECT_EQ(wcsrchr(path, 0), path + WideLength(path));
}

// A fresh directory under the system's temporary directory, removed afterwards.
struct TemporaryDirectory {
    std::filesystem::path path;

    TemporaryDirectory() {
        const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
        path = std::filesystem::temp_directory_path() / ("vellum-platform-" + std::to_string(stamp));
        std::filesystem::create_directory(path);
    }
    ~TemporaryDirectory() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
    WideString Wide(const std::u16string& name) const {
        const std::u16string text = (name.empty() ? path : path / name).u16string();
        return WideString(text.begin(), text.end());
    }
};

struct HandleGuard {
    HANDLE handle;
    ~HandleGuard() {
        if (handle != nullptr && handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
    }
};

HANDLE CreateForWriting(const WideString& path) {
    return CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0, nullptr);
}

HANDLE OpenForReading(const WideString& path) {
    return CreateFileW(path.c_str(), FILE_READ_DATA, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
}

TEST(Platform, FileWriteSizeTimeAndMapping) {
    TemporaryDirectory directory;
    const WideString path = directory.Wide(u"data.bin");
    // More than one 64 KiB granule, so the view spans several pages and granules.
    std::vector<char> content(70001);
    for (size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 7 + i / 251);
    {
        HandleGuard file{CreateForWriting(path)};
        ASSERT_NE(file.handle, INVALID_HANDLE_VALUE);
        DWORD written = 0;
        ASSERT_TRUE(WriteFile(file.handle, content.data(), 65536, &written, nullptr));
        EXPECT_EQ(written, 65536u);
        ASSERT_TRUE(WriteFile(file.handle, content.data() + 65536, 70001 - 65536, &written, nullptr));
        EXPECT_EQ(written, 70001u - 65536u);
    }
    EXPECT_EQ(std::filesystem::file_size(directory.path / "data.bin"), 70001u);

    HandleGuard file{OpenForReading(path)};
    ASSERT_NE(file.handle, INVALID_HANDLE_VALUE);
    LARGE_INTEGER size{};
    ASSERT_TRUE(GetFileSizeEx(file.handle, &size));
    EXPECT_EQ(size.QuadPart, 70001);

    FILETIME lastWrite{};
    ASSERT_TRUE(GetFileTime(file.handle, nullptr, nullptr, &lastWrite));
    const uint64_t units = (static_cast<uint64_t>(lastWrite.dwHighDateTime) << 32) | lastWrite.dwLowDateTime;
    const auto writtenAt = static_cast<long long>((units - unixEpochUnits) / 10000000);
    EXPECT_NEAR(static_cast<double>(writtenAt), static_cast<double>(std::time(nullptr)), 120.0);

    HandleGuard mapping{CreateFileMappingW(file.handle, nullptr, PAGE_READONLY, 0, 0, nullptr)};
    ASSERT_NE(mapping.handle, nullptr);
    const void* view = MapViewOfFile(mapping.handle, FILE_MAP_READ, 0, 0, 0);
    ASSERT_NE(view, nullptr);
    // The view outlives both handles, as the open relies on.
    CloseHandle(mapping.handle);
    mapping.handle = nullptr;
    CloseHandle(file.handle);
    file.handle = nullptr;
    EXPECT_EQ(std::memcmp(view, content.data(), content.size()), 0);
    EXPECT_TRUE(UnmapViewOfFile(view));
    EXPECT_FALSE(UnmapViewOfFile(view));
}

TEST(Platform, CreateAlwaysReplacesAnExistingFile) {
    TemporaryDirectory directory;
    const WideString path = directory.Wide(u"replaced.bin");
    for (const char* text : {"a longer first text", "short"}) {
        HandleGuard file{CreateForWriting(path)};
        ASSERT_NE(file.handle, INVALID_HANDLE_VALUE);
        DWORD written = 0;
        ASSERT_TRUE(WriteFile(file.handle, text, static_cast<DWORD>(std::strlen(text)), &written, nullptr));
    }
    EXPECT_EQ(std::filesystem::file_size(directory.path / "replaced.bin"), 5u);
#ifndef _WIN32
    // A new file gets the usual 0644 less the umask.
    const mode_t mask = umask(0);
    umask(mask);
    const auto permissions = std::filesystem::status(directory.path / "replaced.bin").permissions();
    EXPECT_EQ(static_cast<unsigned>(permissions), 0644u & ~static_cast<unsigned>(mask));
#endif
}

TEST(Platform, PathsWithBackslashesAndNonAsciiNames) {
    TemporaryDirectory directory;
#ifdef _WIN32
    // Windows separates with '\'; the joined destination paths use it.
    const WideString joined = directory.Wide(u"") + WIDE("\\joined.bin");
    HandleGuard first{CreateForWriting(joined)};
    ASSERT_NE(first.handle, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(std::filesystem::exists(directory.path / "joined.bin"));
#else
    // On Linux a '\' is part of the name: "a\b.bin" is one file beside the
    // folder "a", and "a/b.bin" is never touched, neither made nor deleted.
    std::filesystem::create_directory(directory.path / "a");
    const WideString named = directory.Wide(u"a\\b.bin");
    {
        HandleGuard first{CreateForWriting(named)};
        ASSERT_NE(first.handle, INVALID_HANDLE_VALUE);
    }
    EXPECT_TRUE(std::filesystem::is_regular_file(directory.path / "a\\b.bin"));
    EXPECT_FALSE(std::filesystem::exists(directory.path / "a" / "b.bin"));
    { std::ofstream other(directory.path / "a" / "b.bin"); }
    EXPECT_TRUE(DeleteFileW(named.c_str()));
    EXPECT_FALSE(std::filesystem::exists(directory.path / "a\\b.bin"));
    EXPECT_TRUE(std::filesystem::exists(directory.path / "a" / "b.bin"));
#endif

    HandleGuard second{CreateForWriting(directory.Wide(u"caf\u00e9-\U0001F600.bin"))};
    ASSERT_NE(second.handle, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(std::filesystem::exists(directory.path / std::filesystem::path(u"caf\u00e9-\U0001F600.bin")));
}

TEST(Platform, OpenFailures) {
    TemporaryDirectory directory;
    // The two kinds of "no handle": INVALID_HANDLE_VALUE for files, null for mappings.
    EXPECT_EQ(OpenForReading(directory.Wide(u"missing.pdf")), INVALID_HANDLE_VALUE);
    EXPECT_EQ(OpenForReading(WIDE("")), INVALID_HANDLE_VALUE);
    EXPECT_EQ(OpenForReading(directory.Wide(u"")), INVALID_HANDLE_VALUE);  // a directory
    EXPECT_EQ(CreateForWriting(directory.Wide(u"no-such-folder/out.bin")), INVALID_HANDLE_VALUE);

    {
        HandleGuard created{CreateForWriting(directory.Wide(u"empty.pdf"))};
        ASSERT_NE(created.handle, INVALID_HANDLE_VALUE);
    }
    HandleGuard empty{OpenForReading(directory.Wide(u"empty.pdf"))};
    ASSERT_NE(empty.handle, INVALID_HANDLE_VALUE);
    EXPECT_EQ(CreateFileMappingW(empty.handle, nullptr, PAGE_READONLY, 0, 0, nullptr), nullptr);
}

TEST(Platform, CriticalSectionIsReentrant) {
    CRITICAL_SECTION section;
    InitializeCriticalSection(&section);
    EnterCriticalSection(&section);
    EnterCriticalSection(&section);  // the holder enters again without waiting
    LeaveCriticalSection(&section);
    // Still held once: the other thread must wait for the second leave.
    std::atomic<bool> leftFully{false};
    bool seenLeft = false;
    std::thread other([&] {
        EnterCriticalSection(&section);
        seenLeft = leftFully.load();
        LeaveCriticalSection(&section);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    leftFully = true;
    LeaveCriticalSection(&section);
    other.join();
    EXPECT_TRUE(seenLeft);
    DeleteCriticalSection(&section);
}

// Holds `section` on another thread for a while and then enters it here:
// whether this thread waited until the other had left.
bool WaitsForAnotherHolder(CRITICAL_SECTION& section) {
    std::atomic<bool> otherHolds{false};
    std::atomic<bool> otherLeft{false};
    std::thread other([&] {
        EnterCriticalSection(&section);
        otherHolds = true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        otherLeft = true;
        LeaveCriticalSection(&section);
    });
    while (!otherHolds) std::this_thread::yield();
    EnterCriticalSection(&section);
    const bool waited = otherLeft;
    LeaveCriticalSection(&section);
    other.join();
    return waited;
}

TEST(Platform, CriticalSectionDeletedWhileHeld) {
    // Closing an archive may delete its section on the thread that still holds
    // it, and the next archive may get the same memory for its own section.
    // That new section must be free, and the deleting thread must not count as
    // its holder; ThreadSanitizer (tsan preset) also reports a mutex destroyed
    // while locked.
    CRITICAL_SECTION section;
    InitializeCriticalSection(&section);
    EnterCriticalSection(&section);
    EnterCriticalSection(&section);
    DeleteCriticalSection(&section);

    InitializeCriticalSection(&section);
    EXPECT_TRUE(WaitsForAnotherHolder(section));
    DeleteCriticalSection(&section);
}

struct HashCase {
    LPCWSTR algorithm;
    const char* digest;  // of "abc": RFC 1321 and FIPS 180-2
};

TEST(Platform, CngHashes) {
    const HashCase cases[] = {
        {BCRYPT_MD5_ALGORITHM, "900150983cd24fb0d6963f7d28e17f72"},
        {BCRYPT_SHA256_ALGORITHM, "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {BCRYPT_SHA384_ALGORITHM, "cb00753f45a35e8bb5a03d699ac65007272c32ab0eded1631a8b605a43ff5bed8086072ba1e7cc2358baeca134c825a7"},
        {BCRYPT_SHA512_ALGORITHM, "ddaf35a193617abacc417349ae20413112e6fa4e89a97ea20a9eeee64b55d39a2192992a274fc1a836ba3c23a3feebbd454d4423643ce80e2a9ac94fa54ca49f"},
    };
    for (const HashCase& c : cases) {
        SCOPED_TRACE(c.digest);
        BCRYPT_ALG_HANDLE algorithm = nullptr;
        ASSERT_TRUE(BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&algorithm, c.algorithm, nullptr, 0)));
        BCRYPT_HASH_HANDLE hash = nullptr;
        ASSERT_TRUE(BCRYPT_SUCCESS(BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0)));
        // In two pieces, as the security handler hashes its parts.
        UCHAR ab[] = {'a', 'b'};
        UCHAR c3[] = {'c'};
        EXPECT_TRUE(BCRYPT_SUCCESS(BCryptHashData(hash, ab, 2, 0)));
        EXPECT_TRUE(BCRYPT_SUCCESS(BCryptHashData(hash, c3, 1, 0)));
        const std::string expected = c.digest;
        UCHAR digest[64] = {};
        // A size other than the digest's is refused.
        EXPECT_FALSE(BCRYPT_SUCCESS(BCryptFinishHash(hash, digest, static_cast<ULONG>(expected.size() / 2 + 1), 0)));
        ASSERT_TRUE(BCRYPT_SUCCESS(BCryptFinishHash(hash, digest, static_cast<ULONG>(expected.size() / 2), 0)));
        std::string hex;
        for (size_t i = 0; i < expected.size() / 2; ++i) {
            char pair[3];
            std::snprintf(pair, sizeof pair, "%02x", digest[i]);
            hex += pair;
        }
        EXPECT_EQ(hex, expected);
        EXPECT_TRUE(BCRYPT_SUCCESS(BCryptDestroyHash(hash)));
        EXPECT_TRUE(BCRYPT_SUCCESS(BCryptCloseAlgorithmProvider(algorithm, 0)));
    }
    BCRYPT_ALG_HANDLE unknown = nullptr;
    EXPECT_FALSE(BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&unknown, WIDE("NoSuchHash"), nullptr, 0)));
}

// NIST SP 800-38A F.2.1 and F.2.2: AES-128 in CBC mode, one block per call
// with the IV given each time, as the decrypt stage calls it.
TEST(Platform, CngAesCbc) {
    UCHAR key[] = {0x2b, 0x7e, 0x15, 0x16, 0x28, 0xae, 0xd2, 0xa6, 0xab, 0xf7, 0x15, 0x88, 0x09, 0xcf, 0x4f, 0x3c};
    const UCHAR plain[32] = {0x6b, 0xc1, 0xbe, 0xe2, 0x2e, 0x40, 0x9f, 0x96, 0xe9, 0x3d, 0x7e, 0x11, 0x73, 0x93, 0x17, 0x2a,
                             0xae, 0x2d, 0x8a, 0x57, 0x1e, 0x03, 0xac, 0x9c, 0x9e, 0xb7, 0x6f, 0xac, 0x45, 0xaf, 0x8e, 0x51};
    const UCHAR cipher[32] = {0x76, 0x49, 0xab, 0xac, 0x81, 0x19, 0xb2, 0x46, 0xce, 0xe9, 0x8e, 0x9b, 0x12, 0xe9, 0x19, 0x7d,
                              0x50, 0x86, 0xcb, 0x9b, 0x50, 0x72, 0x19, 0xee, 0x95, 0xdb, 0x11, 0x3a, 0x91, 0x76, 0x78, 0xb2};
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    ASSERT_TRUE(BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_AES_ALGORITHM, nullptr, 0)));
    ASSERT_TRUE(BCRYPT_SUCCESS(BCryptSetProperty(algorithm, BCRYPT_CHAINING_MODE,
                                                 reinterpret_cast<PUCHAR>(const_cast<WCHAR*>(BCRYPT_CHAIN_MODE_CBC)),
                                                 sizeof(BCRYPT_CHAIN_MODE_CBC), 0)));
    BCRYPT_KEY_HANDLE shortKey = nullptr;
    EXPECT_FALSE(BCRYPT_SUCCESS(BCryptGenerateSymmetricKey(algorithm, &shortKey, nullptr, 0, key, 10, 0)));
    BCRYPT_KEY_HANDLE handle = nullptr;
    ASSERT_TRUE(BCRYPT_SUCCESS(BCryptGenerateSymmetricKey(algorithm, &handle, nullptr, 0, key, sizeof key, 0)));
    for (const bool encrypt : {true, false}) {
        const UCHAR* from = encrypt ? plain : cipher;
        const UCHAR* to = encrypt ? cipher : plain;
        UCHAR chain[16] = {0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0a, 0x0b, 0x0c, 0x0d, 0x0e, 0x0f};
        for (size_t block = 0; block < 2; ++block) {
            UCHAR input[16];
            UCHAR output[16] = {};
            std::memcpy(input, from + 16 * block, 16);
            UCHAR iv[16];
            std::memcpy(iv, chain, 16);
            ULONG written = 0;
            const NTSTATUS status = encrypt ? BCryptEncrypt(handle, input, 16, nullptr, iv, 16, output, 16, &written, 0)
                                            : BCryptDecrypt(handle, input, 16, nullptr, iv, 16, output, 16, &written, 0);
            ASSERT_TRUE(BCRYPT_SUCCESS(status));
            EXPECT_EQ(written, 16u);
            EXPECT_EQ(std::memcmp(output, to + 16 * block, 16), 0) << (encrypt ? "encrypt" : "decrypt") << block;
            std::memcpy(chain, cipher + 16 * block, 16);
        }
    }
    // Without padding, only whole blocks are taken.
    UCHAR partial[15] = {};
    UCHAR out[16];
    UCHAR iv[16] = {};
    ULONG written = 0;
    EXPECT_FALSE(BCRYPT_SUCCESS(BCryptDecrypt(handle, partial, 15, nullptr, iv, 16, out, 16, &written, 0)));
    EXPECT_TRUE(BCRYPT_SUCCESS(BCryptDestroyKey(handle)));
    EXPECT_TRUE(BCRYPT_SUCCESS(BCryptCloseAlgorithmProvider(algorithm, 0)));
}

}  // namespace
