// The RunLength stage on arbitrary bytes: it decodes or finds a repeat
// without its byte, alike in every window.
#include "decode/run_length.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzStage<RunLengthStage>(data, size, StartRunLength, RunRunLength, [size](const StageRun& run) {
        FuzzCheck(run.status == Status::End || run.status == Status::InvalidData, "an unexpected status");
        // No run gives more than 128 bytes for its two.
        FuzzCheck(run.bytes.size() <= 64 * static_cast<uint64_t>(size) + 128, "more bytes than the runs hold");
    });
    return 0;
}
