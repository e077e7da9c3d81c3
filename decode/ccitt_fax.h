// CCITT fax ("CCITTFaxDecode"): not decoded but wrapped as a little-endian TIFF
// file whose header is built from the fax parameters in the dictionary text.
// An image mask is passed through without a header.
// Returns 0, or the error of Append (8 out of memory).
#pragma once

#include <cstdint>

#include "decode/byte_buffer.h"

uint32_t WrapCcittFax(ByteBuffer& output, ByteBuffer& input, const char* dictionaryText);
