// Flate ("FlateDecode"): a zlib stream inflated by zlib; whole-buffer, one call.
// In: input.begin..input.end (the cursor is not used). Out: `output`, empty when
// called; on success begin..end is exactly the inflated data. The first capacity
// is four times the input, doubled until the data fits, inflating on in one
// pass; the block then gives back what it did not use.
// A stream cut short after its first byte yields what it inflates to.
// Returns 0; 777 when zlib cannot start; 1392 for corrupt data (bad header,
// bad data, Adler-32 mismatch, preset dictionary, no progress); or the error
// of Reserve (8 out of memory, also when the output would outgrow the
// largest block the platform can address).
#pragma once

#include <cstdint>

#include "decode/byte_buffer.h"

uint32_t DecodeFlate(ByteBuffer& output, ByteBuffer& input);

// The sizing arithmetic, kept apart so that sizes beyond 4 GiB can be checked
// without allocating them.

// Largest block size the output may grow to.
uint64_t FlateCapacityLimit();
// Page contents and most images inflate to less than four times their size,
// so their block is reserved once and never grows.
constexpr uint64_t FlateFirstExpansion = 4;
// The first capacity: four times the input length, at most the limit.
uint64_t FlateFirstCapacity(uint64_t inputLength);
// The capacity after `capacity`: doubled, at most the limit; 0 when `capacity`
// is already the limit.
uint64_t FlateNextCapacity(uint64_t capacity);
// How much of `remaining` bytes one zlib call may be handed: zlib counts in
// 32 bits, and `window` caps it further.
uint32_t FlateWindow(uint64_t remaining, uint32_t window);

// DecodeFlate with every input and output window handed to zlib capped at
// `window` bytes (DecodeFlate uses the 32-bit maximum). Lets the paths that
// feed zlib in pieces run on small data.
uint32_t DecodeFlateInWindows(ByteBuffer& output, ByteBuffer& input, uint32_t window);
