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
    bool failed = false;      // a write to stdout has failed
    bool readerGone = false;  // the first failure was a pipe without a reader
    SystemCode code = 0;      // the system's code for the first failure
} output;

#ifdef _WIN32
// Whether stdout is a pipe that its reader closed, asked after a write
// through the C runtime failed: its code does not tell (Wine's is EINVAL),
// and an empty write succeeds either way. A pipe's writes fail for no other
// cause in practice, so the one byte of the question reaches no reader.
bool PipeReaderGone() {
    HANDLE handle = GetStdHandle(STD_OUTPUT_HANDLE);
    if (handle == INVALID_HANDLE_VALUE || GetFileType(handle) != FILE_TYPE_PIPE) return false;
    DWORD written = 0;
    if (WriteFile(handle, "\n", 1, &written, nullptr)) return false;
    const DWORD code = GetLastError();
    return code == ERROR_NO_DATA || code == ERROR_BROKEN_PIPE || code == ERROR_PIPE_NOT_CONNECTED;
}
#endif

// Whether a failed write's code says the pipe has no reader.
bool MeansReaderGone(SystemCode code) {
#ifdef _WIN32
    return code == ERROR_NO_DATA || code == ERROR_BROKEN_PIPE || code == ERROR_PIPE_NOT_CONNECTED;
#else
    return code == EPIPE;
#endif
}

bool Record(bool written) {
    if (written || output.failed) return !output.failed;
    // The C runtime's own code says it where the system's may be gone (on
    // Windows the runtime's calls reset it).
    const bool readerGone = errno == EPIPE;
    NoteOutputFailure(LastSystemCode());
#ifdef _WIN32
    if (!output.readerGone) output.readerGone = PipeReaderGone();
#endif
    output.readerGone = output.readerGone || readerGone;
    return false;
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

bool OutputReaderGone() { return output.readerGone; }

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
    output.readerGone = MeansReaderGone(code);
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
