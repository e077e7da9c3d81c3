// Placeholder bodies for the exported functions; the real ones replace these.
#include "plugin/exports.h"

extern "C" {
int VELLUM_CALL CanYouHandleThisFile(const char*) { return 0; }
int VELLUM_CALL CanYouHandleThisFileW(const WCHAR*) { return 0; }
int VELLUM_CALL CloseArchive(uintptr_t) { return HostNotSupported; }
void VELLUM_CALL ConfigurePacker(void*, void*) {}
int VELLUM_CALL DeleteFiles(char*, char*) { return HostNotSupported; }
int VELLUM_CALL DeleteFilesW(WCHAR*, WCHAR*) { return HostNotSupported; }
int VELLUM_CALL GetPackerCaps() { return PackerCapabilities; }
uintptr_t VELLUM_CALL OpenArchive(OpenArchiveRecord*) { return 0; }
uintptr_t VELLUM_CALL OpenArchiveW(OpenArchiveRecord*) { return 0; }
void VELLUM_CALL PackSetDefaultParams(void*) {}
int VELLUM_CALL PackFiles(char*, char*, char*, char*, int) { return HostNotSupported; }
int VELLUM_CALL PackFilesW(WCHAR*, WCHAR*, WCHAR*, WCHAR*, int) { return HostNotSupported; }
int VELLUM_CALL ProcessFile(uintptr_t, int, char*, char*) { return HostNotSupported; }
int VELLUM_CALL ProcessFileW(uintptr_t, int, WCHAR*, WCHAR*) { return HostNotSupported; }
int VELLUM_CALL ReadHeader(uintptr_t, HeaderRecord*) { return HostUnknownFormat; }
int VELLUM_CALL ReadHeaderEx(uintptr_t, HeaderRecordEx*) { return HostUnknownFormat; }
int VELLUM_CALL ReadHeaderExW(uintptr_t, HeaderRecordExW*) { return HostUnknownFormat; }
void VELLUM_CALL SetChangeVolProc(uintptr_t, void* callback) { moduleState.narrowChangeVolCallback = callback; }
void VELLUM_CALL SetChangeVolProcW(uintptr_t, void* callback) { moduleState.wideChangeVolCallback = callback; }
void VELLUM_CALL SetProcessDataProc(uintptr_t, ProcessDataProc callback) { moduleState.narrowProgressCallback = callback; }
void VELLUM_CALL SetProcessDataProcW(uintptr_t, ProcessDataProcW callback) { moduleState.wideProgressCallback = callback; }
}
