// LZW ("LZWDecode"): 9 to 12-bit codes, most significant bit first, clear
// code 256, end code 257; one window at a time (see stage.h for the
// contract). earlyChange moves the points where the code width grows.
//
// The end code is not required: the data ends with its input, and bits too
// few for another code after the last byte are ignored. InvalidData for a
// code cut short by the end of the input, a code above the next free one,
// any code once the table is full, or a string chain that points back at its
// own slot.
#pragma once

#include <cstdint>

#include "decode/stage.h"

constexpr int32_t LzwTableSlots = 4097;   // codes are at most 12 bits; one slot past the last
constexpr uint32_t LzwLongestString = 4096;

struct LzwEntry {
    int32_t length;    // bytes of the entry's string
    int32_t prefix;    // code of the string without its last byte
    uint8_t lastByte;  // last byte of the string
};

struct LzwStage {
    LzwEntry table[LzwTableSlots];    // entries from 258 up to nextCode; filled before they are read
    uint8_t scratch[LzwLongestString];  // the current string, built back to front
    int32_t earlyChange;              // 1 (the default) or what the dictionary says
    uint32_t accumulator;             // bits read and not yet used sit at its low end
    uint32_t bitCount;                // accumulator bits not yet used
    uint32_t codeWidth;               // 9 to 12
    int32_t nextCode;                 // slot the next table entry goes to
    int32_t previousCode;             // code of the string output last
    int32_t previousLength;           // length of that string
    uint8_t previousFirst;            // first byte of that string
    bool firstCode;                   // the next code adds no table entry
    bool codeBegun;                   // some of the next code's bytes are read
    uint32_t pendingStart;            // scratch bytes from here to pendingEnd are still to write
    uint32_t pendingEnd;
    bool ended;                       // the end code came, or the input ended
};

// Starts the stage; the table is left as it is, since every entry is filled
// before it is read.
void StartLzw(LzwStage& stage, int32_t earlyChange);
Status RunLzw(LzwStage& stage, Window& window, bool inputEnds);
