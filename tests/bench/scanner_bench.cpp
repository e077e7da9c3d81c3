// Listing cost per megabyte: a document of ordinary Flate streams against one
// of the same size whose streams never end, which a naive end search makes
// quadratic. The two figures should stay within a small factor of each other.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstdint>
#include <string>

#include "document/archive.h"
#include "document/decode_pool.h"

namespace {

constexpr size_t DocumentBytes = 20u * 1000u * 1000u;
constexpr int UnterminatedObjects = 100000;

std::string ObjectHeader(int number, const std::string& dictionary) {
    return std::to_string(number) + " 0 obj\n" + dictionary + "\nstream\n";
}

// 100,000 stream objects whose /Length is wrong and which have no "endstream"
// anywhere, padded with data lines to 20 MB in all.
const std::string& UnterminatedDocument() {
    static const std::string document = [] {
        std::string text;
        text.reserve(DocumentBytes + 1000);
        const size_t perObject = DocumentBytes / UnterminatedObjects;
        for (int number = 1; number <= UnterminatedObjects; ++number) {
            const size_t start = text.size();
            text += ObjectHeader(number, "<</Length 999999>>");
            while (text.size() - start + 40 < perObject) text += "data line without an end marker .....\n";
            text += "endobj\n";
        }
        return text;
    }();
    return document;
}

// Stream objects with correct lengths, each the zlib compression of 16 KB of
// varied text, to 20 MB in all.
const std::string& FlateDocument() {
    static const std::string document = [] {
        std::string plain;
        uint32_t seed = 12345;
        while (plain.size() < 16384) {
            seed = seed * 1103515245u + 12345u;
            plain += "word" + std::to_string(seed >> 20) + ((seed & 0x100u) != 0 ? " " : "\n");
        }
        std::string text;
        text.reserve(DocumentBytes + 100000);
        for (int number = 1; text.size() < DocumentBytes; ++number) {
            std::string packed(compressBound(plain.size()), '\0');
            uLongf packedSize = packed.size();
            plain[static_cast<size_t>(number) % plain.size()] = static_cast<char>('a' + number % 26);
            compress(reinterpret_cast<Bytef*>(packed.data()), &packedSize, reinterpret_cast<const Bytef*>(plain.data()),
                     plain.size());
            packed.resize(packedSize);
            text += ObjectHeader(number, "<</Length " + std::to_string(packedSize) + "/Filter/FlateDecode>>");
            text += packed;
            text += "\nendstream\nendobj\n";
        }
        return text;
    }();
    return document;
}

void ListDocument(benchmark::State& state, const std::string& document, bool expectEntries) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(document.data());
    int64_t listed = 0;
    for (auto _ : state) {
        state.PauseTiming();
        PdfArchive* archive = CreateArchive(bytes, bytes + document.size(), FILETIME{});
        ArchiveCall call(reinterpret_cast<uintptr_t>(archive));
        state.ResumeTiming();
        listed = 0;
        MakeEntries(*archive, 1);
        while (HandOutNextEntry(*archive) != nullptr) ++listed;
        state.PauseTiming();
        call.Close();
        state.ResumeTiming();
    }
    if (expectEntries != (listed > 0)) state.SkipWithError("unexpected listing");
    state.counters["entries"] = static_cast<double>(listed);
    // Seconds per megabyte of document.
    state.counters["s_per_MB"] = benchmark::Counter(static_cast<double>(document.size()) / 1e6,
                                                    benchmark::Counter::kIsIterationInvariantRate |
                                                        benchmark::Counter::kInvert);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(document.size()));
}

void BM_ListUnterminatedStreams(benchmark::State& state) { ListDocument(state, UnterminatedDocument(), false); }
void BM_ListFlateStreams(benchmark::State& state) { ListDocument(state, FlateDocument(), true); }

}  // namespace

BENCHMARK(BM_ListUnterminatedStreams)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ListFlateStreams)->Unit(benchmark::kMillisecond);
