// Making an archive's entries: the scan runs in document order, one stream
// at a time, and each stream found is decoded as a job on a pool of threads.
// Entries are filed in scan order whatever order the jobs finish in, so the
// table is the same for every number of threads.
//
// The pool outlives the open: it starts when the document is opened and
// decodes while the host reads the headers and extracts, and the host's own
// thread decodes too while a header call waits for its entry. It stops, and
// its threads are joined, when the archive goes.
#pragma once

#include <cstdint>

#include "document/archive.h"

// Most threads an open decodes on.
constexpr uint32_t MaxDecodeThreads = 16;

// Starts making the entries: `archive.settings.threads` - 1 workers begin
// now, and the host's header calls decode beside them; with 1 no thread is
// started and the header calls decode everything. A job holds its steps'
// windows, never a whole entry: it keeps the decoded bytes only while they
// fit in KeptEntryLimit, holds them ahead of their extraction within
// DecodeAheadBytes, and otherwise counts them.
//
// Which entries keep their bytes depends on their sizes in scan order alone:
// an entry keeps them when it is no bigger than KeptEntryLimit and fits in
// what is left of the archive's budget share; the first such entry that does
// not fit ends the keeping for the rest. Views of the stored bytes and empty
// entries cost nothing and are always kept. Kept bytes go, and their block is
// reused, once the host passes their entry (HandOutNextEntry of a later row).
// Which entries are held ahead depends on timing, never what they hold.
//
// A stream whose data is invalid is left out. A job that runs out of memory
// is run again while no other job runs, then once more after the entries
// have given up the bytes they keep; if memory is still short, the table
// ends there with OutOfMemory, and the header call that reaches that point
// says so. OutOfMemory when the pool itself cannot be made; never throws.
Status StartEntries(Archive& archive);
// Makes the rest of the entries on the calling thread and the workers, then
// stops the pool: every thread is joined before it returns.
void FinishEntries(Archive& archive);
// StartEntries, then FinishEntries.
void MakeEntries(Archive& archive);

// The row after the last one handed out, now handed out itself and found by
// its number from then on: the calling thread decodes while it waits for the
// pool to file it. -1 when the table ends there; archive.tableStatus then
// says whether it is complete (End) or could not go on (OutOfMemory).
int64_t HandOutNextEntry(Archive& archive);
