// RunLength ("RunLengthDecode"): whole-buffer, one call. Works on any output
// buffer (the filter chain reserves twice the input first) and grows it.
// Returns 0; 13 for a repeat length byte without its data byte; or the error
// of Reserve/Append (8 out of memory).
#pragma once

#include <cstdint>

#include "decode/byte_buffer.h"

uint32_t DecodeRunLength(ByteBuffer& output, ByteBuffer& input);
