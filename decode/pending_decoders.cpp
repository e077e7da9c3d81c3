// Placeholders until the decoders and lookups land; each returns "not found" or 13.
#include "decode/flate.h"
#include "decode/results.h"

uint32_t DecodeFlate(ByteBuffer&, ByteBuffer&) { return ResultInvalidData; }
