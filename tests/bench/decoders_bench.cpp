// Stage throughput on inputs of a few megabytes, as bytes of output per second,
// each stage writing into 64 KiB windows as the filter chain runs it. Flate
// runs beside zlib's inflate straight into a buffer of the final size.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "decode/ascii85.h"
#include "decode/ascii_hex.h"
#include "decode/flate.h"
#include "decode/lzw.h"
#include "decode/run_length.h"
#include "tests/support/lzw_encoder.h"

namespace {

constexpr size_t DataSize = 4 << 20;

// Page-content-like text: operators, numbers and words from a small vocabulary.
const std::string& ContentText() {
    static const std::string text = [] {
        static const char* const pieces[] = {"BT ", "ET\n", "/F1 12 Tf ", "72 712 Td ", "(Hello) Tj ", "0 0 1 rg ",
                                             "q ",  "Q\n",  "1 0 0 1 ",   "re f\n",     "[(W)80(orld)] TJ ", "cm "};
        std::mt19937 random(1);
        std::string s;
        while (s.size() < DataSize) {
            s += pieces[random() % 12];
            s += std::to_string(random() % 1000);
            s += ' ';
        }
        s.resize(DataSize);
        return s;
    }();
    return text;
}

// Random bytes: LZW strings of one or two bytes, so every code costs its
// whole overhead for little output.
const std::string& RandomBytes() {
    static const std::string bytes = [] {
        std::mt19937 random(3);
        std::string s(DataSize, '\0');
        for (char& c : s) c = static_cast<char>(random());
        return s;
    }();
    return bytes;
}

// Image-like scan lines: flat areas broken by short noisy stretches.
const std::string& ScanLines() {
    static const std::string image = [] {
        std::mt19937 random(2);
        std::string s;
        while (s.size() < DataSize) {
            const char shade = static_cast<char>(random());
            s.append(20 + random() % 200, shade);
            for (auto n = random() % 40; n > 0; --n) s.push_back(static_cast<char>(random()));
        }
        s.resize(DataSize);
        return s;
    }();
    return image;
}

std::string Deflate(const std::string& data) {
    uLongf size = compressBound(data.size());
    std::string out(size, '\0');
    compress2(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(data.data()), data.size(),
              Z_DEFAULT_COMPRESSION);
    out.resize(size);
    return out;
}

std::string EncodeAscii85(const std::string& data) {
    std::string out;
    size_t column = 0;
    for (size_t i = 0; i < data.size(); i += 4) {
        uint32_t value = 0;
        for (size_t k = 0; k < 4; ++k) value = value << 8 | static_cast<uint8_t>(data[i + k]);
        if (value == 0) {
            out += 'z';
        } else {
            char digits[5];
            for (int k = 4; k >= 0; --k, value /= 85) digits[k] = static_cast<char>('!' + value % 85);
            out.append(digits, 5);
        }
        if ((column += 5) >= 75) {
            out += '\n';
            column = 0;
        }
    }
    return out + "~>";
}

std::string EncodeAsciiHex(const std::string& data) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (size_t i = 0; i < data.size(); ++i) {
        out += digits[static_cast<uint8_t>(data[i]) >> 4];
        out += digits[static_cast<uint8_t>(data[i]) & 15];
        if (i % 32 == 31) out += '\n';
    }
    return out + '>';
}

// PackBits: repeats of 3 or more as runs, the rest as literals of up to 128.
std::string EncodeRunLength(const std::string& data) {
    std::string out;
    size_t i = 0;
    while (i < data.size()) {
        size_t run = 1;
        while (i + run < data.size() && run < 128 && data[i + run] == data[i]) ++run;
        if (run >= 3) {
            out += static_cast<char>(257 - run);
            out += data[i];
            i += run;
            continue;
        }
        size_t literal = 0;
        while (i + literal < data.size() && literal < 128 &&
               !(i + literal + 2 < data.size() && data[i + literal] == data[i + literal + 1] &&
                 data[i + literal] == data[i + literal + 2])) {
            ++literal;
        }
        out += static_cast<char>(literal - 1);
        out.append(data, i, literal);
        i += literal;
    }
    return out + static_cast<char>(128);
}

// Bytes of each output window, as the chain's buffers and sinks offer them.
constexpr size_t OutputWindow = 64 * 1024;

// Runs a started stage over the whole input into one reused output window.
template <typename Stage, typename Start, typename Run>
void RunStageOnce(benchmark::State& state, const std::string& encoded, size_t decodedSize, Start start, Run run) {
    static std::vector<uint8_t> window(OutputWindow);
    for (auto _ : state) {
        auto stage = std::make_unique<Stage>();
        start(*stage);
        Window w{reinterpret_cast<const uint8_t*>(encoded.data()), encoded.size(), window.data(), window.size()};
        size_t produced = 0;
        Status status = Status::Ok;
        while (status == Status::Ok) {
            w.nextOut = window.data();
            w.availOut = window.size();
            status = run(*stage, w, true);
            produced += window.size() - w.availOut;
            benchmark::DoNotOptimize(window.data());
        }
        if (status != Status::End || produced != decodedSize) state.SkipWithError("decoding failed");
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * decodedSize));
}

void StartFlateStage(FlateStage& stage) { StartFlate(stage); }
void StartLzwStage(LzwStage& stage) { StartLzw(stage, 1); }

void FlateDecoder(benchmark::State& state, const std::string& data) {
    RunStageOnce<FlateStage>(state, Deflate(data), data.size(), StartFlateStage, RunFlate);
}

void ZlibInflateIntoFinalSize(benchmark::State& state, const std::string& data) {
    const std::string compressed = Deflate(data);
    for (auto _ : state) {
        std::vector<uint8_t> out(data.size());
        uLongf size = out.size();
        if (uncompress(out.data(), &size, reinterpret_cast<const Bytef*>(compressed.data()), compressed.size()) != Z_OK)
            state.SkipWithError("inflate failed");
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * data.size()));
}

void BM_FlateText(benchmark::State& state) { FlateDecoder(state, ContentText()); }
void BM_ZlibText(benchmark::State& state) { ZlibInflateIntoFinalSize(state, ContentText()); }
void BM_FlateImage(benchmark::State& state) { FlateDecoder(state, ScanLines()); }
void BM_ZlibImage(benchmark::State& state) { ZlibInflateIntoFinalSize(state, ScanLines()); }

void BM_LzwText(benchmark::State& state) {
    const std::string& data = ContentText();
    RunStageOnce<LzwStage>(state, EncodeLzw(data, 1, WhenFull::Clear), data.size(), StartLzwStage, RunLzw);
}

void BM_LzwRandomBytes(benchmark::State& state) {
    const std::string& data = RandomBytes();
    RunStageOnce<LzwStage>(state, EncodeLzw(data, 1, WhenFull::Clear), data.size(), StartLzwStage, RunLzw);
}

void BM_Ascii85(benchmark::State& state) {
    const std::string data = Deflate(ContentText());  // binary, as ASCII85 usually wraps
    RunStageOnce<Ascii85Stage>(state, EncodeAscii85(data.substr(0, data.size() / 4 * 4)), data.size() / 4 * 4,
                               StartAscii85, RunAscii85);
}

void BM_Ascii85ZeroGroups(benchmark::State& state) {
    // Each "z" gives four bytes.
    const std::string data(DataSize, '\0');
    RunStageOnce<Ascii85Stage>(state, EncodeAscii85(data), data.size(), StartAscii85, RunAscii85);
}

void BM_AsciiHex(benchmark::State& state) {
    const std::string data = Deflate(ContentText());
    RunStageOnce<AsciiHexStage>(state, EncodeAsciiHex(data), data.size(), StartAsciiHex, RunAsciiHex);
}

void BM_RunLengthImage(benchmark::State& state) {
    const std::string& data = ScanLines();
    const std::string encoded = EncodeRunLength(data);
    RunStageOnce<RunLengthStage>(state, encoded, data.size(), StartRunLength, RunRunLength);
}

void BM_RunLengthOneByteLiterals(benchmark::State& state) {
    // The most runs per byte of output: a length byte before every byte.
    const std::string& data = RandomBytes();
    std::string encoded;
    for (char c : data) encoded += std::string(1, '\0') + c;
    RunStageOnce<RunLengthStage>(state, encoded + static_cast<char>(128), data.size(), StartRunLength, RunRunLength);
}

void BM_RunLengthBlankPage(benchmark::State& state) {
    // A white page: about 64-fold expansion in repeat runs.
    const std::string data(DataSize, '\xff');
    const std::string encoded = EncodeRunLength(data);
    RunStageOnce<RunLengthStage>(state, encoded, data.size(), StartRunLength, RunRunLength);
}

}  // namespace

BENCHMARK(BM_FlateText)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ZlibText)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FlateImage)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ZlibImage)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LzwText)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LzwRandomBytes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Ascii85)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Ascii85ZeroGroups)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AsciiHex)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RunLengthImage)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RunLengthOneByteLiterals)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RunLengthBlankPage)->Unit(benchmark::kMillisecond);
