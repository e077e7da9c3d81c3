// The CCITT fax stage over long data made from a short input: the
// dictionary text comes first (up to the first NUL), then pieces that each
// repeat a few bytes many times, so that rows and fill of many mebibytes
// (past every block the stage reads and writes through, and past 16 MiB) cost
// a few bytes of input. Run as the chain runs it, a survey and then the
// writing with its figures, once in the chain's windows and once in odd ones
// with the input cut where the input says: both must agree, and the writing
// must give exactly the bytes the survey counted. Past a mebibyte only the
// odd windows run, which cut the input at a hundred places or more: long
// data costs time, and its blocks' edges are crossed as often either way.
//
// A piece: a shift byte, a count byte and a length byte, then that many
// bytes, repeated (count + 1) << (shift % 17) times. Missing bytes end the
// pieces; the data stops at LongestData bytes.
#include <cstring>
#include <string>
#include <vector>

#include "decode/ccitt_fax.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

constexpr size_t LongestData = size_t{17} << 20;
constexpr uint32_t LargestShift = 16;
constexpr size_t ChainWindow = 64 * 1024;
// Data up to this length runs in both kinds of windows, the output of the
// odd ones a few bytes each.
constexpr size_t BothWindowsUpTo = size_t{1} << 20;

std::string Expand(const uint8_t* program, size_t size) {
    std::string data;
    size_t at = 0;
    while (at + 3 <= size && data.size() < LongestData) {
        const uint64_t repeats = uint64_t{program[at + 1] + 1u} << (program[at] % (LargestShift + 1));
        const size_t length = program[at + 2];
        at += 3;
        if (length > size - at) break;
        const char* piece = reinterpret_cast<const char*>(program + at);
        at += length;
        if (length == 0) continue;
        // Written once, then doubled: a byte-at-a-time loop over megabytes
        // would cost more than the stage.
        const uint64_t room = LongestData - data.size();
        const size_t total = static_cast<size_t>(repeats < room / length + 1 ? repeats * length : room);
        const size_t start = data.size();
        data.reserve(start + total);
        data.append(piece, total < length ? total : length);
        while (data.size() - start < total) {
            const size_t done = data.size() - start;
            data.append(data, start, done < total - done ? done : total - done);
        }
    }
    return data;
}

// Cuts of irregular lengths, from 1 byte to about 200 KB, drawn from the input.
std::vector<size_t> IrregularCuts(const std::string& data, uint32_t seed) {
    std::vector<size_t> cuts;
    uint32_t state = seed | 1u;
    for (size_t at = 0;;) {
        state = state * 1103515245u + 12345u;
        at += 1 + (state >> 8) % (state % 3 == 0 ? 61u : 200003u);
        if (at >= data.size()) return cuts;
        cuts.push_back(at);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* input, size_t size) {
    CapHeapRequests();
    const DictionaryAndData parts = SplitAtNul(input, size);
    const FaxParameters parameters = ReadFaxParameters(parts.dictionaryText);
    const std::string data = Expand(parts.data, parts.size);

    uint32_t seed = 0;
    for (size_t i = 0; i < size; ++i) seed = seed * 31u + input[i];
    StageWindows chain{ChainWindow, {}};
    for (size_t cut = ChainWindow; cut < data.size(); cut += ChainWindow) chain.inputCuts.push_back(cut);
    StageWindows odd{1 + seed % 8191, IrregularCuts(data, seed)};
    const bool both = data.size() <= BothWindowsUpTo;
    if (both) odd.outputWindow = 1 + seed % 61;
    const StageWindows& first = both ? chain : odd;
    const int runs = both ? 2 : 1;

    FaxFigures figures[2];
    StageRun surveys[2];
    for (int i = 0; i < runs; ++i) {
        auto stage = std::make_unique<FaxStage>();
        StartFax(*stage, parameters, FaxPass::Survey, FaxFigures{});
        surveys[i] = RunStage(*stage, RunFax, data, i == 0 ? first : odd);
        figures[i] = SurveyedFigures(*stage);
    }
    if (!both) {
        surveys[1] = surveys[0];
        figures[1] = figures[0];
    }
    FuzzSameRuns(surveys[0], surveys[1]);
    if (surveys[0].status == Status::OutOfMemory) return 0;
    FuzzCheck(surveys[0].status == Status::End, "a survey failed");
    FuzzCheck(surveys[0].bytes.empty(), "a survey wrote bytes");
    FuzzCheck(figures[0].rewriteRows == figures[1].rewriteRows && figures[0].headerless == figures[1].headerless &&
                  figures[0].dataLength == figures[1].dataLength,
              "odd windows surveyed other figures");

    StageRun writings[2];
    for (int i = 0; i < runs; ++i) {
        auto stage = std::make_unique<FaxStage>();
        StartFax(*stage, parameters, FaxPass::Emit, figures[0]);
        writings[i] = RunStage(*stage, RunFax, data, i == 0 ? first : odd);
    }
    if (both) FuzzSameRuns(writings[0], writings[1]);
    FuzzCheck(writings[0].fault.empty(), "a stage broke the window contract");
    if (writings[0].status == Status::OutOfMemory) return 0;
    FuzzCheck(writings[0].status == Status::End, "a writing with the survey's figures failed");
    FuzzCheck(writings[0].bytes.size() == FaxOutputSize(parameters, figures[0]),
              "the writing's length differs from the survey's");
    const size_t header = FaxOutputSize(parameters, figures[0]) - figures[0].dataLength;
    if (!figures[0].rewriteRows) {
        FuzzCheck(writings[0].bytes.compare(header, std::string::npos, data) == 0, "data kept as stored was changed");
    } else {
        // Every row gained its end-of-line code: the data starts with one,
        // eleven zeros and a one after at most four zero fill bits.
        const auto second = static_cast<uint8_t>(writings[0].bytes[header + 1]);
        FuzzCheck(writings[0].bytes[header] == 0 && second != 0 && (second & 0xE0) == 0,
                  "rewritten rows do not start with an end-of-line code");
    }
    return 0;
}
