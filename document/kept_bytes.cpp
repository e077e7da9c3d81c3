#include "document/kept_bytes.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "document/decoded_ahead.h"
#include "document/sinks.h"

namespace {

// Offers the scratch room: from here on the entry is only counted.
void CountFromHere(JobSink& job, Sink& sink) {
    sink.room = job.scratch;
    sink.roomLeft = SinkWindowBytes;
}

// Moves the entry's bytes so far from the slab into chunks held ahead;
// false when not enough chunks are free.
bool HoldSlabBytes(JobSink& job, Sink& sink) {
    const uint64_t count = static_cast<uint64_t>(sink.room - job.start);
    for (uint64_t copied = 0; copied < count;) {
        if (!AddAheadChunk(*job.archive, job.ahead)) return false;
        const uint64_t chunk = std::min<uint64_t>(count - copied, AheadChunkBytes);
        std::memcpy(AheadChunk(*job.archive, job.ahead.last), job.start + copied, static_cast<size_t>(chunk));
        copied += chunk;
    }
    job.held = count;
    return true;
}

// Lets go of the chunks and counts from here on.
void StopHolding(JobSink& job) {
    job.mode = JobSink::Mode::Counting;
    job.ahead.Release();
    job.held = 0;
}

// Offers the room left in the last chunk. With the chunks full, one byte of
// probe room first tells whether the entry goes on, so that an entry ending
// at a chunk's end takes no chunk more.
void OfferChunk(JobSink& job, Sink& sink) {
    const uint64_t capacity = uint64_t{job.ahead.count} * AheadChunkBytes;
    if (capacity == job.held) {
        job.probing = true;
        sink.room = job.probe;
        sink.roomLeft = sizeof job.probe;
        return;
    }
    const uint64_t used = job.held - uint64_t{job.ahead.count - 1} * AheadChunkBytes;
    sink.room = AheadChunk(*job.archive, job.ahead.last) + used;
    sink.roomLeft = static_cast<size_t>(AheadChunkBytes - used);
}

Status TakeJobBytes(Sink& sink, const uint8_t*, size_t count, bool ending) {
    auto& job = *static_cast<JobSink*>(sink.owner);
    if (job.stop != nullptr && job.stop->load(std::memory_order_relaxed)) return Status::Aborted;
    switch (job.mode) {
    case JobSink::Mode::Keeping:
        if (static_cast<uint64_t>(sink.room - job.start) > KeptEntryLimit) {
            // Past the limit the entry is not kept: its place in the slab goes back.
            job.mode = JobSink::Mode::Counting;
            if (job.holdAhead && HoldSlabBytes(job, sink)) {
                job.mode = JobSink::Mode::Holding;
            } else {
                StopHolding(job);
            }
        }
        break;
    case JobSink::Mode::Holding:
        if (!job.probing) {
            job.held += count;
        } else if (count != 0) {
            // The entry goes on past its chunks: the probe's byte opens a new one.
            if (AddAheadChunk(*job.archive, job.ahead)) {
                AheadChunk(*job.archive, job.ahead.last)[0] = job.probe[0];
                job.held += 1;
            } else {
                StopHolding(job);
            }
        }
        job.probing = false;
        break;
    case JobSink::Mode::Counting:
        break;
    }
    if (ending) return Status::Ok;
    switch (job.mode) {
    case JobSink::Mode::Keeping: {
        // One byte of room past the limit tells an entry of exactly the limit
        // from a bigger one.
        const uint64_t left = KeptEntryLimit + 1 - static_cast<uint64_t>(sink.room - job.start);
        const uint64_t inBlock = static_cast<uint64_t>(job.slab->end - sink.room);
        sink.roomLeft = static_cast<size_t>(left < inBlock ? left : inBlock);
        break;
    }
    case JobSink::Mode::Holding:
        OfferChunk(job, sink);
        break;
    case JobSink::Mode::Counting:
        CountFromHere(job, sink);
        break;
    }
    return Status::Ok;
}

}  // namespace

namespace {

// A block no thread fills and no entry uses is kept whole for the next slab,
// or given back when it was cut down.
void RecycleIfIdle(Archive& archive, uint32_t index) {
    KeptBlock& block = archive.keptBlocks[index];
    if (block.filling || block.entries != 0 || block.bytes.Data() == nullptr) return;
    if (block.bytes.Size() == KeptBlockBytes) {
        try {
            archive.spareKeptBlocks.push_back(index);
            return;
        } catch (const std::bad_alloc&) {
        }
    }
    block.bytes.Free();
}

// Leaves the slab's block whole, for reuse once its entries are passed.
void LeaveSlab(Archive& archive, KeptSlab& slab) {
    archive.keptBlocks[slab.block].filling = false;
    RecycleIfIdle(archive, slab.block);
    slab = KeptSlab{};
}

}  // namespace

bool ReadySlab(Archive& archive, KeptSlab& slab, uint64_t bytes) {
    if (slab.next != nullptr && static_cast<uint64_t>(slab.end - slab.next) >= bytes) return true;
    if (slab.next != nullptr) LeaveSlab(archive, slab);
    uint32_t index = 0;
    if (!archive.spareKeptBlocks.empty()) {
        index = archive.spareKeptBlocks.back();
        archive.spareKeptBlocks.pop_back();
    } else {
        try {
            archive.keptBlocks.emplace_back();
        } catch (const std::bad_alloc&) {
            return false;
        }
        if (!archive.keptBlocks.back().bytes.Allocate(KeptBlockBytes)) {
            archive.keptBlocks.pop_back();
            return false;
        }
        index = static_cast<uint32_t>(archive.keptBlocks.size() - 1);
    }
    KeptBlock& block = archive.keptBlocks[index];
    block.filling = true;
    slab = KeptSlab{block.bytes.Data(), block.bytes.Data() + block.bytes.Size(), index};
    return true;
}

void RetireSlab(Archive& archive, KeptSlab& slab) {
    if (slab.next == nullptr) return;
    KeptBlock& block = archive.keptBlocks[slab.block];
    const uint64_t used = static_cast<uint64_t>(slab.next - block.bytes.Data());
    if (used != 0) block.bytes.ShrinkInPlace(used);
    block.filling = false;
    RecycleIfIdle(archive, slab.block);
    slab = KeptSlab{};
}

void LeaveKeptBlock(Archive& archive, uint32_t block) {
    --archive.keptBlocks[block].entries;
    RecycleIfIdle(archive, block);
}

void PassKeptEntry(Archive& archive, EntryRow& row) {
    if (!row.kept || row.keptBytes == nullptr || row.keptBytes == row.storedBegin) return;
    row.kept = false;
    row.keptBytes = nullptr;
    ++archive.entriesNotKept;
    archive.keptAhead -= row.decodedSize;
    LeaveKeptBlock(archive, row.keptBlock);
}

void StartJobSink(JobSink& job, Archive& archive, KeptSlab* slab, bool keep, bool holdAhead, uint8_t* scratch,
                  const std::atomic<bool>* stop) {
    job.archive = &archive;
    job.stop = stop;
    job.slab = slab;
    job.start = keep ? slab->next : nullptr;
    job.scratch = scratch;
    job.holdAhead = holdAhead;
    job.mode = keep ? JobSink::Mode::Keeping : holdAhead ? JobSink::Mode::Holding : JobSink::Mode::Counting;
    job.ahead.Release();
    job.held = 0;
    job.probing = false;
    // No room yet: the first call offers it.
    job.sink = Sink{keep ? slab->next : scratch, 0, TakeJobBytes, &job};
}

const uint8_t* FinishJobSink(JobSink& job, bool succeeded, DecodedAhead& ahead) {
    const JobSink::Mode mode = job.mode;
    job.mode = JobSink::Mode::Counting;
    if (succeeded && mode == JobSink::Mode::Keeping) {
        job.slab->next = job.sink.room;
        return job.start;
    }
    if (succeeded && mode == JobSink::Mode::Holding) ahead = std::move(job.ahead);
    job.ahead.Release();
    job.held = 0;
    return nullptr;
}
