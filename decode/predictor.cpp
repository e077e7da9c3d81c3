#include "decode/predictor.h"

#include <cstdlib>
#include <cstring>
#include <string_view>

#include "syntax/value_reader.h"

namespace {

constexpr uint32_t BitsPerByte = 8;
// PDF's limits on the parameters' values.
constexpr int32_t MaxColors = 32;
constexpr int32_t MaxColumns = INT32_MAX;

enum PngFilter : uint8_t { FilterNone, FilterSub, FilterUp, FilterAverage, FilterPaeth };

uint8_t Paeth(uint8_t left, uint8_t above, uint8_t aboveLeft) {
    const int estimate = left + above - aboveLeft;
    const int toLeft = std::abs(estimate - left);
    const int toAbove = std::abs(estimate - above);
    const int toAboveLeft = std::abs(estimate - aboveLeft);
    if (toLeft <= toAbove && toLeft <= toAboveLeft) return left;
    return toAbove <= toAboveLeft ? above : aboveLeft;
}

// Undoes the PNG filter of `row` in place, given the row undone before it.
bool UndoPngRow(uint8_t filter, uint8_t* row, const uint8_t* above, uint64_t length, uint64_t pixelBytes) {
    switch (filter) {
    case FilterNone:
        return true;
    case FilterSub:
        for (uint64_t i = pixelBytes; i < length; ++i) row[i] = static_cast<uint8_t>(row[i] + row[i - pixelBytes]);
        return true;
    case FilterUp:
        for (uint64_t i = 0; i < length; ++i) row[i] = static_cast<uint8_t>(row[i] + above[i]);
        return true;
    case FilterAverage:
        for (uint64_t i = 0; i < length; ++i) {
            const uint32_t left = i >= pixelBytes ? row[i - pixelBytes] : 0;
            row[i] = static_cast<uint8_t>(row[i] + (left + above[i]) / 2);
        }
        return true;
    case FilterPaeth:
        for (uint64_t i = 0; i < length; ++i) {
            const uint8_t left = i >= pixelBytes ? row[i - pixelBytes] : 0;
            const uint8_t aboveLeft = i >= pixelBytes ? above[i - pixelBytes] : 0;
            row[i] = static_cast<uint8_t>(row[i] + Paeth(left, above[i], aboveLeft));
        }
        return true;
    default:
        return false;
    }
}

// Undoes TIFF's horizontal differencing of one row in place: each sample is
// the difference to the same component of the pixel before it.
void UndoTiffRow(const PredictorParameters& p, uint8_t* row) {
    const uint64_t colors = static_cast<uint64_t>(p.colors);
    const uint64_t samples = static_cast<uint64_t>(p.columns) * colors;
    if (p.bitsPerComponent == 8) {
        for (uint64_t i = colors; i < samples; ++i) row[i] = static_cast<uint8_t>(row[i] + row[i - colors]);
        return;
    }
    if (p.bitsPerComponent == 16) {
        for (uint64_t i = colors; i < samples; ++i) {
            const uint32_t sum = (uint32_t{row[2 * i]} << 8 | row[2 * i + 1]) +
                                 (uint32_t{row[2 * (i - colors)]} << 8 | row[2 * (i - colors) + 1]);
            row[2 * i] = static_cast<uint8_t>(sum >> 8);
            row[2 * i + 1] = static_cast<uint8_t>(sum);
        }
        return;
    }
    // 1, 2 or 4 bits, most significant first.
    const uint32_t bits = static_cast<uint32_t>(p.bitsPerComponent);
    const uint32_t mask = (1u << bits) - 1;
    auto get = [&](uint64_t i) {
        const uint64_t bit = i * bits;
        return (uint32_t{row[bit / BitsPerByte]} >> (BitsPerByte - bits - bit % BitsPerByte)) & mask;
    };
    auto set = [&](uint64_t i, uint32_t value) {
        const uint64_t bit = i * bits;
        const uint32_t shift = static_cast<uint32_t>(BitsPerByte - bits - bit % BitsPerByte);
        uint8_t& byte = row[bit / BitsPerByte];
        byte = static_cast<uint8_t>((byte & ~(mask << shift)) | ((value & mask) << shift));
    };
    for (uint64_t i = colors; i < samples; ++i) set(i, get(i) + get(i - colors));
}

bool ValidBits(int32_t bits) { return bits == 1 || bits == 2 || bits == 4 || bits == 8 || bits == 16; }

}  // namespace

PredictorParameters ReadPredictorParameters(DictionaryText parameters) {
    PredictorParameters p;
    auto read = [&](std::string_view key, int32_t& value) {
        ValueText text;
        int64_t number = 0;
        if (FindDictionaryValue(parameters, key, text) && ReadIntegerValue(text, number) && number >= INT32_MIN &&
            number <= INT32_MAX) {
            value = static_cast<int32_t>(number);
        }
    };
    read("/Predictor", p.predictor);
    read("/Colors", p.colors);
    read("/BitsPerComponent", p.bitsPerComponent);
    read("/Columns", p.columns);
    return p;
}

bool IsPngPredictor(int32_t predictor) { return predictor >= PredictorPngFirst && predictor <= PredictorPngLast; }

uint64_t PredictorRowBytes(const PredictorParameters& p) {
    if (p.colors < 1 || p.colors > MaxColors || p.columns < 1 || p.columns > MaxColumns || !ValidBits(p.bitsPerComponent)) {
        return 0;
    }
    const uint64_t bits = static_cast<uint64_t>(p.columns) * static_cast<uint64_t>(p.colors) *
                          static_cast<uint64_t>(p.bitsPerComponent);
    const uint64_t bytes = (bits + BitsPerByte - 1) / BitsPerByte;
    return bytes > PredictorRowLimit ? 0 : bytes;
}

Status StartPredictor(PredictorStage& stage, const PredictorParameters& parameters) {
    stage = PredictorStage{};
    stage.parameters = parameters;
    stage.png = IsPngPredictor(parameters.predictor);
    stage.rowBytes = PredictorRowBytes(parameters);
    if (stage.rowBytes == 0 || (!stage.png && parameters.predictor != PredictorTiff)) return Status::InvalidData;
    stage.inputRowBytes = stage.rowBytes + (stage.png ? 1 : 0);
    const uint64_t pixelBits = static_cast<uint64_t>(parameters.colors) * static_cast<uint64_t>(parameters.bitsPerComponent);
    stage.pixelBytes = pixelBits < BitsPerByte ? 1 : pixelBits / BitsPerByte;
    if (!stage.current.Allocate(stage.inputRowBytes) || !stage.previous.Allocate(stage.rowBytes, true)) {
        return Status::OutOfMemory;
    }
    return Status::Ok;
}

Status RunPredictor(PredictorStage& stage, Window& window, bool inputEnds) {
    for (;;) {
        if (stage.rowReady) {
            const uint64_t left = stage.rowBytes - stage.emitted;
            const uint64_t count = left < window.availOut ? left : window.availOut;
            std::memcpy(window.nextOut, stage.previous.Data() + stage.emitted, static_cast<size_t>(count));
            MoveWindow(window, window.nextIn, window.nextOut + count);
            stage.emitted += count;
            if (stage.emitted != stage.rowBytes) return Status::Ok;
            stage.rowReady = false;
        }
        const uint64_t wanted = stage.inputRowBytes - stage.filled;
        const uint64_t count = wanted < window.availIn ? wanted : window.availIn;
        std::memcpy(stage.current.Data() + stage.filled, window.nextIn, static_cast<size_t>(count));
        MoveWindow(window, window.nextIn + count, window.nextOut);
        stage.filled += count;
        if (stage.filled != stage.inputRowBytes) {
            // A last row cut short is dropped, as readers drop it.
            return inputEnds ? Status::End : Status::Ok;
        }
        uint8_t* const row = stage.current.Data() + (stage.png ? 1 : 0);
        if (stage.png) {
            if (!UndoPngRow(stage.current.Data()[0], row, stage.previous.Data(), stage.rowBytes, stage.pixelBytes)) {
                return Status::InvalidData;
            }
        } else {
            UndoTiffRow(stage.parameters, row);
        }
        std::memcpy(stage.previous.Data(), row, static_cast<size_t>(stage.rowBytes));
        stage.filled = 0;
        stage.emitted = 0;
        stage.rowReady = true;
    }
}
