// Opening a document: the file is mapped and recognised by content and, for
// an open, its body is read into a new archive; the file is closed again
// before returning. Reading rather than copying from the mapping spares
// mapping every page of the file, and a file cut short meanwhile only fails.
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
// The body is read in requests of this size.
constexpr uint64_t ReadChunkBytes = uint64_t{64} << 20;

}  // namespace

bool ReadFileRange(HANDLE file, uint64_t offset, uint64_t length, uint8_t* destination, uint64_t chunkBytes) {
    if (chunkBytes == 0 || chunkBytes > UINT32_MAX) return false;
    while (length > 0) {
        const uint64_t chunk = length < chunkBytes ? length : chunkBytes;
        OVERLAPPED at{};
        at.Offset = static_cast<DWORD>(offset);
        at.OffsetHigh = static_cast<DWORD>(offset >> 32);
        DWORD read = 0;
        if (!ReadFile(file, destination, static_cast<DWORD>(chunk), &read, &at) || read != chunk) return false;
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
        !ReadFileRange(file.Get(), bodyStart, bodyEnd - bodyStart, body.begin, ReadChunkBytes)) {
        return {false, nullptr};
    }
    PdfArchive* archive = AdoptArchiveBody(body, lastWriteTime);
    return {archive != nullptr, archive};
}

Status ReadArchiveSecurity(PdfArchive& archive, std::string_view password) {
    const std::string_view body(reinterpret_cast<const char*>(archive.data.begin), archive.data.Size());
    return OpenSecurity(body, password, archive.security);
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
