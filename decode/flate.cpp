// Flate decoding through zlib: whole-buffer, one call.
#include "decode/flate.h"

#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <limits>

#include "decode/results.h"

namespace {

// Largest window one zlib call takes (avail_in and avail_out are 32-bit).
constexpr uint32_t ZlibMaxWindow = std::numeric_limits<uInt>::max();

struct FlateState {
    z_stream stream{};                // zlib's view of both buffers; next_in/next_out move with it
    const Bytef* inputEnd = nullptr;  // one past the last input byte
    uint64_t capacity = 0;            // output capacity to reserve when the block is full
    bool drainingOutput = false;      // called again only to see whether zlib held output back
};

// Ends the inflation on every way out once it has started.
class InflateGuard {
public:
    explicit InflateGuard(z_stream& stream) : stream_(stream) {}
    ~InflateGuard() { inflateEnd(&stream_); }
    InflateGuard(const InflateGuard&) = delete;
    InflateGuard& operator=(const InflateGuard&) = delete;

private:
    z_stream& stream_;
};

}  // namespace

uint64_t FlateCapacityLimit() {
    // Offsets inside the block are pointer differences, so the block must stay below PTRDIFF_MAX.
    const uint64_t addressable = static_cast<uint64_t>(std::numeric_limits<ptrdiff_t>::max());
    const uint64_t sizeLimit = static_cast<uint64_t>(std::numeric_limits<size_t>::max());
    return addressable < sizeLimit ? addressable : sizeLimit;
}

uint64_t FlateFirstCapacity(uint64_t inputLength) {
    const uint64_t limit = FlateCapacityLimit();
    return inputLength > limit / FlateFirstExpansion ? limit : inputLength * FlateFirstExpansion;
}

uint64_t FlateNextCapacity(uint64_t capacity) {
    const uint64_t limit = FlateCapacityLimit();
    if (capacity >= limit) return 0;
    return capacity > limit / 2 ? limit : capacity * 2;
}

uint32_t FlateWindow(uint64_t remaining, uint32_t window) {
    return remaining < window ? static_cast<uint32_t>(remaining) : window;
}

uint32_t DecodeFlateInWindows(ByteBuffer& output, ByteBuffer& input, uint32_t window) {
    if (window == 0) return ResultInvalidParameter;
    FlateState state;
    state.stream.next_in = input.begin;
    state.inputEnd = input.end;
    state.stream.avail_in = FlateWindow(input.Size(), window);
    if (inflateInit(&state.stream) != Z_OK) return ResultFlateStartFailed;
    InflateGuard guard(state.stream);

    state.capacity = FlateFirstCapacity(input.Size());
    uint64_t written = 0;  // counted here: zlib's total_out is 32-bit on Windows
    for (;;) {
        if (written == output.Size()) {
            const uint32_t result = output.Reserve(state.capacity);
            if (result != ResultOk) return result;
        }
        if (state.stream.avail_in == 0) {
            state.stream.avail_in = FlateWindow(static_cast<uint64_t>(state.inputEnd - state.stream.next_in), window);
        }
        state.stream.next_out = output.begin + written;
        state.stream.avail_out = FlateWindow(output.Size() - written, window);

        const int status = inflate(&state.stream, Z_NO_FLUSH);
        written = static_cast<uint64_t>(state.stream.next_out - output.begin);
        const bool inputConsumed = state.stream.next_in == state.inputEnd;

        if (status == Z_STREAM_END) break;  // bytes after the stream's end are ignored
        if (status == Z_BUF_ERROR && state.drainingOutput && inputConsumed) {
            // The cut stream had filled zlib's output window exactly; nothing was held back.
            break;
        }
        if (status != Z_OK) return ResultFlateCorrupt;

        if (state.stream.avail_out == 0) {
            // zlib may still hold output back here (the rest of a copy), even
            // with all input consumed: give it more room before calling it done.
            state.drainingOutput = inputConsumed;
            if (written < output.Size()) continue;
            state.capacity = FlateNextCapacity(output.Size());
            if (state.capacity == 0) return ResultOutOfMemory;
            continue;
        }
        state.drainingOutput = false;
        // A stream cut short: all input consumed without its end, and zlib had
        // room for everything it could give. What was inflated is the data.
        if (inputConsumed) break;
        // Otherwise only zlib's input window ran out; the loop refills it.
    }
    output.end = output.begin + written;
    output.cursor = output.begin;
    return ResultOk;
}

uint32_t DecodeFlate(ByteBuffer& output, ByteBuffer& input) {
    return DecodeFlateInWindows(output, input, ZlibMaxWindow);
}
