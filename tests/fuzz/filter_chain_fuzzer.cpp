// DecodeEntry on a new entry over arbitrary stream bytes, with the dictionary
// text taken from the input too (split at its first NUL), as the scanner
// calls it.
#include <new>
#include <string>

#include "decode/filter_chain.h"
#include "decode/results.h"
#include "document/archive.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    UseProcessHeap();
    const DictionaryAndData parts = SplitAtNul(data, size);
    const TextCopy dictionary(reinterpret_cast<const uint8_t*>(parts.dictionaryText.data()),
                              parts.dictionaryText.size());
    const ExactCopy copy(parts.data, parts.size);

    StreamEntry entry{};
    entry.data = ViewOf(copy);
    entry.refCount = 1;
    ByteBufferGuard guard(entry.data);
    uint32_t result = 0;
    try {
        result = DecodeEntry(entry, dictionary.text());
    } catch (const std::bad_alloc&) {
        // The scanner's caller turns this into the end of the listing.
        return 0;
    }
    FuzzCheckResult(result, {ResultOk, ResultOutOfMemory, ResultInvalidData, ResultFlateStartFailed,
                             ResultFlateCorrupt});
    FuzzCheck(copy.Unchanged(parts.data), "the raw stream was changed");
    FuzzCheck(entry.filterCount <= MaxFilterCodes, "more codes than slots");
    for (uint32_t i = entry.filterCount; i < MaxFilterCodes; ++i) FuzzCheck(entry.filterCodes[i] == 0, "unused slot set");
    if (result == ResultOk) {
        FuzzCheck(entry.extension != nullptr && entry.typeWord != nullptr, "decoded entry has no name parts");
        FuzzCheck(entry.data.cursor == entry.data.begin, "cursor not at the start");
        TouchDecoded(entry.data);
    } else {
        FuzzCheck(entry.extension == nullptr && entry.typeWord == nullptr, "failed entry got name parts");
    }
    return 0;
}
