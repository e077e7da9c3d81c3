// LZW decoding as a resumable stage.
#include "decode/lzw.h"

#include <cstring>

namespace {

constexpr int32_t ClearCode = 256;
constexpr int32_t EndCode = 257;
constexpr int32_t FirstFreeCode = 258;
constexpr int32_t LastTableCode = LzwTableSlots - 1;  // the slot after the last code is filled before the check
constexpr uint32_t FirstCodeWidth = 9;

// Builds the string of `code` in the scratch area; its length, or 0 when the
// code is invalid.
int32_t StringOf(LzwStage& s, int32_t code) {
    if (code < ClearCode) {
        s.scratch[0] = static_cast<uint8_t>(code);
        return 1;
    }
    if (code < s.nextCode) {
        const int32_t length = s.table[code].length;
        if (length < 1 || static_cast<uint32_t>(length) > LzwLongestString) return 0;
        int32_t link = code;
        for (int32_t position = length - 1; position > 0; --position) {
            if (link < FirstFreeCode) return 0;  // chain shorter than its length
            s.scratch[position] = s.table[link].lastByte;
            link = s.table[link].prefix;
        }
        // A chain that has not reached a single byte by now points back at
        // itself: a stream whose first code after a clear was nextCode made
        // an entry whose prefix is its own slot.
        if (link >= ClearCode) return 0;
        s.scratch[0] = static_cast<uint8_t>(link);
        return length;
    }
    if (code == s.nextCode) {
        // The previous string is still at the front of the scratch area.
        const int32_t length = s.previousLength + 1;
        if (static_cast<uint32_t>(length) > LzwLongestString) return 0;
        s.scratch[length - 1] = s.previousFirst;
        return length;
    }
    return 0;
}

// Decodes one whole code; false when it is invalid.
bool TakeCode(LzwStage& s, int32_t code) {
    if (code == EndCode) {
        s.ended = true;
        return true;
    }
    if (code == ClearCode) {
        // Leftover bits start the next code: there is no realignment.
        s.codeWidth = FirstCodeWidth;
        s.nextCode = FirstFreeCode;
        s.firstCode = true;
        s.previousLength = 0;
        return true;
    }
    if (s.nextCode > LastTableCode) return false;
    const int32_t length = StringOf(s, code);
    if (length == 0) return false;
    if (s.firstCode) {
        s.firstCode = false;
    } else {
        s.table[s.nextCode] = LzwEntry{s.previousLength + 1, s.previousCode, s.scratch[0]};
        ++s.nextCode;
        const int64_t sum = static_cast<int64_t>(s.nextCode) + s.earlyChange;
        if (sum == 512) s.codeWidth = 10;
        else if (sum == 1024) s.codeWidth = 11;
        else if (sum == 2048) s.codeWidth = 12;
    }
    s.previousCode = code;
    s.previousLength = length;
    s.previousFirst = s.scratch[0];
    s.pendingStart = 0;
    s.pendingEnd = static_cast<uint32_t>(length);
    return true;
}

}  // namespace

void StartLzw(LzwStage& stage, int32_t earlyChange) {
    stage.earlyChange = earlyChange;
    stage.accumulator = 0;
    stage.bitCount = 0;
    stage.codeWidth = FirstCodeWidth;
    stage.nextCode = FirstFreeCode;
    stage.previousCode = 0;
    stage.previousLength = 0;
    stage.previousFirst = 0;
    stage.firstCode = true;
    stage.codeBegun = false;
    stage.pendingStart = 0;
    stage.pendingEnd = 0;
    stage.ended = false;
}

Status RunLzw(LzwStage& stage, Window& window, bool inputEnds) {
    const uint8_t* in = window.nextIn;
    const uint8_t* const inEnd = in + window.availIn;
    uint8_t* out = window.nextOut;
    uint8_t* const outEnd = out + window.availOut;
    Status status = Status::Ok;
    for (;;) {
        // A string's bytes come out before the next code overwrites the scratch area.
        const size_t pending = stage.pendingEnd - stage.pendingStart;
        if (pending != 0) {
            const size_t room = static_cast<size_t>(outEnd - out);
            const size_t count = pending < room ? pending : room;
            std::memcpy(out, stage.scratch + stage.pendingStart, count);
            out += count;
            stage.pendingStart += static_cast<uint32_t>(count);
            if (count < pending) break;
        }
        if (stage.ended) {
            status = Status::End;
            break;
        }
        // A code starts only while input bytes remain; bits left over after
        // the last byte are not a code.
        if (!stage.codeBegun) {
            if (in == inEnd) {
                if (inputEnds) {
                    stage.ended = true;
                    status = Status::End;
                }
                break;
            }
            stage.codeBegun = true;
        }
        while (stage.bitCount < stage.codeWidth && in < inEnd) {
            stage.accumulator = (stage.accumulator << 8) | *in++;
            stage.bitCount += 8;
        }
        if (stage.bitCount < stage.codeWidth) {
            if (inputEnds) status = Status::InvalidData;
            break;
        }
        stage.bitCount -= stage.codeWidth;
        const int32_t code =
            static_cast<int32_t>((stage.accumulator >> stage.bitCount) & ((1u << stage.codeWidth) - 1u));
        stage.codeBegun = false;
        if (!TakeCode(stage, code)) {
            status = Status::InvalidData;
            break;
        }
    }
    MoveWindow(window, in, out);
    return status;
}
