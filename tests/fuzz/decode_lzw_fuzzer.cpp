// DecodeLzw on arbitrary bytes. The first byte's lowest bit is the
// early-change value (0 or 1), the rest is the code stream.
#include <new>

#include "decode/lzw.h"
#include "decode/results.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    UseProcessHeap();
    const int32_t earlyChange = data[0] & 1;
    const ExactCopy copy(data + 1, size - 1);
    ByteBuffer input = ViewOf(copy);
    ByteBuffer output;
    ByteBufferGuard guard(output);
    const uint32_t result = DecodeLzw(output, input, earlyChange);
    FuzzCheckResult(result, {ResultOk, ResultOutOfMemory, ResultInvalidData});
    FuzzCheck(copy.Unchanged(data + 1), "input bytes were changed");
    if (result == ResultOk) TouchDecoded(output);
    return 0;
}
