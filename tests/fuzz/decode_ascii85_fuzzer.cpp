// DecodeAscii85 on arbitrary bytes: every input decodes or runs out of memory,
// reads only its own bytes and leaves them unchanged.
#include "decode/ascii85.h"
#include "decode/results.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzDecoder(data, size, DecodeAscii85, {ResultOk, ResultOutOfMemory});
    return 0;
}
