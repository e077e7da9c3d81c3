#include "plugin/extraction.h"

#include <cstring>

#include "document/extraction.h"
#include "plugin/converted_text.h"
#include "plugin/exports.h"
#include "plugin/handles.h"
#include "plugin/host_codes.h"
#include "platform/handle_guards.h"

namespace {

// Digits after the last '-' that can still name an object.
constexpr ptrdiff_t MaxNumberDigits = 10;

#ifdef _WIN32
constexpr WCHAR NativeSeparator = WIDE('\\');
#else
// A backslash is an ordinary file-name character here.
constexpr WCHAR NativeSeparator = WIDE('/');
#endif

bool IsSeparator(WCHAR unit) {
#ifdef _WIN32
    return unit == WIDE('\\') || unit == WIDE('/');
#else
    return unit == WIDE('/');
#endif
}

// The separator that joins a name to a directory of `length` units: '/' after
// a URL's scheme, else the system's own.
WCHAR SeparatorFor(const WCHAR* directory, size_t length) {
    if (length > 6 && _wcsnicmp(directory, WIDE("https:"), 6) == 0) return WIDE('/');
    if (length > 5 && _wcsnicmp(directory, WIDE("http:"), 5) == 0) return WIDE('/');
    if (length > 4 && _wcsnicmp(directory, WIDE("ftp:"), 4) == 0) return WIDE('/');
    return NativeSeparator;
}

// A file being written: closed, and deleted, on every way out unless it was
// made whole. The system's code for a failed write survives the deletion.
class FileUnderWay {
public:
    explicit FileUnderWay(const WCHAR* path)
        : path_(path), file_(CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0, nullptr)) {}
    ~FileUnderWay() {
        if (!file_.Valid() || whole_) return;
        const DWORD error = GetLastError();
        file_.Close();
        DeleteFileW(path_);
        SetLastError(error);
    }
    FileUnderWay(const FileUnderWay&) = delete;
    FileUnderWay& operator=(const FileUnderWay&) = delete;

    bool Valid() const { return file_.Valid(); }
    HANDLE Get() const { return file_.Get(); }
    void Keep() { whole_ = true; }

private:
    const WCHAR* path_;
    FileHandle file_;
    bool whole_ = false;
};

// Where progress goes: the archive's own callbacks, or the default ones. The
// name is converted for a narrow callback once, before anything is written.
struct ProgressTarget {
    ArchiveHandle* handle;
    const WCHAR* name;
    ConvertedText<char> narrowName;

    const ProgressCallbacks& Callbacks() const {
        return handle->callbacks.own.load() ? handle->callbacks : moduleState.defaultProgress;
    }
};

// One report; false when the host asks to stop, or closed the archive from
// within a callback.
bool Report(ProgressTarget& target, uint64_t bytes) {
    const int count = ProgressCount(bytes);
    const ProgressCallbacks& callbacks = target.Callbacks();
    // Each slot is read once: the host may replace it from another thread.
    int answer = 1;
    if (ProcessDataProcW wide = callbacks.wide.load(); wide != nullptr) {
        answer = wide(const_cast<WCHAR*>(target.name), count);
    } else if (ProcessDataProc narrow = callbacks.narrow.load(); narrow != nullptr) {
        answer = narrow(target.narrowName.text, count);
    }
    return answer != 0 && !target.handle->closed;
}

bool ReportFromSink(void* context, uint64_t bytes) { return Report(*static_cast<ProgressTarget*>(context), bytes); }

// Prepares a target: the narrow name is made now, when a narrow callback
// could be called, so that no conversion is left for the middle of a write.
void StartProgress(ProgressTarget& target, ArchiveHandle& handle, const WCHAR* name) {
    target.handle = &handle;
    target.name = name;
    ConvertToAnsi(target.narrowName, name);
}

// The row an extraction works on: the current entry if a header call left
// one, else the one the name's number finds. The current entry is used up.
int64_t ChooseEntry(Archive& archive, const WCHAR* name) {
    const int64_t row = archive.currentRow;
    archive.currentRow = -1;
    return row >= 0 ? row : FindEntryByName(archive, name);
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
    HandleCall call(handle);
    if (!call) return HostBadArchive;
    Archive& archive = call.Opened();

    WCHAR path[DestinationPathUnits];
    const bool whole = JoinPath(path, DestinationPathUnits, directory, name);
    const int64_t row = ChooseEntry(archive, LastComponent(path));
    if (!whole) return HostECreate;
    if (row < 0) return HostEOpen;
    ProgressTarget progress;
    StartProgress(progress, call.Handle(), path);

    FileUnderWay file(path);
    if (!file.Valid()) return HostECreate;
    FileSink output;
    Status status = StartFileSink(output, file.Get(), Progress{ReportFromSink, &progress});
    if (status == Status::Ok) status = ExtractEntryToFile(archive, static_cast<uint32_t>(row), output);
    if (status == Status::Ok) file.Keep();
    return HostCode(status, HostCall::Extract, output.systemError);
}

int ExtractToMemory(uintptr_t handle, void* resultSlot, const WCHAR* name) {
    HandleCall call(handle);
    if (!call) return HostBadArchive;
    if (resultSlot == nullptr) return HostEOpen;
    Archive& archive = call.Opened();

    const int64_t row = ChooseEntry(archive, name);
    if (row < 0) return HostEOpen;
    const uint64_t length = RowAt(archive, static_cast<uint32_t>(row)).decodedSize;
    if (length > SIZE_MAX - ExtractBlockOverhead) return HostNoMemory;
    ProgressTarget progress;
    StartProgress(progress, call.Handle(), name);
    auto* block = static_cast<uint8_t*>(LocalAlloc(LMEM_ZEROINIT, static_cast<SIZE_T>(length + ExtractBlockOverhead)));
    if (block == nullptr) return HostNoMemory;
    LocalBlockGuard blockGuard(block);

    if (!Report(progress, 0)) return HostAborted;
    const Status status = ExtractEntryToBlock(archive, static_cast<uint32_t>(row), block + sizeof length);
    if (status != Status::Ok) return HostCode(status, HostCall::Extract);
    std::memcpy(block, &length, sizeof length);
    if (!Report(progress, length)) return HostAborted;

    std::memcpy(resultSlot, &block, sizeof block);
    blockGuard.Dismiss();
    return HostOk;
}

bool JoinPath(WCHAR* buffer, size_t capacity, const WCHAR* directory, const WCHAR* name) {
    if (capacity == 0) return false;
    buffer[0] = 0;
    const size_t directoryLength = directory != nullptr ? WideLength(directory) : 0;
    const size_t nameLength = name != nullptr ? WideLength(name) : 0;
    const bool separated = directoryLength != 0 && nameLength != 0 && !IsSeparator(directory[directoryLength - 1]);
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

int64_t FindEntryByName(Archive& archive, const WCHAR* name) {
    if (name == nullptr) return -1;
    const WCHAR* extension = FindExtension(name);
    const WCHAR* dash = wcsrchr(name, WIDE('-'));
    if (dash == nullptr || dash == name) return -1;
    const WCHAR* run = dash + 1;
    if (run >= extension) return -1;
    if (*run < WIDE('0') || *run > WIDE('9')) return -1;
    if (extension - run > MaxNumberDigits) return -1;
    uint64_t value = 0;  // ten digits at most, so no overflow
    const WCHAR* unit = run;
    for (; unit < extension && *unit >= WIDE('0') && *unit <= WIDE('9'); ++unit) value = value * 10 + (*unit - WIDE('0'));
    if (unit != extension) return -1;
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
