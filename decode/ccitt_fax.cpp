// Placeholder until the fax wrapper lands.
#include "decode/ccitt_fax.h"
#include "decode/results.h"

uint32_t WrapCcittFax(ByteBuffer&, ByteBuffer&, const char*) { return ResultInvalidData; }
