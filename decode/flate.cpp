// Flate decoding through zlib, as a resumable stage.
#include "decode/flate.h"

#include <limits>

namespace {

// Largest window one zlib call takes: avail_in and avail_out are 32-bit.
constexpr size_t ZlibMaxWindow = std::numeric_limits<uInt>::max();

uInt Clamp(size_t bytes) { return static_cast<uInt>(bytes < ZlibMaxWindow ? bytes : ZlibMaxWindow); }

}  // namespace

FlateStage::~FlateStage() {
    if (started) inflateEnd(&stream);
}

Status StartFlate(FlateStage& stage) {
    stage.stream = z_stream{};
    if (inflateInit(&stage.stream) != Z_OK) return Status::OutOfMemory;
    stage.started = true;
    return Status::Ok;
}

Status RunFlate(FlateStage& stage, Window& window, bool inputEnds) {
    for (;;) {
        if (stage.ended) return Status::End;
        if (window.availOut == 0) return Status::Ok;
        const bool inputConsumed = window.availIn == 0;
        if (inputConsumed && !inputEnds) return Status::Ok;
        // A stream cut short: all input consumed, and the last call had room
        // for everything zlib could give. What was inflated is the data.
        if (inputConsumed && stage.called && !stage.filledOutput) {
            stage.ended = true;
            return Status::End;
        }

        z_stream& stream = stage.stream;
        stream.next_in = const_cast<Bytef*>(window.nextIn);
        stream.avail_in = Clamp(window.availIn);
        stream.next_out = window.nextOut;
        stream.avail_out = Clamp(window.availOut);
        const uInt inBefore = stream.avail_in;
        const uInt outBefore = stream.avail_out;
        const int status = inflate(&stream, Z_NO_FLUSH);
        window.nextIn += inBefore - stream.avail_in;
        window.availIn -= inBefore - stream.avail_in;
        window.nextOut += outBefore - stream.avail_out;
        window.availOut -= outBefore - stream.avail_out;
        const bool filledBefore = stage.filledOutput;
        stage.called = true;
        stage.filledOutput = stream.avail_out == 0;

        if (status == Z_STREAM_END) {
            stage.ended = true;
            return Status::End;
        }
        // The cut stream had filled zlib's output window exactly: nothing was held back.
        if (status == Z_BUF_ERROR && filledBefore && window.availIn == 0 && inputEnds) {
            stage.ended = true;
            return Status::End;
        }
        // zlib allocates its window at the first call that needs it.
        if (status == Z_MEM_ERROR) return Status::OutOfMemory;
        if (status != Z_OK) return Status::InvalidData;
    }
}
