// CCITT fax ("CCITTFaxDecode"): the data is not decoded but wrapped as a
// little-endian TIFF file, a FaxTiffHeader built from the fax parameters in
// the dictionary text followed by the fax data unchanged. An image mask
// ("/ImageMask" true) is passed through without a header.
//
// Parameters, each looked up anywhere in the dictionary text:
//   "/K"           integer, default 0: Compression 4 (T.6) when negative, else 3 (T.4)
//   "/Columns"     integer, default 1728: ImageWidth
//   "/Rows"        integer, default 0: ImageLength and RowsPerStrip; when the
//                  key is absent, the image's "/Height" (default 0) instead
//   "/BlackIs1"    integer or boolean, default false: PhotometricInterpretation 1 when true
//   "/ImageMask"   integer or boolean, default false: no header when true
//   "/EncodedByteAlign" integer or boolean, default false
//
// Group 3 data that a TIFF reader would otherwise take for one-dimensional,
// unaligned codes ("/K" above 0, or "/K" 0 with "/EncodedByteAlign" true)
// gets a ninth IFD entry, T4Options; every other header is 110 bytes.
//
// One-dimensional data ("/K" 0, not an image mask) whose rows come without
// end-of-line codes follows the header with an end-of-line code put before
// every row (see fax_rows.h), and StripByteCounts gives that new length. When
// the data does not read as such rows, or every row has its code already,
// the data follows unchanged like every other stream's.
//
// Returns 0, or the error of the output's Reserve/Append (8 out of memory).
#pragma once

#include <cstdint>

#include "decode/byte_buffer.h"
#include "syntax/dictionary.h"

constexpr uint32_t FaxTiffHeaderSize = 110;             // eight IFD entries
constexpr uint32_t FaxTiffHeaderWithOptionsSize = 122;  // nine: T4Options added

// The TIFF file header and its one IFD; `size` bytes of `bytes` are used, and
// the fax data follows them directly (StripOffsets is `size`).
struct FaxTiffHeader {
    uint8_t bytes[FaxTiffHeaderWithOptionsSize];
    uint32_t size;
};

// The header for a fax stream with these dictionary parameters and
// `dataLength` bytes of fax data (written as unsigned 32-bit).
FaxTiffHeader BuildFaxTiffHeader(DictionaryText dictionaryText, uint64_t dataLength);

uint32_t WrapCcittFax(ByteBuffer& output, ByteBuffer& input, DictionaryText dictionaryText);
