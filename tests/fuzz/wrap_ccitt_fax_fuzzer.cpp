// WrapCcittFax with the dictionary text and the fax data both taken from the
// input (split at its first NUL).
#include "decode/ccitt_fax.h"
#include "decode/results.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    UseProcessHeap();
    const DictionaryAndData parts = SplitAtNul(data, size);
    const ExactCopy copy(parts.data, parts.size);
    ByteBuffer input = ViewOf(copy);
    ByteBuffer output;
    ByteBufferGuard guard(output);
    const uint32_t result = WrapCcittFax(output, input, parts.dictionaryText.c_str());
    FuzzCheckResult(result, {ResultOk, ResultOutOfMemory});
    FuzzCheck(copy.Unchanged(parts.data), "input bytes were changed");
    // One-dimensional rows may be rewritten with an end-of-line code each,
    // dropping the producer's fill bits, so the output can be shorter than
    // the data; it is read whole to catch a length beyond the block.
    if (result == ResultOk) TouchDecoded(output);
    return 0;
}
