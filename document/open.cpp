// Opening a document: the file is mapped, recognised by content and, for an
// open, copied into a new archive; the file is closed again before returning.
#include <cstring>

#include "decode/byte_buffer.h"
#include "decode/results.h"
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
// The body is copied through views of this size, each unmapped before the
// next, so that the file's pages and the copy are never all resident at once.
constexpr uint64_t CopyViewBytes = uint64_t{64} << 20;

}  // namespace

bool CopyThroughViews(HANDLE mapping, uint64_t fileSize, uint64_t offset, uint64_t length, uint8_t* destination,
                      uint64_t viewBytes) {
    if (viewBytes == 0 || viewBytes % ViewGranularity != 0 || offset > fileSize || length > fileSize - offset) {
        return false;
    }
    while (length > 0) {
        const uint64_t viewStart = offset / ViewGranularity * ViewGranularity;
        const uint64_t viewEnd = fileSize - viewStart < viewBytes ? fileSize : viewStart + viewBytes;
        MappedView view(MapViewOfFile(mapping, FILE_MAP_READ, static_cast<DWORD>(viewStart >> 32),
                                      static_cast<DWORD>(viewStart), static_cast<SIZE_T>(viewEnd - viewStart)));
        if (view.Bytes() == nullptr) return false;
        const uint64_t chunk = length < viewEnd - offset ? length : viewEnd - offset;
        std::memcpy(destination, view.Bytes() + (offset - viewStart), static_cast<size_t>(chunk));
        destination += chunk;
        offset += chunk;
        length -= chunk;
    }
    return true;
}

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
    const uint64_t fileSize = static_cast<uint64_t>(size.QuadPart);
    uint64_t bodyStart = 0;
    uint64_t bodyEnd = 0;
    {
        // Checking reads the first line and the end only.
        MappedView view(MapViewOfFile(mapping.Get(), FILE_MAP_READ, 0, 0, 0));
        if (view.Bytes() == nullptr || !FindDocumentBody(view.Bytes(), fileSize, bodyStart, bodyEnd)) {
            return {false, nullptr};
        }
    }
    if (checkOnly) return {true, nullptr};
    ByteBuffer body;
    ByteBufferGuard bodyGuard(body);
    if (body.Reserve(bodyEnd - bodyStart) != ResultOk ||
        !CopyThroughViews(mapping.Get(), fileSize, bodyStart, bodyEnd - bodyStart, body.begin, CopyViewBytes)) {
        return {false, nullptr};
    }
    PdfArchive* archive = AdoptArchiveBody(body, lastWriteTime);
    return {archive != nullptr, archive};
}

bool FindDocumentBody(const uint8_t* bytes, uint64_t size, uint64_t& bodyStart, uint64_t& bodyEnd) {
    if (size < HeaderSignatureLength || std::memcmp(bytes, HeaderSignature, HeaderSignatureLength) != 0) return false;
    ByteBuffer file;
    file.Attach(bytes, bytes + size, false);
    const uint8_t* regionStart = file.ReadLine(nullptr, 0);
    if (regionStart == nullptr) return false;

    // The marker nearest the end wins; without one the body runs to the end.
    const uint8_t* regionEnd = bytes + size;
    for (uint64_t back = EndMarkerLength; back <= EndMarkerSearchBytes && back <= size; ++back) {
        const uint8_t* candidate = bytes + size - back;
        if (std::memcmp(candidate, EndMarker, EndMarkerLength) == 0) {
            regionEnd = candidate;
            break;
        }
    }
    if (regionEnd <= regionStart) return false;
    bodyStart = static_cast<uint64_t>(regionStart - bytes);
    bodyEnd = static_cast<uint64_t>(regionEnd - bytes);
    return true;
}

OpenOutcome ValidatePdf(const uint8_t* bytes, uint64_t size, FILETIME lastWriteTime, bool checkOnly) {
    uint64_t bodyStart = 0;
    uint64_t bodyEnd = 0;
    if (!FindDocumentBody(bytes, size, bodyStart, bodyEnd)) return {false, nullptr};
    if (checkOnly) return {true, nullptr};
    PdfArchive* archive = CreateArchive(bytes + bodyStart, bytes + bodyEnd, lastWriteTime);
    return {archive != nullptr, archive};
}
