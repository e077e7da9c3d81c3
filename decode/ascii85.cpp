// ASCII85 decoding: whole-buffer, one call.
#include "decode/ascii85.h"

#include <cstring>

#include "decode/results.h"

namespace {

constexpr uint32_t GroupDigits = 5;        // digits that make one full group
constexpr uint32_t GroupBytes = 4;         // bytes that one full group gives
constexpr uint8_t FirstDigit = '!';        // value 0
constexpr uint8_t LastDigit = 'u';         // value 84, also the padding digit
constexpr uint8_t ZeroGroup = 'z';
constexpr uint8_t EndMark = '~';

struct Ascii85State {
    uint32_t accumulator = 0;  // value of the group being read, modulo 2^32
    uint32_t count = 0;        // digits of that group read so far, 0 to 4
};

void GroupBytesOf(uint32_t value, uint8_t (&bytes)[GroupBytes]) {
    bytes[0] = static_cast<uint8_t>(value >> 24);
    bytes[1] = static_cast<uint8_t>(value >> 16);
    bytes[2] = static_cast<uint8_t>(value >> 8);
    bytes[3] = static_cast<uint8_t>(value);
}

// Writes a group's bytes at the cursor. Full groups fit the first reservation
// and are stored directly; only "z" groups can outgrow it.
uint32_t PutGroup(ByteBuffer& output, uint32_t value) {
    uint8_t bytes[GroupBytes];
    GroupBytesOf(value, bytes);
    if (static_cast<uint64_t>(output.end - output.cursor) < GroupBytes) return output.Append(bytes, GroupBytes);
    std::memcpy(output.cursor, bytes, GroupBytes);
    output.cursor += GroupBytes;
    return ResultOk;
}

}  // namespace

uint32_t DecodeAscii85(ByteBuffer& output, ByteBuffer& input) {
    uint32_t result = output.Reserve(input.Size());
    if (result != ResultOk) return result;

    Ascii85State state;
    uint8_t bytes[GroupBytes];
    while (input.cursor < input.end) {
        const uint8_t c = *input.cursor++;
        if (c >= FirstDigit && c <= LastDigit) {
            state.accumulator = state.accumulator * 85u + static_cast<uint32_t>(c - FirstDigit);
            if (++state.count < GroupDigits) continue;
            result = PutGroup(output, state.accumulator);
            if (result != ResultOk) return result;
            state = Ascii85State{};
        } else if (c == ZeroGroup) {
            // A group already begun is dropped, as the producer cannot have meant it.
            state = Ascii85State{};
            result = PutGroup(output, 0);
            if (result != ResultOk) return result;
        } else if (c == EndMark) {
            break;
        }
        // Every other byte (white space, control characters, bytes from 118 up) is skipped.
    }

    if (state.count > 0) {
        const uint32_t pending = state.count;
        for (; state.count < GroupDigits; ++state.count) state.accumulator = state.accumulator * 85u + 84u;
        GroupBytesOf(state.accumulator, bytes);
        result = output.Append(bytes, pending - 1);
        if (result != ResultOk) return result;
    }
    output.end = output.cursor;
    return ResultOk;
}
