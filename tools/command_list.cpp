// vellum list: one line per entry and a total, or the same as JSON.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "tools/archive_session.h"
#include "tools/commands.h"
#include "tools/time_stamps.h"

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
