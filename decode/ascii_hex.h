// ASCIIHex ("ASCIIHexDecode"): whole-buffer, one call.
// In: input.cursor..input.end. Out: `output`, empty when called; on success
// begin..end is exactly the decoded data. Every way of stopping is a success.
// Returns 0, or 8 when the output cannot be reserved.
#pragma once

#include <cstdint>

#include "decode/byte_buffer.h"

uint32_t DecodeAsciiHex(ByteBuffer& output, ByteBuffer& input);
