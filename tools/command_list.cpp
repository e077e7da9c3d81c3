// vellum list: one line per entry and a total, or the same as JSON.
#include <algorithm>
#include <string>
#include <vector>

#include "tools/archive_session.h"
#include "tools/commands.h"
#include "tools/standard_output.h"
#include "tools/time_stamps.h"

namespace {

void PrintJson(const HostText& file, const std::vector<Entry>& entries, uint64_t total) {
    Print("{\n  \"archive\": %s,\n  \"entries\": [", JsonString(ToUtf8(file)).c_str());
    for (size_t i = 0; i < entries.size(); ++i) {
        const Entry& e = entries[i];
        Print("%s\n    {\"name\": %s, \"object\": %lld, \"size\": %llu, \"time\": \"%s\"}", i == 0 ? "" : ",",
              JsonString(ToUtf8(e.name)).c_str(), ObjectNumber(e.name), static_cast<unsigned long long>(e.size),
              FormatIsoTime(e.timeStamp).c_str());
    }
    Print("%s],\n  \"count\": %zu,\n  \"totalSize\": %llu\n}\n", entries.empty() ? "" : "\n  ", entries.size(),
          static_cast<unsigned long long>(total));
}

void PrintTable(const std::vector<Entry>& entries, uint64_t total, bool quiet) {
    std::string totalLabel = std::to_string(entries.size()) + (entries.size() == 1 ? " entry" : " entries");
    size_t nameWidth = std::max<size_t>(4, totalLabel.size());
    size_t sizeWidth = std::max<size_t>(4, std::to_string(total).size());
    for (const Entry& e : entries) nameWidth = std::max(nameWidth, ToUtf8(e.name).size());
    auto row = [&](const std::string& name, const std::string& size, const std::string& when) {
        Print("%-*s  %*s%s%s\n", static_cast<int>(nameWidth), name.c_str(), static_cast<int>(sizeWidth), size.c_str(),
              when.empty() ? "" : "  ", when.c_str());
    };
    if (!quiet) row("Name", "Size", "Date       Time");
    for (const Entry& e : entries) {
        row(ToUtf8(e.name), std::to_string(e.size), FormatTime(e.timeStamp));
        // Nothing more can reach a reader once a write has failed.
        if (!OutputIntact()) return;
    }
    if (!quiet) row(totalLabel, std::to_string(total), "");
}

}  // namespace

int List(const PluginHost& host, const HostText& file, const ListOptions& options) {
    ArchiveGuard archive(host);
    if (!OpenDocument(host, file, 0, !options.quiet, archive)) return ExitFailure;
    EntrySelection selection(options.patterns, options.exclusions);
    std::vector<Entry> entries;
    HeaderReader reader{host, archive.handle};
    Entry entry;
    uint64_t total = 0;
    while (NextHeader(reader, entry)) {
        if (!selection.Selects(entry.name)) continue;
        total += entry.size;
        entries.push_back(entry);
    }
    // A listing cut short is not printed as if it were whole.
    if (ListingFailed(reader, file)) return ExitFailure;
    if (options.json)
        PrintJson(file, entries, total);
    else
        PrintTable(entries, total, options.quiet);
    return selection.ReportUnmatched(file) ? ExitFailure : 0;
}
