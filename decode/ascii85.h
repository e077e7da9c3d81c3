// ASCII85 ("ASCII85Decode", "A85"): groups of five digits from '!' to 'u',
// four bytes each, one window at a time (see stage.h for the contract).
//
// 'z' stands for four zero bytes (a group already begun is dropped: the
// producer cannot have meant it); '~' ends the data; every other byte is
// skipped. A last group of n digits, padded with 'u', gives n - 1 bytes.
// Values beyond 32 bits wrap. Never InvalidData.
#pragma once

#include <cstdint>

#include "decode/stage.h"

struct Ascii85Stage {
    uint32_t accumulator = 0;   // value of the group being read, modulo 2^32
    uint32_t digits = 0;        // digits of that group read so far, 0 to 4
    uint8_t pending[4] = {};    // bytes of a group not yet written
    uint32_t pendingStart = 0;  // the first of them still to write
    uint32_t pendingEnd = 0;    // one past the last
    bool inputEnded = false;    // '~' or the end of the input was reached
    bool ended = false;         // the data has ended and every byte is written
};

void StartAscii85(Ascii85Stage& stage);
Status RunAscii85(Ascii85Stage& stage, Window& window, bool inputEnds);
