// Making an archive's entries while it is opened: the scan runs in document
// order, one stream at a time, and each stream found is decoded as a job on
// a pool of threads. Entries are linked in scan order whatever order the
// jobs finish in, so the list is the same for every number of threads.
#pragma once

#include <cstdint>

#include "document/archive.h"

// Most threads an open decodes on.
constexpr uint32_t MaxDecodeThreads = 16;

// Scans the whole document and links an entry for every stream that decodes,
// in scan order. Runs on the calling thread plus up to `threads` - 1 workers,
// all joined before it returns; with 1 no thread is started. A stream that
// fails to decode is left out; when memory runs out for an entry (or for the
// LZW table), the list ends there, as if the document ended. With more than
// one thread, a job that ran out of memory is run again on its own, while no
// other job runs, before its outcome counts. Never throws.
void MakeEntries(PdfArchive& archive, uint32_t threads);
