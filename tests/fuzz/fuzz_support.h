// Helpers shared by the fuzz targets. Each target defines
// LLVMFuzzerTestOneInput; it is linked with libFuzzer for fuzzing and with
// replay_main.cpp for replaying its corpus as an ordinary test.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <string>
#include <string_view>

#include "tests/support/stage_driver.h"
#ifndef _WIN32
#  include "platform/linux_memory_hook.h"
#endif

// Fuzzing looks for faults, not for how much a chain of expanding filters can
// take: heap requests beyond this are refused, as on a smaller machine, so that
// the out-of-memory answers are exercised instead of the fuzzer's memory
// limit being hit, and no target keeps more output than this.
constexpr size_t FuzzLargestAllocation = size_t{32} << 20;

inline bool RefuseHugeAllocations(size_t bytes) { return bytes <= FuzzLargestAllocation; }

// The unit-level targets link the objects directly; this caps their heap
// requests as above.
inline void CapHeapRequests() {
#ifndef _WIN32
    allocationHook = RefuseHugeAllocations;
#endif
}

// Stops the run with a message: libFuzzer records the input as a crash.
[[noreturn]] inline void FuzzFailure(const char* what) {
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::abort();
}

inline void FuzzCheck(bool condition, const char* what) {
    if (!condition) FuzzFailure(what);
}

// A private copy of the input in a block of exactly its size, so that
// AddressSanitizer reports a read even one byte past it (malloc(0) gives a
// block with no readable byte).
class ExactCopy {
public:
    ExactCopy(const uint8_t* data, size_t size) : block_(static_cast<uint8_t*>(std::malloc(size))), size_(size) {
        if (block_ == nullptr) std::abort();
        if (size != 0) std::memcpy(block_, data, size);
    }
    ~ExactCopy() { std::free(block_); }
    ExactCopy(const ExactCopy&) = delete;
    ExactCopy& operator=(const ExactCopy&) = delete;

    uint8_t* begin() const { return block_; }
    uint8_t* end() const { return block_ + size_; }
    size_t size() const { return size_; }
    // Decoders only read their input; a write into it would corrupt the
    // archive's copy of the document.
    bool Unchanged(const uint8_t* original) const { return size_ == 0 || std::memcmp(block_, original, size_) == 0; }

private:
    uint8_t* block_;
    size_t size_;
};

// A NUL-terminated copy of a text in a block of exactly its size, so that
// a read past the terminator is reported.
class TextCopy {
public:
    TextCopy(const uint8_t* data, size_t length) : text_(static_cast<char*>(std::malloc(length + 1))), length_(length) {
        if (text_ == nullptr) std::abort();
        if (length != 0) std::memcpy(text_, data, length);
        text_[length] = 0;
    }
    ~TextCopy() { std::free(text_); }
    TextCopy(const TextCopy&) = delete;
    TextCopy& operator=(const TextCopy&) = delete;

    const char* text() const { return text_; }
    std::string_view view() const { return std::string_view(text_, length_); }
    bool Holds(const char* position) const { return position >= text_ && position <= text_ + length_; }

private:
    char* text_;
    size_t length_;
};

// Bytes a stage run in small windows keeps: enough to compare, few enough
// that windows of a byte stay quick.
constexpr size_t FuzzSmallWindowOutput = size_t{1} << 20;

// The windows of a second run: a size taken from the input, and the input
// cut in three, or fed one byte at a time when it is short.
inline StageWindows SmallWindows(const uint8_t* data, size_t size) {
    StageWindows windows;
    windows.outputWindow = 1 + (size == 0 ? 0 : data[size - 1] % 31);
    windows.inputCuts = size <= 256 ? EveryByte(size) : std::vector<size_t>{size / 3, 2 * size / 3};
    windows.outputLimit = FuzzSmallWindowOutput;
    return windows;
}

// Two runs of one stage over the same input must agree: the status, and
// the bytes as far as the run in small windows kept them.
inline void FuzzSameRuns(const StageRun& whole, const StageRun& pieces) {
    FuzzCheck(whole.fault.empty() && pieces.fault.empty(), "a stage broke the window contract");
    if (whole.cutShort) return;
    if (pieces.cutShort) {
        FuzzCheck(whole.bytes.compare(0, pieces.bytes.size(), pieces.bytes) == 0, "small windows gave other bytes");
        return;
    }
    FuzzCheck(whole.status == pieces.status, "small windows gave another status");
    FuzzCheck(whole.bytes == pieces.bytes, "small windows gave other bytes");
}

// A stage over the input in one large window and again in small windows
// with the input cut: both must agree. `check` then sees the large run
// (cut short only past FuzzLargestAllocation bytes of output).
template <typename Stage, typename Start, typename Run, typename Check>
void FuzzStage(const uint8_t* data, size_t size, Start start, Run run, Check check) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    auto large = std::make_unique<Stage>();
    start(*large);
    const StageRun whole = RunStage(*large, run, input, StageWindows{65536, {}, FuzzLargestAllocation});
    auto small = std::make_unique<Stage>();
    start(*small);
    FuzzSameRuns(whole, RunStage(*small, run, input, SmallWindows(data, size)));
    check(whole);
}

// Inputs of targets that also need a dictionary: the bytes before the first
// NUL are the dictionary text, the bytes after it the stream. Without a NUL
// the whole input is the stream and the dictionary is empty.
struct DictionaryAndData {
    std::string dictionaryText;
    const uint8_t* data;
    size_t size;
};

inline DictionaryAndData SplitAtNul(const uint8_t* data, size_t size) {
    const void* nul = size != 0 ? std::memchr(data, 0, size) : nullptr;
    if (nul == nullptr) return {std::string(), data, size};
    const size_t textLength = static_cast<size_t>(static_cast<const uint8_t*>(nul) - data);
    return {std::string(reinterpret_cast<const char*>(data), textLength), data + textLength + 1,
            size - textLength - 1};
}
