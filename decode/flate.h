// Flate ("FlateDecode"): a zlib stream inflated by zlib; whole-buffer, one call.
// Returns 0; 777 when zlib cannot start; 1392 for corrupt data (bad header,
// bad data, Adler-32 mismatch, preset dictionary, no progress); or the error
// of Reserve (8 out of memory).
#pragma once

#include <cstdint>

#include "decode/byte_buffer.h"

uint32_t DecodeFlate(ByteBuffer& output, ByteBuffer& input);
