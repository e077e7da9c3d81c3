// An entry of any size streamed to stdout without a temporary copy: the
// plug-in writes it to a path that names one end of a pipe, and a thread
// passes what comes out of the other end on to stdout as it arrives.
//
// The path is Linux's own name for an open descriptor (/proc/self/fd/N). It
// names the pipe, not stdout itself: opened anew, stdout redirected to a
// regular file would be truncated and written from its start, where the
// entries must follow each other. Where the name cannot be had (no /proc, or
// Windows), Open fails and the caller spools through a temporary file.
#pragma once

#include <cstdint>
#include <thread>

#include "tools/terminal_text.h"

class OutputPipe {
public:
    OutputPipe() = default;
    ~OutputPipe() { Close(); }
    OutputPipe(const OutputPipe&) = delete;
    OutputPipe& operator=(const OutputPipe&) = delete;

    // Makes the pipe and starts passing its bytes on; stdout is flushed
    // first, so that what went before stays before. False when the platform
    // has no such path.
    bool Open();
    // The path the plug-in writes the entry to.
    WCHAR* HostPath() { return path_.data(); }
    // Waits until everything written to the pipe is passed on (or could not
    // be) and answers the bytes that reached stdout. A write to stdout that
    // failed is noted for FinishOutput, and ends the pipe at once, so that the
    // plug-in's next write fails instead of waiting.
    uint64_t Close();

private:
    void PassOn();

    HostText path_;             // the pipe's write end, as a path
    int readEnd_ = -1;          // owned by the thread while it runs
    int writeEnd_ = -1;         // held open until Close, so the path stays valid
    uint64_t passed_ = 0;       // bytes that reached stdout
    std::thread passer_;        // runs PassOn
};
