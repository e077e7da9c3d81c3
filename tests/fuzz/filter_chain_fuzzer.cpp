// DecodeStream over arbitrary stream bytes, with the dictionary text taken
// from the input too (split at its first NUL), as the decode pool calls it.
#include <new>
#include <string>

#include "decode/filter_chain.h"
#include "decode/results.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CapHeapRequests();
    const DictionaryAndData parts = SplitAtNul(data, size);
    const TextCopy dictionary(reinterpret_cast<const uint8_t*>(parts.dictionaryText.data()),
                              parts.dictionaryText.size());
    const ExactCopy copy(parts.data, parts.size);

    DecodedStream decoded{};
    uint32_t result = 0;
    try {
        result = DecodeStream(copy.begin(), copy.end(), dictionary.view(), decoded);
    } catch (const std::bad_alloc&) {
        // The pool turns this into the end of the listing.
        FuzzCheck(decoded.data.begin == nullptr, "bytes held after an exception");
        return 0;
    }
    ByteBufferGuard guard(decoded.data);
    FuzzCheckResult(result, {ResultOk, ResultOutOfMemory, ResultInvalidData, ResultFlateStartFailed,
                             ResultFlateCorrupt});
    FuzzCheck(copy.Unchanged(parts.data), "the raw stream was changed");
    FuzzCheck(decoded.filterCount <= MaxFilterCodes, "more codes than slots");
    for (uint32_t i = decoded.filterCount; i < MaxFilterCodes; ++i) FuzzCheck(decoded.filterCodes[i] == 0, "unused slot set");
    if (result == ResultOk) {
        FuzzCheck(decoded.extension != nullptr, "decoded stream has no extension");
        FuzzCheck(decoded.data.cursor == decoded.data.begin, "cursor not at the start");
        TouchDecoded(decoded.data);
    } else {
        FuzzCheck(decoded.extension == nullptr && decoded.data.begin == nullptr, "failed stream kept something");
    }
    return 0;
}
