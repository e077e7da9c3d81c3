// The ASCIIHex stage on arbitrary bytes: every input decodes, alike in every
// window, to at most one byte per two input bytes, an odd last digit's included.
#include "decode/ascii_hex.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzStage<AsciiHexStage>(data, size, StartAsciiHex, RunAsciiHex, [size](const StageRun& run) {
        FuzzCheck(run.status == Status::End, "ASCIIHex data was refused");
        FuzzCheck(run.bytes.size() <= (size + 1) / 2, "more bytes than pairs of digits");
    });
    return 0;
}
