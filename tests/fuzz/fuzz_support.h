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

#include "decode/byte_buffer.h"
#ifndef _WIN32
#  include "platform/linux_memory_hook.h"
#endif

// Fuzzing looks for faults, not for how much a chain of expanding filters can
// take: heap requests beyond this are refused, as on a smaller machine, so that
// the decoders' out-of-memory answers are exercised instead of the fuzzer's
// memory limit being hit. The limit also keeps every input quick: tens of
// megabytes through the fax row rewrite take seconds under the sanitizers.
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

inline void FuzzCheckResult(uint32_t result, std::initializer_list<uint32_t> allowed) {
    for (uint32_t value : allowed) {
        if (value == result) return;
    }
    std::fprintf(stderr, "unexpected result %u\n", static_cast<unsigned>(result));
    FuzzFailure("result number outside the allowed set");
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

// A view of the copy, as the filter chain hands a raw stream to a decoder.
inline ByteBuffer ViewOf(const ExactCopy& copy) {
    ByteBuffer view;
    view.Attach(copy.begin(), copy.end(), false);
    return view;
}

// Reads the first and last decoded byte and one in every 4096 between, so
// that AddressSanitizer checks the range a decoder claims without the cost of
// reading gigabytes that a chain of expanding filters may produce; and checks
// the buffer's shape.
inline void TouchDecoded(const ByteBuffer& output) {
    FuzzCheck((output.begin == nullptr) == (output.end == nullptr), "buffer half empty");
    FuzzCheck(output.begin <= output.end, "buffer ends before it begins");
    if (output.begin == output.end) return;
    constexpr uint64_t stride = 4096;
    volatile uint8_t sum = output.end[-1];
    for (uint64_t offset = 0; offset < output.Size(); offset += stride) sum = static_cast<uint8_t>(sum + output.begin[offset]);
    (void)sum;
}

// A decoder called as decode(output, input) over an exact copy of the input:
// it must answer an allowed result, leave its input unchanged, and on success
// cover only bytes of its own block. `check` then sees the result and the
// output, for what a target knows more.
template <typename Decoder, typename Check>
void FuzzDecoder(const uint8_t* data, size_t size, Decoder decode, std::initializer_list<uint32_t> allowed,
                 Check check) {
    CapHeapRequests();
    const ExactCopy copy(data, size);
    ByteBuffer input = ViewOf(copy);
    ByteBuffer output;
    ByteBufferGuard guard(output);
    const uint32_t result = decode(output, input);
    FuzzCheckResult(result, allowed);
    FuzzCheck(copy.Unchanged(data), "input bytes were changed");
    if (result == 0) TouchDecoded(output);
    check(result, output);
}

template <typename Decoder>
void FuzzDecoder(const uint8_t* data, size_t size, Decoder decode, std::initializer_list<uint32_t> allowed) {
    FuzzDecoder(data, size, decode, allowed, [](uint32_t, const ByteBuffer&) {});
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
