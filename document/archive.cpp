// The archive's table of entries and the lookups hosts make in it.
#include "document/archive.h"

#include <algorithm>
#include <new>

namespace {

std::vector<uint32_t>::const_iterator FirstWithNumber(const Archive& archive, uint32_t objectNumber) {
    return std::lower_bound(archive.rowsByNumber.begin(), archive.rowsByNumber.end(), objectNumber,
                            [&](uint32_t row, uint32_t number) { return archive.entries[row].objectNumber < number; });
}

// Sorts the rows by number once the table has ended and no row comes any
// more. Without memory for the index, lookups walk the table instead.
void IndexEntriesByNumber(Archive& archive) {
    try {
        archive.rowsByNumber.resize(archive.entries.size());
    } catch (const std::bad_alloc&) {
        return;
    }
    for (size_t row = 0; row < archive.entries.size(); ++row) archive.rowsByNumber[row] = static_cast<uint32_t>(row);
    // Rows sharing a number stay in listing order; the sort needs no memory of its own.
    std::sort(archive.rowsByNumber.begin(), archive.rowsByNumber.end(), [&](uint32_t left, uint32_t right) {
        const uint32_t leftNumber = archive.entries[left].objectNumber;
        const uint32_t rightNumber = archive.entries[right].objectNumber;
        return leftNumber != rightNumber ? leftNumber < rightNumber : left < right;
    });
}

}  // namespace

const EntryRow& RowAt(Archive& archive, uint32_t row) {
    // Indexing reads the table's own structure, which grows under the lock.
    std::lock_guard<std::mutex> held(archive.tableLock);
    return archive.entries[row];
}

int64_t FindListedEntry(Archive& archive, uint32_t objectNumber) {
    bool ended = false;
    {
        std::lock_guard<std::mutex> held(archive.tableLock);
        ended = archive.tableEnded;
    }
    if (ended && archive.rowsByNumber.empty() && !archive.entries.empty()) IndexEntriesByNumber(archive);
    if (!ended || archive.rowsByNumber.size() != archive.entries.size()) {
        // No index: the table itself, up to the last entry handed out.
        for (uint32_t row = 0; row < archive.handedOut; ++row) {
            if (RowAt(archive, row).objectNumber == objectNumber) return row;
        }
        return -1;
    }
    // The first row with the number is the first listed; later ones never answer.
    const auto found = FirstWithNumber(archive, objectNumber);
    if (found == archive.rowsByNumber.end() || archive.entries[*found].objectNumber != objectNumber) return -1;
    return *found < archive.handedOut ? static_cast<int64_t>(*found) : -1;
}

KeptBytesHold::KeptBytesHold(Archive& archive, uint32_t row) : archive_(archive) {
    std::lock_guard<std::mutex> held(archive.tableLock);
    const EntryRow& entry = archive.entries[row];
    kept_ = entry.kept;
    bytes_ = entry.keptBytes;
    ++archive.keptReaders;
}

KeptBytesHold::~KeptBytesHold() {
    std::lock_guard<std::mutex> held(archive_.tableLock);
    --archive_.keptReaders;
}
