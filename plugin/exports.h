// The packer plug-in interface: the host's records and the 21 exported
// functions, with C linkage. This is the whole surface of the library.
// Records have the host's 64-bit layout on both Windows and Linux.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/win32.h"
#include "plugin/module_state.h"

#ifdef _WIN32
#  define VELLUM_CALL __stdcall
#  define VELLUM_EXPORT
#else
#  define VELLUM_CALL
#  define VELLUM_EXPORT __attribute__((visibility("default")))
#endif

// Host result codes.
constexpr int HostOk = 0;
constexpr int HostEndArchive = 10;
constexpr int HostNoMemory = 11;
constexpr int HostBadData = 12;
constexpr int HostBadArchive = 13;
constexpr int HostUnknownFormat = 14;
constexpr int HostEOpen = 15;
constexpr int HostECreate = 16;
constexpr int HostEClose = 17;
constexpr int HostERead = 18;
constexpr int HostEWrite = 19;
constexpr int HostAborted = 21;
constexpr int HostNotSupported = 24;

// OpenArchive modes: to list the entries only, or to extract them too.
constexpr int HostOpenList = 0;
constexpr int HostOpenExtract = 1;

// ProcessFile operations.
constexpr int HostSkip = 0;
constexpr int HostTest = 1;
constexpr int HostExtract = 2;
constexpr int HostExtractToMemory = 3;

// GetPackerCaps: several files (4), recognised by content (64), searchable (128).
constexpr int PackerCapabilities = 4 | 64 | 128;

struct OpenArchiveRecord {
    void* pathName;        // const char* for OpenArchive, const WCHAR* for OpenArchiveW
    int32_t mode;          // HostOpenList or HostOpenExtract
    int32_t resultCode;    // written by the open
    char* commentBuffer;   // the host's; never touched
    int32_t commentBufferSize;
    int32_t commentSize;
    int32_t commentState;
};

// What PackSetDefaultParams hands over once after loading: the host's
// interface version and the INI file it suggests for the plug-in's settings.
struct DefaultParamsRecord {
    int32_t size;                   // bytes of the record as the host knows it
    uint32_t interfaceVersionLow;
    uint32_t interfaceVersionHigh;
    char defaultIniName[MAX_PATH];  // ANSI, NUL-terminated
};

struct HeaderRecord {
    char archiveName[260];
    char entryName[260];
    int32_t flags;
    uint32_t packedSize;
    uint32_t unpackedSize;
    int32_t hostOs;
    int32_t fileCrc;
    uint32_t timeStamp;
    int32_t unpackVersion;
    int32_t method;
    uint32_t attributes;
    char* commentBuffer;
    int32_t commentBufferSize;
    int32_t commentSize;
    int32_t commentState;
};

struct HeaderRecordEx {
    char archiveName[1024];
    char entryName[1024];
    int32_t flags;
    uint32_t packedSize;
    uint32_t packedSizeHigh;
    uint32_t unpackedSize;
    uint32_t unpackedSizeHigh;
    int32_t hostOs;
    int32_t fileCrc;
    uint32_t timeStamp;
    int32_t unpackVersion;
    int32_t method;
    uint32_t attributes;
    char* commentBuffer;
    int32_t commentBufferSize;
    int32_t commentSize;
    int32_t commentState;
    char reserved[1024];
};

struct HeaderRecordExW {
    WCHAR archiveName[1024];
    WCHAR entryName[1024];
    int32_t flags;
    uint32_t packedSize;
    uint32_t packedSizeHigh;
    uint32_t unpackedSize;
    uint32_t unpackedSizeHigh;
    int32_t hostOs;
    int32_t fileCrc;
    uint32_t timeStamp;
    int32_t unpackVersion;
    int32_t method;
    uint32_t attributes;
    char* commentBuffer;
    int32_t commentBufferSize;
    int32_t commentSize;
    int32_t commentState;
    char reserved[1024];
};

static_assert(offsetof(OpenArchiveRecord, mode) == 8 && offsetof(OpenArchiveRecord, resultCode) == 12);
static_assert(offsetof(DefaultParamsRecord, defaultIniName) == 12 && sizeof(DefaultParamsRecord) == 272);
static_assert(offsetof(HeaderRecord, entryName) == 260 && offsetof(HeaderRecord, packedSize) == 524 &&
              offsetof(HeaderRecord, unpackedSize) == 528 && offsetof(HeaderRecord, timeStamp) == 540 &&
              offsetof(HeaderRecord, attributes) == 552);
static_assert(offsetof(HeaderRecordEx, entryName) == 1024 && offsetof(HeaderRecordEx, packedSize) == 2052 &&
              offsetof(HeaderRecordEx, unpackedSize) == 2060 && offsetof(HeaderRecordEx, timeStamp) == 2076 &&
              offsetof(HeaderRecordEx, attributes) == 2088);
static_assert(sizeof(WCHAR) == 2);
static_assert(offsetof(HeaderRecordExW, entryName) == 2048 && offsetof(HeaderRecordExW, packedSize) == 4100 &&
              offsetof(HeaderRecordExW, unpackedSize) == 4108 && offsetof(HeaderRecordExW, timeStamp) == 4124 &&
              offsetof(HeaderRecordExW, attributes) == 4136);

extern "C" {
VELLUM_EXPORT int VELLUM_CALL CanYouHandleThisFile(const char* path);
VELLUM_EXPORT int VELLUM_CALL CanYouHandleThisFileW(const WCHAR* path);
VELLUM_EXPORT int VELLUM_CALL CloseArchive(uintptr_t handle);
VELLUM_EXPORT void VELLUM_CALL ConfigurePacker(void* parent, void* module);
VELLUM_EXPORT int VELLUM_CALL DeleteFiles(char* packedFile, char* deleteList);
VELLUM_EXPORT int VELLUM_CALL DeleteFilesW(WCHAR* packedFile, WCHAR* deleteList);
VELLUM_EXPORT int VELLUM_CALL GetPackerCaps();
VELLUM_EXPORT uintptr_t VELLUM_CALL OpenArchive(OpenArchiveRecord* record);
VELLUM_EXPORT uintptr_t VELLUM_CALL OpenArchiveW(OpenArchiveRecord* record);
VELLUM_EXPORT void VELLUM_CALL PackSetDefaultParams(DefaultParamsRecord* defaultParams);
VELLUM_EXPORT int VELLUM_CALL PackFiles(char* packedFile, char* subPath, char* sourcePath, char* addList, int flags);
VELLUM_EXPORT int VELLUM_CALL PackFilesW(WCHAR* packedFile, WCHAR* subPath, WCHAR* sourcePath, WCHAR* addList,
                                         int flags);
VELLUM_EXPORT int VELLUM_CALL ProcessFile(uintptr_t handle, int operation, char* destinationPath,
                                          char* destinationName);
VELLUM_EXPORT int VELLUM_CALL ProcessFileW(uintptr_t handle, int operation, WCHAR* destinationPath,
                                           WCHAR* destinationName);
VELLUM_EXPORT int VELLUM_CALL ReadHeader(uintptr_t handle, HeaderRecord* record);
VELLUM_EXPORT int VELLUM_CALL ReadHeaderEx(uintptr_t handle, HeaderRecordEx* record);
VELLUM_EXPORT int VELLUM_CALL ReadHeaderExW(uintptr_t handle, HeaderRecordExW* record);
VELLUM_EXPORT void VELLUM_CALL SetChangeVolProc(uintptr_t handle, void* callback);
VELLUM_EXPORT void VELLUM_CALL SetChangeVolProcW(uintptr_t handle, void* callback);
VELLUM_EXPORT void VELLUM_CALL SetProcessDataProc(uintptr_t handle, ProcessDataProc callback);
VELLUM_EXPORT void VELLUM_CALL SetProcessDataProcW(uintptr_t handle, ProcessDataProcW callback);
}
