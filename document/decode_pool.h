// Making an archive's entries while it is opened: the scan runs in document
// order, one stream at a time, and each stream found is decoded as a job on
// a pool of threads. Entries are filed in scan order whatever order the jobs
// finish in, so the table is the same for every number of threads.
#pragma once

#include <cstdint>

#include "document/archive.h"

// Most threads an open decodes on.
constexpr uint32_t MaxDecodeThreads = 16;

// Scans the whole document and files an entry for every stream that
// decodes, in scan order. Runs on the calling thread plus
// `archive.settings.threads` - 1 workers, all joined before it returns;
// with 1 no thread is started. A job holds its steps' windows, never a whole
// entry: it counts the decoded bytes, and keeps them only while they fit in
// KeptEntryLimit.
//
// Which entries keep their bytes depends on their sizes in scan order alone:
// an entry keeps them when it is no bigger than KeptEntryLimit and fits in
// what is left of the archive's budget share; the first such entry that does
// not fit ends the keeping for the rest. Views of the stored bytes and empty
// entries cost nothing and are always kept.
//
// A stream whose data is invalid is left out. A job that runs out of memory
// is run again while no other job runs, then once more after the entries
// have given up the bytes they keep; if memory is still short, the table
// ends there, as if the document ended. Never throws.
void MakeEntries(Archive& archive);
