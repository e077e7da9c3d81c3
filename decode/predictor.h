// Undoing a predictor ("/Predictor" in a Flate or LZW stream's parameters)
// so that rows of samples come out: PNG predictors (10 to 15: every row
// behind a byte naming its PNG filter, 0 None to 4 Paeth, whatever the
// number says) and TIFF's horizontal differencing (2), for rows of
// `columns` pixels of `colors` samples of `bitsPerComponent` bits. Only the
// viewable mode runs it; the default listing leaves predictors in place.
//
// A resumable stage (see stage.h): a last row cut short is dropped and the
// data ends with its input. InvalidData for a PNG filter byte above 4.
#pragma once

#include <cstdint>

#include "decode/stage.h"
#include "platform/heap_block.h"
#include "syntax/dictionary.h"

constexpr int32_t PredictorNone = 1;
constexpr int32_t PredictorTiff = 2;
constexpr int32_t PredictorPngFirst = 10;
constexpr int32_t PredictorPngLast = 15;
// Bytes of the longest row undone: far past any real image's.
constexpr uint64_t PredictorRowLimit = uint64_t{16} << 20;

// A predictor's parameters, with PDF's defaults where a key is absent.
struct PredictorParameters {
    int32_t predictor = PredictorNone;
    int32_t colors = 1;
    int32_t bitsPerComponent = 8;
    int32_t columns = 1;
};

// Reads "/Predictor", "/Colors", "/BitsPerComponent" and "/Columns", each a
// direct integer, from one parameters dictionary ("/DecodeParms" or an
// element of its array), starting with "<<".
PredictorParameters ReadPredictorParameters(DictionaryText parameters);
bool IsPngPredictor(int32_t predictor);
// Bytes of one row of samples the parameters describe; 0 when they describe
// none (a count or a size out of range), or the row passes PredictorRowLimit.
uint64_t PredictorRowBytes(const PredictorParameters& parameters);

struct PredictorStage {
    PredictorParameters parameters;
    bool png = false;            // PNG predictors; else TIFF's
    uint64_t rowBytes = 0;       // samples of a row
    uint64_t inputRowBytes = 0;  // what a row takes in the input: rowBytes, and the filter byte with PNG
    uint64_t pixelBytes = 0;     // PNG's "bpp": bytes of a pixel, at least 1
    HeapBlock current;           // the row being read, filter byte first with PNG
    HeapBlock previous;          // the last row undone (zeros before the first), samples only
    uint64_t filled = 0;         // bytes of current read
    uint64_t emitted = 0;        // with a row undone: its bytes already written
    bool rowReady = false;       // previous holds a row not yet all written
};

// InvalidData when the parameters describe no row (see PredictorRowBytes) or
// no predictor this stage undoes; OutOfMemory when the rows cannot be had.
Status StartPredictor(PredictorStage& stage, const PredictorParameters& parameters);
Status RunPredictor(PredictorStage& stage, Window& window, bool inputEnds);
