// CCITT fax data as a TIFF file. Nothing is decoded: the header describes the
// fax codes well enough for any TIFF reader to decode them itself, and only
// one-dimensional rows without end-of-line codes are re-emitted with them.
#include "decode/ccitt_fax.h"

#include <cstring>

#include "decode/tiff_tags.h"

namespace {

constexpr uint16_t TiffLittleEndian = 0x4949;  // "II"
constexpr uint32_t TiffFirstIfdOffset = 8;
constexpr uint32_t FaxIfdEntries = 8;              // ImageWidth to StripByteCounts
constexpr uint32_t FaxIfdEntriesWithOptions = 9;   // and T4Options

constexpr uint32_t CompressionT4 = 3;
constexpr uint32_t CompressionT6 = 4;
constexpr uint32_t T4OptionTwoDimensional = 1u << 0;
constexpr uint32_t T4OptionByteAligned = 1u << 2;

constexpr int32_t DefaultColumns = 1728;

// Writes little-endian numbers one after another into the header.
struct HeaderWriter {
    uint8_t* at;

    void Put16(uint32_t value) {
        at[0] = static_cast<uint8_t>(value);
        at[1] = static_cast<uint8_t>(value >> 8);
        at += 2;
    }
    void Put32(uint32_t value) {
        Put16(value & 0xFFFF);
        Put16(value >> 16);
    }
    // The value is written whole as 32 bits, so a SHORT stands in its first two bytes.
    void PutEntry(uint16_t tag, uint16_t type, uint32_t value) {
        Put16(tag);
        Put16(type);
        Put32(1);
        Put32(value);
    }
};

// The header for a fax stream with these parameters and `dataLength` bytes
// of fax data, which ChooseFaxFigures keeps within 32 bits; answers its size.
uint32_t BuildHeader(const FaxParameters& p, uint64_t dataLength, uint8_t (&bytes)[FaxTiffHeaderWithOptionsSize]) {
    // Without T4Options a reader takes Group 3 codes for one-dimensional and
    // unaligned, and decodes 2-D or byte-aligned data to wrong pixels. Group 4
    // has no way to say "byte-aligned" in TIFF, so it gets no option.
    uint32_t t4Options = 0;
    if (p.k > 0) t4Options |= T4OptionTwoDimensional;
    if (p.k >= 0 && p.encodedByteAlign != 0) t4Options |= T4OptionByteAligned;
    const bool withOptions = t4Options != 0;

    const uint32_t size = withOptions ? FaxTiffHeaderWithOptionsSize : FaxTiffHeaderSize;
    HeaderWriter out{bytes};
    out.Put16(TiffLittleEndian);
    out.Put16(tiff::Version);
    out.Put32(TiffFirstIfdOffset);
    out.Put16(withOptions ? FaxIfdEntriesWithOptions : FaxIfdEntries);
    out.PutEntry(tiff::TagImageWidth, tiff::TypeLong, static_cast<uint32_t>(p.columns));
    out.PutEntry(tiff::TagImageLength, tiff::TypeLong, static_cast<uint32_t>(p.rows));
    out.PutEntry(tiff::TagBitsPerSample, tiff::TypeShort, 1);
    out.PutEntry(tiff::TagCompression, tiff::TypeShort, p.k < 0 ? CompressionT6 : CompressionT4);
    out.PutEntry(tiff::TagPhotometric, tiff::TypeShort, p.blackIs1 != 0 ? 1 : 0);
    out.PutEntry(tiff::TagStripOffsets, tiff::TypeLong, size);
    out.PutEntry(tiff::TagRowsPerStrip, tiff::TypeLong, static_cast<uint32_t>(p.rows));
    out.PutEntry(tiff::TagStripByteCounts, tiff::TypeLong, static_cast<uint32_t>(dataLength));
    if (withOptions) out.PutEntry(tiff::TagT4Options, tiff::TypeLong, t4Options);
    out.Put32(0);  // no further IFD
    return size;
}

// Hands over what the window holds, counted.
Status CopyStored(FaxStage& stage, Window& window, bool inputEnds) {
    const size_t count = window.availIn < window.availOut ? window.availIn : window.availOut;
    if (stage.pass == FaxPass::Emit && count != 0) std::memcpy(window.nextOut, window.nextIn, count);
    const size_t taken = stage.pass == FaxPass::Emit ? count : window.availIn;
    window.nextIn += taken;
    window.availIn -= taken;
    if (stage.pass == FaxPass::Emit) {
        window.nextOut += count;
        window.availOut -= count;
    }
    stage.copied += taken;
    if (window.availIn != 0 || !inputEnds) return Status::Ok;
    if (stage.pass == FaxPass::Survey) stage.figures = ChooseFaxFigures(stage.parameters, false, 0, stage.copied);
    // The data must be as long as when it was surveyed.
    return stage.pass == FaxPass::Survey || stage.copied == stage.figures.dataLength ? Status::End : Status::InvalidData;
}

}  // namespace

FaxParameters ReadFaxParameters(DictionaryText dictionaryText) {
    FaxParameters p;
    int32_t imageMask = 0;
    GetIntValue(dictionaryText, "/ImageMask", 0, true, imageMask);
    p.imageMask = imageMask != 0;
    GetIntValue(dictionaryText, "/K", 0, false, p.k);
    GetIntValue(dictionaryText, "/Columns", DefaultColumns, false, p.columns);
    // Many producers give the height only as the image's "/Height"; a TIFF of
    // length 0 would read as an empty image.
    if (!GetIntValue(dictionaryText, "/Rows", 0, false, p.rows)) GetIntValue(dictionaryText, "/Height", 0, false, p.rows);
    GetIntValue(dictionaryText, "/BlackIs1", 0, true, p.blackIs1);
    GetIntValue(dictionaryText, "/EncodedByteAlign", 0, true, p.encodedByteAlign);
    return p;
}

uint32_t FaxHeaderSize(const FaxParameters& parameters) {
    if (parameters.imageMask) return 0;
    uint8_t bytes[FaxTiffHeaderWithOptionsSize];
    return BuildHeader(parameters, 0, bytes);
}

FaxFigures ChooseFaxFigures(const FaxParameters& parameters, bool rowsRewritable, uint64_t rewrittenLength,
                            uint64_t storedLength) {
    const uint64_t header = FaxHeaderSize(parameters);
    const uint64_t length = rowsRewritable ? rewrittenLength : storedLength;
    if (length > FaxTiffMostBytes - header) return FaxFigures{false, true, storedLength};
    return FaxFigures{rowsRewritable, false, length};
}

uint64_t FaxOutputSize(const FaxParameters& parameters, const FaxFigures& figures) {
    return (figures.headerless ? 0 : FaxHeaderSize(parameters)) + figures.dataLength;
}

void StartFax(FaxStage& stage, const FaxParameters& parameters, FaxPass pass, const FaxFigures& known) {
    stage.parameters = parameters;
    stage.pass = pass;
    stage.figures = pass == FaxPass::Emit ? known : FaxFigures{};
    stage.headerSize = 0;
    stage.headerWritten = 0;
    stage.copied = 0;
    // Only one-dimensional rows may need their end-of-line codes, and only
    // rows a survey found to need them are rewritten.
    stage.readsRows = !parameters.imageMask && parameters.k == 0 && (pass == FaxPass::Survey || known.rewriteRows);
    if (stage.readsRows) {
        StartFaxRows(stage.rows, parameters.columns, parameters.rows, parameters.encodedByteAlign != 0,
                     pass == FaxPass::Emit);
    }
    if (pass == FaxPass::Emit && !parameters.imageMask && !known.headerless) {
        stage.headerSize = BuildHeader(parameters, known.dataLength, stage.header);
    }
}

Status RunFax(FaxStage& stage, Window& window, bool inputEnds) {
    while (stage.headerWritten < stage.headerSize) {
        if (window.availOut == 0) return Status::Ok;
        *window.nextOut++ = stage.header[stage.headerWritten++];
        --window.availOut;
    }
    if (!stage.readsRows) return CopyStored(stage, window, inputEnds);
    const uint64_t outBefore = window.availOut;
    const Status status = RunFaxRows(stage.rows, window, inputEnds);
    stage.copied += outBefore - window.availOut;
    if (status != Status::End) return status;
    if (stage.pass == FaxPass::Survey) {
        stage.figures = ChooseFaxFigures(stage.parameters, FaxRowsRewritten(stage.rows), FaxRowsBytes(stage.rows),
                                         stage.rows.inputBytes);
        return Status::End;
    }
    return stage.copied == stage.figures.dataLength ? Status::End : Status::InvalidData;
}

FaxFigures SurveyedFigures(const FaxStage& stage) { return stage.figures; }
