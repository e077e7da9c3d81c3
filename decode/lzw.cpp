// LZW decoding: whole-buffer, one call.
#include "decode/lzw.h"

#include <cstring>
#include <memory>

#include "decode/results.h"

namespace {

constexpr int32_t ClearCode = 256;
constexpr int32_t EndCode = 257;
constexpr int32_t FirstFreeCode = 258;
constexpr int32_t LastTableCode = 4096;            // codes are at most 12 bits
constexpr int32_t TableSlots = LastTableCode + 1;  // the slot after the last code is filled before the check
constexpr uint32_t FirstCodeWidth = 9;
constexpr uint32_t ScratchSize = 4096;             // longest possible string between two clear codes

struct LzwEntry {
    int32_t length;    // bytes of the entry's string
    int32_t prefix;    // code of the string without its last byte
    uint8_t lastByte;  // last byte of the string
};

struct LzwState {
    uint32_t accumulator = 0;                 // bits read and not yet used sit at its low end
    uint32_t bitCount = 0;                    // accumulator bits not yet used
    uint32_t codeWidth = FirstCodeWidth;      // 9 to 12
    int32_t nextCode = FirstFreeCode;         // slot the next table entry goes to
    int32_t previousCode = 0;                 // code of the string output last
    int32_t previousLength = 0;               // length of that string
    uint8_t previousFirst = 0;                // first byte of that string
    bool firstCode = true;                    // the next code adds no table entry
    uint8_t scratch[ScratchSize];             // the current string, built back to front
};

}  // namespace

uint32_t DecodeLzw(ByteBuffer& output, ByteBuffer& input, int32_t earlyChange) {
    // A failure here shows again at the first Append.
    (void)output.Reserve(input.Size());
    const std::unique_ptr<LzwEntry[]> table(new LzwEntry[TableSlots]());

    LzwState state;
    while (input.cursor < input.end) {
        while (state.bitCount < state.codeWidth) {
            if (input.cursor == input.end) return ResultInvalidData;
            state.accumulator = (state.accumulator << 8) | *input.cursor++;
            state.bitCount += 8;
        }
        state.bitCount -= state.codeWidth;
        const int32_t code =
            static_cast<int32_t>((state.accumulator >> state.bitCount) & ((1u << state.codeWidth) - 1u));

        if (code == EndCode) break;
        if (code == ClearCode) {
            // Leftover bits start the next code: there is no realignment.
            state.codeWidth = FirstCodeWidth;
            state.nextCode = FirstFreeCode;
            state.firstCode = true;
            state.previousLength = 0;
            continue;
        }
        if (state.nextCode > LastTableCode) return ResultInvalidData;

        int32_t length = 0;
        if (code < ClearCode) {
            state.scratch[0] = static_cast<uint8_t>(code);
            length = 1;
        } else if (code < state.nextCode) {
            length = table[code].length;
            if (length < 1 || static_cast<uint32_t>(length) > ScratchSize) return ResultInvalidData;
            int32_t link = code;
            for (int32_t position = length - 1; position > 0; --position) {
                if (link < FirstFreeCode) return ResultInvalidData;  // chain shorter than its length
                state.scratch[position] = table[link].lastByte;
                link = table[link].prefix;
            }
            // A chain that has not reached a single byte by now points back at
            // itself: a stream whose first code after a clear was nextCode
            // made an entry whose prefix is its own slot.
            if (link >= ClearCode) return ResultInvalidData;
            state.scratch[0] = static_cast<uint8_t>(link);
        } else if (code == state.nextCode) {
            // The previous string is still at the front of the scratch area.
            length = state.previousLength + 1;
            if (static_cast<uint32_t>(length) > ScratchSize) return ResultInvalidData;
            state.scratch[length - 1] = state.previousFirst;
        } else {
            return ResultInvalidData;
        }

        if (state.firstCode) {
            state.firstCode = false;
        } else {
            table[state.nextCode] = LzwEntry{state.previousLength + 1, state.previousCode, state.scratch[0]};
            ++state.nextCode;
            const int64_t sum = static_cast<int64_t>(state.nextCode) + earlyChange;
            if (sum == 512) state.codeWidth = 10;
            else if (sum == 1024) state.codeWidth = 11;
            else if (sum == 2048) state.codeWidth = 12;
        }

        state.previousCode = code;
        state.previousLength = length;
        state.previousFirst = state.scratch[0];
        if (output.cursor != nullptr && output.end - output.cursor >= length) {
            // Most strings are a few bytes long and fit: copied without Append's checks.
            std::memcpy(output.cursor, state.scratch, static_cast<size_t>(length));
            output.cursor += length;
            continue;
        }
        const uint32_t result = output.Append(state.scratch, static_cast<uint64_t>(length));
        if (result != ResultOk) return result;
    }
    output.end = output.cursor;
    return ResultOk;
}
