// The module-wide state: one record per loaded library, shared by all
// archives. The callback slots are replaced whole by the host's setters, and
// may be set on one thread while another extracts, so each is atomic.
#pragma once

#include <atomic>

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
    std::atomic<ProcessDataProc> narrowProgressCallback;   // used when no wide callback is set
    std::atomic<ProcessDataProcW> wideProgressCallback;    // preferred progress callback
    std::atomic<void*> narrowChangeVolCallback;            // stored, never called
    std::atomic<void*> wideChangeVolCallback;              // stored, never called
};

extern ModuleState moduleState;
