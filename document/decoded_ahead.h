// Entries decoded ahead of their extraction. The pool, when it decodes an
// entry that does not keep its bytes, holds them instead of only counting
// them; an extraction's helpers decode the next such entries while it
// writes. Either way the bytes wait in the archive's chunks (AheadChunks:
// DecodeAheadBytes made once and reused, so holding costs no fresh memory
// per entry) and in its queue, in listing order, until the host extracts the
// entry or passes it over. When the chunks run out the pool only counts and
// the helpers stop, and the entry is decoded again when it is extracted.
// What is held ahead changes with timing; the bytes never do.
#pragma once

#include <cstdint>

#include "document/archive.h"
#include "document/sinks.h"

// Bytes an archive may hold decoded ahead, or be decoding ahead, in all.
constexpr uint64_t DecodeAheadBytes = uint64_t{AheadChunkCount} * AheadChunkBytes;

// Appends a free chunk to the entry's chain, making the chunks when first
// needed; false when none is free or they cannot be had.
bool AddAheadChunk(Archive& archive, DecodedAhead& ahead);
// The bytes of a chunk, and the chunk after it in its chain.
uint8_t* AheadChunk(Archive& archive, uint32_t chunk);
uint32_t NextAheadChunk(const Archive& archive, uint32_t chunk);
// Bytes free in the chunks now.
uint64_t FreeAheadBytes(Archive& archive);
// Bytes of chunks that entries in the queue hold, waiting for the host
// (tableLock held).
inline uint64_t QueuedAheadBytes(const Archive& archive) { return archive.queuedAheadChunks * AheadChunkBytes; }

// The queue, with the archive's tableLock held. Queues the entry's bytes in
// row order; they are let go when the queue cannot grow.
void QueueDecodedAhead(Archive& archive, DecodedAhead&& entry);
// Takes the entry's bytes, letting go of the entries before it, which the
// host passed over. False when they are not there; the queue is then let go
// unless it lies a little after the row (the host went back and will likely
// go on).
bool TakeDecodedAhead(Archive& archive, uint32_t row, DecodedAhead& taken);
// Lets go of the entries before `row`: the host read the header of `row`.
void PassOverDecodedAhead(Archive& archive, uint32_t row);
// Lets go of every entry decoded ahead.
void DropDecodedAhead(Archive& archive);

// The entry's first `size` bytes into the file sink, or into `block`.
Status WriteAhead(Archive& archive, FileSink& output, const DecodedAhead& ahead, uint64_t size);
void CopyAhead(Archive& archive, const DecodedAhead& ahead, uint64_t size, uint8_t* block);
