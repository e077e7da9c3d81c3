// Entries decoded ahead of their extraction. The pool, when it decodes an
// entry that does not keep its bytes, holds them in pieces instead of only
// counting them; an extraction's helpers decode the next such entries while
// it writes. Either way the bytes wait in the archive's queue, in listing
// order, until the host extracts the entry or passes it over, and everything
// held or being decoded ahead stays within DecodeAheadBytes: past it the pool
// only counts and the helpers stop, and the entry is decoded again when it is
// extracted. What is held ahead changes with timing; the bytes never do.
#pragma once

#include <cstdint>
#include <vector>

#include "document/archive.h"
#include "document/sinks.h"

// Bytes an archive may hold decoded ahead, or be decoding ahead, in all.
constexpr uint64_t DecodeAheadBytes = uint64_t{16} << 20;
// The first piece of an entry's bytes, so that a small entry holds little,
// and every later one.
constexpr uint64_t FirstAheadPieceBytes = SinkWindowBytes;
constexpr uint64_t AheadPieceBytes = uint64_t{1} << 20;

// Reserves `bytes` more of the archive's allowance into `reservation`; false
// when they do not fit, and nothing is reserved.
bool ReserveAhead(Archive& archive, uint64_t bytes, AheadReservation& reservation);
// Appends a piece of `bytes` to `pieces`, reserved into `reservation`; false
// when the allowance or the heap refuses it.
bool AddAheadPiece(Archive& archive, std::vector<HeapBlock>& pieces, AheadReservation& reservation, uint64_t bytes);

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

// The first `size` bytes of the pieces into the file sink, or into `block`.
Status WritePieces(FileSink& output, const std::vector<HeapBlock>& pieces, uint64_t size);
void CopyPieces(const std::vector<HeapBlock>& pieces, uint64_t size, uint8_t* block);
