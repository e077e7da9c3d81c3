// The decoded bytes of one entry for one extraction, into a file or into a
// block of its exact size. An entry that keeps its bytes is written straight
// from them; any other is taken from the bytes held ahead for it (by the
// pool or by the previous extraction's helpers), or decoded again through the
// chain into the destination, holding its windows and never the whole entry.
//
// Hosts extract in listing order, so while the caller writes one entry out,
// helper threads decode the next entries that are not kept and not held
// yet, each into a block of its size, within what the archive may hold
// ahead (decoded_ahead.h); they are joined before the extraction returns.
// Reading ahead never makes the entry asked for fail: when memory runs short,
// the helpers stop, what is held ahead is dropped, and the entry is decoded
// again alone.
#pragma once

#include <cstddef>
#include <cstdint>

#include "document/archive.h"
#include "document/sinks.h"

// Entries held ahead per decode thread that an extraction's helpers fill up to.
constexpr size_t ReadAheadEntriesPerThread = 16;

// Writes the entry of `row` into the file sink. Answers Ok; OutOfMemory;
// InvalidData should decoding not give the listed bytes again; or the sink's
// IoError or Aborted.
Status ExtractEntryToFile(Archive& archive, uint32_t row, FileSink& output);
// Fills `block`, which holds the entry's decodedSize bytes, with its bytes.
// Answers Ok, OutOfMemory or InvalidData.
Status ExtractEntryToBlock(Archive& archive, uint32_t row, uint8_t* block);
