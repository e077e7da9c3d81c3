// An image as its PNG or TIFF writer sees it: its size and samples, how the
// file format names its colours, and where its samples come from. The
// writers (png_writer.h, tiff_writer.h) are stages: their input is the
// image's samples, their output the whole file, whose size is known from the
// layout alone before a byte is written.
#pragma once

#include <cstdint>

enum class ImageFileFormat : uint8_t { Png, Tiff };

// What the writer's input holds.
enum class SampleSource : uint8_t {
    // The stored data as the file format takes it, written as it stands: a
    // PNG's IDAT data (zlib data of rows behind PNG filter bytes), or a TIFF
    // strip (Deflate or LZW data, maybe with horizontal differencing).
    Stored,
    // Decoded rows of samples, which the writer stores uncompressed: PNG rows
    // behind filter byte 0 in stored deflate blocks, or a plain TIFF strip.
    // Bytes past the image's last row are dropped.
    Rows,
};

// TIFF's photometric interpretations the writers use.
constexpr uint16_t PhotometricWhiteIsZero = 0;
constexpr uint16_t PhotometricBlackIsZero = 1;
constexpr uint16_t PhotometricRgb = 2;
constexpr uint16_t PhotometricPalette = 3;
constexpr uint16_t PhotometricSeparated = 5;
constexpr uint16_t PhotometricCieLab = 8;

// TIFF's compressions and predictors the writers use.
constexpr uint16_t TiffCompressionNone = 1;
constexpr uint16_t TiffCompressionLzw = 5;
constexpr uint16_t TiffCompressionDeflate = 8;
constexpr uint16_t TiffPredictorNone = 1;
constexpr uint16_t TiffPredictorHorizontal = 2;

// TIFF's ink sets: DeviceN's inks are no CMYK.
constexpr uint16_t TiffInkSetCmyk = 1;
constexpr uint16_t TiffInkSetOther = 2;

// PNG's colour types the writers use.
constexpr uint8_t PngGrey = 0;
constexpr uint8_t PngRgb = 2;
constexpr uint8_t PngPalette = 3;

// Most palette entries an image has: 8 bits of index.
constexpr uint32_t MaxPaletteEntries = 256;

struct ImageLayout {
    ImageFileFormat format = ImageFileFormat::Png;
    SampleSource source = SampleSource::Rows;
    uint32_t width = 0;                      // pixels in a row, at least 1
    uint32_t height = 0;                     // rows, at least 1
    uint8_t bitsPerComponent = 8;            // 1, 2, 4, 8 or 16
    uint8_t components = 1;                  // samples per pixel
    uint8_t pngColourType = PngGrey;         // PNG: grey, RGB or palette
    uint16_t photometric = PhotometricBlackIsZero;  // TIFF
    uint16_t compression = TiffCompressionNone;     // TIFF: of the stored strip
    uint16_t predictor = TiffPredictorNone;         // TIFF: of the stored strip
    uint16_t inkSet = TiffInkSetCmyk;        // TIFF, separated images only
    uint32_t invertedComponents = 0;         // Rows of 8 or 16 bits: bit c set inverts component c
    uint32_t signedComponents = 0;           // Rows of 8 bits: bit c set writes component c, read as
                                             // 0 to 255, as a signed byte of value - 128
    const uint8_t* palette = nullptr;        // RGB triplets of 8 bits, paletteEntries of them
    uint32_t paletteEntries = 0;
    const uint8_t* profile = nullptr;        // an ICC profile to embed, or null
    uint32_t profileLength = 0;
    uint64_t dataLength = 0;                 // bytes of input: the stored data's, or the rows'
};

// Bytes of one row of samples: width * components * bitsPerComponent bits,
// rounded up to whole bytes; 0 when that does not fit in 64 bits.
uint64_t RowBytes(const ImageLayout& layout);
// Bytes of all rows, height * RowBytes; 0 when that does not fit in 64 bits.
uint64_t AllRowsBytes(const ImageLayout& layout);
// Bytes of the file the layout's writer writes; 0 when the format cannot
// hold the image (a TIFF past 4 GiB, a PNG wider or higher than 2^31 - 1).
uint64_t ImageFileSize(const ImageLayout& layout);

// Writes numbers most significant byte first, as PNG and a big-endian TIFF want them.
struct BigEndianWriter {
    uint8_t* at;

    void Put8(uint32_t value) { *at++ = static_cast<uint8_t>(value); }
    void Put16(uint32_t value) {
        Put8(value >> 8);
        Put8(value);
    }
    void Put32(uint32_t value) {
        Put16(value >> 16);
        Put16(value & 0xFFFF);
    }
    void PutBytes(const void* bytes, uint64_t count);
};

// The samples a writer takes from its input: dataLength bytes, with Rows
// inverted where the layout says. Input past them is read and dropped, which
// is wrong only for Stored data.
struct SampleReader {
    const ImageLayout* layout = nullptr;
    uint64_t taken = 0;                      // bytes of samples taken so far
    bool overflow = false;                   // Stored data ran past dataLength
};

// Copies up to `room` samples from the window's input to `out`, moving the
// input on; answers the bytes copied.
uint64_t TakeSamples(SampleReader& reader, const uint8_t*& in, uint64_t& availIn, uint8_t* out, uint64_t room);
// Whether the input, now ended, held the samples the layout promises:
// exactly dataLength bytes when Stored, at least that many when Rows.
bool SamplesComplete(const SampleReader& reader);
