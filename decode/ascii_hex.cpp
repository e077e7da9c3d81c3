// ASCIIHex decoding as a resumable stage.
#include "decode/ascii_hex.h"

namespace {

constexpr uint8_t NotHexDigit = 255;

// Value of each ASCII character as a hexadecimal digit, or NotHexDigit.
constexpr struct HexDigits {
    uint8_t value[128];
    constexpr HexDigits() : value() {
        for (uint8_t& v : value) v = NotHexDigit;
        for (int c = '0'; c <= '9'; ++c) value[c] = static_cast<uint8_t>(c - '0');
        for (int c = 'A'; c <= 'F'; ++c) value[c] = static_cast<uint8_t>(c - 'A' + 10);
        for (int c = 'a'; c <= 'f'; ++c) value[c] = static_cast<uint8_t>(c - 'a' + 10);
    }
} HexDigitTable;

uint8_t HexValue(uint8_t c) { return c < 128 ? HexDigitTable.value[c] : NotHexDigit; }

Status Ended(AsciiHexStage& stage) {
    stage.ended = true;
    return Status::End;
}

}  // namespace

void StartAsciiHex(AsciiHexStage& stage) { stage = AsciiHexStage{}; }

Status RunAsciiHex(AsciiHexStage& stage, Window& window, bool inputEnds) {
    if (stage.ended) return Status::End;
    const uint8_t* in = window.nextIn;
    const uint8_t* const inEnd = in + window.availIn;
    uint8_t* out = window.nextOut;
    uint8_t* const outEnd = out + window.availOut;
    Status status = Status::Ok;
    while (out < outEnd) {
        if (!stage.haveHigh) {
            while (in < inEnd && (*in == '\r' || *in == '\n')) ++in;
            if (in == inEnd) {
                if (inputEnds) status = Ended(stage);
                break;
            }
            stage.high = HexValue(*in);
            if (stage.high == NotHexDigit) {
                status = Ended(stage);
                break;
            }
            ++in;
            stage.haveHigh = true;
        }
        if (in == inEnd) {
            // An odd last digit is dropped.
            if (inputEnds) status = Ended(stage);
            break;
        }
        const uint8_t low = HexValue(*in);
        if (low == NotHexDigit) {
            status = Ended(stage);
            break;
        }
        ++in;
        stage.haveHigh = false;
        *out++ = static_cast<uint8_t>(stage.high * 16 + low);
    }
    MoveWindow(window, in, out);
    return status;
}
