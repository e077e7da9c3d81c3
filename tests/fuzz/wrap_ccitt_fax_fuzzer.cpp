// WrapCcittFax with the dictionary text and the fax data both taken from the
// input (split at its first NUL).
#include "decode/ccitt_fax.h"
#include "decode/results.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const DictionaryAndData parts = SplitAtNul(data, size);
    // One-dimensional rows may be rewritten with an end-of-line code each,
    // dropping the producer's fill bits, so the output can be shorter than
    // the data; reading it whole catches a length beyond the block.
    FuzzDecoder(
        parts.data, parts.size,
        [&parts](ByteBuffer& output, ByteBuffer& input) {
            return WrapCcittFax(output, input, parts.dictionaryText);
        },
        {ResultOk, ResultOutOfMemory});
    return 0;
}
