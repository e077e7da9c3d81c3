#include "tools/standard_output.h"

#include <cstdarg>
#include <cstdio>

#include "tools/terminal_text.h"

#ifdef _WIN32
#  include <fcntl.h>
#  include <io.h>
#endif

namespace {

struct OutputState {
    bool failed = false;  // a write to stdout has failed
    SystemCode code = 0;  // the system's code for the first failure
} output;

bool Record(bool written) {
    if (!written && !output.failed) {
        output.failed = true;
        output.code = LastSystemCode();
    }
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

void UseBinaryOutput() {
#ifdef _WIN32
    std::fflush(stdout);
    _setmode(_fileno(stdout), _O_BINARY);
#endif
}

bool FinishOutput() {
    if (!output.failed) Record(std::fflush(stdout) == 0 && !std::ferror(stdout));
    if (output.failed) Say("standard output: " + (output.code != 0 ? SystemErrorText(output.code) : "a write failed"));
    return !output.failed;
}
