// The PNG and TIFF writers and the predictor stage as stages: the same bytes
// in every window and input cut, the size the layout promises, the samples
// as zlib reads them back out of the PNG's IDAT chunks, and the failures of
// data too short or too long. PIL, libtiff and ImageMagick read the files
// themselves in tests/viewable.
#include <gtest/gtest.h>

#include <zlib.h>

#include <cstring>
#include <string>

#include "decode/png_writer.h"
#include "decode/predictor.h"
#include "decode/tiff_writer.h"
#include "tests/unit/stage_harness.h"

namespace {

std::string Pattern(size_t size) {
    std::string bytes(size, '\0');
    uint32_t state = 26;
    for (char& byte : bytes) {
        state = state * 1103515245u + 12345u;
        byte = static_cast<char>(state >> 24);
    }
    return bytes;
}

ImageLayout RowsLayout(ImageFileFormat format, uint32_t width, uint32_t height, uint8_t bits, uint8_t components) {
    ImageLayout layout;
    layout.format = format;
    layout.width = width;
    layout.height = height;
    layout.bitsPerComponent = bits;
    layout.components = components;
    layout.pngColourType = components == 3 ? PngRgb : PngGrey;
    layout.photometric = components == 3 ? PhotometricRgb : PhotometricBlackIsZero;
    layout.dataLength = AllRowsBytes(layout);
    return layout;
}

struct Written {
    Status status;
    std::string bytes;
};

Written Write(const ImageLayout& layout, const std::string& input, size_t window = 65536) {
    StageWindows windows{window, {}};
    if (layout.format == ImageFileFormat::Png) {
        auto stage = std::make_unique<PngWriterStage>();
        EXPECT_EQ(StartPngWriter(*stage, layout), Status::Ok);
        const StageRun run = RunStage(*stage, RunPngWriter, input, windows);
        return {run.status, run.bytes};
    }
    auto stage = std::make_unique<TiffWriterStage>();
    EXPECT_EQ(StartTiffWriter(*stage, layout), Status::Ok);
    const StageRun run = RunStage(*stage, RunTiffWriter, input, windows);
    return {run.status, run.bytes};
}

uint32_t BigEndian32(const std::string& bytes, size_t at) {
    return uint32_t{static_cast<uint8_t>(bytes[at])} << 24 | uint32_t{static_cast<uint8_t>(bytes[at + 1])} << 16 |
           uint32_t{static_cast<uint8_t>(bytes[at + 2])} << 8 | static_cast<uint8_t>(bytes[at + 3]);
}

// The chunks' data of one type, each chunk's CRC checked by zlib's.
std::string ChunksOfType(const std::string& png, const char* type, int& count) {
    std::string data;
    count = 0;
    for (size_t at = 8; at + 12 <= png.size();) {
        const uint32_t length = BigEndian32(png, at);
        const std::string chunk = png.substr(at + 4, 4 + length);
        const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(chunk.data()), static_cast<uInt>(chunk.size()));
        EXPECT_EQ(BigEndian32(png, at + 8 + length), crc) << "CRC of a " << chunk.substr(0, 4) << " chunk";
        if (chunk.compare(0, 4, type) == 0) {
            data += chunk.substr(4);
            ++count;
        }
        at += 12 + length;
    }
    return data;
}

std::string Inflate(const std::string& zlibData) {
    std::string out(zlibData.size() + 1, '\0');
    uLongf length = static_cast<uLongf>(out.size());
    EXPECT_EQ(uncompress(reinterpret_cast<Bytef*>(out.data()), &length, reinterpret_cast<const Bytef*>(zlibData.data()),
                         static_cast<uLong>(zlibData.size())),
              Z_OK);
    out.resize(length);
    return out;
}

std::string BehindFilterBytes(const std::string& rows, size_t stride) {
    std::string out;
    for (size_t at = 0; at < rows.size(); at += stride) out += '\0' + rows.substr(at, stride);
    return out;
}

TEST(PngWriter, RowsComeOutInStoredBlocksZlibReadsBack) {
    struct Case {
        const char* label;
        ImageLayout layout;
    } cases[] = {
        {"grey, 1 bit, odd width", RowsLayout(ImageFileFormat::Png, 13, 7, 1, 1)},
        {"RGB, 16 bits", RowsLayout(ImageFileFormat::Png, 5, 3, 16, 3)},
        // More than one stored block, and more than one IDAT chunk.
        {"RGB, 1.2 MB", RowsLayout(ImageFileFormat::Png, 700, 600, 8, 3)},
    };
    for (const Case& c : cases) {
        const std::string rows = Pattern(static_cast<size_t>(c.layout.dataLength));
        const Written written = Write(c.layout, rows + "past the last row");
        ASSERT_EQ(written.status, Status::End) << c.label;
        EXPECT_EQ(written.bytes.size(), PngFileSize(c.layout)) << c.label;
        int chunks = 0;
        const std::string idat = ChunksOfType(written.bytes, "IDAT", chunks);
        EXPECT_EQ(chunks, static_cast<int>((idat.size() + PngChunkDataBytes - 1) / PngChunkDataBytes)) << c.label;
        EXPECT_TRUE(Inflate(idat) == BehindFilterBytes(rows, static_cast<size_t>(RowBytes(c.layout)))) << c.label;
        ExpectInEveryWindow<PngWriterStage>([&](PngWriterStage& s) { StartPngWriter(s, c.layout); }, RunPngWriter, rows,
                                            Status::End, written.bytes, c.label);
    }
}

TEST(PngWriter, PaletteAndProfileGoBeforeTheSamples) {
    ImageLayout layout = RowsLayout(ImageFileFormat::Png, 4, 2, 8, 1);
    layout.pngColourType = PngPalette;
    layout.photometric = PhotometricPalette;
    const std::string palette = Pattern(3 * 5);
    const std::string profile = Pattern(70000);  // two stored blocks
    layout.palette = reinterpret_cast<const uint8_t*>(palette.data());
    layout.paletteEntries = 5;
    layout.profile = reinterpret_cast<const uint8_t*>(profile.data());
    layout.profileLength = static_cast<uint32_t>(profile.size());
    const Written written = Write(layout, Pattern(8));
    ASSERT_EQ(written.status, Status::End);
    EXPECT_EQ(written.bytes.size(), PngFileSize(layout));
    int count = 0;
    EXPECT_EQ(ChunksOfType(written.bytes, "PLTE", count), palette);
    const std::string iccp = ChunksOfType(written.bytes, "iCCP", count);
    const std::string name(PngProfileName);
    ASSERT_EQ(iccp.compare(0, name.size() + 2, name + std::string(2, '\0')), 0) << "name, its NUL, deflate";
    EXPECT_TRUE(Inflate(iccp.substr(name.size() + 2)) == profile);
    EXPECT_LT(written.bytes.find("iCCP"), written.bytes.find("IDAT"));
}

TEST(PngWriter, StoredDataIsTheIdatAsItStands) {
    ImageLayout layout = RowsLayout(ImageFileFormat::Png, 3, 2, 8, 1);
    layout.source = SampleSource::Stored;
    const std::string stored = "any zlib data";
    layout.dataLength = stored.size();
    const Written written = Write(layout, stored);
    ASSERT_EQ(written.status, Status::End);
    int count = 0;
    EXPECT_EQ(ChunksOfType(written.bytes, "IDAT", count), stored);
    EXPECT_EQ(written.bytes.size(), PngFileSize(layout));
}

// Too little input for the samples promised fails, for stored data too much.
TEST(ImageWriters, DataOfTheWrongLengthIsInvalid) {
    for (ImageFileFormat format : {ImageFileFormat::Png, ImageFileFormat::Tiff}) {
        const char* label = format == ImageFileFormat::Png ? "PNG" : "TIFF";
        ImageLayout rows = RowsLayout(format, 4, 3, 8, 1);
        EXPECT_EQ(Write(rows, Pattern(11)).status, Status::InvalidData) << label << ": a row short";
        EXPECT_EQ(Write(rows, Pattern(20)).status, Status::End) << label << ": rows past the last are dropped";
        ImageLayout stored = rows;
        stored.source = SampleSource::Stored;
        stored.dataLength = 9;
        EXPECT_EQ(Write(stored, Pattern(8)).status, Status::InvalidData) << label << ": stored data short";
        EXPECT_EQ(Write(stored, Pattern(10)).status, Status::InvalidData) << label << ": stored data long";
    }
}

TEST(TiffWriter, TheStripFollowsTheDirectoryInEveryWindow) {
    ImageLayout layout = RowsLayout(ImageFileFormat::Tiff, 9, 5, 8, 4);
    layout.photometric = PhotometricSeparated;
    layout.invertedComponents = 0b1010;
    std::string rows = Pattern(static_cast<size_t>(layout.dataLength));
    const Written written = Write(layout, rows);
    ASSERT_EQ(written.status, Status::End);
    ASSERT_EQ(written.bytes.size(), TiffFileSize(layout));
    // Components 1 and 3 of every pixel inverted, the strip last.
    for (size_t i = 0; i < rows.size(); ++i) {
        if (i % 4 == 1 || i % 4 == 3) rows[i] = static_cast<char>(~rows[i]);
    }
    EXPECT_TRUE(written.bytes.substr(written.bytes.size() - rows.size()) == rows);
    EXPECT_EQ(written.bytes.compare(0, 4, std::string("MM\0*", 4)), 0);
    ExpectInEveryWindow<TiffWriterStage>([&](TiffWriterStage& s) { StartTiffWriter(s, layout); }, RunTiffWriter,
                                         Pattern(static_cast<size_t>(layout.dataLength)), Status::End, written.bytes,
                                         "CMYK");
}

// PNG rows as an encoder writes them: each byte less its predictor, behind
// the filter type; `pixel` bytes to the left neighbour.
std::string PngPredicted(const std::string& rows, size_t stride, size_t pixel) {
    std::string out, previous(stride, '\0');
    for (size_t r = 0; r * stride < rows.size(); ++r) {
        const std::string row = rows.substr(r * stride, stride);
        const int type = static_cast<int>(r % 5);
        out += static_cast<char>(type);
        for (size_t i = 0; i < stride; ++i) {
            const int a = i >= pixel ? static_cast<uint8_t>(row[i - pixel]) : 0;
            const int b = static_cast<uint8_t>(previous[i]);
            const int c = i >= pixel ? static_cast<uint8_t>(previous[i - pixel]) : 0;
            int p = 0;
            if (type == 1) p = a;
            if (type == 2) p = b;
            if (type == 3) p = (a + b) / 2;
            if (type == 4) {
                const int e = a + b - c;
                p = std::abs(e - a) <= std::abs(e - b) && std::abs(e - a) <= std::abs(e - c) ? a
                    : std::abs(e - b) <= std::abs(e - c)                                     ? b
                                                                                             : c;
            }
            out += static_cast<char>(static_cast<uint8_t>(row[i]) - p);
        }
        previous = row;
    }
    return out;
}

TEST(Predictor, UndoesEveryPngFilterInEveryWindow) {
    struct Case {
        const char* label;
        PredictorParameters parameters;
        size_t stride;
        size_t pixel;
    } cases[] = {
        {"RGB", {15, 3, 8, 6}, 18, 3},
        {"grey of 16 bits", {12, 1, 16, 5}, 10, 2},
        {"4 bits: one byte to the left", {10, 1, 4, 7}, 4, 1},
    };
    for (const Case& c : cases) {
        const std::string rows = Pattern(10 * c.stride);
        const std::string predicted = PngPredicted(rows, c.stride, c.pixel);
        ExpectInEveryWindow<PredictorStage>([&](PredictorStage& s) { StartPredictor(s, c.parameters); }, RunPredictor,
                                            predicted, Status::End, rows, c.label);
        ExpectInEveryWindow<PredictorStage>([&](PredictorStage& s) { StartPredictor(s, c.parameters); }, RunPredictor,
                                            predicted + "\x01" "cut", Status::End, rows, std::string(c.label) + ", a row cut short");
    }
    std::string bad = PngPredicted(Pattern(18), 18, 3);
    bad[0] = 5;
    ExpectInEveryWindow<PredictorStage>([](PredictorStage& s) { StartPredictor(s, {15, 3, 8, 6}); }, RunPredictor, bad,
                                        Status::InvalidData, "", "filter type 5");
}

TEST(Predictor, UndoesTiffDifferencing) {
    struct Case {
        const char* label;
        PredictorParameters parameters;
        std::string predicted;
        std::string rows;
    } cases[] = {
        {"8 bits, two colours", {2, 2, 8, 3}, Hex({10, 20, 1, 2, 255, 1}), Hex({10, 20, 11, 22, 10, 23})},
        {"16 bits, a carry into the high byte", {2, 1, 16, 2}, Hex({0x00, 0xFF, 0x00, 0x02}), Hex({0x00, 0xFF, 0x01, 0x01})},
        {"2 bits, wrapping", {2, 1, 2, 4}, Hex({0b01110111}), Hex({0b01000100})},
    };
    for (const Case& c : cases) {
        ExpectInEveryWindow<PredictorStage>([&](PredictorStage& s) { StartPredictor(s, c.parameters); }, RunPredictor,
                                            c.predicted, Status::End, c.rows, c.label);
    }
}

}  // namespace
