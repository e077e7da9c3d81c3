// Opening a document: the file is mapped, recognised by content and, for an
// open, copied into a new archive; the file is closed again before returning.
#include <cstring>

#include "decode/byte_buffer.h"
#include "document/archive.h"
#include "platform/handle_guards.h"

namespace {

// Smaller files cannot hold a useful document; they are turned away unread.
constexpr int64_t MinimumFileSize = 768;
constexpr char HeaderSignature[] = "%PDF-1.";
constexpr uint64_t HeaderSignatureLength = sizeof(HeaderSignature) - 1;
constexpr char EndMarker[] = "%%EOF";
constexpr uint64_t EndMarkerLength = sizeof(EndMarker) - 1;
// How far from the end the marker may start: the last 36 bytes of the file.
constexpr uint64_t EndMarkerSearchBytes = 36;

}  // namespace

OpenOutcome OpenPdfFile(const WCHAR* path, bool checkOnly) {
    FileHandle file(CreateFileW(path, FILE_READ_DATA, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file.Valid()) return {false, nullptr};
    // An unreadable time stays the zero file time.
    FILETIME lastWriteTime{};
    GetFileTime(file.Get(), nullptr, nullptr, &lastWriteTime);
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.Get(), &size) || size.QuadPart < MinimumFileSize) return {false, nullptr};
    MappingHandle mapping(CreateFileMappingW(file.Get(), nullptr, PAGE_READONLY, 0, 0, nullptr));
    if (!mapping.Valid()) return {false, nullptr};
    MappedView view(MapViewOfFile(mapping.Get(), FILE_MAP_READ, 0, 0, 0));
    if (view.Bytes() == nullptr) return {false, nullptr};
    return ValidatePdf(view.Bytes(), static_cast<uint64_t>(size.QuadPart), lastWriteTime, checkOnly);
}

OpenOutcome ValidatePdf(const uint8_t* bytes, uint64_t size, FILETIME lastWriteTime, bool checkOnly) {
    ByteBuffer file;
    ByteBufferGuard fileGuard(file);
    file.Attach(bytes, bytes + size, false);
    if (size < HeaderSignatureLength || std::memcmp(bytes, HeaderSignature, HeaderSignatureLength) != 0) {
        return {false, nullptr};
    }
    const uint8_t* regionStart = file.ReadLine(nullptr, 0);
    if (regionStart == nullptr) return {false, nullptr};

    // The marker nearest the end wins; without one the body runs to the end.
    const uint8_t* regionEnd = bytes + size;
    for (uint64_t back = EndMarkerLength; back <= EndMarkerSearchBytes && back <= size; ++back) {
        const uint8_t* candidate = bytes + size - back;
        if (std::memcmp(candidate, EndMarker, EndMarkerLength) == 0) {
            regionEnd = candidate;
            break;
        }
    }
    if (regionEnd <= regionStart) return {false, nullptr};
    if (checkOnly) return {true, nullptr};
    PdfArchive* archive = CreateArchive(regionStart, regionEnd, lastWriteTime);
    return {archive != nullptr, archive};
}
