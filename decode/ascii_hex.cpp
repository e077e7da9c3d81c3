// ASCIIHex decoding as a resumable stage.
#include "decode/ascii_hex.h"

#include "syntax/char_class.h"

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
        if (out == outEnd) break;
        while (in < inEnd && IsWhiteSpace(*in)) ++in;
        if (in == inEnd) {
            stage.dataEnded = inputEnds;
            if (!inputEnds) break;
            continue;
        }
        const int digit = HexDigitValue(*in);
        if (digit < 0) {
            // The closing '>' or any other byte ends the data; it is left unread.
            stage.dataEnded = true;
            continue;
        }
        ++in;
        if (!stage.haveHigh) {
            stage.high = static_cast<uint8_t>(digit);
            stage.haveHigh = true;
        } else {
            *out++ = static_cast<uint8_t>(stage.high * 16 + digit);
            stage.haveHigh = false;
        }
    }
    MoveWindow(window, in, out);
    return status;
}
