// The `vellum` command: lists, extracts and checks PDFs through the plug-in's
// exported functions only, in the order a file manager calls them, so that
// what it shows is exactly what a host would see.
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <iterator>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <system_error>
#include <unordered_set>
#include <thread>
#include <utility>
#include <vector>

#include "resources/version.h"
#include "tools/plugin_host.h"

#ifdef _WIN32
#  include <fcntl.h>
#  include <io.h>
#else
#  include <fcntl.h>
#  include <sys/stat.h>
#  include <unistd.h>

#  include "platform/utf8.h"
#endif

namespace {

using HostText = std::basic_string<WCHAR>;

// Exit statuses: 1 for a failure about the files, 2 for a wrong command line
// or a plug-in that cannot be loaded.
constexpr int ExitFailure = 1;
constexpr int ExitUsage = 2;

// On a terminal, documents from this size up get a line while they open, and
// entries from this size up a progress line while they are written.
constexpr uint64_t OpeningNoticeThreshold = uint64_t{16} << 20;
constexpr uint64_t ProgressThreshold = uint64_t{1} << 20;
// How often a status line's elapsed seconds are redrawn, and how soon after a
// drawing a new text may be drawn.
constexpr std::chrono::seconds StatusTick{1};
constexpr std::chrono::milliseconds StatusRedrawInterval{100};
constexpr double BytesPerMebibyte = 1048576.0;

#ifdef _WIN32
constexpr WCHAR PathSeparator = L'\\';
#else
constexpr WCHAR PathSeparator = u'/';
#endif

constexpr const char* UsageText =
    "usage: vellum [--plugin PATH] COMMAND ...\n"
    "\n"
    "Opens a PDF as a read-only archive of its streams, through the vellum packer plug-in.\n"
    "\n"
    "commands:\n"
    "  list [--json] FILE.pdf      one line per entry (name, size, date and time) and a total\n"
    "  extract [-o DIR] [-f] [-v] [--json] FILE.pdf [PATTERN...]\n"
    "                              writes every entry, or those whose names match a PATTERN,\n"
    "                              into DIR (default: the current directory), each file with\n"
    "                              its entry's time stamp, and ends with a one-line summary\n"
    "  check FILE...               tells whether each file is a PDF the plug-in opens\n"
    "\n"
    "extract options:\n"
    "  -o DIR, -oDIR   the destination directory, made if missing\n"
    "  -f, --force     overwrite existing files (otherwise each is reported and left alone)\n"
    "  -v, --verbose   print the path of each file as it is written\n"
    "  --json          report the files written (name, size, path) as JSON instead\n"
    "  PATTERN         an entry's name, or a pattern with * (any run), ? (any character)\n"
    "                  and [...] (one of a set; [!...] none of it); quote it for the shell\n"
    "\n"
    "options:\n"
    "  --plugin PATH   load this build of the plug-in instead of the one beside vellum\n"
    "  --help          show this text\n"
    "  --version       show the version\n"
    "  --              ends the options: what follows are files and patterns\n"
    "\n"
    "exit status: 0 success; 1 a file is not a PDF the plug-in opens, a name or pattern\n"
    "matches no entry, a file exists already or an entry could not be written; 2 wrong\n"
    "command line or plug-in not loaded.\n";

// ---- Text: the host speaks UTF-16, the terminal UTF-8. -------------------

#ifdef _WIN32
std::string ToUtf8(const HostText& text) {
    if (text.empty()) return {};
    int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                   nullptr);
    std::string result(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(), size, nullptr,
                        nullptr);
    return result;
}

// LoadLibraryA takes the ANSI code page.
std::string ToAnsi(const HostText& text) {
    if (text.empty()) return {};
    int size = WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                   nullptr);
    std::string result(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), result.data(), size, nullptr,
                        nullptr);
    return result;
}

std::filesystem::path ToPath(const HostText& text) { return std::filesystem::path(text); }
#else
// Malformed sequences become U+FFFD, as the plug-in's own conversion makes them.
HostText FromUtf8(const std::string& text) {
    HostText result;
    ConvertUtf8ToUtf16(text.data(), static_cast<int64_t>(text.size()), [&](char16_t unit) { result.push_back(unit); });
    return result;
}

std::string ToUtf8(const HostText& text) {
    std::string result;
    ConvertUtf16ToUtf8(text.data(), static_cast<int64_t>(text.size()), [&](char byte) { result.push_back(byte); });
    return result;
}

std::filesystem::path ToPath(const HostText& text) { return std::filesystem::path(ToUtf8(text)); }
#endif

HostText FromAscii(const char* text) {
    HostText result;
    for (; *text != 0; ++text) result.push_back(static_cast<WCHAR>(static_cast<unsigned char>(*text)));
    return result;
}

bool StandardErrorIsTerminal() {
#ifdef _WIN32
    return _isatty(_fileno(stderr)) != 0;
#else
    return isatty(STDERR_FILENO) != 0;
#endif
}

void Fail(const HostText& subject, const char* message) {
    std::fprintf(stderr, "vellum: %s: %s\n", ToUtf8(subject).c_str(), message);
}

std::string Mebibytes(uint64_t bytes) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f MiB", static_cast<double>(bytes) / BytesPerMebibyte);
    return text;
}

// ---- A status line on a terminal's stderr ---------------------------------

// One line saying what a slow step is doing and the seconds it has taken so
// far: drawn at once, redrawn every second by a ticker thread and on Update,
// erased when it goes out of scope. Made only when stderr is a terminal.
class StatusLine {
public:
    explicit StatusLine(std::string text) : text_(std::move(text)) {
        std::lock_guard<std::mutex> lock(mutex_);
        DrawLocked();
        try {
            ticker_ = std::thread([this] { Tick(); });
        } catch (const std::system_error&) {
            // Without a thread the line is only redrawn on Update.
        }
    }
    ~StatusLine() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            done_ = true;
        }
        wake_.notify_one();
        if (ticker_.joinable()) ticker_.join();
        std::fprintf(stderr, "\r%*s\r", static_cast<int>(drawnWidth_), "");
        std::fflush(stderr);
    }
    StatusLine(const StatusLine&) = delete;
    StatusLine& operator=(const StatusLine&) = delete;

    void Update(std::string text) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (text == text_) return;
        text_ = std::move(text);
        if (Clock::now() - drawnAt_ >= StatusRedrawInterval) DrawLocked();
    }

private:
    using Clock = std::chrono::steady_clock;

    void Tick() {
        std::unique_lock<std::mutex> lock(mutex_);
        while (!wake_.wait_for(lock, StatusTick, [this] { return done_; })) DrawLocked();
    }

    void DrawLocked() {
        drawnAt_ = Clock::now();
        auto seconds = std::chrono::duration_cast<std::chrono::seconds>(drawnAt_ - start_).count();
        std::string line = text_ + "  " + std::to_string(seconds) + " s";
        // Spaces cover whatever a longer line drawn before left behind.
        int cover = static_cast<int>(drawnWidth_ > line.size() ? drawnWidth_ - line.size() : 0);
        std::fprintf(stderr, "\r%s%*s", line.c_str(), cover, "");
        std::fflush(stderr);
        drawnWidth_ = std::max(drawnWidth_, line.size());
    }

    std::mutex mutex_;  // guards everything below and the writes to stderr
    std::condition_variable wake_;
    std::string text_;
    const Clock::time_point start_ = Clock::now();
    Clock::time_point drawnAt_;
    size_t drawnWidth_ = 0;  // the widest line drawn, in bytes
    bool done_ = false;
    std::thread ticker_;
};

// ---- Time stamps: the header carries a DOS date and time in local time on
// Windows and seconds since 1970 on Linux, as the hosts on each system read it.

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

std::string FormatTime(uint32_t stamp, char dateTimeSeparator) {
    CivilTime t = FromTimeStamp(stamp);
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d%c%02d:%02d:%02d", t.year, t.month, t.day, dateTimeSeparator,
                  t.hour, t.minute, t.second);
    return text;
}

// Gives an extracted file its entry's time stamp as its last-write time. A
// file whose time cannot be set keeps the time of its writing.
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

// ---- The plug-in and the archive, each closed by a guard. ----------------

struct PluginGuard {
    PluginHost host;
    PluginGuard() = default;
    PluginGuard(const PluginGuard&) = delete;
    PluginGuard& operator=(const PluginGuard&) = delete;
    ~PluginGuard() { UnloadPlugin(host); }
};

struct ArchiveGuard {
    const PluginHost& host;
    uintptr_t handle = 0;
    explicit ArchiveGuard(const PluginHost& plugin) : host(plugin) {}
    ArchiveGuard(const ArchiveGuard&) = delete;
    ArchiveGuard& operator=(const ArchiveGuard&) = delete;
    ~ArchiveGuard() {
        if (handle != 0) host.closeArchive(handle);
    }
};

// The last component of a path, for messages that must stay on one line.
std::string BaseName(const HostText& path) {
    size_t slash = path.find_last_of(FromAscii("/\\"));
    return ToUtf8(slash == HostText::npos ? path : path.substr(slash + 1));
}

// Opens `file` as the host does; on failure says why on stderr. The plug-in
// reports nothing while it opens, so a big document on a terminal gets a line
// that counts the seconds.
bool OpenDocument(const PluginHost& host, const HostText& file, int mode, ArchiveGuard& archive) {
    HostText path = file;
    OpenArchiveRecord record{};
    record.pathName = path.data();
    record.mode = mode;
    std::error_code error;
    uint64_t size = std::filesystem::file_size(ToPath(file), error);
    {
        std::optional<StatusLine> notice;
        if (!error && size >= OpeningNoticeThreshold && StandardErrorIsTerminal())
            notice.emplace("opening " + BaseName(file) + " (" + Mebibytes(size) + ")");
        archive.handle = host.openArchiveW(&record);
    }
    if (archive.handle != 0) return true;
    if (!std::filesystem::exists(ToPath(file), error))
        Fail(file, "no such file");
    else if (record.resultCode == HostNoMemory)
        Fail(file, "not a PDF file that vellum can open");
    else
        Fail(file, "the plug-in refused to open it");
    return false;
}

struct Entry {
    HostText name;
    uint64_t size = 0;
    uint32_t timeStamp = 0;
};

struct HeaderReader {
    const PluginHost& host;
    uintptr_t handle;
    // Some 5 KB, of which the plug-in writes only a few fields: made once.
    std::unique_ptr<HeaderRecordExW> record = std::make_unique<HeaderRecordExW>();
};

// Reads the next header into `entry`; false at the end of the listing.
bool NextHeader(HeaderReader& reader, Entry& entry) {
    HeaderRecordExW* record = reader.record.get();
    if (reader.host.readHeaderExW(reader.handle, record) != HostOk) return false;
    size_t length = 0;
    while (length < std::size(record->entryName) && record->entryName[length] != 0) ++length;
    entry.name.assign(record->entryName, length);
    entry.size = (uint64_t{record->unpackedSizeHigh} << 32) | record->unpackedSize;
    entry.timeStamp = record->timeStamp;
    return true;
}

const char* ExtractionMessage(int result) {
    switch (result) {
        case HostNoMemory: return "not enough memory";
        case HostBadArchive: return "the archive handle was refused";
        case HostEOpen: return "the plug-in cannot find this entry";
        case HostECreate: return "cannot create the file";
        case HostEWrite: return "write error";
        default: return "extraction failed";
    }
}

// The object number a listed name carries: the digits after its last '-'.
long long ObjectNumber(const HostText& name) {
    size_t dash = name.rfind(WCHAR('-'));
    if (dash == HostText::npos) return -1;
    long long value = 0;
    size_t i = dash + 1;
    if (i >= name.size() || name[i] < '0' || name[i] > '9') return -1;
    // Listed names carry at most 10 digits; the bound only keeps a stray name from overflowing.
    for (; i < name.size() && name[i] >= '0' && name[i] <= '9' && value < (1LL << 40); ++i)
        value = value * 10 + (name[i] - '0');
    return value;
}

std::string JsonString(const std::string& text) {
    std::string result = "\"";
    for (char c : text) {
        auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            result += '\\';
            result += c;
        } else if (byte < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
            result += escaped;
        } else {
            result += c;
        }
    }
    return result + "\"";
}

// ---- Patterns -------------------------------------------------------------

// Whether the pattern's item at `at` ('?', a "[...]" set or one plain
// character) matches `unit`; `next` gets the index after the item.
bool MatchesItem(const HostText& pattern, size_t at, WCHAR unit, size_t& next) {
    next = at + 1;
    if (pattern[at] == '?') return true;
    if (pattern[at] == '[') {
        size_t first = at + 1;
        bool negated = first < pattern.size() && (pattern[first] == '!' || pattern[first] == '^');
        if (negated) ++first;
        // A ']' first in the set is a member, not its end.
        size_t close = pattern.find(WCHAR(']'), first + 1);
        if (close != HostText::npos) {
            next = close + 1;
            bool member = false;
            for (size_t k = first; k < close; ++k) {
                if (k + 2 < close && pattern[k + 1] == '-') {
                    member = member || (pattern[k] <= unit && unit <= pattern[k + 2]);
                    k += 2;
                } else {
                    member = member || pattern[k] == unit;
                }
            }
            return member != negated;
        }
        // Without its ']' a '[' is an ordinary character.
    }
    return pattern[at] == unit;
}

// Shell wildcards: '*' any run of characters, '?' any one, "[a-c]" one of a
// set and "[!a-c]" one outside it; anything else matches itself.
bool Matches(const HostText& pattern, const HostText& name) {
    size_t p = 0, n = 0;
    size_t star = HostText::npos, starEnd = 0;  // the last '*' seen and the end of the run it takes
    while (n < name.size()) {
        size_t next = 0;
        if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            starEnd = n;
        } else if (p < pattern.size() && MatchesItem(pattern, p, name[n], next)) {
            p = next;
            ++n;
        } else if (star != HostText::npos) {
            // The last '*' takes one more character, and the rest is tried again.
            p = star + 1;
            n = ++starEnd;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

// ---- Commands -------------------------------------------------------------

int List(const PluginHost& host, const HostText& file, bool json) {
    ArchiveGuard archive(host);
    if (!OpenDocument(host, file, 0, archive)) return ExitFailure;
    std::vector<Entry> entries;
    HeaderReader reader{host, archive.handle};
    Entry entry;
    uint64_t total = 0;
    while (NextHeader(reader, entry)) {
        total += entry.size;
        entries.push_back(entry);
    }

    if (json) {
        std::printf("{\n  \"archive\": %s,\n  \"entries\": [", JsonString(ToUtf8(file)).c_str());
        for (size_t i = 0; i < entries.size(); ++i) {
            const Entry& e = entries[i];
            std::printf("%s\n    {\"name\": %s, \"object\": %lld, \"size\": %llu, \"time\": \"%s\"}",
                        i == 0 ? "" : ",", JsonString(ToUtf8(e.name)).c_str(), ObjectNumber(e.name),
                        static_cast<unsigned long long>(e.size), FormatTime(e.timeStamp, 'T').c_str());
        }
        std::printf("%s],\n  \"count\": %zu,\n  \"totalSize\": %llu\n}\n", entries.empty() ? "" : "\n  ",
                    entries.size(), static_cast<unsigned long long>(total));
        return 0;
    }

    std::string totalLabel = std::to_string(entries.size()) + (entries.size() == 1 ? " entry" : " entries");
    size_t nameWidth = std::max<size_t>(4, totalLabel.size());
    size_t sizeWidth = std::max<size_t>(4, std::to_string(total).size());
    for (const Entry& e : entries) nameWidth = std::max(nameWidth, ToUtf8(e.name).size());
    auto row = [&](const std::string& name, const std::string& size, const std::string& when) {
        std::printf("%-*s  %*s%s%s\n", static_cast<int>(nameWidth), name.c_str(), static_cast<int>(sizeWidth),
                    size.c_str(), when.empty() ? "" : "  ", when.c_str());
    };
    row("Name", "Size", "Date       Time");
    for (const Entry& e : entries) row(ToUtf8(e.name), std::to_string(e.size), FormatTime(e.timeStamp, ' '));
    row(totalLabel, std::to_string(total), "");
    return 0;
}

// The entry being written, when it is big enough for a progress line. The
// plug-in reports the bytes written since its previous report.
struct EntryProgress {
    StatusLine* line = nullptr;
    std::string name;
    uint64_t total = 0;
    uint64_t done = 0;
};
EntryProgress entryProgress;

std::string ProgressText(const EntryProgress& progress) {
    return "extracting " + progress.name + ": " + Mebibytes(progress.done) + " of " + Mebibytes(progress.total);
}

int VELLUM_CALL ShowProgress(WCHAR*, int size) {
    if (entryProgress.line == nullptr || size <= 0) return 1;
    entryProgress.done = std::min(entryProgress.total, entryProgress.done + static_cast<uint64_t>(size));
    entryProgress.line->Update(ProgressText(entryProgress));
    return 1;
}

// Where the plug-in writes an entry: the directory and the name, joined as
// the plug-in joins them.
HostText DestinationPath(const HostText* directory, const HostText& name) {
    if (directory == nullptr || directory->empty()) return name;
    HostText path = *directory;
    if (path.back() != '/' && path.back() != '\\') path += PathSeparator;
    return path + name;
}

bool Exists(const HostText& path) {
    std::error_code error;
    return std::filesystem::exists(std::filesystem::symlink_status(ToPath(path), error));
}

// Extracts the entry whose header was read last, with a progress line for a
// big one on a terminal; answers the plug-in's code.
int ExtractEntry(const PluginHost& host, uintptr_t handle, const HostText* directory, const Entry& entry,
                 bool terminal) {
    HostText target = directory != nullptr ? *directory : HostText();
    HostText name = entry.name;
    std::optional<StatusLine> line;
    if (terminal && entry.size >= ProgressThreshold) {
        entryProgress = EntryProgress{nullptr, ToUtf8(entry.name), entry.size, 0};
        line.emplace(ProgressText(entryProgress));
        entryProgress.line = &*line;
    }
    int result = host.processFileW(handle, HostExtract, directory != nullptr ? target.data() : nullptr, name.data());
    entryProgress.line = nullptr;
    return result;
}

struct ExtractOptions {
    std::optional<HostText> directory;  // none: the current directory
    std::vector<HostText> patterns;  // none: every entry
    bool force = false;
    bool verbose = false;
    bool json = false;
};

// One file written.
struct Written {
    HostText name;
    uint64_t size;
    HostText path;
};

void PrintWrittenJson(const HostText& file, const HostText& destination, const std::vector<Written>& written,
                      uint64_t total) {
    std::printf("{\n  \"archive\": %s,\n  \"destination\": %s,\n  \"entries\": [", JsonString(ToUtf8(file)).c_str(),
                JsonString(ToUtf8(destination)).c_str());
    for (size_t i = 0; i < written.size(); ++i) {
        const Written& w = written[i];
        std::printf("%s\n    {\"name\": %s, \"size\": %llu, \"path\": %s}", i == 0 ? "" : ",",
                    JsonString(ToUtf8(w.name)).c_str(), static_cast<unsigned long long>(w.size),
                    JsonString(ToUtf8(w.path)).c_str());
    }
    std::printf("%s],\n  \"count\": %zu,\n  \"totalSize\": %llu\n}\n", written.empty() ? "" : "\n  ", written.size(),
                static_cast<unsigned long long>(total));
}

// Whether the folder holds nothing (a missing or unreadable one counts as empty).
bool FolderIsEmpty(const HostText* directory) {
    std::error_code error;
    const std::filesystem::path folder = directory != nullptr ? ToPath(*directory) : std::filesystem::path(".");
    return std::filesystem::directory_iterator(folder, error) == std::filesystem::directory_iterator();
}

int Extract(const PluginHost& host, const HostText& file, const ExtractOptions& options) {
    const HostText* directory = options.directory ? &*options.directory : nullptr;
    // Into an empty folder, every file found there was written by this run.
    const bool folderWasEmpty = FolderIsEmpty(directory);
    if (directory != nullptr) {
        std::error_code error;
        std::filesystem::create_directories(ToPath(*directory), error);
        if (error) {
            Fail(*directory, "cannot create the directory");
            return ExitFailure;
        }
    }
    bool terminal = StandardErrorIsTerminal();
    host.setProcessDataProcW(0, terminal ? ShowProgress : nullptr);

    ArchiveGuard archive(host);
    if (!OpenDocument(host, file, 1, archive)) return ExitFailure;
    std::vector<bool> matched(options.patterns.size(), false);
    // Kept only where they are needed, the names written when the folder held
    // other files, the files' details for the report that lists them: a
    // document may hold hundreds of thousands of entries.
    std::unordered_set<HostText> writtenNames;
    std::vector<Written> written;
    size_t writtenCount = 0;
    uint64_t bytes = 0;
    int status = 0;
    HeaderReader reader{host, archive.handle};
    Entry entry;
    while (NextHeader(reader, entry)) {
        bool wanted = options.patterns.empty();
        for (size_t i = 0; i < options.patterns.size(); ++i) {
            if (!Matches(options.patterns[i], entry.name)) continue;
            matched[i] = true;
            wanted = true;
        }
        if (!wanted) {
            host.processFileW(archive.handle, HostSkip, nullptr, nullptr);
            continue;
        }
        HostText path = DestinationPath(directory, entry.name);
        bool existed = Exists(path);
        // A file written earlier in this run gives way: a PDF updated in place
        // lists an object number twice, and its later object is the current one.
        if (existed && !options.force && !folderWasEmpty && writtenNames.count(entry.name) == 0) {
            Fail(path, "exists already; not overwritten without -f");
            status = ExitFailure;
            host.processFileW(archive.handle, HostSkip, nullptr, nullptr);
            continue;
        }
        int result = ExtractEntry(host, archive.handle, directory, entry, terminal);
        // A write cut short that the system reports as done (a full disk, a
        // size limit) shows in the file's size.
        std::error_code error;
        if (result == HostOk && std::filesystem::file_size(ToPath(path), error) != entry.size) result = HostEWrite;
        if (result != HostOk) {
            // No half-written file stays behind: whatever a failed extraction
            // made, and a file it overwrote when the write itself failed.
            if (!existed || result == HostEWrite) std::filesystem::remove(ToPath(path), error);
            Fail(path, ExtractionMessage(result));
            status = ExitFailure;
            continue;
        }
        SetLastWriteTime(path, entry.timeStamp);
        if (!folderWasEmpty) writtenNames.insert(entry.name);
        if (options.json) written.push_back(Written{entry.name, entry.size, path});
        ++writtenCount;
        bytes += entry.size;
        if (options.verbose && !options.json) {
            std::printf("%s\n", ToUtf8(path).c_str());
            std::fflush(stdout);
        }
    }
    host.setProcessDataProcW(0, nullptr);
    for (size_t i = 0; i < options.patterns.size(); ++i) {
        if (!matched[i]) {
            std::fprintf(stderr, "vellum: %s: no such entry in %s\n", ToUtf8(options.patterns[i]).c_str(),
                         ToUtf8(file).c_str());
            status = ExitFailure;
        }
    }
    HostText destination = directory != nullptr ? *directory : FromAscii(".");
    if (options.json) {
        PrintWrittenJson(file, destination, written, bytes);
    } else {
        std::printf("%zu %s (%llu bytes) extracted to %s\n", writtenCount, writtenCount == 1 ? "entry" : "entries",
                    static_cast<unsigned long long>(bytes), ToUtf8(destination).c_str());
    }
    return status;
}

int Check(const PluginHost& host, const std::vector<HostText>& files) {
    int status = 0;
    for (const HostText& file : files) {
        HostText path = file;
        std::error_code error;
        const char* verdict = "a PDF that vellum can open";
        if (!std::filesystem::exists(ToPath(file), error)) {
            verdict = "no such file";
            status = ExitFailure;
        } else if (!std::filesystem::is_regular_file(ToPath(file), error)) {
            verdict = "not a file";
            status = ExitFailure;
        } else if (host.canYouHandleThisFileW(path.data()) == 0) {
            verdict = "not a PDF that vellum can open";
            status = ExitFailure;
        }
        std::printf("%s: %s\n", ToUtf8(file).c_str(), verdict);
    }
    return status;
}

int Usage(const std::string& problem) {
    std::fprintf(stderr, "vellum: %s\n%s", problem.c_str(), UsageText);
    return ExitUsage;
}

bool Is(const HostText& argument, const char* text) { return argument == FromAscii(text); }

int Run(const std::vector<HostText>& args) {
    size_t at = 0;
    const HostText* pluginPath = nullptr;
    while (at < args.size() && args[at].size() > 1 && args[at][0] == '-') {
        if (Is(args[at], "--help") || Is(args[at], "-h")) {
            std::fputs(UsageText, stdout);
            return 0;
        }
        if (Is(args[at], "--version")) {
            std::printf("vellum %s\n", VELLUM_VERSION_TEXT);
            return 0;
        }
        if (Is(args[at], "--plugin") && at + 1 < args.size()) {
            pluginPath = &args[at + 1];
            at += 2;
            continue;
        }
        return Usage("unknown option " + ToUtf8(args[at]));
    }
    if (at == args.size()) return Usage("no command given");
    const HostText& command = args[at++];
    bool isList = Is(command, "list"), isExtract = Is(command, "extract"), isCheck = Is(command, "check");
    if (!isList && !isExtract && !isCheck) return Usage("unknown command " + ToUtf8(command));

    // The command's options may stand anywhere among its operands, up to "--".
    std::vector<HostText> operands;
    ExtractOptions options;
    bool json = false;
    bool optionsEnded = false;
    for (; at < args.size(); ++at) {
        const HostText& arg = args[at];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            operands.push_back(arg);
        } else if (Is(arg, "--")) {
            optionsEnded = true;
        } else if (Is(arg, "--help") || Is(arg, "-h")) {
            std::fputs(UsageText, stdout);
            return 0;
        } else if ((isList || isExtract) && Is(arg, "--json")) {
            json = true;
        } else if (isExtract && Is(arg, "-o")) {
            if (at + 1 == args.size()) return Usage("-o needs a directory");
            options.directory = args[++at];
        } else if (isExtract && arg[1] == 'o') {
            options.directory = arg.substr(2);
        } else if (isExtract && (Is(arg, "-f") || Is(arg, "--force"))) {
            options.force = true;
        } else if (isExtract && (Is(arg, "-v") || Is(arg, "--verbose"))) {
            options.verbose = true;
        } else {
            return Usage("unknown option " + ToUtf8(arg));
        }
    }
    if (operands.empty()) return Usage("no file given");
    if (isList && operands.size() != 1) return Usage("list takes one file");

    PluginGuard plugin;
    std::string error;
#ifdef _WIN32
    std::string path = pluginPath != nullptr ? ToAnsi(*pluginPath) : ExecutableDirectory() + PluginFileName();
#else
    std::string path = pluginPath != nullptr ? ToUtf8(*pluginPath) : ExecutableDirectory() + PluginFileName();
#endif
    if (!LoadPlugin(path, plugin.host, error)) {
        std::fprintf(stderr, "vellum: %s\n", error.c_str());
        return ExitUsage;
    }
    if (isList) return List(plugin.host, operands[0], json);
    if (isCheck) return Check(plugin.host, operands);
    options.json = json;
    options.patterns.assign(operands.begin() + 1, operands.end());
    return Extract(plugin.host, operands[0], options);
}

}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
    std::vector<HostText> args(argv + 1, argv + argc);
    return Run(args);
}
#else
int main(int argc, char** argv) {
    std::vector<HostText> args;
    for (int i = 1; i < argc; ++i) args.push_back(FromUtf8(argv[i]));
    return Run(args);
}
#endif
