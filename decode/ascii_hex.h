// ASCIIHex ("ASCIIHexDecode", "AHx"): pairs of hexadecimal digits, one byte
// each, one window at a time (see stage.h for the contract).
//
// CR and LF between pairs are skipped. Any other byte that is not a digit
// ends the data: the closing '>', white space, or a line break inside a
// pair. An odd last digit is dropped. Never InvalidData.
#pragma once

#include <cstdint>

#include "decode/stage.h"

struct AsciiHexStage {
    uint8_t high = 0;        // value of the first digit of a pair begun in an earlier window
    bool haveHigh = false;   // a pair's first digit waits for its second
    bool ended = false;      // the data has ended
};

void StartAsciiHex(AsciiHexStage& stage);
Status RunAsciiHex(AsciiHexStage& stage, Window& window, bool inputEnds);
