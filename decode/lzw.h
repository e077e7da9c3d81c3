// LZW ("LZWDecode"): 9 to 12-bit codes, MSB first, clear 256, end 257;
// whole-buffer, one call. earlyChange moves the points where the code width grows.
// Returns 0; 13 for truncated or invalid codes (a code above the next free
// one, any code once the table is full, a string chain that points back at
// its own slot); or the error of Append (8). The end code is not required.
// The string table is allocated per call with operator new: std::bad_alloc
// passes through to the caller.
#pragma once

#include <cstdint>

#include "decode/byte_buffer.h"

uint32_t DecodeLzw(ByteBuffer& output, ByteBuffer& input, int32_t earlyChange);
