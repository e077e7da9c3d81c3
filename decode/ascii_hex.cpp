// ASCIIHex decoding as a resumable stage.
#include "decode/ascii_hex.h"

#include "syntax/char_class.h"

namespace {

constexpr uint8_t WhiteSpaceByte = 16;
constexpr uint8_t OtherByte = 255;

// What each byte is to the stage, in one lookup: a digit's value, white space
// or anything else.
constexpr struct ByteKinds {
    uint8_t kind[256];
    constexpr ByteKinds() : kind() {
        for (int c = 0; c < 256; ++c) {
            const auto byte = static_cast<unsigned char>(c);
            const int digit = HexDigitValue(byte);
            kind[c] = digit >= 0 ? static_cast<uint8_t>(digit) : IsWhiteSpace(byte) ? WhiteSpaceByte : OtherByte;
        }
    }
} ByteKindTable;

}  // namespace

void StartAsciiHex(AsciiHexStage& stage) { stage = AsciiHexStage{}; }

Status RunAsciiHex(AsciiHexStage& stage, Window& window, bool inputEnds) {
    if (stage.ended) return Status::End;
    const uint8_t* in = window.nextIn;
    const uint8_t* const inEnd = in + window.availIn;
    uint8_t* out = window.nextOut;
    uint8_t* const outEnd = out + window.availOut;
    Status status = Status::Ok;
    for (;;) {
        if (stage.dataEnded) {
            // An odd last digit counts as followed by 0.
            if (stage.haveHigh) {
                if (out == outEnd) break;
                *out++ = static_cast<uint8_t>(stage.high * 16);
                stage.haveHigh = false;
            }
            stage.ended = true;
            status = Status::End;
            break;
        }
        // Most data is pairs of digits side by side, taken here two at a time.
        while (!stage.haveHigh && out < outEnd && inEnd - in >= 2) {
            const uint8_t high = ByteKindTable.kind[in[0]];
            const uint8_t low = ByteKindTable.kind[in[1]];
            if (((high | low) & 0xF0) != 0) break;
            *out++ = static_cast<uint8_t>(high * 16 + low);
            in += 2;
        }
        if (out == outEnd) break;
        while (in < inEnd && ByteKindTable.kind[*in] == WhiteSpaceByte) ++in;
        if (in == inEnd) {
            stage.dataEnded = inputEnds;
            if (!inputEnds) break;
            continue;
        }
        const uint8_t digit = ByteKindTable.kind[*in];
        if (digit == OtherByte) {
            // The closing '>' or any other byte ends the data; it is left unread.
            stage.dataEnded = true;
            continue;
        }
        ++in;
        if (!stage.haveHigh) {
            stage.high = digit;
            stage.haveHigh = true;
        } else {
            *out++ = static_cast<uint8_t>(stage.high * 16 + digit);
            stage.haveHigh = false;
        }
    }
    MoveWindow(window, in, out);
    return status;
}
