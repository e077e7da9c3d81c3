// DecodeAsciiHex on arbitrary bytes: every input decodes or runs out of memory,
// reads only its own bytes and leaves them unchanged.
#include "decode/ascii_hex.h"
#include "decode/results.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    UseProcessHeap();
    const ExactCopy copy(data, size);
    ByteBuffer input = ViewOf(copy);
    ByteBuffer output;
    ByteBufferGuard guard(output);
    const uint32_t result = DecodeAsciiHex(output, input);
    FuzzCheckResult(result, {ResultOk, ResultOutOfMemory});
    FuzzCheck(copy.Unchanged(data), "input bytes were changed");
    if (result == ResultOk) TouchDecoded(output);
    return 0;
}
