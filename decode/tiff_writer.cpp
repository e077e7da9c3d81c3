#include "decode/tiff_writer.h"

#include <cstring>

#include "decode/tiff_tags.h"

namespace {

constexpr char BigEndianMark[] = "MM";
constexpr uint32_t FirstIfdOffset = 8;
constexpr uint64_t FileHeaderBytes = 8;
constexpr uint64_t EntryBytes = 12;
constexpr uint64_t EntryCountBytes = 2;
constexpr uint64_t NextIfdBytes = 4;
// Values of at most this many bytes stand in the entry itself.
constexpr uint64_t InlineValueBytes = 4;

constexpr uint16_t PlanarContiguous = 1;
// A colour map's 8-bit values become 16-bit ones: 255 is 65535.
constexpr uint32_t ColourMapScale = 257;

bool HasColourMap(const ImageLayout& layout) { return layout.photometric == PhotometricPalette; }
bool HasPredictor(const ImageLayout& layout) { return layout.predictor != TiffPredictorNone; }
bool HasInkSet(const ImageLayout& layout) { return layout.photometric == PhotometricSeparated; }

uint32_t EntryCount(const ImageLayout& layout) {
    return 10 + (HasPredictor(layout) ? 1 : 0) + (HasColourMap(layout) ? 1 : 0) + (HasInkSet(layout) ? 1 : 0) +
           (layout.profile != nullptr ? 1 : 0);
}

uint64_t ColourMapEntries(const ImageLayout& layout) { return uint64_t{1} << layout.bitsPerComponent; }

uint64_t BitsArrayBytes(const ImageLayout& layout) {
    const uint64_t bytes = 2 * uint64_t{layout.components};
    return bytes > InlineValueBytes ? bytes : 0;
}

uint64_t ColourMapBytes(const ImageLayout& layout) { return HasColourMap(layout) ? 3 * 2 * ColourMapEntries(layout) : 0; }

// The profile is followed by a pad byte when its length is odd, so that the
// strip starts on a word boundary, as TIFF wants offsets to.
uint64_t ProfileBytes(const ImageLayout& layout) {
    return layout.profile == nullptr ? 0 : layout.profileLength + (layout.profileLength & 1u);
}

uint64_t HeadSize(const ImageLayout& layout) {
    return FileHeaderBytes + EntryCountBytes + EntryBytes * EntryCount(layout) + NextIfdBytes + BitsArrayBytes(layout) +
           ColourMapBytes(layout) + ProfileBytes(layout);
}

void PutEntry(BigEndianWriter& out, uint16_t tag, uint16_t type, uint32_t count, uint32_t value) {
    out.Put16(tag);
    out.Put16(type);
    out.Put32(count);
    // A SHORT stands in the field's first two bytes.
    if (type == tiff::TypeShort && count == 1) {
        out.Put16(value);
        out.Put16(0);
    } else {
        out.Put32(value);
    }
}

void BuildHead(const ImageLayout& layout, uint8_t* head) {
    const uint64_t headSize = HeadSize(layout);
    const uint32_t entries = EntryCount(layout);
    // Where the values too long for their entries go, in order after the directory.
    uint64_t extra = FileHeaderBytes + EntryCountBytes + EntryBytes * entries + NextIfdBytes;
    const uint64_t bitsAt = extra;
    extra += BitsArrayBytes(layout);
    const uint64_t colourMapAt = extra;
    extra += ColourMapBytes(layout);
    const uint64_t profileAt = extra;

    BigEndianWriter out{head};
    out.PutBytes(BigEndianMark, 2);
    out.Put16(tiff::Version);
    out.Put32(FirstIfdOffset);
    out.Put16(entries);
    PutEntry(out, tiff::TagImageWidth, tiff::TypeLong, 1, layout.width);
    PutEntry(out, tiff::TagImageLength, tiff::TypeLong, 1, layout.height);
    if (BitsArrayBytes(layout) != 0) {
        PutEntry(out, tiff::TagBitsPerSample, tiff::TypeShort, layout.components, static_cast<uint32_t>(bitsAt));
    } else {
        // One or two SHORTs stand in the field itself, the first one first.
        out.Put16(tiff::TagBitsPerSample);
        out.Put16(tiff::TypeShort);
        out.Put32(layout.components);
        out.Put16(layout.bitsPerComponent);
        out.Put16(layout.components == 2 ? layout.bitsPerComponent : 0);
    }
    PutEntry(out, tiff::TagCompression, tiff::TypeShort, 1, layout.compression);
    PutEntry(out, tiff::TagPhotometric, tiff::TypeShort, 1, layout.photometric);
    PutEntry(out, tiff::TagStripOffsets, tiff::TypeLong, 1, static_cast<uint32_t>(headSize));
    PutEntry(out, tiff::TagSamplesPerPixel, tiff::TypeShort, 1, layout.components);
    PutEntry(out, tiff::TagRowsPerStrip, tiff::TypeLong, 1, layout.height);
    PutEntry(out, tiff::TagStripByteCounts, tiff::TypeLong, 1, static_cast<uint32_t>(layout.dataLength));
    PutEntry(out, tiff::TagPlanarConfiguration, tiff::TypeShort, 1, PlanarContiguous);
    if (HasPredictor(layout)) PutEntry(out, tiff::TagPredictor, tiff::TypeShort, 1, layout.predictor);
    if (HasColourMap(layout)) {
        PutEntry(out, tiff::TagColorMap, tiff::TypeShort, static_cast<uint32_t>(3 * ColourMapEntries(layout)),
                 static_cast<uint32_t>(colourMapAt));
    }
    if (HasInkSet(layout)) PutEntry(out, tiff::TagInkSet, tiff::TypeShort, 1, layout.inkSet);
    if (layout.profile != nullptr) PutEntry(out, tiff::TagIccProfile, tiff::TypeUndefined, layout.profileLength, static_cast<uint32_t>(profileAt));
    out.Put32(0);  // no further directory

    for (uint64_t i = 0; BitsArrayBytes(layout) != 0 && i < layout.components; ++i) out.Put16(layout.bitsPerComponent);
    if (HasColourMap(layout)) {
        // All reds, then all greens, then all blues; entries past the palette's are black.
        for (uint64_t channel = 0; channel < 3; ++channel) {
            for (uint64_t entry = 0; entry < ColourMapEntries(layout); ++entry) {
                const uint32_t value = entry < layout.paletteEntries ? layout.palette[3 * entry + channel] : 0;
                out.Put16(value * ColourMapScale);
            }
        }
    }
    if (layout.profile != nullptr) {
        out.PutBytes(layout.profile, layout.profileLength);
        if ((layout.profileLength & 1u) != 0) out.Put8(0);
    }
}

}  // namespace

uint64_t TiffFileSize(const ImageLayout& layout) {
    if (layout.width == 0 || layout.height == 0) return 0;
    if (layout.source == SampleSource::Rows) {
        const uint64_t rows = AllRowsBytes(layout);
        if (rows == 0 || rows != layout.dataLength) return 0;
    }
    if (HasColourMap(layout) && (layout.bitsPerComponent > 8 || layout.paletteEntries > ColourMapEntries(layout))) return 0;
    const uint64_t size = HeadSize(layout) + layout.dataLength;
    return size > UINT32_MAX || layout.dataLength > UINT32_MAX ? 0 : size;
}

Status StartTiffWriter(TiffWriterStage& stage, const ImageLayout& layout) {
    stage = TiffWriterStage{};
    stage.layout = layout;
    stage.reader.layout = &stage.layout;
    if (!stage.head.Allocate(HeadSize(layout))) return Status::OutOfMemory;
    BuildHead(stage.layout, stage.head.Data());
    return Status::Ok;
}

Status RunTiffWriter(TiffWriterStage& stage, Window& window, bool inputEnds) {
    if (!CopyOut(stage.head.Data(), stage.head.Size(), stage.headWritten, window)) return Status::Ok;
    uint64_t availIn = window.availIn;
    const uint8_t* in = window.nextIn;
    const uint64_t taken = TakeSamples(stage.reader, in, availIn, window.nextOut, window.availOut);
    window.nextIn = in;
    window.availIn = static_cast<size_t>(availIn);
    window.nextOut += taken;
    window.availOut -= static_cast<size_t>(taken);
    if (stage.reader.taken == stage.layout.dataLength) return SamplesComplete(stage.reader) ? Status::End : Status::InvalidData;
    if (window.availIn == 0 && inputEnds) return Status::InvalidData;
    return Status::Ok;
}
