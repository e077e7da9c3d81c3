// The plug-in and one open archive, as the command uses them: each closed by
// a guard, the listing read header by header.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "tools/plugin_host.h"
#include "tools/terminal_text.h"

struct PluginGuard {
    PluginHost host;  // the loaded plug-in; unloaded with the guard
    PluginGuard() = default;
    PluginGuard(const PluginGuard&) = delete;
    PluginGuard& operator=(const PluginGuard&) = delete;
    ~PluginGuard() { UnloadPlugin(host); }
};

struct ArchiveGuard {
    const PluginHost& host;  // the plug-in that opened the archive
    uintptr_t handle = 0;    // the open archive; 0 when none
    explicit ArchiveGuard(const PluginHost& plugin) : host(plugin) {}
    ArchiveGuard(const ArchiveGuard&) = delete;
    ArchiveGuard& operator=(const ArchiveGuard&) = delete;
    ~ArchiveGuard() {
        if (handle != 0) host.closeArchive(handle);
    }
};

// Opens `file` as the host does (mode 0 to list, 1 to extract); on failure
// says why on stderr (see open_diagnosis.h) and answers false. With
// `showProgress` on a terminal, a big document gets a line that counts the
// seconds while it opens, as the plug-in reports nothing then.
bool OpenDocument(const PluginHost& host, const HostText& file, int mode, bool showProgress, ArchiveGuard& archive);

struct Entry {
    HostText name;           // as listed
    uint64_t size = 0;       // decoded bytes
    uint32_t timeStamp = 0;  // as the header carries it (see time_stamps.h)
};

struct HeaderReader {
    const PluginHost& host;  // the plug-in
    uintptr_t handle;        // the open archive
    // Some 5 KB, of which the plug-in writes only a few fields: made once.
    std::unique_ptr<HeaderRecordExW> record = std::make_unique<HeaderRecordExW>();
    int result = HostOk;     // the last header call's answer
};

// Reads the next header into `entry`; false at the end of the listing, or
// when the header call failed.
bool NextHeader(HeaderReader& reader, Entry& entry);
// After NextHeader answered false: whether the listing failed rather than
// ended, which is then reported on stderr (out of memory, most likely).
bool ListingFailed(const HeaderReader& reader, const HostText& file);

// Which entries a command works on: those whose names match one of the
// patterns (every entry when there are none) and none of the exclusions.
class EntrySelection {
public:
    EntrySelection(const std::vector<HostText>& patterns, const std::vector<HostText>& exclusions);
    // Whether the entry is selected; notes which patterns found an entry.
    bool Selects(const HostText& name);
    // Reports each pattern that matched no entry of `file` on stderr;
    // answers whether there was one.
    bool ReportUnmatched(const HostText& file) const;
    // The patterns that matched no entry.
    std::vector<HostText> Unmatched() const;

private:
    const std::vector<HostText>& patterns_;    // an entry is wanted if it matches one
    const std::vector<HostText>& exclusions_;  // and matches none of these
    std::vector<bool> matched_;                // per pattern: it matched an entry
};

// The object number a listed name carries (the digits after its last '-'),
// or -1.
long long ObjectNumber(const HostText& name);

// The last component of a path, for messages that must stay on one line.
std::string BaseName(const HostText& path);
