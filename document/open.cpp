// Opening a document. The file is mapped only to check its first line and
// its end; an open then reads the body with ReadFile, which spares mapping
// every page of the file, and a file cut short meanwhile only fails.
#include "document/open.h"

#include <cstring>
#include <new>

#include "document/decode_pool.h"
#include "document/scanner.h"
#include "platform/handle_guards.h"

namespace {

constexpr char HeaderSignature[] = "%PDF-1.";
constexpr uint64_t HeaderSignatureLength = sizeof(HeaderSignature) - 1;
constexpr char LaterHeaderSignature[] = "%PDF-2.";
constexpr char EndMarker[] = "%%EOF";
constexpr uint64_t EndMarkerLength = sizeof(EndMarker) - 1;
// How far from the end the marker may start: the last 36 bytes of the file.
constexpr uint64_t EndMarkerSearchBytes = 36;
// The body is read in requests of this size.
constexpr uint64_t ReadChunkBytes = uint64_t{64} << 20;

// The position after the first line: its CR LF, CR or LF, or the "<<" that
// ends it (left unread); null when no line ends.
const uint8_t* AfterFirstLine(const uint8_t* bytes, uint64_t size) {
    for (uint64_t i = 0; i < size; ++i) {
        const uint64_t remaining = size - i;
        if (remaining >= 2 && bytes[i] == '<' && bytes[i + 1] == '<') return bytes + i;
        if (remaining >= 2 && bytes[i] == '\r' && bytes[i + 1] == '\n') return bytes + i + 2;
        if (bytes[i] == '\n' || bytes[i] == '\r') return bytes + i + 1;
    }
    return nullptr;
}

OpenOutcome Refused(Status status, NotPdfReason reason = NotPdfReason::None) {
    OpenOutcome outcome;
    outcome.status = status;
    outcome.reason = reason;
    return outcome;
}

OpenOutcome SystemRefused() {
    OpenOutcome outcome;
    outcome.status = Status::IoError;
    outcome.systemError = GetLastError();
    return outcome;
}

// An open file: its time, its size and where its body lies.
struct CheckedFile {
    FILETIME lastWriteTime{};
    uint64_t bodyStart = 0;
    uint64_t bodyEnd = 0;
};

OpenOutcome CheckFile(HANDLE file, CheckedFile& checked) {
    // An unreadable time stays the zero file time.
    GetFileTime(file, nullptr, nullptr, &checked.lastWriteTime);
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file, &size)) return SystemRefused();
    if (size.QuadPart < MinimumFileSize) return Refused(Status::NotPdf, NotPdfReason::TooSmall);
    MappingHandle mapping(CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 0, nullptr));
    if (!mapping.Valid()) return SystemRefused();
    // Checking reads the first line and the end only.
    MappedView view(MapViewOfFile(mapping.Get(), FILE_MAP_READ, 0, 0, 0));
    if (view.Bytes() == nullptr) return SystemRefused();
    const NotPdfReason reason =
        FindDocumentBody(view.Bytes(), static_cast<uint64_t>(size.QuadPart), checked.bodyStart, checked.bodyEnd);
    if (reason != NotPdfReason::None) return Refused(Status::NotPdf, reason);
    return OpenOutcome{};
}

}  // namespace

NotPdfReason FindDocumentBody(const uint8_t* bytes, uint64_t size, uint64_t& bodyStart, uint64_t& bodyEnd) {
    if (size < HeaderSignatureLength || std::memcmp(bytes, HeaderSignature, HeaderSignatureLength) != 0) {
        const bool later = size >= HeaderSignatureLength && std::memcmp(bytes, LaterHeaderSignature, HeaderSignatureLength) == 0;
        return later ? NotPdfReason::Pdf2 : NotPdfReason::NoHeader;
    }
    const uint8_t* const regionStart = AfterFirstLine(bytes, size);
    if (regionStart == nullptr) return NotPdfReason::NoBody;

    // The marker nearest the end wins; without one the body runs to the end.
    const uint8_t* regionEnd = bytes + size;
    for (uint64_t back = EndMarkerLength; back <= EndMarkerSearchBytes && back <= size; ++back) {
        const uint8_t* candidate = bytes + size - back;
        if (std::memcmp(candidate, EndMarker, EndMarkerLength) == 0) {
            regionEnd = candidate;
            break;
        }
    }
    if (regionEnd <= regionStart) return NotPdfReason::NoBody;
    bodyStart = static_cast<uint64_t>(regionStart - bytes);
    bodyEnd = static_cast<uint64_t>(regionEnd - bytes);
    return NotPdfReason::None;
}

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

OpenOutcome CheckDocument(const WCHAR* path) {
    FileHandle file(CreateFileW(path, FILE_READ_DATA, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file.Valid()) return SystemRefused();
    CheckedFile checked;
    return CheckFile(file.Get(), checked);
}

OpenOutcome ReadDocument(const WCHAR* path, const OpenRequest& request, std::unique_ptr<Archive>& archive) {
    archive.reset();
    std::unique_ptr<Archive> opened;
    try {
        // The record's containers may allocate as they are made.
        opened.reset(new Archive);
    } catch (const std::bad_alloc&) {
        return Refused(Status::OutOfMemory);
    }
    {
        FileHandle file(CreateFileW(path, FILE_READ_DATA, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
        if (!file.Valid()) return SystemRefused();
        CheckedFile checked;
        const OpenOutcome outcome = CheckFile(file.Get(), checked);
        if (outcome.status != Status::Ok) return outcome;
        const uint64_t bodySize = checked.bodyEnd - checked.bodyStart;
        if (!opened->body.Allocate(bodySize)) return Refused(Status::OutOfMemory);
        if (!ReadFileRange(file.Get(), checked.bodyStart, bodySize, opened->body.Data(), ReadChunkBytes)) {
            return SystemRefused();
        }
        opened->bodyOffset = checked.bodyStart;
        opened->lastWriteTime = checked.lastWriteTime;
    }
    Archive& target = *opened;
    StartScan(target.scan, target.body.Data(), target.body.Data() + target.body.Size());
    target.settings = request.settings;
    // An encrypted document that cannot be decrypted does not open: nothing
    // of it is listed, never its ciphertext.
    const std::string_view body(reinterpret_cast<const char*>(target.body.Data()), static_cast<size_t>(target.body.Size()));
    const Status secured = OpenSecurity(body, request.password, target.security);
    if (secured != Status::Ok) {
        OpenOutcome refused = Refused(secured);
        std::memcpy(refused.handler, target.security.handler, sizeof refused.handler);
        return refused;
    }
    archive = std::move(opened);
    return OpenOutcome{};
}

OpenOutcome OpenDocument(const WCHAR* path, const OpenRequest& request, std::unique_ptr<Archive>& archive) {
    const OpenOutcome outcome = ReadDocument(path, request, archive);
    if (outcome.status != Status::Ok) return outcome;
    archive->budget.TakeWhatIsLeft(request.settings.keptBytesBudget);
    if (request.settings.viewable) {
        archive->viewable.reset(new (std::nothrow) ViewableState);
        if (archive->viewable == nullptr) {
            archive.reset();
            return Refused(Status::OutOfMemory);
        }
    }
    if (StartEntries(*archive) != Status::Ok) {
        archive.reset();
        return Refused(Status::OutOfMemory);
    }
    return outcome;
}
