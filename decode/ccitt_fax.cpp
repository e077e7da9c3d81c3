// CCITT fax data as a TIFF file. Nothing is decoded: the header describes the
// fax codes well enough for any TIFF reader to decode them itself, and only
// one-dimensional rows without end-of-line codes are re-emitted with them.
#include "decode/ccitt_fax.h"

#include <cstring>

#include "syntax/dictionary.h"
#include "decode/fax_rows.h"
#include "decode/results.h"

namespace {

constexpr uint16_t TiffLittleEndian = 0x4949;  // "II"
constexpr uint16_t TiffVersion = 42;
constexpr uint32_t TiffFirstIfdOffset = 8;
constexpr uint32_t FaxIfdEntries = 8;              // ImageWidth to StripByteCounts
constexpr uint32_t FaxIfdEntriesWithOptions = 9;   // and T4Options

constexpr uint16_t TypeShort = 3;
constexpr uint16_t TypeLong = 4;

constexpr uint16_t TagImageWidth = 256;
constexpr uint16_t TagImageLength = 257;
constexpr uint16_t TagBitsPerSample = 258;
constexpr uint16_t TagCompression = 259;
constexpr uint16_t TagPhotometric = 262;
constexpr uint16_t TagStripOffsets = 273;
constexpr uint16_t TagRowsPerStrip = 278;
constexpr uint16_t TagStripByteCounts = 279;
constexpr uint16_t TagT4Options = 292;

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

// The fax parameters of a stream's dictionary text, defaults where absent.
struct FaxParameters {
    int32_t k = 0;
    int32_t columns = DefaultColumns;
    int32_t rows = 0;
    int32_t blackIs1 = 0;
    int32_t encodedByteAlign = 0;
};

FaxParameters ReadFaxParameters(DictionaryText dictionaryText) {
    FaxParameters p;
    GetIntValue(dictionaryText, "/K", 0, false, p.k);
    GetIntValue(dictionaryText, "/Columns", DefaultColumns, false, p.columns);
    // Many producers give the height only as the image's "/Height"; a TIFF of
    // length 0 would read as an empty image.
    if (!GetIntValue(dictionaryText, "/Rows", 0, false, p.rows)) GetIntValue(dictionaryText, "/Height", 0, false, p.rows);
    GetIntValue(dictionaryText, "/BlackIs1", 0, true, p.blackIs1);
    GetIntValue(dictionaryText, "/EncodedByteAlign", 0, true, p.encodedByteAlign);
    return p;
}

FaxTiffHeader BuildHeader(const FaxParameters& p, uint64_t dataLength) {
    // Without T4Options a reader takes Group 3 codes for one-dimensional and
    // unaligned, and decodes 2-D or byte-aligned data to wrong pixels. Group 4
    // has no way to say "byte-aligned" in TIFF, so it gets no option.
    uint32_t t4Options = 0;
    if (p.k > 0) t4Options |= T4OptionTwoDimensional;
    if (p.k >= 0 && p.encodedByteAlign != 0) t4Options |= T4OptionByteAligned;
    const bool withOptions = t4Options != 0;

    FaxTiffHeader header{};
    header.size = withOptions ? FaxTiffHeaderWithOptionsSize : FaxTiffHeaderSize;

    HeaderWriter out{header.bytes};
    out.Put16(TiffLittleEndian);
    out.Put16(TiffVersion);
    out.Put32(TiffFirstIfdOffset);
    out.Put16(withOptions ? FaxIfdEntriesWithOptions : FaxIfdEntries);
    out.PutEntry(TagImageWidth, TypeLong, static_cast<uint32_t>(p.columns));
    out.PutEntry(TagImageLength, TypeLong, static_cast<uint32_t>(p.rows));
    out.PutEntry(TagBitsPerSample, TypeShort, 1);
    out.PutEntry(TagCompression, TypeShort, p.k < 0 ? CompressionT6 : CompressionT4);
    out.PutEntry(TagPhotometric, TypeShort, p.blackIs1 != 0 ? 1 : 0);
    out.PutEntry(TagStripOffsets, TypeLong, header.size);
    out.PutEntry(TagRowsPerStrip, TypeLong, static_cast<uint32_t>(p.rows));
    out.PutEntry(TagStripByteCounts, TypeLong, static_cast<uint32_t>(dataLength));
    if (withOptions) out.PutEntry(TagT4Options, TypeLong, t4Options);
    out.Put32(0);  // no further IFD
    return header;
}

}  // namespace

FaxTiffHeader BuildFaxTiffHeader(DictionaryText dictionaryText, uint64_t dataLength) {
    return BuildHeader(ReadFaxParameters(dictionaryText), dataLength);
}

uint32_t WrapCcittFax(ByteBuffer& output, ByteBuffer& input, DictionaryText dictionaryText) {
    int32_t imageMask = 0;
    GetIntValue(dictionaryText, "/ImageMask", 0, true, imageMask);
    const FaxParameters parameters = ReadFaxParameters(dictionaryText);
    // The header's size does not depend on the data's length, so the data is
    // written behind room for it and the header last.
    const uint32_t headerSize = imageMask == 0 ? BuildHeader(parameters, 0).size : 0;
    const bool rewriteRows = imageMask == 0 && parameters.k == 0;

    // Room for the data too, unless the row rewrite sizes the block itself.
    uint32_t result = output.Reserve(headerSize + (rewriteRows ? 0 : input.Size()));
    if (result != ResultOk) return result;
    output.cursor = output.begin + headerSize;

    // One-dimensional rows that came without end-of-line codes get them: TIFF
    // readers need one before every row. Data that does not read as such rows
    // is kept as stored.
    uint32_t rewritten = ResultInvalidData;
    if (rewriteRows) {
        rewritten = AddFaxEndOfLines(output, input, parameters.columns, parameters.rows,
                                     parameters.encodedByteAlign != 0);
        if (rewritten == ResultOutOfMemory) return rewritten;
    }
    if (rewritten != ResultOk) {
        // One block of the final size, so the output is never moved.
        result = output.Reserve(headerSize + input.Size());
        if (result != ResultOk) return result;
        result = output.Append(input.begin, input.Size());
        if (result != ResultOk) return result;
    }
    output.end = output.cursor;

    if (headerSize != 0) {
        const FaxTiffHeader header = BuildHeader(parameters, output.Size() - headerSize);
        std::memcpy(output.begin, header.bytes, header.size);
    }
    return ResultOk;
}
