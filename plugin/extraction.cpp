#include "plugin/extraction.h"

#include <cstring>

#include "decode/results.h"
#include "document/entry_bytes.h"
#include "plugin/converted_text.h"
#include "plugin/exports.h"
#include "plugin/listing.h"
#include "plugin/module_state.h"
#include "platform/handle_guards.h"

namespace {

constexpr size_t LargestCapacity = 2147483647;
// Digits after the last '-' that can still name an object.
constexpr ptrdiff_t MaxNumberDigits = 10;

#ifdef _WIN32
constexpr WCHAR NativeSeparator = WIDE('\\');
#else
// A backslash is an ordinary file-name character here.
constexpr WCHAR NativeSeparator = WIDE('/');
#endif

bool IsSeparator(WCHAR unit) { return unit == WIDE('\\') || unit == WIDE('/'); }

// The separator that joins a name to a directory of `length` units: '/' after
// a URL's scheme, else the system's own.
WCHAR SeparatorFor(const WCHAR* directory, size_t length) {
    if (length > 6 && _wcsnicmp(directory, WIDE("https:"), 6) == 0) return WIDE('/');
    if (length > 5 && _wcsnicmp(directory, WIDE("http:"), 5) == 0) return WIDE('/');
    if (length > 4 && _wcsnicmp(directory, WIDE("ftp:"), 4) == 0) return WIDE('/');
    return NativeSeparator;
}

// Frees a LocalAlloc block unless it was handed over.
class LocalBlockGuard {
public:
    explicit LocalBlockGuard(HLOCAL block) : block_(block) {}
    ~LocalBlockGuard() {
        if (block_ != nullptr) LocalFree(block_);
    }
    LocalBlockGuard(const LocalBlockGuard&) = delete;
    LocalBlockGuard& operator=(const LocalBlockGuard&) = delete;
    void Dismiss() { block_ = nullptr; }

private:
    HLOCAL block_;
};

// The entry an extraction works on: the current entry if a header call left
// one, else the one the name's number finds. The current entry is used up.
StreamEntry* ChooseEntry(PdfArchive& archive, const WCHAR* name) {
    StreamEntry* entry = archive.currentEntry;
    archive.currentEntry = nullptr;
    return entry != nullptr ? entry : FindEntryByName(archive, name);
}

// The part of a path after its last separator.
const WCHAR* LastComponent(const WCHAR* path) {
    const WCHAR* component = path;
    for (const WCHAR* unit = path; *unit != 0; ++unit) {
        if (IsSeparator(*unit)) component = unit + 1;
    }
    return component;
}

}  // namespace

int ExtractToFile(uintptr_t handle, const WCHAR* directory, const WCHAR* name) {
    ArchiveCall call(handle);
    PdfArchive* archive = call.Archive();
    if (archive == nullptr) return HostBadArchive;

    WCHAR path[DestinationPathUnits];
    bool whole = JoinPath(path, DestinationPathUnits, directory, name);
    StreamEntry* entry = ChooseEntry(*archive, LastComponent(path));
    if (!whole) return HostECreate;
    if (entry == nullptr) return HostEOpen;
    // The bytes come first, so that a failure leaves no file behind.
    EntryBytes bytes(*archive, *entry);
    if (bytes.Result() != ResultOk) return HostNoMemory;

    FileHandle file(CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0, nullptr));
    if (!file.Valid()) return HostECreate;

    const uint8_t* data = bytes.Bytes().begin;
    bool complete = WriteInChunks(
        EntrySize(*entry),
        [&](uint64_t offset, uint32_t size) {
            DWORD written = 0;
            return WriteFile(file.Get(), data + offset, size, &written, nullptr) != FALSE && written == size;
        },
        [&](uint32_t size) { ReportProgress(path, size); });
    if (complete) return HostOk;
    // A cut file would pass for the entry: it goes.
    file.Close();
    DeleteFileW(path);
    return HostEWrite;
}

int ExtractToMemory(uintptr_t handle, void* resultSlot, const WCHAR* name) {
    ArchiveCall call(handle);
    PdfArchive* archive = call.Archive();
    if (archive == nullptr) return HostBadArchive;
    if (resultSlot == nullptr) return HostEOpen;

    StreamEntry* entry = ChooseEntry(*archive, name);
    if (entry == nullptr) return HostEOpen;
    EntryBytes bytes(*archive, *entry);
    if (bytes.Result() != ResultOk) return HostNoMemory;

    uint64_t length = EntrySize(*entry);
    if (length > SIZE_MAX - ExtractBlockOverhead) return HostNoMemory;
    auto* block = static_cast<uint8_t*>(LocalAlloc(LMEM_ZEROINIT, static_cast<SIZE_T>(length + ExtractBlockOverhead)));
    if (block == nullptr) return HostNoMemory;
    LocalBlockGuard blockGuard(block);

    ReportProgress(name, 0);
    if (length != 0) std::memcpy(block + sizeof length, bytes.Bytes().begin, static_cast<size_t>(length));
    std::memcpy(block, &length, sizeof length);
    ReportProgress(name, length);

    std::memcpy(resultSlot, &block, sizeof block);
    blockGuard.Dismiss();
    return HostOk;
}

bool JoinPath(WCHAR* buffer, size_t capacity, const WCHAR* directory, const WCHAR* name) {
    if (capacity == 0) return false;
    buffer[0] = 0;
    size_t directoryLength = 0;
    if (directory != nullptr && capacity <= LargestCapacity) directoryLength = WideLength(directory);
    size_t nameLength = name != nullptr ? WideLength(name) : 0;
    bool separated = directoryLength != 0 && nameLength != 0 && !IsSeparator(directory[directoryLength - 1]);
    // Never a cut path: it could lose the extension or name another file.
    if (directoryLength + (separated ? 1 : 0) + nameLength >= capacity) return false;
    size_t length = 0;
    for (size_t i = 0; i < directoryLength; ++i) buffer[length++] = directory[i];
    if (separated) buffer[length++] = SeparatorFor(directory, directoryLength);
    for (size_t i = 0; i < nameLength; ++i) buffer[length++] = name[i];
    buffer[length] = 0;
    return true;
}

const WCHAR* FindExtension(const WCHAR* path) {
    const WCHAR* dot = nullptr;
    const WCHAR* unit = path;
    for (; *unit != 0; ++unit) {
        if (IsSeparator(*unit)) dot = nullptr;
        else if (*unit == WIDE('.')) dot = unit;
    }
    return dot != nullptr ? dot : unit;
}

StreamEntry* FindEntryByName(PdfArchive& archive, const WCHAR* name) {
    if (name == nullptr) return nullptr;
    const WCHAR* extension = FindExtension(name);
    const WCHAR* dash = wcsrchr(name, WIDE('-'));
    if (dash == nullptr || dash == name) return nullptr;
    const WCHAR* run = dash + 1;
    if (run >= extension) return nullptr;
    if (*run < WIDE('0') || *run > WIDE('9')) return nullptr;
    if (extension - run > MaxNumberDigits) return nullptr;
    uint64_t value = 0;  // ten digits at most, so no overflow
    const WCHAR* unit = run;
    for (; unit < extension && *unit >= WIDE('0') && *unit <= WIDE('9'); ++unit) value = value * 10 + (*unit - WIDE('0'));
    if (unit != extension) return nullptr;
    // The listing writes object numbers as unsigned 32-bit values (a header
    // "-5 0 obj" is listed as 4294967291), so every listed name reads back as
    // its own entry's number. A run beyond 32 bits names no entry the listing
    // can give and stops at the largest signed value.
    if (value > UINT32_MAX) value = INT32_MAX;
    return FindListedEntry(archive, static_cast<uint32_t>(value));
}

int ProgressCount(uint64_t byteCount) {
    // Hosts read a negative count as a percentage.
    return byteCount > INT32_MAX ? INT32_MAX : static_cast<int>(byteCount);
}

void ReportProgress(const WCHAR* name, uint64_t byteCount) {
    int count = ProgressCount(byteCount);
    // Each slot is read once: the host may replace it from another thread.
    ProcessDataProcW wide = moduleState.wideProgressCallback.load();
    if (wide != nullptr) {
        wide(const_cast<WCHAR*>(name), count);
        return;
    }
    ProcessDataProc narrow = moduleState.narrowProgressCallback.load();
    if (narrow == nullptr) return;
    ConvertedText<char> converted;
    ConvertToAnsi(converted, name);
    narrow(converted.text, count);
}
