// The programs scripts/bench needs besides Python (it compiles this file
// itself with c++ -O2 and zlib):
//
//   bench-helper floor FILE.pdf FILE.manifest DIR
//     The streaming floor: the least work the whole job needs, on one
//     thread, as the floor the plug-in is measured against. It reads the PDF
//     into memory, then for every stream of the manifest the generator wrote
//     makes a new file in DIR (one open, its writes, one close) and writes
//     the stream's decoded bytes into it: Flate streams inflated through one
//     window of 1 MiB, written each time it fills; every other stream written
//     as stored, the cheapest stand-in for decoders that cost about as much
//     as a copy. A manifest line is "OFFSET LENGTH DECODED KIND" (KIND
//     "flate" or "copy").
//
//   bench-helper window count FILE.pdf OFFSET LENGTH
//   bench-helper window write FILE.pdf OFFSET LENGTH OUT
//     The floor of a document of one stream far larger than memory should
//     hold: inflate the Flate data of LENGTH bytes at OFFSET into one window
//     of 1 MiB, over and over, reading the file 1 MiB at a time, and count the
//     bytes (printing the count) or write them to the new file OUT.
//
//   bench-helper measure REPORT COMMAND ARG...
//     Runs the command and writes "WALL_SECONDS PEAK_RSS_KB EXIT_STATUS" to
//     REPORT. Linux starts a child's peak RSS at its parent's when it execs, so
//     the command must be started from this small process, not from Python.
#include <errno.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#include <zlib.h>

#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int ExitFailure = 1;
constexpr int ExitCannotRun = 127;
constexpr size_t KindLength = 16;
constexpr size_t NameLength = 64;
constexpr size_t WindowSize = size_t{1} << 20;
constexpr size_t InputSize = size_t{1} << 20;

bool ReadWholeFile(const char* path, std::vector<unsigned char>& data) {
    const int fd = open(path, O_RDONLY);
    if (fd < 0) return false;
    const off_t size = lseek(fd, 0, SEEK_END);
    data.resize(static_cast<size_t>(size));
    size_t done = 0;
    while (size >= 0 && done < data.size()) {
        const ssize_t got = pread(fd, data.data() + done, data.size() - done, static_cast<off_t>(done));
        if (got <= 0) break;
        done += static_cast<size_t>(got);
    }
    close(fd);
    return size >= 0 && done == data.size();
}

bool WriteAll(int fd, const unsigned char* data, uint64_t size) {
    uint64_t done = 0;
    while (done < size) {
        const ssize_t wrote = write(fd, data + done, size - done);
        if (wrote <= 0) return false;
        done += static_cast<uint64_t>(wrote);
    }
    return true;
}

// Inflates the Flate data in memory through the window, writing each filled
// window to `out`; false unless the data ends after exactly `decoded` bytes.
bool InflateInMemory(const unsigned char* input, uint64_t length, std::vector<unsigned char>& window, int out,
                     uint64_t decoded) {
    z_stream stream{};
    if (inflateInit(&stream) != Z_OK) return false;
    uint64_t consumed = 0;
    uint64_t produced = 0;
    int result = Z_OK;
    while (result == Z_OK) {
        if (stream.avail_in == 0 && consumed < length) {
            // zlib counts its input in 32 bits.
            const uint64_t chunk = length - consumed < UINT32_MAX ? length - consumed : UINT32_MAX;
            stream.next_in = const_cast<unsigned char*>(input + consumed);
            stream.avail_in = static_cast<uInt>(chunk);
            consumed += chunk;
        }
        stream.next_out = window.data();
        stream.avail_out = static_cast<uInt>(window.size());
        result = inflate(&stream, Z_NO_FLUSH);
        const size_t made = window.size() - stream.avail_out;
        produced += made;
        if (!WriteAll(out, window.data(), made)) break;
    }
    inflateEnd(&stream);
    return result == Z_STREAM_END && produced == decoded;
}

int Floor(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: bench-helper floor FILE.pdf FILE.manifest DIR\n");
        return ExitFailure;
    }
    std::vector<unsigned char> file;
    if (!ReadWholeFile(argv[0], file)) {
        std::fprintf(stderr, "bench-helper: cannot read %s\n", argv[0]);
        return ExitFailure;
    }
    FILE* manifest = std::fopen(argv[1], "r");
    if (manifest == nullptr) {
        std::fprintf(stderr, "bench-helper: cannot read %s\n", argv[1]);
        return ExitFailure;
    }
    const std::string directory = argv[2];
    std::vector<unsigned char> window(WindowSize);
    uint64_t offset = 0, length = 0, decoded = 0;
    char kind[KindLength] = {};
    unsigned number = 0;
    int status = 0;
    while (std::fscanf(manifest, "%" SCNu64 " %" SCNu64 " %" SCNu64 " %15s", &offset, &length, &decoded, kind) == 4) {
        if (offset > file.size() || length > file.size() - offset) {
            status = ExitFailure;
            break;
        }
        const unsigned char* input = file.data() + offset;
        char name[NameLength];
        std::snprintf(name, sizeof name, "/object-stream-%08u.dat", ++number);
        const int out = open((directory + name).c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
        bool done = out >= 0;
        if (done && std::strcmp(kind, "flate") == 0) {
            done = InflateInMemory(input, length, window, out, decoded);
        } else if (done) {
            done = WriteAll(out, input, length < decoded ? length : decoded);
        }
        if (out >= 0 && close(out) != 0) done = false;
        if (!done) {
            std::fprintf(stderr, "bench-helper: stream at offset %" PRIu64 " failed\n", offset);
            status = ExitFailure;
            break;
        }
    }
    std::fclose(manifest);
    return status;
}

bool ParseSize(const char* text, uint64_t& value) {
    char* end = nullptr;
    errno = 0;
    value = std::strtoull(text, &end, 10);
    return errno == 0 && end != text && *end == '\0';
}

// Inflates the stream through one window; returns whether it reached the end
// of the Flate data. out < 0 only counts.
bool InflateThroughWindow(int in, uint64_t offset, uint64_t length, int out, uint64_t& produced) {
    z_stream stream{};
    if (inflateInit(&stream) != Z_OK) return false;
    std::vector<unsigned char> input(InputSize), window(WindowSize);
    uint64_t consumed = 0;
    int result = Z_OK;
    produced = 0;
    while (result == Z_OK) {
        if (stream.avail_in == 0 && consumed < length) {
            const size_t want = static_cast<size_t>(length - consumed < InputSize ? length - consumed : InputSize);
            const ssize_t got = pread(in, input.data(), want, static_cast<off_t>(offset + consumed));
            if (got <= 0) break;
            consumed += static_cast<uint64_t>(got);
            stream.next_in = input.data();
            stream.avail_in = static_cast<uInt>(got);
        }
        stream.next_out = window.data();
        stream.avail_out = static_cast<uInt>(WindowSize);
        // Z_BUF_ERROR, data cut short, ends the loop like any other error.
        result = inflate(&stream, Z_NO_FLUSH);
        const size_t made = WindowSize - stream.avail_out;
        produced += made;
        if (out >= 0 && !WriteAll(out, window.data(), made)) break;
    }
    inflateEnd(&stream);
    return result == Z_STREAM_END;
}

int Window(int argc, char** argv) {
    const bool count = argc == 4 && std::strcmp(argv[0], "count") == 0;
    const bool writes = argc == 5 && std::strcmp(argv[0], "write") == 0;
    uint64_t offset = 0, length = 0;
    if ((!count && !writes) || !ParseSize(argv[2], offset) || !ParseSize(argv[3], length)) {
        std::fprintf(stderr, "usage: bench-helper window count FILE.pdf OFFSET LENGTH\n"
                             "       bench-helper window write FILE.pdf OFFSET LENGTH OUT\n");
        return ExitFailure;
    }
    const int in = open(argv[1], O_RDONLY);
    if (in < 0) {
        std::fprintf(stderr, "bench-helper: cannot read %s\n", argv[1]);
        return ExitFailure;
    }
    const int out = writes ? open(argv[4], O_WRONLY | O_CREAT | O_EXCL, 0644) : -1;
    if (writes && out < 0) {
        std::fprintf(stderr, "bench-helper: cannot create %s\n", argv[4]);
        close(in);
        return ExitFailure;
    }
    uint64_t produced = 0;
    bool done = InflateThroughWindow(in, offset, length, out, produced);
    close(in);
    if (out >= 0 && close(out) != 0) done = false;
    if (!done) {
        std::fprintf(stderr, "bench-helper: the stream at offset %" PRIu64 " failed after %" PRIu64 " bytes\n",
                     offset, produced);
        return ExitFailure;
    }
    if (count) std::printf("%" PRIu64 "\n", produced);
    return 0;
}

double Seconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

int Measure(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench-helper measure REPORT COMMAND ARG...\n");
        return ExitFailure;
    }
    const double started = Seconds();
    const pid_t child = fork();
    if (child == 0) {
        execvp(argv[1], argv + 1);
        _exit(ExitCannotRun);
    }
    int status = 0;
    rusage usage{};
    if (child < 0 || wait4(child, &status, 0, &usage) != child) return ExitFailure;
    const double wall = Seconds() - started;
    const int exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    FILE* report = std::fopen(argv[0], "w");
    if (report == nullptr) return ExitFailure;
    std::fprintf(report, "%.6f %ld %d\n", wall, usage.ru_maxrss, exitStatus);
    return std::fclose(report) == 0 ? 0 : ExitFailure;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && std::strcmp(argv[1], "floor") == 0) return Floor(argc - 2, argv + 2);
    if (argc >= 2 && std::strcmp(argv[1], "window") == 0) return Window(argc - 2, argv + 2);
    if (argc >= 2 && std::strcmp(argv[1], "measure") == 0) return Measure(argc - 2, argv + 2);
    std::fprintf(stderr, "usage: bench-helper floor FILE.pdf FILE.manifest DIR | window count|write FILE.pdf OFFSET"
                         " LENGTH [OUT] | measure REPORT COMMAND ARG...\n");
    return ExitFailure;
}
