// DecodeRunLength on arbitrary bytes, with the output prepared as the filter
// chain prepares it (twice the input reserved, the end set to the cursor).
#include "decode/results.h"
#include "decode/run_length.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CapHeapRequests();
    const ExactCopy copy(data, size);
    ByteBuffer input = ViewOf(copy);
    ByteBuffer output;
    ByteBufferGuard guard(output);
    if (output.Reserve(2 * static_cast<uint64_t>(size)) != ResultOk) return 0;
    const uint32_t result = DecodeRunLength(output, input);
    FuzzCheckResult(result, {ResultOk, ResultOutOfMemory, ResultInvalidData});
    FuzzCheck(copy.Unchanged(data), "input bytes were changed");
    if (result == ResultOk) {
        FuzzCheck(output.cursor >= output.begin && output.cursor <= output.end, "cursor outside the output");
        output.end = output.cursor;
        TouchDecoded(output);
    }
    return 0;
}
