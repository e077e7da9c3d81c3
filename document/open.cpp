// Opening a document: the file is mapped, recognised by content and, for an
// open, copied into a new archive; the file is closed again before returning.
#include <cstring>

#include "decode/byte_buffer.h"
#include "document/archive.h"

namespace {

// Smaller files cannot hold a useful document; they are turned away unread.
constexpr int64_t MinimumFileSize = 768;
constexpr char HeaderSignature[] = "%PDF-1.";
constexpr uint64_t HeaderSignatureLength = sizeof(HeaderSignature) - 1;
constexpr char EndMarker[] = "%%EOF";
constexpr uint64_t EndMarkerLength = sizeof(EndMarker) - 1;
// How far from the end the marker may start: the last 36 bytes of the file.
constexpr uint64_t EndMarkerSearchBytes = 36;

class FileHandle {
public:
    explicit FileHandle(HANDLE handle) : handle_(handle) {}
    ~FileHandle() {
        if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
    }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    HANDLE Get() const { return handle_; }
    bool Valid() const { return handle_ != INVALID_HANDLE_VALUE; }

private:
    HANDLE handle_;
};

// A mapping fails with NULL, not with INVALID_HANDLE_VALUE.
class MappingHandle {
public:
    explicit MappingHandle(HANDLE handle) : handle_(handle) {}
    ~MappingHandle() {
        if (handle_ != nullptr) CloseHandle(handle_);
    }
    MappingHandle(const MappingHandle&) = delete;
    MappingHandle& operator=(const MappingHandle&) = delete;
    HANDLE Get() const { return handle_; }
    bool Valid() const { return handle_ != nullptr; }

private:
    HANDLE handle_;
};

class MappedView {
public:
    explicit MappedView(LPVOID view) : view_(view) {}
    ~MappedView() {
        if (view_ != nullptr) UnmapViewOfFile(view_);
    }
    MappedView(const MappedView&) = delete;
    MappedView& operator=(const MappedView&) = delete;
    const uint8_t* Bytes() const { return static_cast<const uint8_t*>(view_); }

private:
    LPVOID view_;
};

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
