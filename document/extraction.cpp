#include "document/extraction.h"

#include <atomic>
#include <cstring>
#include <new>
#include <thread>
#include <vector>

#include "document/stream_decoding.h"

namespace {

// Lets go of every entry decoded ahead: the host went elsewhere, or memory is short.
void DropDecodedAhead(Archive& archive) { archive.decodedAhead.clear(); }

// Whether the first entry decoded ahead lies a little after this one: the
// host went back, to this entry or a nearby one, and will likely go on.
bool DecodedAheadIsNear(const Archive& archive, uint32_t row, size_t steps) {
    const uint32_t first = archive.decodedAhead.front().row;
    return first > row && first - row <= steps;
}

// Takes the entry's bytes from those decoded ahead, letting go of the entries
// before it, which the host passed over. False when they are not there.
bool TakeDecodedAhead(Archive& archive, uint32_t row, HeapBlock& bytes) {
    std::deque<DecodedAhead>& queue = archive.decodedAhead;
    size_t found = 0;
    while (found < queue.size() && queue[found].row != row) ++found;
    if (found == queue.size()) {
        if (!queue.empty() && !DecodedAheadIsNear(archive, row, queue.size() * 4)) DropDecodedAhead(archive);
        return false;
    }
    bytes = std::move(queue[found].bytes);
    queue.erase(queue.begin(), queue.begin() + static_cast<ptrdiff_t>(found) + 1);
    return true;
}

// Helper threads decoding the next entries that are not kept, each into a
// block of its size, while the caller writes one out. Everything they decoded
// joins the archive's queue when the object goes; Drop lets it all go instead.
class ReadAhead {
public:
    ReadAhead(Archive& archive, uint32_t row) : archive_(archive) { Start(row); }
    ~ReadAhead() { Finish(); }
    ReadAhead(const ReadAhead&) = delete;
    ReadAhead& operator=(const ReadAhead&) = delete;

    // Stops the helpers and lets go of everything decoded ahead.
    void Drop() {
        stop_ = true;
        Join();
        slots_.clear();
        DropDecodedAhead(archive_);
    }

private:
    struct Slot {
        uint32_t row;              // the entry
        HeapBlock bytes;           // its bytes, once decoded
        bool decoded = false;      // bytes holds them
    };

    void Start(uint32_t row) {
        const uint32_t threads = archive_.settings.threads;
        if (threads <= 1 || archive_.entriesNotKept == 0) return;
        const size_t entriesLimit = ReadAheadEntriesPerThread * threads;
        const std::deque<DecodedAhead>& queue = archive_.decodedAhead;
        // Half the entries still queued is enough to go on with.
        if (queue.size() >= entriesLimit / 2) return;
        uint64_t bytesAhead = 0;
        for (const DecodedAhead& ahead : queue) bytesAhead += ahead.bytes.Size();

        // On from the last entry decoded ahead, or from this one, over a
        // bounded stretch of the table: entries that keep their bytes need nothing.
        const uint64_t from = queue.empty() ? uint64_t{row} + 1 : uint64_t{queue.back().row} + 1;
        const uint64_t stop = from + 4 * entriesLimit < archive_.entries.size() ? from + 4 * entriesLimit
                                                                               : archive_.entries.size();
        try {
            for (uint64_t next = from; next < stop; ++next) {
                const EntryRow& entry = archive_.entries[next];
                if ((entry.flags & EntryKept) != 0) continue;
                if (queue.size() + slots_.size() >= entriesLimit || bytesAhead + entry.decodedSize > ReadAheadBytes) break;
                slots_.push_back(Slot{static_cast<uint32_t>(next), HeapBlock{}, false});
                bytesAhead += entry.decodedSize;
            }
            helpers_.reserve(threads - 1);
            for (uint32_t i = 1; i < threads && i < slots_.size(); ++i) helpers_.emplace_back(&ReadAhead::Help, this);
        } catch (...) {
            // Fewer helpers, or none: the caller decodes what is left when it finishes.
        }
    }

    // Decodes slots until none is left, or memory runs short; run by every
    // helper and by the caller.
    void Help() noexcept {
        while (!stop_) {
            const size_t at = next_.fetch_add(1);
            if (at >= slots_.size()) return;
            Slot& slot = slots_[at];
            const EntryRow& entry = archive_.entries[slot.row];
            if (!slot.bytes.Allocate(entry.decodedSize)) {
                stop_ = true;
                return;
            }
            MemorySink memory;
            StartMemorySink(memory, slot.bytes.Data(), entry.decodedSize);
            const Status status = DecodeEntryAgain(archive_, entry, memory.sink);
            if (status == Status::OutOfMemory) stop_ = true;
            slot.decoded = status == Status::Ok;
            if (!slot.decoded) slot.bytes.Free();
        }
    }

    void Join() {
        for (std::thread& helper : helpers_) helper.join();
        helpers_.clear();
    }

    void Finish() {
        Help();
        Join();
        // After a shortage nothing decoded ahead stays: the memory is wanted elsewhere.
        if (stop_) {
            DropDecodedAhead(archive_);
            return;
        }
        try {
            for (Slot& slot : slots_) {
                if (slot.decoded) archive_.decodedAhead.push_back(DecodedAhead{slot.row, std::move(slot.bytes)});
            }
        } catch (const std::bad_alloc&) {
            DropDecodedAhead(archive_);
        }
    }

    Archive& archive_;
    std::vector<Slot> slots_;             // entries to decode ahead, in listing order
    std::vector<std::thread> helpers_;
    std::atomic<size_t> next_{0};         // next slot to decode
    std::atomic<bool> stop_{false};       // memory ran short, or the work was dropped
};

}  // namespace

Status ExtractEntryToFile(Archive& archive, uint32_t row, FileSink& output) {
    const EntryRow& entry = archive.entries[row];
    if ((entry.flags & EntryKept) != 0) {
        ReadAhead readAhead(archive, row);
        return WriteToFile(output, entry.keptBytes, entry.decodedSize);
    }
    HeapBlock ahead;
    if (TakeDecodedAhead(archive, row, ahead)) {
        ReadAhead readAhead(archive, row);
        return WriteToFile(output, ahead.Data(), entry.decodedSize);
    }
    ReadAhead readAhead(archive, row);
    Status status = DecodeEntryAgain(archive, entry, output.sink);
    if (status == Status::OutOfMemory && output.written == 0) {
        readAhead.Drop();
        status = DecodeEntryAgain(archive, entry, output.sink);
    }
    return status;
}

Status ExtractEntryToBlock(Archive& archive, uint32_t row, uint8_t* block) {
    const EntryRow& entry = archive.entries[row];
    if ((entry.flags & EntryKept) != 0) {
        ReadAhead readAhead(archive, row);
        if (entry.decodedSize != 0) std::memcpy(block, entry.keptBytes, static_cast<size_t>(entry.decodedSize));
        return Status::Ok;
    }
    HeapBlock ahead;
    if (TakeDecodedAhead(archive, row, ahead)) {
        ReadAhead readAhead(archive, row);
        std::memcpy(block, ahead.Data(), static_cast<size_t>(entry.decodedSize));
        return Status::Ok;
    }
    ReadAhead readAhead(archive, row);
    MemorySink memory;
    StartMemorySink(memory, block, entry.decodedSize);
    Status status = DecodeEntryAgain(archive, entry, memory.sink);
    if (status == Status::OutOfMemory) {
        readAhead.Drop();
        StartMemorySink(memory, block, entry.decodedSize);
        status = DecodeEntryAgain(archive, entry, memory.sink);
    }
    return status;
}
