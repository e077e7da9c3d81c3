// RunLength decoding: whole-buffer, one call.
#include "decode/run_length.h"

#include <cstring>

#include "decode/results.h"

namespace {

constexpr uint8_t EndOfData = 128;
constexpr uint32_t RepeatBase = 257;  // a length byte n from 129 up repeats 257 - n times

struct RunLengthState {
    uint8_t lengthByte = 0;  // the length byte of the run being decoded
    uint64_t runLength = 0;  // bytes that run gives
};

}  // namespace

uint32_t DecodeRunLength(ByteBuffer& output, ByteBuffer& input) {
    RunLengthState state;
    while (input.cursor < input.end) {
        state.lengthByte = *input.cursor++;
        if (state.lengthByte == EndOfData) break;
        if (state.lengthByte < EndOfData) {
            // A literal run longer than what is left copies what is left.
            const uint64_t remaining = static_cast<uint64_t>(input.end - input.cursor);
            state.runLength = state.lengthByte + 1u;
            if (state.runLength > remaining) state.runLength = remaining;
            const uint32_t result = output.Append(input.cursor, state.runLength);
            if (result != ResultOk) return result;
            input.cursor += state.runLength;
            continue;
        }
        if (input.cursor == input.end) return ResultInvalidData;
        const uint8_t repeated = *input.cursor++;
        state.runLength = RepeatBase - state.lengthByte;
        if (output.cursor == nullptr || static_cast<uint64_t>(output.end - output.cursor) < state.runLength) {
            const uint64_t used = output.begin == nullptr ? 0 : static_cast<uint64_t>(output.cursor - output.begin);
            // Doubling keeps a long series of repeat runs linear; growing by
            // each run alone copied the whole output again for every run.
            const uint64_t doubled = 2 * output.Size();
            const uint32_t result = output.Reserve(used + state.runLength > doubled ? used + state.runLength : doubled);
            if (result != ResultOk) return result;
        }
        std::memset(output.cursor, repeated, static_cast<size_t>(state.runLength));
        output.cursor += state.runLength;
    }
    output.end = output.cursor;
    return ResultOk;
}
