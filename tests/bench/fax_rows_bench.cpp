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

constexpr size_t RowsWanted = 11000;  // about 1 MB of codes

// Rows of 1728 pixels: 96 times white 16 (101010) and black 2 (11), no end-of-line codes.
const std::vector<uint8_t>& FaxRows() {
    static const std::vector<uint8_t> data = [] {
        std::string bits;
        for (size_t row = 0; row < RowsWanted; ++row) {
            for (int pair = 0; pair < 96; ++pair) bits += "10101011";
        }
        std::vector<uint8_t> bytes(bits.size() / 8);
        for (size_t i = 0; i < bits.size(); ++i) {
            if (bits[i] == '1') bytes[i / 8] |= static_cast<uint8_t>(0x80 >> (i % 8));
        }
        return bytes;
    }();
    return data;
}

void Wrap(benchmark::State& state, const char* dictionary, uint64_t expectedSize) {
    const std::vector<uint8_t>& data = FaxRows();
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
    // Each row gains 12 bits: 96 bytes become 97.5.
    Wrap(state, "<</DecodeParms<</K 0/Columns 1728/Rows 11000>>>>", FaxTiffHeaderSize + RowsWanted * 195 / 2);
}

void BM_FaxDataCopied(benchmark::State& state) {
    Wrap(state, "<</DecodeParms<</K -1/Columns 1728/Rows 11000>>>>", FaxTiffHeaderSize + FaxRows().size());
}

}  // namespace

BENCHMARK(BM_FaxRowsGetEndOfLines);
BENCHMARK(BM_FaxDataCopied);
