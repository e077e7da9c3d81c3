// DecodeLzw on arbitrary bytes. The first byte's lowest bit is the
// early-change value (0 or 1), the rest is the code stream.
#include "decode/lzw.h"
#include "decode/results.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const int32_t earlyChange = data[0] & 1;
    FuzzDecoder(
        data + 1, size - 1,
        [earlyChange](ByteBuffer& output, ByteBuffer& input) { return DecodeLzw(output, input, earlyChange); },
        {ResultOk, ResultOutOfMemory, ResultInvalidData});
    return 0;
}
