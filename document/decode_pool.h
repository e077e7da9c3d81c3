// Making an archive's entries while it is opened: the scan runs in document
// order, one stream at a time, and each stream found is decoded as a job on
// a pool of threads. Entries are linked in scan order whatever order the
// jobs finish in, so the list is the same for every number of threads.
#pragma once

#include <cstdint>

#include "document/archive.h"

// Most threads an open decodes on.
constexpr uint32_t MaxDecodeThreads = 16;
// Decoded bytes that finished jobs may hold while they wait for an earlier,
// slower one to be filed; it is the margin of memory over the budget.
constexpr uint64_t DecodedAheadAllowance = uint64_t{32} << 20;

// Scans the whole document and links an entry for every stream that decodes,
// in scan order, and records the settings in the archive. Runs on the calling
// thread plus up to `settings.threads` - 1 workers, all joined before it
// returns; with 1 no thread is started. An entry keeps its decoded bytes
// while they fit in what is left of the budget, charged in scan order (so
// which entries keep theirs does not depend on timing); the others are
// decoded again when they are extracted. A stream that fails to decode is
// left out; when memory runs out for an entry (or for the LZW table), the
// list ends there, as if the document ended. A job that ran out of memory is
// run again on its own, while no other job runs (with more than one thread),
// and then once more after every entry has given its kept bytes up, before
// its outcome counts. Never throws.
void MakeEntries(PdfArchive& archive, DecodeSettings settings);
