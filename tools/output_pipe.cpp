#include "tools/output_pipe.h"

#include <cstdio>
#include <string>
#include <memory>
#include <new>

#include "tools/standard_output.h"

#ifndef _WIN32
#  include <cerrno>
#  include <fcntl.h>
#  include <unistd.h>
#  include <sys/stat.h>
#endif

namespace {

#ifndef _WIN32
// The pipe's capacity asked for, and the most bytes one call moves on: the
// plug-in writes in chunks of about this size, each then one switch of threads.
constexpr int PipeCapacityBytes = 1 << 20;
#endif

}  // namespace

#ifdef _WIN32
bool OutputPipe::Open() { return false; }
uint64_t OutputPipe::Close() { return passed_; }
void OutputPipe::PassOn() {}
#else
bool OutputPipe::Open() {
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) return false;
    readEnd_ = ends[0];
    writeEnd_ = ends[1];
    // A system that keeps its smaller default only costs more switches.
    fcntl(writeEnd_, F_SETPIPE_SZ, PipeCapacityBytes);
    std::string path = "/proc/self/fd/" + std::to_string(writeEnd_);
    struct stat status;
    if (stat(path.c_str(), &status) != 0 || !S_ISFIFO(status.st_mode) || !FlushOutput()) {
        Close();
        return false;
    }
    path_ = FromUtf8(path);
    try {
        passer_ = std::thread([this] { PassOn(); });
    } catch (...) {
        Close();
        return false;
    }
    return true;
}

void OutputPipe::PassOn() {
    // splice moves the bytes inside the kernel; where stdout cannot take it
    // (a terminal, some devices) they go through a buffer instead.
    bool spliced = true;
    std::unique_ptr<char[]> buffer;
    for (;;) {
        ssize_t moved;
        if (spliced) {
            moved = splice(readEnd_, nullptr, STDOUT_FILENO, nullptr, PipeCapacityBytes, SPLICE_F_MOVE);
            if (moved < 0 && errno == EINVAL) {
                spliced = false;
                continue;
            }
        } else {
            if (buffer == nullptr) buffer.reset(new (std::nothrow) char[PipeCapacityBytes]);
            if (buffer == nullptr) {
                NoteOutputFailure(ENOMEM);
                break;
            }
            moved = read(readEnd_, buffer.get(), PipeCapacityBytes);
            if (moved > 0 && !WriteOutputDirectly(buffer.get(), static_cast<size_t>(moved))) break;
        }
        if (moved < 0 && errno == EINTR) continue;
        if (moved < 0 && spliced) NoteOutputFailure(static_cast<SystemCode>(errno));
        if (moved <= 0) break;
        passed_ += static_cast<uint64_t>(moved);
    }
    // With nothing left to read the pipe, the plug-in's writes fail at once.
    close(readEnd_);
    readEnd_ = -1;
}

uint64_t OutputPipe::Close() {
    if (writeEnd_ >= 0) close(writeEnd_);
    writeEnd_ = -1;
    if (passer_.joinable()) passer_.join();
    if (readEnd_ >= 0) close(readEnd_);
    readEnd_ = -1;
    return passed_;
}
#endif
