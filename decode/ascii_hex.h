// ASCIIHex ("ASCIIHexDecode", "AHx"): pairs of hexadecimal digits, one byte
// each, one window at a time (see stage.h for the contract).
//
// White space (NUL, tab, LF, FF, CR, space) is ignored anywhere, between the
// two digits of a pair too. Any other byte that is not a digit ends the data:
// the closing '>' or anything else. A last digit without its pair is taken as
// followed by 0. Never InvalidData.
#pragma once

#include <cstdint>

#include "decode/stage.h"

struct AsciiHexStage {
    uint8_t high = 0;        // value of the first digit of a pair begun in an earlier window
    bool haveHigh = false;   // a pair's first digit waits for its second
    bool dataEnded = false;  // no more digits come; a waiting first digit is still to be written
    bool ended = false;      // the data has ended and every byte is written
};

void StartAsciiHex(AsciiHexStage& stage);
Status RunAsciiHex(AsciiHexStage& stage, Window& window, bool inputEnds);
