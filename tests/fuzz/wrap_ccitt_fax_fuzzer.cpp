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
    if (result == ResultOk) {
        TouchDecoded(output);
        // The data follows the header unchanged, so the output holds at least it.
        FuzzCheck(output.Size() >= parts.size, "fax data lost");
    }
    return 0;
}
