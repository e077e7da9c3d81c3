// ASCIIHex decoding: whole-buffer, one call.
#include "decode/ascii_hex.h"

#include "decode/results.h"

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

struct AsciiHexState {
    uint8_t high = 0;  // value of the first digit of the pair being read
    uint8_t low = 0;   // value of its second digit
};

}  // namespace

uint32_t DecodeAsciiHex(ByteBuffer& output, ByteBuffer& input) {
    if (output.Reserve(input.Size() / 2) != ResultOk) return ResultOutOfMemory;

    AsciiHexState state;
    for (;;) {
        while (input.cursor < input.end && (*input.cursor == '\r' || *input.cursor == '\n')) ++input.cursor;
        if (input.end - input.cursor < 2) break;
        state.high = HexValue(input.cursor[0]);
        state.low = HexValue(input.cursor[1]);
        // Any non-digit ends the data: the closing '>', white space, or a line
        // break inside a pair.
        if (state.high == NotHexDigit || state.low == NotHexDigit) break;
        input.cursor += 2;
        // Each output byte takes two input bytes, so the reservation always suffices.
        *output.cursor++ = static_cast<uint8_t>(state.high * 16 + state.low);
    }
    output.end = output.cursor;
    return ResultOk;
}
