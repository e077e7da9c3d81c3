// Extraction of a listed entry's decoded bytes into a file or into a memory
// block handed to the host (see document/extraction.h for where the bytes
// come from).
//
// An extraction takes the archive's current entry (the one whose header was
// read last) when there is one, whatever name the host passes: hosts let the
// user rename the target, and the name then no longer says which entry is
// meant. Only without a current entry does the number in the name decide.
// Either way the extraction uses the current entry up.
//
// After each write the host's progress callback is told the bytes written;
// an answer of 0 cancels: the file goes and the answer is 21. No answer but
// 0 leaves a file behind.
#pragma once

#include <cstddef>
#include <cstdint>

#include "document/archive.h"
#include "platform/win32.h"

// Units of the destination path, terminator included.
constexpr size_t DestinationPathUnits = 260;
// Bytes the ExtractBlock adds to the decoded length: the 64-bit length in front
// and 8 zero bytes behind.
constexpr uint64_t ExtractBlockOverhead = 16;

// Host codes 0, 11, 12, 13, 15, 16, 19 or 21. Either text may be null.
int ExtractToFile(uintptr_t handle, const WCHAR* directory, const WCHAR* name);
// Host codes 0, 11, 12, 13, 15 or 21. `resultSlot` is the address of the
// caller's pointer-sized variable; on 0 it holds the ExtractBlock's address.
// A null slot answers 15 and touches nothing.
int ExtractToMemory(uintptr_t handle, void* resultSlot, const WCHAR* name);

// directory + separator + name into `buffer` when they fit whole in
// capacity - 1 units and a terminator; otherwise an empty text and false. No
// separator is added after an empty directory or one that ends in '\' or '/',
// nor before an empty name.
bool JoinPath(WCHAR* buffer, size_t capacity, const WCHAR* directory, const WCHAR* name);
// The dot that starts the extension of the path's last component, or the
// terminator when that component has none.
const WCHAR* FindExtension(const WCHAR* path);
// The first listed row whose object number the name carries in the digits
// after its last '-' and before its extension, or -1.
int64_t FindEntryByName(Archive& archive, const WCHAR* name);
// The count a progress callback receives: never negative, pinned at 2^31 - 1.
int ProgressCount(uint64_t byteCount);
