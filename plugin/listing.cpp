#include "plugin/listing.h"

#include <cstdarg>
#include <cstdint>

namespace {

constexpr size_t LargestCapacity = 2147483647;
constexpr int HeaderNameBytes = 260;
constexpr int HeaderExNameBytes = 1024;
constexpr size_t HeaderExWNameUnits = 1024;

void StoreSize64(uint32_t& low, uint32_t& high, uint64_t value) {
    low = static_cast<uint32_t>(value);
    high = static_cast<uint32_t>(value >> 32);
}

}  // namespace

uint32_t FormatWide(WCHAR* destination, size_t capacity, const WCHAR* format, ...) {
    if (capacity == 0 || capacity > LargestCapacity) return FormatInvalidArgument;
    va_list arguments;
    va_start(arguments, format);
    int written = _vsnwprintf(destination, capacity - 1, format, arguments);
    va_end(arguments);
    // The runtime terminates only when there is room, and answers -1 when the
    // text did not fit; either way the last unit gets a terminator here.
    if (written < 0 || static_cast<size_t>(written) > capacity - 1) {
        destination[capacity - 1] = 0;
        return FormatTruncated;
    }
    destination[written] = 0;
    return FormatOk;
}

void FormatEntryName(const StreamEntry& entry, WCHAR (&name)[EntryNameUnits]) {
    FormatWide(name, EntryNameUnits, WIDE("object-%s-%08u%s"), entry.typeWord, entry.objectNumber, entry.extension);
}

uint64_t EntrySize(const StreamEntry& entry) { return entry.decodedSize; }

uint32_t HeaderTimeStamp(const PdfArchive& archive) {
#ifdef _WIN32
    return archive.dosDateTime;
#else
    // The field has 32 bits: times before 1970 or after 2106 are pinned to its ends.
    if (archive.lastWriteUnixTime < 0) return 0;
    if (archive.lastWriteUnixTime > INT64_C(0xFFFFFFFF)) return UINT32_MAX;
    return static_cast<uint32_t>(archive.lastWriteUnixTime);
#endif
}

void FillHeader(const StreamEntry& entry, HeaderRecord& record, uint32_t timeStamp) {
    WCHAR name[EntryNameUnits];
    FormatEntryName(entry, name);
    WideCharToMultiByte(CP_ACP, WC_COMPOSITECHECK, name, -1, record.entryName, HeaderNameBytes, nullptr, nullptr);
    record.timeStamp = timeStamp;
    record.packedSize = entry.packedSize;
    record.attributes = HeaderAttributes;
    // This record has room for the low 32 bits only.
    record.unpackedSize = static_cast<uint32_t>(EntrySize(entry));
}

void FillHeaderEx(const StreamEntry& entry, HeaderRecordEx& record, uint32_t timeStamp) {
    WCHAR name[EntryNameUnits];
    FormatEntryName(entry, name);
    WideCharToMultiByte(CP_ACP, WC_COMPOSITECHECK, name, -1, record.entryName, HeaderExNameBytes, nullptr,
                        nullptr);
    record.timeStamp = timeStamp;
    StoreSize64(record.packedSize, record.packedSizeHigh, entry.packedSize);
    record.attributes = HeaderAttributes;
    StoreSize64(record.unpackedSize, record.unpackedSizeHigh, EntrySize(entry));
}

void FillHeaderExW(const StreamEntry& entry, HeaderRecordExW& record, uint32_t timeStamp) {
    WCHAR name[EntryNameUnits];
    FormatEntryName(entry, name);
    size_t copied = 0;
    while (copied < HeaderExWNameUnits - 1 && name[copied] != 0) {
        record.entryName[copied] = name[copied];
        ++copied;
    }
    record.entryName[copied] = 0;
    record.timeStamp = timeStamp;
    StoreSize64(record.packedSize, record.packedSizeHigh, entry.packedSize);
    record.attributes = HeaderAttributes;
    StoreSize64(record.unpackedSize, record.unpackedSizeHigh, EntrySize(entry));
}
