// Decoder throughput on inputs of a few megabytes, as bytes of output per second.
// DecodeFlate runs beside zlib's inflate straight into a buffer of the final size.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "decode/ascii85.h"
#include "decode/ascii_hex.h"
#include "decode/byte_buffer.h"
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

template <typename Decode>
void RunDecoder(benchmark::State& state, const std::string& encoded, size_t decodedSize, Decode decode,
                uint64_t preReserve = 0) {
    const std::vector<uint8_t> stored(encoded.begin(), encoded.end());
    for (auto _ : state) {
        ByteBuffer input;
        input.Attach(stored.data(), stored.data() + stored.size(), false);
        ByteBuffer output;
        ByteBufferGuard guard(output);
        if (preReserve != 0) output.Reserve(preReserve);
        const uint32_t result = decode(output, input);
        if (result != 0 || output.Size() != decodedSize) state.SkipWithError("decoding failed");
        benchmark::DoNotOptimize(output.begin);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * decodedSize));
}

void FlateDecoder(benchmark::State& state, const std::string& data) {
    RunDecoder(state, Deflate(data), data.size(), DecodeFlate);
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
    RunDecoder(state, EncodeLzw(data, 1, WhenFull::Clear), data.size(),
               [](ByteBuffer& out, ByteBuffer& in) { return DecodeLzw(out, in, 1); });
}

void BM_LzwRandomBytes(benchmark::State& state) {
    const std::string& data = RandomBytes();
    RunDecoder(state, EncodeLzw(data, 1, WhenFull::Clear), data.size(),
               [](ByteBuffer& out, ByteBuffer& in) { return DecodeLzw(out, in, 1); });
}

void BM_Ascii85(benchmark::State& state) {
    const std::string data = Deflate(ContentText());  // binary, as ASCII85 usually wraps
    RunDecoder(state, EncodeAscii85(data.substr(0, data.size() / 4 * 4)), data.size() / 4 * 4, DecodeAscii85);
}

void BM_Ascii85ZeroGroups(benchmark::State& state) {
    // Each "z" gives four bytes, so the output outgrows its first reservation.
    const std::string data(DataSize, '\0');
    RunDecoder(state, EncodeAscii85(data), data.size(), DecodeAscii85);
}

void BM_AsciiHex(benchmark::State& state) {
    const std::string data = Deflate(ContentText());
    RunDecoder(state, EncodeAsciiHex(data), data.size(), DecodeAsciiHex);
}

void BM_RunLengthImage(benchmark::State& state) {
    const std::string& data = ScanLines();
    const std::string encoded = EncodeRunLength(data);
    RunDecoder(state, encoded, data.size(), DecodeRunLength, 2 * encoded.size());
}

void BM_RunLengthOneByteLiterals(benchmark::State& state) {
    // The most runs per byte of output: a length byte before every byte.
    const std::string& data = RandomBytes();
    std::string encoded;
    for (char c : data) encoded += std::string(1, '\0') + c;
    RunDecoder(state, encoded + static_cast<char>(128), data.size(), DecodeRunLength, 2 * encoded.size());
}

void BM_RunLengthBlankPage(benchmark::State& state) {
    // A white page: about 64-fold expansion, so repeat runs outgrow the first reservation.
    const std::string data(DataSize, '\xff');
    const std::string encoded = EncodeRunLength(data);
    RunDecoder(state, encoded, data.size(), DecodeRunLength, 2 * encoded.size());
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
