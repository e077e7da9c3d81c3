// Extraction of a listed entry's decoded bytes into a file or into a memory
// block handed to the host. The bytes are those the entry kept when it was
// listed, or, past the memory budget, decoded again (see entry_bytes.h).
//
// An extraction takes the archive's current entry (the one whose header was
// read last) when there is one, whatever name the host passes: hosts let the
// user rename the target, and the name then no longer says which entry is
// meant. Only without a current entry does the number in the name decide.
// Either way the extraction uses the current entry up.
#pragma once

#include <cstddef>
#include <cstdint>

#include "document/archive.h"
#include "platform/win32.h"

// Units of the destination path, terminator included.
constexpr size_t DestinationPathUnits = 260;
// Bytes written to a file per WriteFile call, each followed by a progress report.
constexpr uint32_t ExtractChunkBytes = 65536;
// Bytes the ExtractBlock adds to the decoded length: the 64-bit length in front
// and 8 zero bytes behind.
constexpr uint64_t ExtractBlockOverhead = 16;

// Host codes 0, 11 (the bytes could not be produced: no file is made), 13,
// 15, 16 or 19 (the cut file is deleted). Either text may be null.
int ExtractToFile(uintptr_t handle, const WCHAR* directory, const WCHAR* name);
// Host codes 0, 11, 13 or 15. `resultSlot` is the address of the caller's
// pointer-sized variable; on 0 it holds the ExtractBlock's address. A null
// slot answers 15 and touches nothing.
int ExtractToMemory(uintptr_t handle, void* resultSlot, const WCHAR* name);

// directory + separator + name into `buffer` when they fit whole in
// capacity - 1 units and a terminator; otherwise an empty text and false. No
// separator is added after an empty directory or one that ends in '\' or '/',
// nor before an empty name.
bool JoinPath(WCHAR* buffer, size_t capacity, const WCHAR* directory, const WCHAR* name);
// The dot that starts the extension of the path's last component, or the
// terminator when that component has none.
const WCHAR* FindExtension(const WCHAR* path);
// The first listed entry whose object number the name carries in the digits
// after its last '-' and before its extension, or null.
StreamEntry* FindEntryByName(PdfArchive& archive, const WCHAR* name);

// The count a progress callback receives: never negative, pinned at 2^31 - 1.
int ProgressCount(uint64_t byteCount);
// One progress report to the host's callback; its answer is not consulted.
void ReportProgress(const WCHAR* name, uint64_t byteCount);

// Feeds `length` bytes to `write(offset, size)` in chunks of at most
// ExtractChunkBytes, calling `report(size)` after each chunk written. Stops at
// the first chunk that `write` refuses; answers whether every chunk went out.
template <typename Write, typename Report>
bool WriteInChunks(uint64_t length, Write&& write, Report&& report) {
    uint64_t written = 0;
    while (written < length) {
        uint64_t remaining = length - written;
        uint32_t chunk = remaining < ExtractChunkBytes ? static_cast<uint32_t>(remaining) : ExtractChunkBytes;
        if (!write(written, chunk)) return false;
        written += chunk;
        report(chunk);
    }
    return true;
}
