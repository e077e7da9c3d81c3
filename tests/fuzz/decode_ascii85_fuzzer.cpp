// The ASCII85 stage on arbitrary bytes: every input decodes, alike in every
// window, reading only its own bytes.
#include "decode/ascii85.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzStage<Ascii85Stage>(data, size, StartAscii85, RunAscii85, [](const StageRun& run) {
        FuzzCheck(run.status == Status::End || run.cutShort, "ASCII85 data was refused");
    });
    return 0;
}
