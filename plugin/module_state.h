// The module-wide state: the default progress callbacks, used by every
// archive that has none of its own, the change-volume slots, and the INI
// file the host named. A setter may run on one thread while another
// extracts or opens, so each slot is atomic or locked.
#pragma once

#include <atomic>
#include <mutex>

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

// The INI file the host suggests for the plug-in's settings
// (PackSetDefaultParams), read again at each open.
struct DefaultIni {
    std::mutex lock;                  // guards path: the host may set it while another thread opens
    WCHAR path[MAX_PATH] = {};        // empty until the host names one
};

struct ModuleState {
    ProgressCallbacks defaultProgress;                // for archives without their own
    std::atomic<void*> narrowChangeVolCallback{nullptr};  // stored, never called
    std::atomic<void*> wideChangeVolCallback{nullptr};    // stored, never called
    DefaultIni defaultIni;
};

extern ModuleState moduleState;
