#include "plugin/listing.h"

namespace {

constexpr int HeaderNameBytes = 260;
constexpr int HeaderExNameBytes = 1024;
constexpr size_t HeaderExWNameUnits = 1024;
// Digits the object number is padded to.
constexpr int NumberDigits = 8;
constexpr WCHAR NamePrefix[] = WIDE("object-stream-");

void StoreSize64(uint32_t& low, uint32_t& high, uint64_t value) {
    low = static_cast<uint32_t>(value);
    high = static_cast<uint32_t>(value >> 32);
}

#ifdef _WIN32
// The local time of a file time. When a conversion fails (the zero file time
// in a zone west of UTC has no local time), the UTC time stands in, and when
// even that fails the zero file time, 1 January 1601 00:00:00, does.
SYSTEMTIME LocalTimeOf(FILETIME fileTime) {
    SYSTEMTIME universal{};
    if (!FileTimeToSystemTime(&fileTime, &universal)) {
        universal = SYSTEMTIME{};
        universal.wYear = 1601;
        universal.wMonth = 1;
        universal.wDay = 1;
        return universal;
    }
    SYSTEMTIME local{};
    if (!SystemTimeToTzSpecificLocalTime(nullptr, &universal, &local)) return universal;
    return local;
}
#endif

}  // namespace

const WCHAR* ExtensionOf(ContentKind kind) {
    switch (kind) {
    case ContentKind::Xml: return WIDE(".xml");
    case ContentKind::Tiff: return WIDE(".tif");
    case ContentKind::Pbm: return WIDE(".pbm");
    case ContentKind::Jpeg: return WIDE(".jpg");
    case ContentKind::Pdf: return WIDE(".pdf");
    case ContentKind::Png: return WIDE(".png");
    case ContentKind::Gif: return WIDE(".gif");
    case ContentKind::Zip: return WIDE(".zip");
    case ContentKind::Jp2: return WIDE(".jp2");
    case ContentKind::J2c: return WIDE(".j2c");
    case ContentKind::Ttf: return WIDE(".ttf");
    case ContentKind::Otf: return WIDE(".otf");
    case ContentKind::Cff: return WIDE(".cff");
    case ContentKind::Pfa: return WIDE(".pfa");
    case ContentKind::Icc: return WIDE(".icc");
    case ContentKind::Text: return WIDE(".txt");
    case ContentKind::Html: return WIDE(".html");
    case ContentKind::Csv: return WIDE(".csv");
    case ContentKind::Json: return WIDE(".json");
    case ContentKind::Svg: return WIDE(".svg");
    case ContentKind::Bmp: return WIDE(".bmp");
    case ContentKind::Rtf: return WIDE(".rtf");
    case ContentKind::Doc: return WIDE(".doc");
    case ContentKind::Docx: return WIDE(".docx");
    case ContentKind::Xls: return WIDE(".xls");
    case ContentKind::Xlsx: return WIDE(".xlsx");
    case ContentKind::Ppt: return WIDE(".ppt");
    case ContentKind::Pptx: return WIDE(".pptx");
    case ContentKind::Odt: return WIDE(".odt");
    case ContentKind::Ods: return WIDE(".ods");
    case ContentKind::Odp: return WIDE(".odp");
    case ContentKind::Mp3: return WIDE(".mp3");
    case ContentKind::Mp4: return WIDE(".mp4");
    case ContentKind::Wav: return WIDE(".wav");
    case ContentKind::Data: break;
    }
    return WIDE(".dat");
}

void FormatEntryName(const EntryRow& entry, WCHAR (&name)[EntryNameUnits]) {
    size_t length = 0;
    for (const WCHAR* unit = NamePrefix; *unit != 0; ++unit) name[length++] = *unit;
    WCHAR digits[16];
    int count = 0;
    for (uint32_t number = entry.objectNumber; number != 0 || count < NumberDigits; number /= 10) {
        digits[count++] = static_cast<WCHAR>(WIDE('0') + number % 10);
    }
    while (count > 0) name[length++] = digits[--count];
    for (const WCHAR* unit = ExtensionOf(entry.kind); *unit != 0; ++unit) name[length++] = *unit;
    name[length] = 0;
}

uint32_t PackDosDateTime(const SYSTEMTIME& localTime) {
    const uint32_t year = static_cast<uint32_t>(localTime.wYear - 1980) & 0x7Fu;
    return year << 25 | (localTime.wMonth & 0xFu) << 21 | (localTime.wDay & 0x1Fu) << 16 |
           (localTime.wHour & 0x1Fu) << 11 | (localTime.wMinute & 0x3Fu) << 5 | ((localTime.wSecond / 2u) & 0x1Fu);
}

uint32_t HeaderTimeStamp(FILETIME lastWriteTime) {
#ifdef _WIN32
    return PackDosDateTime(LocalTimeOf(lastWriteTime));
#else
    const uint64_t ticks = (uint64_t{lastWriteTime.dwHighDateTime} << 32) | lastWriteTime.dwLowDateTime;
    const int64_t seconds = static_cast<int64_t>(ticks / FileTimeTicksPerSecond) - FileTimeSecondsBefore1970;
    // The field has 32 bits: times before 1970 or after 2106 are pinned to its ends.
    if (seconds < 0) return 0;
    if (seconds > INT64_C(0xFFFFFFFF)) return UINT32_MAX;
    return static_cast<uint32_t>(seconds);
#endif
}

void FillHeader(const EntryRow& entry, HeaderRecord& record, uint32_t timeStamp) {
    WCHAR name[EntryNameUnits];
    FormatEntryName(entry, name);
    WideCharToMultiByte(CP_ACP, WC_COMPOSITECHECK, name, -1, record.entryName, HeaderNameBytes, nullptr, nullptr);
    record.timeStamp = timeStamp;
    record.packedSize = 0;
    record.attributes = HeaderAttributes;
    // This record has 32 bits for the size: a larger one is pinned to their
    // largest value, since its low bits would show a small file.
    record.unpackedSize = entry.decodedSize > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(entry.decodedSize);
}

void FillHeaderEx(const EntryRow& entry, HeaderRecordEx& record, uint32_t timeStamp) {
    WCHAR name[EntryNameUnits];
    FormatEntryName(entry, name);
    WideCharToMultiByte(CP_ACP, WC_COMPOSITECHECK, name, -1, record.entryName, HeaderExNameBytes, nullptr,
                        nullptr);
    record.timeStamp = timeStamp;
    StoreSize64(record.packedSize, record.packedSizeHigh, 0);
    record.attributes = HeaderAttributes;
    StoreSize64(record.unpackedSize, record.unpackedSizeHigh, entry.decodedSize);
}

void FillHeaderExW(const EntryRow& entry, HeaderRecordExW& record, uint32_t timeStamp) {
    WCHAR name[EntryNameUnits];
    FormatEntryName(entry, name);
    size_t copied = 0;
    while (copied < HeaderExWNameUnits - 1 && name[copied] != 0) {
        record.entryName[copied] = name[copied];
        ++copied;
    }
    record.entryName[copied] = 0;
    record.timeStamp = timeStamp;
    StoreSize64(record.packedSize, record.packedSizeHigh, 0);
    record.attributes = HeaderAttributes;
    StoreSize64(record.unpackedSize, record.unpackedSizeHigh, entry.decodedSize);
}
