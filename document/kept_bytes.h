// Where kept entries' bytes live: blocks of the archive, each filled by one
// decoding thread at a time from its front, so that a chain's last step
// writes an entry's bytes straight into the place they are kept, with no
// growing, no copy and no slack. An entry keeps its bytes only when it is no
// bigger than KeptEntryLimit; one that grows past it while it is decoded
// gives its place back and is held ahead of its extraction, or only counted.
#pragma once

#include <atomic>
#include <cstdint>

#include "decode/sink.h"
#include "document/archive.h"

// Entries up to this size may keep their bytes; bigger ones are decoded again
// when they are extracted. It bounds what a job holds while it waits to be
// filed, and so what a thread's kept block must have room for.
constexpr uint64_t KeptEntryLimit = uint64_t{1} << 20;
// Bytes of each kept block.
constexpr uint64_t KeptBlockBytes = uint64_t{4} << 20;

// A thread's place in its current kept block.
struct KeptSlab {
    uint8_t* next = nullptr;     // first free byte
    uint8_t* end = nullptr;      // end of the block
    uint32_t block = 0;          // the block's index in the archive's keptBlocks
};

// Makes sure the slab has room for `bytes` (at most KeptBlockBytes): a block
// with less is left and another is taken, a spare one first. False when no
// block can be had (the slab is then empty). The caller serialises calls that
// may take a block.
bool ReadySlab(Archive& archive, KeptSlab& slab, uint64_t bytes);
// Gives the unused end of the slab's block back; nothing more is written to it.
void RetireSlab(Archive& archive, KeptSlab& slab);
// The host passed the entry (it read a later header): bytes kept in a block
// go, the entry is decoded again should the host come back to it, and a
// block left with no entry becomes a spare. Under the archive's tableLock.
void PassKeptEntry(Archive& archive, EntryRow& row);
// One entry fewer in the block (passed, or never filed); a block left with
// none and no longer filled becomes a spare. Under the archive's tableLock.
void LeaveKeptBlock(Archive& archive, uint32_t block);

// Where a pool job's bytes go. While it keeps, into a slab, up to
// KeptEntryLimit bytes; past that, or from the start when it does not keep,
// into chunks held ahead (decoded_ahead.h) while there are free ones; past
// that it only counts, in the caller's scratch room. Any call after `stop` is
// set answers Aborted.
struct JobSink {
    enum class Mode : uint8_t { Keeping, Holding, Counting };
    Sink sink;
    Archive* archive = nullptr;
    const std::atomic<bool>* stop = nullptr;  // the pool is stopping
    KeptSlab* slab = nullptr;     // with keeping: the thread's slab
    uint8_t* start = nullptr;     // where the entry's bytes begin in the slab
    uint8_t* scratch = nullptr;   // SinkWindowBytes of counting room, the caller's
    Mode mode = Mode::Counting;   // where the bytes go now
    bool holdAhead = false;       // bytes that are not kept go into chunks
    DecodedAhead ahead;           // the chunks
    uint64_t held = 0;            // bytes in the chunks
    uint8_t probe[1] = {};        // room offered while the chunks are full
    bool probing = false;         // the room offered is the probe
};
// Starts the sink: `keep` into a slab with room for KeptEntryLimit + 1 bytes,
// `holdAhead` into chunks once not keeping.
void StartJobSink(JobSink& job, Archive& archive, KeptSlab* slab, bool keep, bool holdAhead, uint8_t* scratch,
                  const std::atomic<bool>* stop);
// Ends a run into the sink. With `succeeded` and an entry kept within the
// limit, its bytes stay in the slab and their start is answered; otherwise
// the slab takes its room back and null is answered. With `succeeded` and
// every byte in chunks, `ahead` holds them; otherwise the chunks go.
const uint8_t* FinishJobSink(JobSink& job, bool succeeded, DecodedAhead& ahead);
