#include "tools/archive_session.h"

#include <filesystem>
#include <iterator>
#include <optional>
#include <system_error>

#include "tools/open_diagnosis.h"
#include "tools/status_line.h"
#include "tools/wildcard.h"

namespace {

// On a terminal, documents from this size up get a line while they open.
constexpr uint64_t OpeningNoticeThreshold = uint64_t{16} << 20;

}  // namespace

bool OpenDocument(const PluginHost& host, const HostText& file, int mode, bool showProgress, ArchiveGuard& archive) {
    HostText path = file;
    OpenArchiveRecord record{};
    record.pathName = path.data();
    record.mode = mode;
    std::error_code error;
    uint64_t size = std::filesystem::file_size(ToPath(file), error);
    SystemCode code = 0;
    {
        std::optional<StatusLine> notice;
        if (showProgress && !error && size >= OpeningNoticeThreshold && StandardErrorIsTerminal())
            notice.emplace("opening " + BaseName(file) + " (" + Mebibytes(size) + ")");
        ClearSystemCode();
        archive.handle = host.openArchiveW(&record);
        code = LastSystemCode();
    }
    if (archive.handle != 0) return true;
    // The plug-in answers 11 for every failed open; it leaves its own code for memory.
    if (record.resultCode == HostNoMemory && code == ERROR_NOT_ENOUGH_MEMORY) {
        Fail(file, "not enough memory to open it");
    } else {
        Fail(file, DiagnoseOpenFailure(file));
    }
    return false;
}

EntrySelection::EntrySelection(const std::vector<HostText>& patterns, const std::vector<HostText>& exclusions)
    : patterns_(patterns), exclusions_(exclusions), matched_(patterns.size(), false) {}

bool EntrySelection::Selects(const HostText& name) {
    bool wanted = patterns_.empty();
    for (size_t i = 0; i < patterns_.size(); ++i) {
        if (!MatchesWildcard(patterns_[i], name)) continue;
        matched_[i] = true;
        wanted = true;
    }
    if (!wanted) return false;
    for (const HostText& exclusion : exclusions_) {
        if (MatchesWildcard(exclusion, name)) return false;
    }
    return true;
}

std::vector<HostText> EntrySelection::Unmatched() const {
    std::vector<HostText> unmatched;
    for (size_t i = 0; i < patterns_.size(); ++i) {
        if (!matched_[i]) unmatched.push_back(patterns_[i]);
    }
    return unmatched;
}

bool EntrySelection::ReportUnmatched(const HostText& file) const {
    std::vector<HostText> unmatched = Unmatched();
    for (const HostText& pattern : unmatched) Fail(pattern, "no such entry in " + ToUtf8(file));
    return !unmatched.empty();
}

bool NextHeader(HeaderReader& reader, Entry& entry) {
    HeaderRecordExW* record = reader.record.get();
    reader.result = reader.host.readHeaderExW(reader.handle, record);
    if (reader.result != HostOk) return false;
    size_t length = 0;
    while (length < std::size(record->entryName) && record->entryName[length] != 0) ++length;
    entry.name.assign(record->entryName, length);
    entry.size = (uint64_t{record->unpackedSizeHigh} << 32) | record->unpackedSize;
    entry.timeStamp = record->timeStamp;
    return true;
}

bool ListingFailed(const HeaderReader& reader, const HostText& file) {
    if (reader.result == HostOk || reader.result == HostEndArchive) return false;
    Fail(file, reader.result == HostNoMemory ? "not enough memory to list every entry"
                                            : "the listing failed (the plug-in answered " + std::to_string(reader.result) + ")");
    return true;
}

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

std::string BaseName(const HostText& path) {
#ifdef _WIN32
    size_t slash = path.find_last_of(L"/\\");
#else
    size_t slash = path.rfind(u'/');
#endif
    return ToUtf8(slash == HostText::npos ? path : path.substr(slash + 1));
}
