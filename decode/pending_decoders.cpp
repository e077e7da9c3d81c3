// Placeholders until the decoders and lookups land; each returns "not found" or 13.
#include "decode/ascii85.h"
#include "decode/ascii_hex.h"
#include "decode/flate.h"
#include "decode/lzw.h"
#include "decode/results.h"
#include "decode/run_length.h"

uint32_t DecodeAscii85(ByteBuffer&, ByteBuffer&) { return ResultInvalidData; }
uint32_t DecodeAsciiHex(ByteBuffer&, ByteBuffer&) { return ResultInvalidData; }
uint32_t DecodeRunLength(ByteBuffer&, ByteBuffer&) { return ResultInvalidData; }
uint32_t DecodeLzw(ByteBuffer&, ByteBuffer&, int32_t) { return ResultInvalidData; }
uint32_t DecodeFlate(ByteBuffer&, ByteBuffer&) { return ResultInvalidData; }
