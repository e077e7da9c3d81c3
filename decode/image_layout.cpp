#include "decode/image_layout.h"

#include <cstring>

#include "decode/png_writer.h"
#include "decode/tiff_writer.h"

namespace {

constexpr uint64_t BitsPerByte = 8;

}  // namespace

uint64_t RowBytes(const ImageLayout& layout) {
    const uint64_t samples = uint64_t{layout.width} * layout.components;  // below 2^40
    return (samples * layout.bitsPerComponent + BitsPerByte - 1) / BitsPerByte;
}

uint64_t AllRowsBytes(const ImageLayout& layout) {
    const uint64_t row = RowBytes(layout);
    if (layout.height != 0 && row > UINT64_MAX / layout.height) return 0;
    return row * layout.height;
}

uint64_t ImageFileSize(const ImageLayout& layout) {
    return layout.format == ImageFileFormat::Png ? PngFileSize(layout) : TiffFileSize(layout);
}

void BigEndianWriter::PutBytes(const void* bytes, uint64_t count) {
    if (count != 0) std::memcpy(at, bytes, static_cast<size_t>(count));
    at += count;
}

uint64_t TakeSamples(SampleReader& reader, const uint8_t*& in, uint64_t& availIn, uint8_t* out, uint64_t room) {
    const ImageLayout& layout = *reader.layout;
    const uint64_t left = layout.dataLength - reader.taken;
    uint64_t wanted = availIn < room ? availIn : room;
    if (wanted > left) wanted = left;
    if (wanted != 0) std::memcpy(out, in, static_cast<size_t>(wanted));
    if ((layout.invertedComponents | layout.signedComponents) != 0 && layout.source == SampleSource::Rows) {
        // Whole pixels fill every row at 8 and 16 bits, so a byte's place in
        // the data tells its component.
        const uint64_t sampleBytes = layout.bitsPerComponent / BitsPerByte;
        const uint64_t pixelBytes = sampleBytes * layout.components;
        for (uint64_t i = 0; i < wanted; ++i) {
            const uint64_t component = (reader.taken + i) % pixelBytes / sampleBytes;
            if ((layout.invertedComponents >> component & 1u) != 0) out[i] = static_cast<uint8_t>(~out[i]);
            // value - 128 as a signed byte is the value with its top bit flipped.
            if ((layout.signedComponents >> component & 1u) != 0) out[i] ^= 0x80;
        }
    }
    reader.taken += wanted;
    in += wanted;
    availIn -= wanted;
    if (reader.taken == layout.dataLength && availIn != 0) {
        // Rows past the image's last are dropped; stored data must be exactly as long as it was found.
        if (layout.source == SampleSource::Stored) reader.overflow = true;
        in += availIn;
        availIn = 0;
    }
    return wanted;
}

bool SamplesComplete(const SampleReader& reader) {
    return reader.taken == reader.layout->dataLength && !reader.overflow;
}
