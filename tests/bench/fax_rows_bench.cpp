// Wrapping one-dimensional fax data as TIFF, as bytes of input per second:
// rows without end-of-line codes (read and rewritten with them) beside the
// same data taken for Group 4 (copied behind the header as it stands).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

#include "decode/byte_buffer.h"
#include "decode/ccitt_fax.h"

namespace {

// Rows of 1728 pixels, no end-of-line codes: a white and a black code
// repeated, about 1 MB in all.
struct FaxRows {
    const char* pairBits;  // one white code and one black code
    size_t pairsPerRow;
    size_t rows;
};

// White 16 (101010) and black 2 (11): rows of 96 bytes.
constexpr FaxRows TypicalRows = {"10101011", 96, 11000};
// White 2 (0111) and black 2 (11), the shortest codes there are: rows of 324
// bytes, the most codes per byte.
constexpr FaxRows ShortestCodeRows = {"011111", 432, 3200};

std::vector<uint8_t> MakeRows(const FaxRows& form) {
    std::string bits;
    for (size_t row = 0; row < form.rows; ++row) {
        for (size_t pair = 0; pair < form.pairsPerRow; ++pair) bits += form.pairBits;
    }
    std::vector<uint8_t> bytes((bits.size() + 7) / 8);
    for (size_t i = 0; i < bits.size(); ++i) {
        if (bits[i] == '1') bytes[i / 8] |= static_cast<uint8_t>(0x80 >> (i % 8));
    }
    return bytes;
}

void Wrap(benchmark::State& state, const std::vector<uint8_t>& data, const char* dictionary, uint64_t expectedSize) {
    for (auto _ : state) {
        ByteBuffer input;
        input.Attach(data.data(), data.data() + data.size(), false);
        ByteBuffer output;
        ByteBufferGuard guard(output);
        if (WrapCcittFax(output, input, dictionary) != 0 || output.Size() != expectedSize)
            state.SkipWithError("wrapping failed");
        benchmark::DoNotOptimize(output.begin);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * data.size()));
}

void BM_FaxRowsGetEndOfLines(benchmark::State& state) {
    static const std::vector<uint8_t> data = MakeRows(TypicalRows);
    // Each row gains 12 bits: 96 bytes become 97.5.
    Wrap(state, data, "<</DecodeParms<</K 0/Columns 1728/Rows 11000>>>>", FaxTiffHeaderSize + 11000 * 195 / 2);
}

void BM_FaxRowsOfShortestCodesGetEndOfLines(benchmark::State& state) {
    static const std::vector<uint8_t> data = MakeRows(ShortestCodeRows);
    // 324 bytes become 325.5; no row count given, so the rows run to the end of the data.
    Wrap(state, data, "<</DecodeParms<</K 0/Columns 1728>>>>", FaxTiffHeaderSize + 3200 * 651 / 2);
}

void BM_FaxDataCopied(benchmark::State& state) {
    static const std::vector<uint8_t> data = MakeRows(TypicalRows);
    Wrap(state, data, "<</DecodeParms<</K -1/Columns 1728/Rows 11000>>>>", FaxTiffHeaderSize + data.size());
}

}  // namespace

BENCHMARK(BM_FaxRowsGetEndOfLines);
BENCHMARK(BM_FaxRowsOfShortestCodesGetEndOfLines);
BENCHMARK(BM_FaxDataCopied);
