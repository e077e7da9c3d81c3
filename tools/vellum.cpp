// The `vellum` command: lists, extracts and checks PDFs through the plug-in's
// exported functions only, in the order a file manager calls them, so that
// what it shows is exactly what a host would see.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <iterator>
#include <memory>
#include <set>
#include <string>
#include <system_error>
#include <vector>

#include "resources/version.h"
#include "tools/plugin_host.h"

#ifdef _WIN32
#  include <fcntl.h>
#  include <io.h>
#else
#  include <unistd.h>

#  include "platform/utf8.h"
#endif

namespace {

using HostText = std::basic_string<WCHAR>;

// Exit statuses: 1 for a failure about the files, 2 for a wrong command line
// or a plug-in that cannot be loaded.
constexpr int ExitFailure = 1;
constexpr int ExitUsage = 2;

// Entries from this size up get a progress bar on a terminal.
constexpr uint64_t ProgressBarThreshold = uint64_t{1} << 20;
constexpr int ProgressBarWidth = 30;
// The longest destination path the plug-in takes whole, in UTF-16 units.
constexpr size_t MaxDestinationLength = 259;

constexpr const char* UsageText =
    "usage: vellum [--plugin PATH] COMMAND ...\n"
    "\n"
    "Opens a PDF as a read-only archive of its streams, through the vellum packer plug-in.\n"
    "\n"
    "commands:\n"
    "  list [--json] FILE.pdf            one line per entry (name, size, date and time) and a total\n"
    "  extract FILE.pdf [-o DIR] [NAME...]\n"
    "                                    writes every entry, or the named ones, into DIR\n"
    "                                    (default: the current directory)\n"
    "  check FILE...                     tells whether each file is a PDF the plug-in opens\n"
    "\n"
    "options:\n"
    "  --plugin PATH   load this build of the plug-in instead of the one beside vellum\n"
    "  --help          show this text\n"
    "  --version       show the version\n"
    "\n"
    "exit status: 0 success, 1 a file is not a PDF the plug-in opens, a name is not in the\n"
    "archive or an entry could not be written, 2 wrong command line or plug-in not loaded.\n";

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

// ---- Time stamps: the header carries a DOS date and time on Windows and
// seconds since 1970 on Linux, as the hosts on each system read it. --------

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

// Opens `file` as the host does; on failure says why on stderr.
bool OpenDocument(const PluginHost& host, const HostText& file, int mode, ArchiveGuard& archive) {
    HostText path = file;
    OpenArchiveRecord record{};
    record.pathName = path.data();
    record.mode = mode;
    archive.handle = host.openArchiveW(&record);
    if (archive.handle != 0) return true;
    std::error_code error;
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
        case HostECreate: return "cannot create the output file";
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

// The progress bar of the entry being extracted. The plug-in reports the
// bytes written since its previous report.
struct ProgressBar {
    bool active = false;
    uint64_t total = 0;
    uint64_t done = 0;
    int shownPercent = -1;
    std::string name;
};
ProgressBar progressBar;

int
#ifdef _WIN32
    __stdcall
#endif
    ShowProgress(WCHAR*, int size) {
    if (!progressBar.active || size <= 0) return 1;
    progressBar.done = std::min(progressBar.total, progressBar.done + static_cast<uint64_t>(size));
    int percent = static_cast<int>(progressBar.done * 100 / progressBar.total);
    if (percent != progressBar.shownPercent) {
        progressBar.shownPercent = percent;
        int filled = percent * ProgressBarWidth / 100;
        std::fprintf(stderr, "\r[%s%s] %3d%%  %s", std::string(static_cast<size_t>(filled), '#').c_str(),
                     std::string(static_cast<size_t>(ProgressBarWidth - filled), '.').c_str(), percent,
                     progressBar.name.c_str());
        std::fflush(stderr);
    }
    return 1;
}

int Extract(const PluginHost& host, const HostText& file, const HostText* directory,
            const std::vector<HostText>& names) {
    HostText target;
    if (directory != nullptr) {
        target = *directory;
        std::error_code error;
        std::filesystem::create_directories(ToPath(target), error);
        if (error) {
            Fail(target, "cannot create the directory");
            return ExitFailure;
        }
    }
    bool terminal = StandardErrorIsTerminal();
    host.setProcessDataProcW(0, terminal ? ShowProgress : nullptr);

    ArchiveGuard archive(host);
    if (!OpenDocument(host, file, 1, archive)) return ExitFailure;
    std::set<HostText> wanted(names.begin(), names.end());
    std::set<HostText> found;
    int status = 0;
    size_t extracted = 0;
    uint64_t bytes = 0;
    HeaderReader reader{host, archive.handle};
    Entry entry;
    while (NextHeader(reader, entry)) {
        if (!wanted.empty() && wanted.count(entry.name) == 0) {
            host.processFileW(archive.handle, HostSkip, nullptr, nullptr);
            continue;
        }
        found.insert(entry.name);
        HostText name = entry.name;
        // The plug-in cuts a longer destination path, which would write the
        // entry under a shortened name.
        if (directory != nullptr && target.size() + 1 + name.size() > MaxDestinationLength) {
            Fail(entry.name, "the destination path would be longer than 259 characters");
            status = ExitFailure;
            host.processFileW(archive.handle, HostSkip, nullptr, nullptr);
            continue;
        }
        progressBar = ProgressBar{terminal && entry.size >= ProgressBarThreshold, entry.size, 0, -1,
                                  ToUtf8(entry.name)};
        int result = host.processFileW(archive.handle, HostExtract, directory != nullptr ? target.data() : nullptr,
                                       name.data());
        if (progressBar.active)
            std::fprintf(stderr, "\r%*s\r", ProgressBarWidth + 10 + static_cast<int>(progressBar.name.size()), "");
        progressBar.active = false;
        if (result != HostOk) {
            Fail(entry.name, ExtractionMessage(result));
            status = ExitFailure;
            continue;
        }
        ++extracted;
        bytes += entry.size;
    }
    host.setProcessDataProcW(0, nullptr);
    for (const HostText& name : names) {
        if (found.count(name) == 0) {
            std::fprintf(stderr, "vellum: %s: no such entry in %s\n", ToUtf8(name).c_str(), ToUtf8(file).c_str());
            status = ExitFailure;
        }
    }
    if (terminal)
        std::fprintf(stderr, "extracted %zu %s, %llu bytes\n", extracted, extracted == 1 ? "entry" : "entries",
                     static_cast<unsigned long long>(bytes));
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

int Usage(const char* problem) {
    std::fprintf(stderr, "vellum: %s\n%s", problem, UsageText);
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
        return Usage(("unknown option " + ToUtf8(args[at])).c_str());
    }
    if (at == args.size()) return Usage("no command given");
    const HostText& command = args[at++];

    // Operands of the command; "-o DIR" and "--json" may stand anywhere among them.
    std::vector<HostText> operands;
    const HostText* directory = nullptr;
    bool json = false;
    for (; at < args.size(); ++at) {
        if (Is(command, "list") && Is(args[at], "--json")) {
            json = true;
        } else if (Is(command, "extract") && Is(args[at], "-o")) {
            if (at + 1 == args.size()) return Usage("-o needs a directory");
            directory = &args[++at];
        } else if (Is(args[at], "--help") || Is(args[at], "-h")) {
            std::fputs(UsageText, stdout);
            return 0;
        } else {
            operands.push_back(args[at]);
        }
    }
    bool isList = Is(command, "list"), isExtract = Is(command, "extract"), isCheck = Is(command, "check");
    if (!isList && !isExtract && !isCheck) return Usage(("unknown command " + ToUtf8(command)).c_str());
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
    return Extract(plugin.host, operands[0], directory, std::vector<HostText>(operands.begin() + 1, operands.end()));
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
