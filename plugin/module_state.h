// The module-wide state: one record per loaded library, shared by all archives.
// Every field starts null. The heap handle is set once at library attach; the
// callback slots are plain pointers that the host's setters replace whole.
#pragma once

#include "platform/win32.h"

extern "C" {
typedef int (
#ifdef _WIN32
    __stdcall
#endif
        *ProcessDataProc)(char* fileName, int size);
typedef int (
#ifdef _WIN32
    __stdcall
#endif
        *ProcessDataProcW)(WCHAR* fileName, int size);
}

struct ModuleState {
    HANDLE processHeap;                          // every ByteBuffer block and dictionary copy
    ProcessDataProc narrowProgressCallback;      // used when no wide callback is set
    ProcessDataProcW wideProgressCallback;       // preferred progress callback
    void* narrowChangeVolCallback;               // stored, never called
    void* wideChangeVolCallback;                 // stored, never called
};

extern ModuleState moduleState;
