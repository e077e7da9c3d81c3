// RunLength ("RunLengthDecode", "RL"): a length byte n, then n + 1 literal
// bytes (n below 128) or one byte repeated 257 - n times (n above 128); 128
// ends the data. One window at a time (see stage.h for the contract).
//
// A literal run longer than what is left gives what is left, and data
// without the end byte ends with its input. A repeat whose byte is missing is
// InvalidData.
#pragma once

#include <cstdint>

#include "decode/stage.h"

struct RunLengthStage {
    uint32_t literalLeft = 0;    // bytes of a literal run still to copy
    uint32_t repeatLeft = 0;     // bytes of a repeat still to write
    uint8_t repeated = 0;        // the byte of that repeat
    uint8_t lengthByte = 0;      // a repeat's length byte whose byte has not come yet; 0 none
    bool ended = false;          // the data has ended
};

void StartRunLength(RunLengthStage& stage);
Status RunRunLength(RunLengthStage& stage, Window& window, bool inputEnds);
