// The LZW stage on arbitrary bytes, alike in every window. The first byte's
// lowest bit is the early-change value (0 or 1), the rest is the code stream.
#include "decode/lzw.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const int32_t earlyChange = data[0] & 1;
    FuzzStage<LzwStage>(data + 1, size - 1, [earlyChange](LzwStage& stage) { StartLzw(stage, earlyChange); }, RunLzw,
                        [](const StageRun& run) {
                            FuzzCheck(run.status == Status::End || run.status == Status::InvalidData || run.cutShort,
                                      "an unexpected status");
                        });
    return 0;
}
