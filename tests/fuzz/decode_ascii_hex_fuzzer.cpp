// DecodeAsciiHex on arbitrary bytes: every input decodes or runs out of memory,
// reads only its own bytes and leaves them unchanged.
#include "decode/ascii_hex.h"
#include "decode/results.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzDecoder(data, size, DecodeAsciiHex, {ResultOk, ResultOutOfMemory});
    return 0;
}
