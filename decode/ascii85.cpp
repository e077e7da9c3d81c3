// ASCII85 decoding as a resumable stage.
#include "decode/ascii85.h"

#include <cstring>

namespace {

constexpr uint32_t GroupDigits = 5;        // digits that make one full group
constexpr uint32_t GroupBytes = 4;         // bytes that one full group gives
constexpr uint8_t FirstDigit = '!';        // value 0
constexpr uint8_t LastDigit = 'u';         // value 84, also the padding digit
constexpr uint8_t ZeroGroup = 'z';
constexpr uint8_t EndMark = '~';

// Holds `count` bytes of a group's value for writing.
void HoldGroup(Ascii85Stage& stage, uint32_t value, uint32_t count) {
    stage.pending[0] = static_cast<uint8_t>(value >> 24);
    stage.pending[1] = static_cast<uint8_t>(value >> 16);
    stage.pending[2] = static_cast<uint8_t>(value >> 8);
    stage.pending[3] = static_cast<uint8_t>(value);
    stage.pendingStart = 0;
    stage.pendingEnd = count;
}

// The last group of fewer than five digits, padded with the highest digit.
void HoldLastGroup(Ascii85Stage& stage) {
    if (stage.digits == 0) return;
    const uint32_t count = stage.digits - 1;
    for (; stage.digits < GroupDigits; ++stage.digits) stage.accumulator = stage.accumulator * 85u + 84u;
    HoldGroup(stage, stage.accumulator, count);
    stage.accumulator = 0;
    stage.digits = 0;
}

}  // namespace

void StartAscii85(Ascii85Stage& stage) { stage = Ascii85Stage{}; }

Status RunAscii85(Ascii85Stage& stage, Window& window, bool inputEnds) {
    if (stage.ended) return Status::End;
    const uint8_t* in = window.nextIn;
    const uint8_t* const inEnd = in + window.availIn;
    uint8_t* out = window.nextOut;
    uint8_t* const outEnd = out + window.availOut;
    for (;;) {
        // Bytes of a group come out first; nothing is read while they wait.
        while (stage.pendingStart < stage.pendingEnd && out < outEnd) *out++ = stage.pending[stage.pendingStart++];
        if (stage.pendingStart < stage.pendingEnd) break;
        if (stage.inputEnded) {
            stage.ended = true;
            break;
        }
        // Whole groups of five digits go straight out while they have room.
        while (stage.digits == 0 && inEnd - in >= static_cast<ptrdiff_t>(GroupDigits) &&
               outEnd - out >= static_cast<ptrdiff_t>(GroupBytes)) {
            uint32_t value = 0;
            uint32_t i = 0;
            for (; i < GroupDigits && in[i] >= FirstDigit && in[i] <= LastDigit; ++i) {
                value = value * 85u + static_cast<uint32_t>(in[i] - FirstDigit);
            }
            if (i != GroupDigits) break;
            in += GroupDigits;
            out[0] = static_cast<uint8_t>(value >> 24);
            out[1] = static_cast<uint8_t>(value >> 16);
            out[2] = static_cast<uint8_t>(value >> 8);
            out[3] = static_cast<uint8_t>(value);
            out += GroupBytes;
        }
        if (in == inEnd) {
            if (!inputEnds) break;
            stage.inputEnded = true;
            HoldLastGroup(stage);
            continue;
        }
        const uint8_t c = *in++;
        if (c >= FirstDigit && c <= LastDigit) {
            stage.accumulator = stage.accumulator * 85u + static_cast<uint32_t>(c - FirstDigit);
            if (++stage.digits < GroupDigits) continue;
            HoldGroup(stage, stage.accumulator, GroupBytes);
            stage.accumulator = 0;
            stage.digits = 0;
        } else if (c == ZeroGroup) {
            // A group already begun is dropped, as the producer cannot have meant it.
            stage.accumulator = 0;
            stage.digits = 0;
            HoldGroup(stage, 0, GroupBytes);
        } else if (c == EndMark) {
            stage.inputEnded = true;
            HoldLastGroup(stage);
        }
        // Every other byte (white space, control characters, bytes from 118 up) is skipped.
    }
    MoveWindow(window, in, out);
    return stage.ended ? Status::End : Status::Ok;
}
