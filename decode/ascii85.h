// ASCII85 ("ASCII85Decode"): whole-buffer, one call.
// In: input.cursor..input.end. Out: `output`, empty when called; on success
// begin..end is exactly the decoded data.
// Returns 0, or the error of Reserve/Append (8 out of memory).
#pragma once

#include <cstdint>

#include "decode/byte_buffer.h"

uint32_t DecodeAscii85(ByteBuffer& output, ByteBuffer& input);
