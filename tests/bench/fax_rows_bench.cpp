// Wrapping one-dimensional fax data as TIFF, as bytes of input per second:
// rows without end-of-line codes (surveyed, then read and rewritten with
// them) beside the same data taken for Group 4 (copied behind the header as
// it stands), each pass writing into 64 KiB windows as the chain runs it.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "decode/ccitt_fax.h"

namespace {

// Rows of 1728 pixels, no end-of-line codes: a white and a black code
// repeated, about 1 MB in all.
struct RowsForm {
    const char* pairBits;  // one white code and one black code
    size_t pairsPerRow;
    size_t rows;
};

// White 16 (101010) and black 2 (11): rows of 96 bytes.
constexpr RowsForm TypicalRows = {"10101011", 96, 11000};
// White 2 (0111) and black 2 (11), the shortest codes there are: rows of 324
// bytes, the most codes per byte.
constexpr RowsForm ShortestCodeRows = {"011111", 432, 3200};

std::vector<uint8_t> MakeRows(const RowsForm& form) {
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

// Bytes of each output window, as the chain's buffers and sinks offer them.
constexpr size_t OutputWindow = 64 * 1024;

// One pass of the stage over the whole data; answers the bytes written.
uint64_t Pass(const FaxParameters& parameters, FaxPass pass, FaxFigures& figures, const std::vector<uint8_t>& data,
              std::vector<uint8_t>& window) {
    auto stage = std::make_unique<FaxStage>();
    StartFax(*stage, parameters, pass, figures);
    Window w{data.data(), data.size(), window.data(), window.size()};
    uint64_t produced = 0;
    Status status = Status::Ok;
    while (status == Status::Ok) {
        w.nextOut = window.data();
        w.availOut = window.size();
        status = RunFax(*stage, w, true);
        produced += window.size() - w.availOut;
        benchmark::DoNotOptimize(window.data());
    }
    if (status != Status::End) return 0;
    if (pass == FaxPass::Survey) figures = SurveyedFigures(*stage);
    return produced;
}

void Wrap(benchmark::State& state, const std::vector<uint8_t>& data, const char* dictionary, uint64_t expectedSize) {
    std::vector<uint8_t> window(OutputWindow);
    const FaxParameters parameters = ReadFaxParameters(dictionary);
    for (auto _ : state) {
        FaxFigures figures;
        Pass(parameters, FaxPass::Survey, figures, data, window);
        if (Pass(parameters, FaxPass::Emit, figures, data, window) != expectedSize) state.SkipWithError("wrapping failed");
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

// A survey of fax data that is all zeros, fed in the input windows the chain
// gives (the output of a Flate step before it): fill that never ends, which
// must cost the same per byte whatever its length. Compare the time per
// iteration of the two sizes, run in one process
// (--benchmark_filter=FaxSurveyOfZeros --benchmark_enable_random_interleaving=true
// --benchmark_repetitions=10): 16 MiB should take about four times 4 MiB.
constexpr size_t ChainInputWindow = 64 * 1024;

void BM_FaxSurveyOfZeros(benchmark::State& state) {
    const std::vector<uint8_t> data(static_cast<size_t>(state.range(0)) << 20, 0);
    const FaxParameters parameters = ReadFaxParameters("<</DecodeParms<</K 0/Columns 1728>>>>");
    for (auto _ : state) {
        auto stage = std::make_unique<FaxStage>();
        StartFax(*stage, parameters, FaxPass::Survey, FaxFigures{});
        Status status = Status::Ok;
        for (size_t at = 0; status == Status::Ok;) {
            const size_t take = data.size() - at < ChainInputWindow ? data.size() - at : ChainInputWindow;
            Window window{data.data() + at, take, nullptr, 0};
            status = RunFax(*stage, window, at + take == data.size());
            at += take - window.availIn;
        }
        if (status != Status::End || SurveyedFigures(*stage).dataLength != data.size()) {
            state.SkipWithError("the survey failed");
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * data.size()));
}

}  // namespace

BENCHMARK(BM_FaxRowsGetEndOfLines);
BENCHMARK(BM_FaxRowsOfShortestCodesGetEndOfLines);
BENCHMARK(BM_FaxDataCopied);
BENCHMARK(BM_FaxSurveyOfZeros)->Arg(4)->Arg(16)->Unit(benchmark::kMillisecond);
