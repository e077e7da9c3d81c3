// vellum extract: writes the entries into a directory, each file with its
// entry's time stamp, and ends with a summary.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>
#include <unordered_set>
#include <vector>

#include "tools/archive_session.h"
#include "tools/commands.h"
#include "tools/status_line.h"
#include "tools/time_stamps.h"
#include "tools/wildcard.h"

namespace {

// On a terminal, entries from this size up get a progress line while they
// are written.
constexpr uint64_t ProgressThreshold = uint64_t{1} << 20;

#ifdef _WIN32
constexpr WCHAR PathSeparator = L'\\';
#else
constexpr WCHAR PathSeparator = u'/';
#endif

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

}  // namespace

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
            if (!MatchesWildcard(options.patterns[i], entry.name)) continue;
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
