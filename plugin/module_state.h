// The module-wide state: the default progress callbacks, used by every
// archive that has none of its own, and the change-volume slots. A setter
// may run on one thread while another extracts, so each slot is atomic.
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

// One set of progress callbacks: an archive's own, or the default.
struct ProgressCallbacks {
    std::atomic<ProcessDataProc> narrow{nullptr};   // used when no wide callback is set
    std::atomic<ProcessDataProcW> wide{nullptr};    // preferred
    std::atomic<bool> own{false};                   // an archive's: a setter named its handle
};

struct ModuleState {
    ProgressCallbacks defaultProgress;                // for archives without their own
    std::atomic<void*> narrowChangeVolCallback{nullptr};  // stored, never called
    std::atomic<void*> wideChangeVolCallback{nullptr};    // stored, never called
};

extern ModuleState moduleState;
