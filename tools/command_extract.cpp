// vellum extract: writes the selected entries into a directory, or their
// bytes to stdout, and ends with a summary of the files written.
//
// No file ever stands under an entry's name half written: a small entry's
// file is written in one piece from memory, a big one's under a temporary
// name renamed when whole (see file_placement.h), and a failure, a signal or
// a console event removes the file being written (see interruption.h).
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>
#include <unordered_map>
#include <vector>

#include "tools/archive_session.h"
#include "tools/commands.h"
#include "tools/file_placement.h"
#include "tools/interruption.h"
#include "tools/output_pipe.h"
#include "tools/standard_output.h"
#include "tools/status_line.h"
#include "tools/time_stamps.h"

namespace {

// On a terminal, entries from this size up get a progress line while they
// are written.
constexpr uint64_t ProgressThreshold = uint64_t{1} << 20;
// Entries below this size come from the plug-in's memory block and are
// written whole at once: a file under its own name (a cut is unlikely, and a
// temporary name and a rename would cost more calls than the write), or
// stdout. Bigger ones stream: into a temporary file renamed when whole, or
// through a pipe to stdout.
constexpr uint64_t InPlaceLimit = uint64_t{1} << 20;
#ifdef _WIN32
// A file that replaces another goes through a rename, which replaces a link
// under the name itself: Wine's DeleteFileW removes the file a link points to.
constexpr bool InPlaceReplaces = false;
#else
constexpr bool InPlaceReplaces = true;
#endif
// With -p where no pipe can take an entry as it comes (Windows), entries up
// to this size still come from the plug-in's memory block, bigger ones
// through a temporary file.
constexpr uint64_t MemoryExtractionLimit = uint64_t{16} << 20;
// Bytes copied from a temporary file to stdout at a time.
constexpr size_t CopyChunkBytes = size_t{1} << 16;
// The plug-in's memory block starts with the entry's length as 64 bits.
constexpr size_t MemoryBlockHeaderBytes = sizeof(uint64_t);

// The entry being extracted, as the progress callback sees it. The plug-in
// reports the bytes written since its previous report.
struct EntryProgress {
    StatusLine* line = nullptr;  // the progress line, when the entry has one
    std::string name;            // the entry's name, for the line
    uint64_t total = 0;          // the entry's size
    uint64_t done = 0;           // bytes reported so far
    bool toFile = false;         // written to a file, not into memory
};
EntryProgress entryProgress;

std::string ProgressText(const EntryProgress& progress) {
    return "extracting " + progress.name + ": " + Mebibytes(progress.done) + " of " + Mebibytes(progress.total);
}

// Answers 0, which asks the plug-in to stop, once an interruption arrived.
int VELLUM_CALL OnProgress(WCHAR*, int size) {
    if (size > 0) {
        entryProgress.done = std::min(entryProgress.total, entryProgress.done + static_cast<uint64_t>(size));
        if (entryProgress.toFile && entryProgress.done < entryProgress.total) PauseForTestInterruption();
    }
    if (InterruptionPending()) return 0;
    if (entryProgress.line != nullptr && size > 0) entryProgress.line->Update(ProgressText(entryProgress));
    return 1;
}

// The progress record for one extraction, with a line for a big entry when
// the run shows progress; reset when it goes.
class ProgressScope {
public:
    ProgressScope(const Entry& entry, bool showProgress, bool toFile) {
        entryProgress = EntryProgress{nullptr, ToUtf8(entry.name), entry.size, 0, toFile};
        if (showProgress && entry.size >= ProgressThreshold) {
            line_.emplace(ProgressText(entryProgress));
            entryProgress.line = &*line_;
        }
    }
    ~ProgressScope() { entryProgress = EntryProgress{}; }
    ProgressScope(const ProgressScope&) = delete;
    ProgressScope& operator=(const ProgressScope&) = delete;

private:
    std::optional<StatusLine> line_;  // drawn on a terminal while the entry is written
};

// The plug-in's memory block for an entry, freed as the plug-in allocated it.
class MemoryBlock {
public:
    MemoryBlock() = default;
    ~MemoryBlock() { Reset(nullptr); }
    void Reset(void* block) {
#ifdef _WIN32
        if (block_ != nullptr) LocalFree(block_);
#else
        std::free(block_);
#endif
        block_ = static_cast<uint8_t*>(block);
    }
    MemoryBlock(const MemoryBlock&) = delete;
    MemoryBlock& operator=(const MemoryBlock&) = delete;
    uint64_t Length() const {
        uint64_t length = 0;
        std::memcpy(&length, block_, sizeof length);
        return length;
    }
    const uint8_t* Bytes() const { return block_ + MemoryBlockHeaderBytes; }

private:
    uint8_t* block_ = nullptr;  // the length, the bytes and a few zero bytes
};

// What the plug-in's answer means, with the system's text the plug-in left
// behind for a file it could not create or write.
std::string ExtractionMessage(int result, SystemCode code) {
    switch (result) {
        case HostNoMemory: return "not enough memory to decode it";
        case HostBadArchive: return "the archive handle was refused";
        case HostEOpen: return "the plug-in cannot find this entry";
        case HostECreate: return "cannot create the file" + (code != 0 ? ": " + FileErrorText(code) : std::string());
        case HostEWrite: return "write error" + (code != 0 ? ": " + SystemErrorText(code) : std::string());
        default: return "extraction failed (the plug-in answered " + std::to_string(result) + ")";
    }
}

struct Problem {
    HostText name;       // the entry
    HostText path;       // where its file was to go
    std::string reason;  // why it was not written
};

// A file written in this run.
struct WrittenFile {
    uint64_t size;       // its bytes
    size_t reportIndex;  // its place in ExtractRun::files, with --json
};

// The names written in this run. The plug-in's names, "object-stream-"
// with a number and an extension of up to four letters, are kept as one
// 64-bit key rather than as text: a run over a million entries then holds
// a few megabytes for them, not tens.
class WrittenNames {
public:
    WrittenFile* Find(const HostText& name) {
        uint64_t key = 0;
        if (PackName(name, key)) {
            const auto found = packed_.find(key);
            return found != packed_.end() ? &found->second : nullptr;
        }
        const auto found = other_.find(name);
        return found != other_.end() ? &found->second : nullptr;
    }
    void Add(const HostText& name, const WrittenFile& file) {
        uint64_t key = 0;
        if (PackName(name, key)) {
            packed_.emplace(key, file);
        } else {
            other_.emplace(name, file);
        }
    }

private:
    // The number in the high half, the extension's letters in the low one.
    static bool PackName(const HostText& name, uint64_t& key) {
        static const HostText prefix = FromAscii("object-stream-");
        if (name.compare(0, prefix.size(), prefix) != 0) return false;
        const size_t digitsStart = prefix.size();
        size_t at = digitsStart;
        uint64_t number = 0;
        while (at < name.size() && name[at] >= '0' && name[at] <= '9' && at - digitsStart < 10) {
            number = number * 10 + static_cast<uint64_t>(name[at] - '0');
            ++at;
        }
        // One number, one spelling: eight digits, or more without a leading zero.
        const size_t digits = at - digitsStart;
        const bool canonical = digits == 8 || (digits > 8 && name[digitsStart] != '0');
        if (!canonical || number > UINT32_MAX || at == name.size() || name[at] != '.') return false;
        const size_t extension = at + 1;
        if (name.size() - extension < 1 || name.size() - extension > 4) return false;
        uint32_t letters = 0;
        for (at = extension; at < name.size(); ++at) {
            if (name[at] == 0 || name[at] > 0x7F) return false;
            letters = letters << 8 | static_cast<uint32_t>(name[at]);
        }
        key = number << 32 | letters;
        return true;
    }

    std::unordered_map<uint64_t, WrittenFile> packed_;
    std::unordered_map<HostText, WrittenFile> other_;
};

struct ReportedFile {
    HostText name;  // the entry's name
    uint64_t size;  // the file's bytes
    HostText path;  // where it stands
};

struct ReplacedEntry {
    HostText name;  // the name the later revision took over
    uint64_t size;  // the earlier revision's bytes
};

// How a step of the run ends.
enum class Step {
    next,         // on to the next entry
    stop,         // the run cannot go on (a directory that cannot be made, stdout failed)
    interrupted,  // a signal or console event arrived; the file being written is gone
    extracted,    // the entry's bytes are in memory or in a temporary file, ready to go on
};

// One extraction run: the options, the destination and what was written.
struct ExtractRun {
    ExtractRun(const PluginHost& plugin, const ExtractOptions& chosen) : host(plugin), options(chosen) {}

    const PluginHost& host;                               // the plug-in
    const ExtractOptions& options;                        // the command line's choices
    uintptr_t handle = 0;                                 // the open archive
    HostText directory;                                   // -o DIR; empty for the current directory
    bool showProgress = false;                            // progress lines on a terminal
    bool directoryReady = false;                          // the directory exists
    WrittenNames written;                                 // names written in this run
    std::vector<ReportedFile> files;                      // --json: files standing, in order of writing
    std::vector<ReplacedEntry> replaced;                  // --json: entries a later revision replaced
    std::vector<Problem> skipped;                         // --json: entries left alone
    std::vector<Problem> failed;                          // --json: entries that could not be written
    uint64_t fileCount = 0;                               // files standing
    uint64_t fileBytes = 0;                               // their bytes
    uint64_t replacedCount = 0;                           // entries a later revision replaced
    uint64_t skippedCount = 0;                            // entries left alone
    uint64_t failedCount = 0;                             // entries not written
    int status = 0;                                       // the exit status so far
};

void Skip(ExtractRun& run) { run.host.processFileW(run.handle, HostSkip, nullptr, nullptr); }

void NoteSkipped(ExtractRun& run, const Entry& entry, const HostText& path, const std::string& reason) {
    Fail(path, reason);
    ++run.skippedCount;
    run.status = ExitFailure;
    if (run.options.json) run.skipped.push_back(Problem{entry.name, path, reason});
}

void NoteFailed(ExtractRun& run, const Entry& entry, const HostText& path, const std::string& reason) {
    Fail(path, reason);
    ++run.failedCount;
    run.status = ExitFailure;
    if (run.options.json) run.failed.push_back(Problem{entry.name, path, reason});
}

void NoteWritten(ExtractRun& run, const Entry& entry, const HostText& path) {
    WrittenFile* const earlier = run.written.Find(entry.name);
    if (earlier == nullptr) {
        size_t reportIndex = run.files.size();
        if (run.options.json) run.files.push_back(ReportedFile{entry.name, entry.size, path});
        run.written.Add(entry.name, WrittenFile{entry.size, reportIndex});
        ++run.fileCount;
    } else {
        // A PDF updated in place lists an object number twice; the later
        // object is the current one, and its file replaces the earlier one's.
        WrittenFile& file = *earlier;
        ++run.replacedCount;
        if (run.options.json) {
            run.replaced.push_back(ReplacedEntry{entry.name, file.size});
            run.files[file.reportIndex].size = entry.size;
        } else if (!run.options.quiet) {
            Print("%s: the entry of %llu bytes is replaced by a later revision of object %lld (%llu bytes)\n",
                  ToUtf8(entry.name).c_str(), static_cast<unsigned long long>(file.size), ObjectNumber(entry.name),
                  static_cast<unsigned long long>(entry.size));
        }
        run.fileBytes -= file.size;
        file.size = entry.size;
    }
    run.fileBytes += entry.size;
    if (run.options.verbose && !run.options.json) {
        Print("%s\n", ToUtf8(path).c_str());
        FlushOutput();
    }
}

constexpr const char* ExistsReason = "exists already; not overwritten without -f";

// Makes the destination directory, with its parents, before the first file:
// a run that writes nothing leaves nothing behind. A directory that cannot be
// made fails the entry that needed it, and the run stops.
bool MakeDestination(ExtractRun& run, const Entry& entry, const HostText& path) {
    if (run.directoryReady || run.directory.empty()) {
        run.directoryReady = true;
        return true;
    }
    std::string reason;
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(ToPath(run.directory), error);
    if (std::filesystem::exists(status) && !std::filesystem::is_directory(status)) {
        reason = "not a directory";
    } else if (!MakeDirectories(run.directory, reason)) {
        reason = "cannot create the directory: " + reason;
    } else {
        run.directoryReady = true;
        return true;
    }
    Fail(run.directory, reason);
    ++run.failedCount;
    run.status = ExitFailure;
    if (run.options.json) run.failed.push_back(Problem{entry.name, path, ToUtf8(run.directory) + ": " + reason});
    return false;
}

// Takes the bytes of the entry whose header was read last from the plug-in's
// memory block into `block`; a failure is noted under `shownPath`.
Step TakeFromMemory(ExtractRun& run, const Entry& entry, const HostText& shownPath, MemoryBlock& block) {
    HostText name = entry.name;
    void* address = nullptr;
    int result;
    {
        ProgressScope progress(entry, run.showProgress, false);
        result = run.host.processFileW(run.handle, HostExtractToMemory, reinterpret_cast<WCHAR*>(&address),
                                       name.data());
    }
    block.Reset(result == HostOk ? address : nullptr);
    if (result == HostAborted || InterruptionPending()) return Step::interrupted;
    if (result == HostOk && address == nullptr) result = HostNoMemory;
    if (result != HostOk) {
        NoteFailed(run, entry, shownPath, ExtractionMessage(result, 0));
        return Step::next;
    }
    if (block.Length() != entry.size) {
        NoteFailed(run, entry, shownPath,
                   "the plug-in gave " + std::to_string(block.Length()) + " bytes of the entry's " +
                       std::to_string(entry.size));
        return Step::next;
    }
    return Step::extracted;
}

// Writes a small entry: its bytes from memory into a file made under its own
// name, in one piece (see file_placement.h).
Step WriteInPlace(ExtractRun& run, const Entry& entry, const HostText& path, bool replace) {
    MemoryBlock bytes;
    const Step taken = TakeFromMemory(run, entry, path, bytes);
    if (taken != Step::extracted) return taken;
    if (!MakeDestination(run, entry, path)) return Step::stop;

    WritingSpan span;
    if (!span.Open()) return Step::interrupted;
    FileInPlace file;
    SystemCode code = 0;
    const Placement created = file.Create(path, replace, code);
    if (created != Placement::placed) {
        if (InspectPath(path) == PathKind::directory)
            NoteFailed(run, entry, path, "is a directory");
        else if (created == Placement::exists)
            NoteSkipped(run, entry, path, ExistsReason);
        else
            NoteFailed(run, entry, path, "cannot create the file: " + FileErrorText(code));
        return Step::next;
    }
    if (InterruptionPending()) return Step::interrupted;
    if (!file.Finish(bytes.Bytes(), entry.size, entry.timeStamp, code)) {
        NoteFailed(run, entry, path, "write error: " + SystemErrorText(code));
        return Step::next;
    }
    NoteWritten(run, entry, path);
    return Step::next;
}

// Extracts the entry whose header was read last into a new temporary file in
// `directory`; a failure is noted under `shownPath`, its reason after
// `context`.
Step ExtractIntoTemporary(ExtractRun& run, const Entry& entry, const HostText& directory, const HostText& shownPath,
                          const std::string& context, TemporaryFile& temporary) {
    SystemCode code = 0;
    if (!temporary.Create(directory, code)) {
        Skip(run);
        NoteFailed(run, entry, shownPath, context + "cannot create a temporary file: " + FileErrorText(code));
        return Step::next;
    }
    if (InterruptionPending()) return Step::interrupted;
    int result;
    {
        ProgressScope progress(entry, run.showProgress, true);
        ClearSystemCode();
        result = run.host.processFileW(run.handle, HostExtract, nullptr, temporary.HostPath());
        code = LastSystemCode();
    }
    if (result == HostAborted || InterruptionPending()) return Step::interrupted;
    if (result != HostOk) {
        NoteFailed(run, entry, shownPath, context + ExtractionMessage(result, code));
        return Step::next;
    }
    // A write cut short that the system reports as done (a full disk, a size
    // limit) shows in the file's size.
    std::optional<uint64_t> size = FileSize(temporary.Path());
    if (size != entry.size) {
        NoteFailed(run, entry, shownPath,
                   context + "write error: the file came out with " +
                       (size ? std::to_string(*size) : std::string("unknown")) + " bytes of the entry's " +
                       std::to_string(entry.size));
        return Step::next;
    }
    return Step::extracted;
}

// Writes a big entry: into a temporary file in its destination directory,
// renamed to the entry's name once whole.
Step WriteThroughTemporary(ExtractRun& run, const Entry& entry, const HostText& path, bool replace) {
    if (!MakeDestination(run, entry, path)) {
        Skip(run);
        return Step::stop;
    }
    if (run.written.Find(entry.name) == nullptr) {
        PathKind kind = InspectPath(path);
        if (kind == PathKind::directory) {
            Skip(run);
            NoteFailed(run, entry, path, "is a directory");
            return Step::next;
        }
        if (kind == PathKind::other && !replace) {
            Skip(run);
            NoteSkipped(run, entry, path, ExistsReason);
            return Step::next;
        }
    }

    WritingSpan span;
    if (!span.Open()) return Step::interrupted;
    TemporaryFile temporary;
    const Step written = ExtractIntoTemporary(run, entry, run.directory, path, "", temporary);
    if (written != Step::extracted) return written;
    SetLastWriteTime(temporary.Path(), entry.timeStamp);
    SystemCode code = 0;
    switch (temporary.PlaceAs(path, replace, code)) {
        case Placement::placed:
            NoteWritten(run, entry, path);
            return Step::next;
        case Placement::exists:
            NoteSkipped(run, entry, path, ExistsReason);
            return Step::next;
        case Placement::failed:
            break;
    }
    NoteFailed(run, entry, path, "cannot put the file in place: " + FileErrorText(code));
    return Step::next;
}

// Writes the entry whose header was read last into its file.
Step WriteToFile(ExtractRun& run, const Entry& entry) {
    HostText path = JoinPath(run.directory, entry.name);
    if (path.size() > MaxDestinationUnits) {
        Skip(run);
        NoteFailed(run, entry, path,
                   "cannot create the file: the path is longer than " + std::to_string(MaxDestinationUnits) +
                       " characters");
        return Step::next;
    }
    // A later revision of an entry written in this run replaces its file.
    const bool replace = run.options.force || run.written.Find(entry.name) != nullptr;
    return entry.size < InPlaceLimit && (InPlaceReplaces || !replace) ? WriteInPlace(run, entry, path, replace)
                                                                        : WriteThroughTemporary(run, entry, path, replace);
}

// Copies a whole file to stdout; stops at an interruption.
Step CopyToOutput(ExtractRun& run, const Entry& entry, const HostText& path, const std::string& context) {
#ifdef _WIN32
    FILE* stream = _wfopen(path.c_str(), L"rb");
#else
    FILE* stream = std::fopen(ToUtf8(path).c_str(), "rb");
#endif
    if (stream == nullptr) {
        NoteFailed(run, entry, entry.name, context + "cannot read its temporary copy: " + FileErrorText(LastSystemCode()));
        return Step::next;
    }
    std::vector<char> chunk(CopyChunkBytes);
    Step step = Step::next;
    for (;;) {
        if (InterruptionPending()) {
            step = Step::interrupted;
            break;
        }
        size_t count = std::fread(chunk.data(), 1, chunk.size(), stream);
        if (count == 0) break;
        if (!PrintBytes(chunk.data(), count)) {
            step = Step::stop;
            break;
        }
    }
    if (step == Step::next && std::ferror(stream))
        NoteFailed(run, entry, entry.name,
                   context + "cannot read its temporary copy: " + SystemErrorText(LastSystemCode()));
    std::fclose(stream);
    return step;
}

// Writes the bytes of a small entry, from the plug-in's memory, to stdout.
Step PrintFromMemory(ExtractRun& run, const Entry& entry) {
    MemoryBlock bytes;
    const Step taken = TakeFromMemory(run, entry, entry.name, bytes);
    if (taken != Step::extracted) return taken;
    return PrintBytes(bytes.Bytes(), static_cast<size_t>(entry.size)) ? Step::next : Step::stop;
}

// Streams the bytes of the entry whose header was read last to stdout
// through the pipe, as the plug-in writes them.
Step StreamToOutput(ExtractRun& run, const Entry& entry, OutputPipe& pipe) {
    int result;
    SystemCode code;
    {
        ProgressScope progress(entry, run.showProgress, false);
        ClearSystemCode();
        result = run.host.processFileW(run.handle, HostExtract, nullptr, pipe.HostPath());
        code = LastSystemCode();
    }
    const uint64_t passed = pipe.Close();
    // The plug-in's write fails once stdout's reader is gone: that is stdout's failure.
    if (!OutputIntact()) return Step::stop;
    if (result == HostAborted || InterruptionPending()) return Step::interrupted;
    if (result != HostOk) {
        NoteFailed(run, entry, entry.name,
                   ExtractionMessage(result, code) + " (" + std::to_string(passed) + " of its bytes went out)");
        return Step::next;
    }
    if (passed != entry.size)
        NoteFailed(run, entry, entry.name,
                   "the plug-in gave " + std::to_string(passed) + " bytes of the entry's " + std::to_string(entry.size));
    return Step::next;
}

// Writes the bytes of a big entry to stdout through a temporary copy in the
// temporary directory, where no pipe can take them as they come.
Step SpoolToOutput(ExtractRun& run, const Entry& entry) {
    const HostText directory = TemporaryDirectory();
    const std::string context = "spooling it in " + ToUtf8(directory) + ": ";
    WritingSpan span;
    if (!span.Open()) return Step::interrupted;
    TemporaryFile temporary;
    const Step written = ExtractIntoTemporary(run, entry, directory, entry.name, context, temporary);
    if (written != Step::extracted) return written;
    return CopyToOutput(run, entry, temporary.Path(), context);
}

// Writes the bytes of the entry whose header was read last to stdout.
Step WriteToOutput(ExtractRun& run, const Entry& entry) {
    if (entry.size < InPlaceLimit) return PrintFromMemory(run, entry);
    OutputPipe pipe;
    if (pipe.Open()) return StreamToOutput(run, entry, pipe);
    if (entry.size <= MemoryExtractionLimit) return PrintFromMemory(run, entry);
    return SpoolToOutput(run, entry);
}

void PrintProblemsJson(const char* key, const std::vector<Problem>& problems) {
    Print(",\n  \"%s\": [", key);
    for (size_t i = 0; i < problems.size(); ++i) {
        const Problem& p = problems[i];
        Print("%s\n    {\"name\": %s, \"path\": %s, \"reason\": %s}", i == 0 ? "" : ",",
              JsonString(ToUtf8(p.name)).c_str(), JsonString(ToUtf8(p.path)).c_str(), JsonString(p.reason).c_str());
    }
    Print("%s]", problems.empty() ? "" : "\n  ");
}

void PrintJson(const ExtractRun& run, const HostText& file, const HostText& destination,
               const std::vector<HostText>& unmatched) {
    Print("{\n  \"archive\": %s,\n  \"destination\": %s,\n  \"entries\": [", JsonString(ToUtf8(file)).c_str(),
          JsonString(ToUtf8(destination)).c_str());
    for (size_t i = 0; i < run.files.size(); ++i) {
        const ReportedFile& f = run.files[i];
        Print("%s\n    {\"name\": %s, \"size\": %llu, \"path\": %s}", i == 0 ? "" : ",",
              JsonString(ToUtf8(f.name)).c_str(), static_cast<unsigned long long>(f.size),
              JsonString(ToUtf8(f.path)).c_str());
    }
    Print("%s],\n  \"replaced\": [", run.files.empty() ? "" : "\n  ");
    for (size_t i = 0; i < run.replaced.size(); ++i) {
        const ReplacedEntry& r = run.replaced[i];
        Print("%s\n    {\"name\": %s, \"object\": %lld, \"size\": %llu}", i == 0 ? "" : ",",
              JsonString(ToUtf8(r.name)).c_str(), ObjectNumber(r.name), static_cast<unsigned long long>(r.size));
    }
    Print("%s]", run.replaced.empty() ? "" : "\n  ");
    PrintProblemsJson("skipped", run.skipped);
    PrintProblemsJson("failed", run.failed);
    Print(",\n  \"unmatched\": [");
    for (size_t i = 0; i < unmatched.size(); ++i)
        Print("%s%s", i == 0 ? "" : ", ", JsonString(ToUtf8(unmatched[i])).c_str());
    Print("],\n  \"count\": %llu,\n  \"totalSize\": %llu\n}\n", static_cast<unsigned long long>(run.fileCount),
          static_cast<unsigned long long>(run.fileBytes));
}

void PrintSummary(const ExtractRun& run, const HostText& destination) {
    Print("%llu %s (%llu bytes) extracted to %s", static_cast<unsigned long long>(run.fileCount),
          run.fileCount == 1 ? "file" : "files", static_cast<unsigned long long>(run.fileBytes),
          ToUtf8(destination).c_str());
    if (run.replacedCount != 0)
        Print(", %llu replaced by a later revision", static_cast<unsigned long long>(run.replacedCount));
    if (run.skippedCount != 0) Print(", %llu skipped", static_cast<unsigned long long>(run.skippedCount));
    if (run.failedCount != 0) Print(", %llu failed", static_cast<unsigned long long>(run.failedCount));
    Print("\n");
}

}  // namespace

int Extract(const PluginHost& host, const HostText& file, const ExtractOptions& options) {
    ExtractRun run{host, options};
    run.directory = options.directory ? *options.directory : HostText();
    run.showProgress = !options.quiet && StandardErrorIsTerminal();
    if (options.toStandardOutput) UseBinaryOutput();
    // The callback is set whatever is shown: it is how an interruption
    // stops an extraction.
    host.setProcessDataProcW(0, OnProgress);
    struct CallbackGuard {
        const PluginHost& host;
        ~CallbackGuard() { host.setProcessDataProcW(0, nullptr); }
    } callbackGuard{host};

    ArchiveGuard archive(host);
    if (!OpenDocument(host, file, 1, run.showProgress, archive)) return ExitFailure;
    run.handle = archive.handle;
    EntrySelection selection(options.patterns, options.exclusions);
    HeaderReader reader{host, archive.handle};
    Entry entry;
    while (NextHeader(reader, entry)) {
        if (!selection.Selects(entry.name)) {
            Skip(run);
            continue;
        }
        Step step = options.toStandardOutput ? WriteToOutput(run, entry) : WriteToFile(run, entry);
        if (step == Step::interrupted || InterruptionPending()) return ExitInterrupted;
        if (step == Step::stop) {
            run.status = ExitFailure;
            break;
        }
    }
    if (ListingFailed(reader, file)) run.status = ExitFailure;
    if (selection.ReportUnmatched(file)) run.status = ExitFailure;
    if (options.toStandardOutput) return run.status;
    HostText destination = options.directory ? *options.directory : FromAscii(".");
    if (options.json)
        PrintJson(run, file, destination, selection.Unmatched());
    else if (!options.quiet)
        PrintSummary(run, destination);
    return run.status;
}
