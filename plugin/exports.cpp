// The exported functions. Each is a thin shell: convert the host's text,
// check the handle and lock the archive, call the document layer, unlock, and
// answer a host code. No exception crosses into the host: each export catches
// everything at its boundary and answers its own failure code.
#include "plugin/exports.h"

#include "document/decode_pool.h"
#include "document/open.h"
#include "plugin/converted_text.h"
#include "plugin/extraction.h"
#include "plugin/handles.h"
#include "plugin/host_codes.h"
#include "plugin/listing.h"
#include "plugin/settings.h"

namespace {

// Runs one export's work; any exception becomes the export's failure answer.
template <typename Result, typename Work>
Result Guarded(Result failure, Work&& work) noexcept {
    try {
        return work();
    } catch (...) {
        return failure;
    }
}

uintptr_t OpenWide(OpenArchiveRecord* record, const WCHAR* path) {
    record->resultCode = HostUnknownFormat;
    if (path == nullptr || path[0] == 0) return 0;
    if (record->mode != HostOpenList && record->mode != HostOpenExtract) return 0;
    record->resultCode = HostNoMemory;
    const std::string password = ReadPassword();
    DecodeSettings settings = ReadDecodeSettings();
    if (record->mode == HostOpenList) {
        // A host that opens to list extracts nothing: no entry needs its bytes in memory.
        settings.keptBytesBudget = 0;
        settings.holdAhead = false;
    }
    const OpenRequest request{settings, password};
    std::unique_ptr<Archive> archive;
    const OpenOutcome outcome = OpenDocument(path, request, archive);
    record->resultCode = HostCode(outcome.status, HostCall::Open, outcome.systemError);
    if (outcome.status != Status::Ok) return 0;
    record->resultCode = HostNoMemory;
    const uintptr_t handle = AddHandle(std::move(archive));
    record->resultCode = HostOk;
    return handle;
}

// One header call: the next entry becomes the archive's current entry, and
// the end of the listing clears it. A table that could not go on for want
// of memory answers so, never a listing that merely ends early.
template <typename Record, typename Fill>
int ReadNextHeader(uintptr_t handle, Record* record, Fill fill) {
    HandleCall call(handle);
    if (!call) return HostUnknownFormat;
    Archive& archive = call.Opened();
    const int64_t row = HandOutNextEntry(archive);
    archive.currentRow = row;
    if (row < 0) return HostCode(archive.tableStatus, HostCall::Header);
    fill(RowAt(archive, static_cast<uint32_t>(row)), *record, call.Handle().headerTimeStamp);
    return HostOk;
}

int CloseWhole(uintptr_t handle) {
    HandleCall call(handle);
    if (!call) return HostNotSupported;
    call.Close();
    return HostOk;
}

// An archive's own callback when the handle is one, else the default.
void SetProgressCallback(uintptr_t handle, ProcessDataProc narrow, bool setNarrow, ProcessDataProcW wide,
                         bool setWide) {
    if (SetHandleCallback(handle, narrow, setNarrow, wide, setWide)) return;
    if (setNarrow) moduleState.defaultProgress.narrow = narrow;
    if (setWide) moduleState.defaultProgress.wide = wide;
}

}  // namespace

extern "C" {

int VELLUM_CALL CanYouHandleThisFileW(const WCHAR* path) {
    return Guarded(0, [&] { return path != nullptr && CheckDocument(path).status == Status::Ok ? 1 : 0; });
}

int VELLUM_CALL CanYouHandleThisFile(const char* path) {
    return Guarded(0, [&] {
        ConvertedText<WCHAR> widePath;
        ConvertToWide(widePath, CP_ACP, path);
        return CanYouHandleThisFileW(widePath.text);
    });
}

uintptr_t VELLUM_CALL OpenArchiveW(OpenArchiveRecord* record) {
    return Guarded<uintptr_t>(0, [&] { return OpenWide(record, static_cast<const WCHAR*>(record->pathName)); });
}

uintptr_t VELLUM_CALL OpenArchive(OpenArchiveRecord* record) {
    return Guarded<uintptr_t>(0, [&] {
        // Only a failed conversion buffer can throw here, before the open.
        record->resultCode = HostNoMemory;
        ConvertedText<WCHAR> widePath;
        ConvertToWide(widePath, CP_ACP, static_cast<const char*>(record->pathName));
        return OpenWide(record, widePath.text);
    });
}

int VELLUM_CALL CloseArchive(uintptr_t handle) {
    return Guarded(HostNotSupported, [&] { return CloseWhole(handle); });
}

int VELLUM_CALL ReadHeader(uintptr_t handle, HeaderRecord* record) {
    return Guarded(HostEndArchive, [&] { return ReadNextHeader(handle, record, FillHeader); });
}

int VELLUM_CALL ReadHeaderEx(uintptr_t handle, HeaderRecordEx* record) {
    return Guarded(HostEndArchive, [&] { return ReadNextHeader(handle, record, FillHeaderEx); });
}

int VELLUM_CALL ReadHeaderExW(uintptr_t handle, HeaderRecordExW* record) {
    return Guarded(HostEndArchive, [&] { return ReadNextHeader(handle, record, FillHeaderExW); });
}

int VELLUM_CALL ProcessFileW(uintptr_t handle, int operation, WCHAR* destinationPath, WCHAR* destinationName) {
    return Guarded(HostNoMemory, [&] {
        switch (operation) {
        case HostSkip:
        case HostTest:
            return HostOk;
        case HostExtract:
            return ExtractToFile(handle, destinationPath, destinationName);
        case HostExtractToMemory:
            return ExtractToMemory(handle, destinationPath, destinationName);
        default:
            return HostNotSupported;
        }
    });
}

int VELLUM_CALL ProcessFile(uintptr_t handle, int operation, char* destinationPath, char* destinationName) {
    return Guarded(HostNoMemory, [&] {
        ConvertedText<WCHAR> wideName;
        ConvertToWide(wideName, CP_UTF8, destinationName);
        // For extraction to memory the path argument is the address of the
        // caller's result slot, not text: it goes on unchanged.
        if (operation == HostExtractToMemory) {
            return ProcessFileW(handle, operation, reinterpret_cast<WCHAR*>(destinationPath), wideName.text);
        }
        ConvertedText<WCHAR> widePath;
        ConvertToWide(widePath, CP_ACP, destinationPath);
        return ProcessFileW(handle, operation, widePath.text, wideName.text);
    });
}

int VELLUM_CALL GetPackerCaps() { return PackerCapabilities; }

void VELLUM_CALL ConfigurePacker(void*, void*) {}
void VELLUM_CALL PackSetDefaultParams(DefaultParamsRecord* defaultParams) {
    Guarded(0, [&] {
        constexpr int32_t nameOffset = offsetof(DefaultParamsRecord, defaultIniName);
        if (defaultParams == nullptr || defaultParams->size <= nameOffset) return 0;
        RememberDefaultIni(defaultParams->defaultIniName, static_cast<size_t>(defaultParams->size - nameOffset));
        return 0;
    });
}
int VELLUM_CALL PackFiles(char*, char*, char*, char*, int) { return HostNotSupported; }
int VELLUM_CALL PackFilesW(WCHAR*, WCHAR*, WCHAR*, WCHAR*, int) { return HostNotSupported; }
int VELLUM_CALL DeleteFiles(char*, char*) { return HostNotSupported; }
int VELLUM_CALL DeleteFilesW(WCHAR*, WCHAR*) { return HostNotSupported; }

void VELLUM_CALL SetChangeVolProc(uintptr_t, void* callback) { moduleState.narrowChangeVolCallback = callback; }
void VELLUM_CALL SetChangeVolProcW(uintptr_t, void* callback) { moduleState.wideChangeVolCallback = callback; }

void VELLUM_CALL SetProcessDataProc(uintptr_t handle, ProcessDataProc callback) {
    Guarded(0, [&] {
        SetProgressCallback(handle, callback, true, nullptr, false);
        return 0;
    });
}

void VELLUM_CALL SetProcessDataProcW(uintptr_t handle, ProcessDataProcW callback) {
    Guarded(0, [&] {
        SetProgressCallback(handle, nullptr, false, callback, true);
        return 0;
    });
}

}  // extern "C"
