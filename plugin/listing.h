// Filling the host's header records for one listed entry. Each filler writes
// the name, sizes, time stamp and attributes and not one other byte of the
// host's record.
#pragma once

#include <cstddef>
#include <cstdint>

#include "document/archive.h"
#include "plugin/exports.h"

// Units of the buffer an entry's name is formatted into.
constexpr size_t EntryNameUnits = 260;

// The extension the host sees for a kind of content.
const WCHAR* ExtensionOf(ContentKind kind);
// The entry's name, "object-stream-00000012.jpg": the object number with at
// least eight digits, and the extension of its content.
void FormatEntryName(const EntryRow& entry, WCHAR (&name)[EntryNameUnits]);

// What the records carry as the entries' time stamp and attributes. On Windows
// the file's last-write time as a local DOS date and time, and
// FILE_ATTRIBUTE_ARCHIVE; Linux hosts read the time stamp as seconds since
// 1970 and the attributes as a file mode.
uint32_t HeaderTimeStamp(FILETIME lastWriteTime);
// Packs a local time as a DOS date (high 16 bits) and time (low 16 bits).
uint32_t PackDosDateTime(const SYSTEMTIME& localTime);
#ifdef _WIN32
constexpr uint32_t HeaderAttributes = 32;
#else
constexpr uint32_t HeaderAttributes = 0100644;
#endif

void FillHeader(const EntryRow& entry, HeaderRecord& record, uint32_t timeStamp);
void FillHeaderEx(const EntryRow& entry, HeaderRecordEx& record, uint32_t timeStamp);
void FillHeaderExW(const EntryRow& entry, HeaderRecordExW& record, uint32_t timeStamp);
