#include "document/extraction.h"

#include <atomic>
#include <cstring>
#include <mutex>
#include <new>
#include <thread>
#include <vector>

#include "document/decoded_ahead.h"
#include "document/kept_bytes.h"
#include "document/stream_decoding.h"

namespace {

// How far past the queue's last entry helpers look for entries to decode, in
// entries they may take.
constexpr size_t SearchStepsPerEntry = 4;

// Takes the entry's bytes held ahead, if they are.
bool TakeHeldAhead(Archive& archive, uint32_t row, DecodedAhead& taken) {
    std::lock_guard<std::mutex> held(archive.tableLock);
    return TakeDecodedAhead(archive, row, taken);
}

void DropHeldAhead(Archive& archive) {
    std::lock_guard<std::mutex> held(archive.tableLock);
    DropDecodedAhead(archive);
}

// Helper threads decoding the next entries that are neither kept nor held
// ahead into chunks, while the caller writes one out. Everything they
// decoded joins the archive's queue when the object goes; Drop lets it all
// go instead.
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
        DropHeldAhead(archive_);
    }

private:
    struct Slot {
        uint32_t row;                  // the entry
        DecodedAhead ahead;            // its bytes, once decoded
        bool decoded = false;          // ahead holds them
    };

    void Start(uint32_t row) {
        const uint32_t threads = archive_.settings.threads;
        if (threads <= 1) return;
        const size_t entriesLimit = ReadAheadEntriesPerThread * threads;
        uint64_t room = FreeAheadBytes(archive_);
        try {
            std::lock_guard<std::mutex> held(archive_.tableLock);
            if (archive_.entriesNotKept == 0) return;
            const std::deque<DecodedAhead>& queue = archive_.decodedAhead;
            // Half the entries still queued is enough to go on with.
            if (queue.size() >= entriesLimit / 2) return;
            // On from the last entry held ahead, or from this one, over a
            // bounded stretch of the rows filed so far.
            const uint64_t from = queue.empty() || queue.back().row < row ? uint64_t{row} + 1
                                                                          : uint64_t{queue.back().row} + 1;
            const uint64_t filed = archive_.entries.size();
            const uint64_t reach = from + SearchStepsPerEntry * entriesLimit;
            const uint64_t stop = reach < filed ? reach : filed;
            for (uint64_t next = from; next < stop; ++next) {
                const EntryRow& entry = archive_.entries[next];
                if (entry.kept) continue;
                // Whole chunks, as the entry will take them.
                const uint64_t chunks = (entry.decodedSize + AheadChunkBytes - 1) / AheadChunkBytes * AheadChunkBytes;
                if (queue.size() + slots_.size() >= entriesLimit || chunks > room) break;
                room -= chunks;
                slots_.push_back(Slot{static_cast<uint32_t>(next), DecodedAhead{}, false});
            }
        } catch (const std::bad_alloc&) {
            // Fewer slots: the caller decodes what is left when it finishes.
        }
        try {
            helpers_.reserve(threads - 1);
            for (uint32_t i = 1; i < threads && i < slots_.size(); ++i) helpers_.emplace_back(&ReadAhead::Help, this);
        } catch (...) {
            // Fewer helpers, or none: the caller decodes what is left when it finishes.
        }
    }

    // Decodes slots until none is left, the chunks run out or memory runs
    // short; run by every helper and by the caller.
    void Help() noexcept {
        HeapBlock scratch;
        if (!scratch.Allocate(SinkWindowBytes)) return;
        while (!stop_) {
            const size_t at = next_.fetch_add(1);
            if (at >= slots_.size()) return;
            Slot& slot = slots_[at];
            JobSink sink;
            StartJobSink(sink, archive_, nullptr, false, true, scratch.Data(), &stop_);
            const Status status = DecodeEntryAgain(archive_, slot.row, sink.sink);
            if (status == Status::OutOfMemory) stop_ = true;
            FinishJobSink(sink, status == Status::Ok, slot.ahead);
            // Chunks that ran out leave the entry counted, not held.
            slot.decoded = status == Status::Ok && slot.ahead.count != 0;
            if (!slot.decoded) slot.ahead.Release();
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
            slots_.clear();
            DropHeldAhead(archive_);
            return;
        }
        std::lock_guard<std::mutex> held(archive_.tableLock);
        for (Slot& slot : slots_) {
            if (!slot.decoded) continue;
            slot.ahead.row = slot.row;
            QueueDecodedAhead(archive_, std::move(slot.ahead));
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
    const EntryRow& entry = RowAt(archive, row);
    {
        const KeptBytesHold kept(archive, row);
        if (kept.Kept()) {
            ReadAhead readAhead(archive, row);
            return WriteToFile(output, kept.Bytes(), entry.decodedSize);
        }
    }
    DecodedAhead ahead;
    if (TakeHeldAhead(archive, row, ahead)) {
        ReadAhead readAhead(archive, row);
        return WriteAhead(archive, output, ahead, entry.decodedSize);
    }
    ReadAhead readAhead(archive, row);
    Status status = DecodeEntryAgain(archive, row, output.sink);
    if (status == Status::OutOfMemory && output.written == 0) {
        readAhead.Drop();
        status = DecodeEntryAgain(archive, row, output.sink);
    }
    return status;
}

Status ExtractEntryToBlock(Archive& archive, uint32_t row, uint8_t* block) {
    const EntryRow& entry = RowAt(archive, row);
    {
        const KeptBytesHold kept(archive, row);
        if (kept.Kept()) {
            ReadAhead readAhead(archive, row);
            if (entry.decodedSize != 0) std::memcpy(block, kept.Bytes(), static_cast<size_t>(entry.decodedSize));
            return Status::Ok;
        }
    }
    DecodedAhead ahead;
    if (TakeHeldAhead(archive, row, ahead)) {
        ReadAhead readAhead(archive, row);
        CopyAhead(archive, ahead, entry.decodedSize, block);
        return Status::Ok;
    }
    ReadAhead readAhead(archive, row);
    MemorySink memory;
    StartMemorySink(memory, block, entry.decodedSize);
    Status status = DecodeEntryAgain(archive, row, memory.sink);
    if (status == Status::OutOfMemory) {
        readAhead.Drop();
        StartMemorySink(memory, block, entry.decodedSize);
        status = DecodeEntryAgain(archive, row, memory.sink);
    }
    return status;
}
