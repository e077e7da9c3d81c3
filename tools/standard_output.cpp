#include "tools/standard_output.h"

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdint>
#include <cstdio>

#include "tools/terminal_text.h"

#ifdef _WIN32
#  include <fcntl.h>
#  include <io.h>
#else
#  include <unistd.h>
#endif

namespace {

// Written by the one thread that writes to stdout at the time.
struct OutputState {
    bool failed = false;  // a write to stdout has failed
    SystemCode code = 0;  // the system's code for the first failure
} output;

bool Record(bool written) {
    if (!written) NoteOutputFailure(LastSystemCode());
    return !output.failed;
}

}  // namespace

bool Print(const char* format, ...) {
    if (output.failed) return false;
    va_list arguments;
    va_start(arguments, format);
    int result = std::vfprintf(stdout, format, arguments);
    va_end(arguments);
    return Record(result >= 0 && !std::ferror(stdout));
}

bool PrintBytes(const void* data, size_t size) {
    if (output.failed) return false;
    return Record(std::fwrite(data, 1, size, stdout) == size);
}

bool OutputIntact() { return !output.failed; }

bool OutputReaderGone() {
#ifdef _WIN32
    // What a write to a pipe whose reader closed it answers.
    return output.failed && (output.code == ERROR_NO_DATA || output.code == ERROR_BROKEN_PIPE);
#else
    return output.failed && output.code == EPIPE;
#endif
}

bool FlushOutput() {
    if (output.failed) return false;
    return Record(std::fflush(stdout) == 0 && !std::ferror(stdout));
}

bool WriteOutputDirectly(const void* data, size_t size) {
    const auto* bytes = static_cast<const char*>(data);
    while (!output.failed && size != 0) {
#ifdef _WIN32
        const int written = _write(_fileno(stdout), bytes, static_cast<unsigned>(std::min<size_t>(size, INT32_MAX)));
#else
        const ssize_t written = write(STDOUT_FILENO, bytes, size);
        if (written < 0 && errno == EINTR) continue;
#endif
        if (written <= 0) {
            NoteOutputFailure(written == 0 ? 0 : LastSystemCode());
            break;
        }
        bytes += written;
        size -= static_cast<size_t>(written);
    }
    return !output.failed;
}

void NoteOutputFailure(SystemCode code) {
    if (output.failed) return;
    output.failed = true;
    output.code = code;
}

void UseBinaryOutput() {
#ifdef _WIN32
    std::fflush(stdout);
    _setmode(_fileno(stdout), _O_BINARY);
#endif
}

bool FinishOutput() {
    if (!output.failed) Record(std::fflush(stdout) == 0 && !std::ferror(stdout));
    if (output.failed && !OutputReaderGone())
        Say("standard output: " + (output.code != 0 ? SystemErrorText(output.code) : "a write failed"));
    return !output.failed;
}
