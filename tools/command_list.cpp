// vellum list: one line per entry and a total, or the same as JSON.
//
// JSON goes out entry by entry. The table's columns are as wide as the
// longest name and the total's digits, known only at the listing's end: the
// first rows wait in memory, and the rows of a longer listing in a temporary
// file, so that a listing of millions of entries costs no more memory than
// one of thousands.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "tools/archive_session.h"
#include "tools/commands.h"
#include "tools/file_placement.h"
#include "tools/standard_output.h"
#include "tools/time_stamps.h"

namespace {

// Rows held in memory before the rest wait in a temporary file.
constexpr size_t HeldRows = 4096;

// Rows past those held, in a temporary file in the temporary directory:
// each the name's length in units (32 bits), its units, the size (64 bits)
// and the time stamp (32 bits), as this process lays them out.
class RowSpool {
public:
    RowSpool() = default;
    ~RowSpool() {
        if (stream_ != nullptr) std::fclose(stream_);
    }
    RowSpool(const RowSpool&) = delete;
    RowSpool& operator=(const RowSpool&) = delete;

    // Makes the file; false, with the code, when it cannot be made.
    bool Open(SystemCode& code) {
        if (!file_.Create(TemporaryDirectory(), code)) return false;
#ifdef _WIN32
        stream_ = _wfopen(file_.Path().c_str(), L"w+b");
#else
        stream_ = std::fopen(ToUtf8(file_.Path()).c_str(), "w+b");
        // Open, the file needs no name: none is left behind by a kill.
        if (stream_ != nullptr) file_.Remove();
#endif
        if (stream_ == nullptr) code = LastSystemCode();
        return stream_ != nullptr;
    }
    bool IsOpen() const { return stream_ != nullptr; }
    const HostText& Directory() const { return directory_; }

    bool Add(const Entry& entry) {
        const auto length = static_cast<uint32_t>(entry.name.size());
        return Put(&length, sizeof length) && Put(entry.name.data(), length * sizeof(WCHAR)) &&
               Put(&entry.size, sizeof entry.size) && Put(&entry.timeStamp, sizeof entry.timeStamp);
    }
    // Ends the writing: false, with the code, when a write failed.
    bool Rewind(SystemCode& code) {
        if (!failed_ && (std::fflush(stream_) != 0 || std::fseek(stream_, 0, SEEK_SET) != 0)) Failed();
        code = code_;
        return !failed_;
    }
    // The next row, in the order added; false at the end.
    bool Next(Entry& entry) {
        uint32_t length = 0;
        if (std::fread(&length, sizeof length, 1, stream_) != 1) return false;
        entry.name.resize(length);
        return std::fread(entry.name.data(), sizeof(WCHAR), length, stream_) == length &&
               std::fread(&entry.size, sizeof entry.size, 1, stream_) == 1 &&
               std::fread(&entry.timeStamp, sizeof entry.timeStamp, 1, stream_) == 1;
    }

private:
    bool Put(const void* data, size_t size) {
        if (!failed_ && std::fwrite(data, 1, size, stream_) != size) Failed();
        return !failed_;
    }
    void Failed() {
        failed_ = true;
        code_ = LastSystemCode();
    }

    TemporaryFile file_;                          // its name, until the stream is open
    HostText directory_ = TemporaryDirectory();   // where it is, for messages
    std::FILE* stream_ = nullptr;                 // the rows
    bool failed_ = false;                         // a write or the rewind failed
    SystemCode code_ = 0;                         // why
};

// The table's column widths, grown as rows come.
struct Columns {
    size_t nameWidth = 4;  // "Name"
    size_t sizeWidth = 4;  // "Size"
};

void PrintRow(const Columns& columns, const std::string& name, const std::string& size, const std::string& when) {
    Print("%-*s  %*s%s%s\n", static_cast<int>(columns.nameWidth), name.c_str(), static_cast<int>(columns.sizeWidth),
          size.c_str(), when.empty() ? "" : "  ", when.c_str());
}

void PrintEntryRow(const Columns& columns, const Entry& entry) {
    PrintRow(columns, ToUtf8(entry.name), std::to_string(entry.size), FormatTime(entry.timeStamp));
}

std::string TotalLabel(uint64_t count) { return std::to_string(count) + (count == 1 ? " entry" : " entries"); }

// Prints each selected entry as JSON as it comes.
void ListAsJson(const HostText& file, HeaderReader& reader, EntrySelection& selection) {
    Print("{\n  \"archive\": %s,\n  \"entries\": [", JsonString(ToUtf8(file)).c_str());
    Entry e;
    uint64_t count = 0, total = 0;
    while (NextHeader(reader, e)) {
        if (!selection.Selects(e.name)) continue;
        Print("%s\n    {\"name\": %s, \"object\": %lld, \"size\": %llu, \"time\": \"%s\"}", count == 0 ? "" : ",",
              JsonString(ToUtf8(e.name)).c_str(), ObjectNumber(e.name), static_cast<unsigned long long>(e.size),
              FormatIsoTime(e.timeStamp).c_str());
        ++count;
        total += e.size;
    }
    Print("%s],\n  \"count\": %llu,\n  \"totalSize\": %llu\n}\n", count == 0 ? "" : "\n  ",
          static_cast<unsigned long long>(count), static_cast<unsigned long long>(total));
}

// Reads the selected entries, then prints them as a table. Answers false,
// having said why, when the rows could not be kept.
bool ListAsTable(HeaderReader& reader, EntrySelection& selection, bool quiet) {
    std::vector<Entry> held;
    RowSpool spool;
    bool spooling = false;  // rows past the held ones go to the spool
    Columns columns;
    uint64_t count = 0, total = 0;
    Entry entry;
    while (NextHeader(reader, entry)) {
        if (!selection.Selects(entry.name)) continue;
        ++count;
        total += entry.size;
        columns.nameWidth = std::max(columns.nameWidth, ToUtf8(entry.name).size());
        if (held.size() == HeldRows && !spooling) {
            SystemCode code = 0;
            // Without a temporary file the rows are held all the same.
            spooling = spool.Open(code);
        }
        if (spooling)
            spool.Add(entry);
        else
            held.push_back(entry);
    }
    SystemCode code = 0;
    if (spooling && !spool.Rewind(code)) {
        Say("cannot keep the listing's rows in " + ToUtf8(spool.Directory()) + ": " + SystemErrorText(code));
        return false;
    }
    const std::string totalLabel = TotalLabel(count);
    columns.nameWidth = std::max(columns.nameWidth, totalLabel.size());
    columns.sizeWidth = std::max(columns.sizeWidth, std::to_string(total).size());

    if (!quiet) PrintRow(columns, "Name", "Size", "Date       Time");
    // Nothing more can reach a reader once a write has failed.
    for (size_t i = 0; i < held.size() && OutputIntact(); ++i) PrintEntryRow(columns, held[i]);
    uint64_t printed = held.size();
    while (spooling && OutputIntact() && spool.Next(entry)) {
        PrintEntryRow(columns, entry);
        ++printed;
    }
    if (!OutputIntact()) return true;
    if (printed != count) {
        Say("cannot read the listing's rows back from " + ToUtf8(spool.Directory()) + ": " +
            SystemErrorText(LastSystemCode()));
        return false;
    }
    if (!quiet) PrintRow(columns, totalLabel, std::to_string(total), "");
    return true;
}

}  // namespace

int List(const PluginHost& host, const HostText& file, const ListOptions& options) {
    ArchiveGuard archive(host);
    if (!OpenDocument(host, file, 0, !options.quiet, archive)) return ExitFailure;
    EntrySelection selection(options.patterns, options.exclusions);
    HeaderReader reader{host, archive.handle};
    if (options.json)
        ListAsJson(file, reader, selection);
    else if (!ListAsTable(reader, selection, options.quiet))
        return ExitFailure;
    // A listing cut short by the plug-in is never taken for a whole one.
    if (ListingFailed(reader, file)) return ExitFailure;
    return selection.ReportUnmatched(file) ? ExitFailure : 0;
}
