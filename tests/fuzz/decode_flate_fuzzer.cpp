// The Flate stage on arbitrary bytes, alike in every window and checked
// against zlib driven directly: a success must give exactly the bytes zlib
// inflates from the same input, and a stream that zlib inflates to its end
// must succeed.
#include <zlib.h>

#include <cstring>
#include <vector>

#include "decode/flate.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

struct Inflated {
    std::vector<uint8_t> bytes;
    bool reachedEnd = false;
};

// zlib alone, into one growing vector: the independent account of what the
// input holds.
Inflated InflateWithZlib(const uint8_t* data, size_t size) {
    Inflated result;
    z_stream stream{};
    stream.next_in = const_cast<Bytef*>(data);
    stream.avail_in = static_cast<uInt>(size);
    if (inflateInit(&stream) != Z_OK) return result;
    uint8_t chunk[16384];
    for (;;) {
        stream.next_out = chunk;
        stream.avail_out = sizeof chunk;
        const int status = inflate(&stream, Z_NO_FLUSH);
        result.bytes.insert(result.bytes.end(), chunk, chunk + (sizeof chunk - stream.avail_out));
        if (status == Z_STREAM_END) {
            result.reachedEnd = true;
            break;
        }
        if (status != Z_OK) break;
        if (stream.avail_in == 0 && stream.avail_out != 0) break;
    }
    inflateEnd(&stream);
    return result;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzStage<FlateStage>(
        data, size, [](FlateStage& stage) { StartFlate(stage); }, RunFlate, [&](const StageRun& run) {
            if (run.cutShort) return;
            FuzzCheck(run.status == Status::End || run.status == Status::InvalidData, "an unexpected status");
            const Inflated expected = InflateWithZlib(data, size);
            if (expected.reachedEnd) FuzzCheck(run.status == Status::End, "a complete zlib stream was rejected");
            if (run.status != Status::End) return;
            FuzzCheck(run.bytes.size() == expected.bytes.size(), "decoded length differs from zlib's");
            FuzzCheck(expected.bytes.empty() ||
                          std::memcmp(run.bytes.data(), expected.bytes.data(), expected.bytes.size()) == 0,
                      "decoded bytes differ from zlib's");
        });
    return 0;
}
