// Filling the host's header records for one listed entry. Each filler writes
// the name, sizes, time stamp and attributes and not one other byte of the
// host's record.
#pragma once

#include <cstddef>
#include <cstdint>

#include "document/archive.h"
#include "plugin/exports.h"

// Results of FormatWide, in HRESULT numbering.
constexpr uint32_t FormatOk = 0;
constexpr uint32_t FormatInvalidArgument = 0x80070057u;  // E_INVALIDARG: capacity 0 or above 2^31 - 1
constexpr uint32_t FormatTruncated = 0x8007007Au;        // the text was cut to capacity - 1 units

// Units of the buffer an entry's name is formatted into.
constexpr size_t EntryNameUnits = 260;

// Bounded wide formatting ("%s" takes a UTF-16 text). Unless the capacity is
// refused, the destination always ends up terminated within its capacity.
uint32_t FormatWide(WCHAR* destination, size_t capacity, const WCHAR* format, ...);

// The entry's name, "object-stream-00000012.jpg", formatted into `name`.
void FormatEntryName(const StreamEntry& entry, WCHAR (&name)[EntryNameUnits]);

// The entry's decoded length, whole.
uint64_t EntrySize(const StreamEntry& entry);

// What the records carry as the entries' time stamp and attributes. On Windows
// the DOS date and time and FILE_ATTRIBUTE_ARCHIVE; Linux hosts read the time
// stamp as seconds since 1970 and the attributes as a file mode.
uint32_t HeaderTimeStamp(const PdfArchive& archive);
#ifdef _WIN32
constexpr uint32_t HeaderAttributes = 32;
#else
constexpr uint32_t HeaderAttributes = 0100644;
#endif

void FillHeader(const StreamEntry& entry, HeaderRecord& record, uint32_t timeStamp);
void FillHeaderEx(const StreamEntry& entry, HeaderRecordEx& record, uint32_t timeStamp);
void FillHeaderExW(const StreamEntry& entry, HeaderRecordExW& record, uint32_t timeStamp);
