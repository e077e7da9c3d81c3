// CCITT fax ("CCITTFaxDecode", "CCF"): the data is not decoded but wrapped
// as a little-endian TIFF file, a header built from the fax parameters in
// the dictionary text followed by the fax data. An image mask
// ("/ImageMask" true) has no header; the chain then leaves its data as stored.
//
// Parameters, each looked up anywhere in the dictionary text:
//   "/K"           integer, default 0: Compression 4 (T.6) when negative, else 3 (T.4)
//   "/Columns"     integer, default 1728: ImageWidth
//   "/Rows"        integer, default 0: ImageLength and RowsPerStrip; when the
//                  key is absent, the image's "/Height" (default 0) instead
//   "/BlackIs1"    integer or boolean, default false: PhotometricInterpretation 1 when true
//   "/ImageMask"   integer or boolean, default false
//   "/EncodedByteAlign" integer or boolean, default false
//
// Group 3 data that a TIFF reader would otherwise take for one-dimensional,
// unaligned codes ("/K" above 0, or "/K" 0 with "/EncodedByteAlign" true)
// gets a ninth IFD entry, T4Options; every other header is 110 bytes.
//
// One-dimensional data ("/K" 0) whose rows come without end-of-line codes
// follows the header with an end-of-line code put before every row (see
// fax_rows.h), and StripByteCounts gives that new length; other data follows
// as stored. A TIFF file's offsets and byte counts have 32 bits: data whose
// file would pass FaxTiffMostBytes comes out as stored, without a header,
// rather than behind a header whose byte count wraps. The choices and the
// length need the whole data, while the header comes first: so the stage
// runs twice, a survey that writes nothing and finds the figures, and the
// writing with them (see stage.h for the contract of each). The archive
// keeps the figures of the survey it listed the entry with, for every later
// writing.
#pragma once

#include <cstdint>

#include "decode/fax_rows.h"
#include "decode/stage.h"
#include "syntax/dictionary.h"

constexpr uint32_t FaxTiffHeaderSize = 110;             // eight IFD entries
constexpr uint32_t FaxTiffHeaderWithOptionsSize = 122;  // nine: T4Options added
constexpr uint64_t FaxTiffMostBytes = uint64_t{1} << 32; // the largest file 32-bit offsets reach

// The fax parameters of a stream's dictionary text, defaults where absent.
struct FaxParameters {
    int32_t k = 0;
    int32_t columns = 0;
    int32_t rows = 0;
    int32_t blackIs1 = 0;
    int32_t encodedByteAlign = 0;
    bool imageMask = false;
};

FaxParameters ReadFaxParameters(DictionaryText dictionaryText);
// Bytes of the header the data follows: 0 for an image mask, else 110 or 122.
uint32_t FaxHeaderSize(const FaxParameters& parameters);

enum class FaxPass : uint8_t { Survey, Emit };

// What a survey finds, and a writing needs.
struct FaxFigures {
    bool rewriteRows = false;   // the rows get end-of-line codes
    bool headerless = false;    // its TIFF would pass FaxTiffMostBytes: the data alone, as stored
    uint64_t dataLength = 0;    // bytes after the header
};

// What a survey concludes from what it read: `storedLength` bytes of data,
// which are `rewrittenLength` once their rows get end-of-line codes if
// `rowsRewritable`.
FaxFigures ChooseFaxFigures(const FaxParameters& parameters, bool rowsRewritable, uint64_t rewrittenLength,
                            uint64_t storedLength);
// Bytes a writing with these figures gives: the header, if any, and the data.
uint64_t FaxOutputSize(const FaxParameters& parameters, const FaxFigures& figures);

struct FaxStage {
    FaxParameters parameters;                          // from the dictionary
    FaxPass pass = FaxPass::Emit;
    FaxFigures figures;                                // the survey's, found or given
    uint8_t header[FaxTiffHeaderWithOptionsSize] = {}; // with Emit: the header
    uint32_t headerSize = 0;                           // its bytes
    uint32_t headerWritten = 0;                        // of them already written
    bool readsRows = false;                            // the rows machine runs over the data
    FaxRows rows;                                      // that machine
    uint64_t copied = 0;                               // bytes of data passed on or counted as stored
};

void StartFax(FaxStage& stage, const FaxParameters& parameters, FaxPass pass, const FaxFigures& known);
Status RunFax(FaxStage& stage, Window& window, bool inputEnds);
// After a survey has ended: what it found.
FaxFigures SurveyedFigures(const FaxStage& stage);
