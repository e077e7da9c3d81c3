// Listing cost per megabyte: a document of ordinary Flate streams against one
// of the same size whose streams never end, which a naive end search makes
// quadratic. The two figures should stay within a small factor of each other.
// A document of binary streams without /Length or "endstream", which the scan
// must read line by line, is held against copying it into a new block (what
// reading the file costs at least): the scan should stay within twice that.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "plugin/exports.h"
#include "platform/heap_block.h"
#include "tests/support/archive_in_memory.h"

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

// 85,000 stream objects with neither /Length nor "endstream", 16.8 MB in
// all, their data random bytes with a line end now and then, as compressed
// data has.
const std::string& UnendedBinaryDocument() {
    static const std::string document = [] {
        constexpr int objects = 85000;
        constexpr size_t dataBytes = 160;
        std::string text;
        text.reserve(objects * (dataBytes + 40));
        uint32_t seed = 2026;
        for (int number = 1; number <= objects; ++number) {
            text += ObjectHeader(number, "<</Filter/FlateDecode>>");
            for (size_t i = 0; i < dataBytes; ++i) {
                seed = seed * 1103515245u + 12345u;
                char byte = static_cast<char>(seed >> 24);
                // Keep the keyword out of the data: it must be searched for and not found.
                if (byte == 'e') byte = 'f';
                text += byte;
            }
            text += "\nendobj\n";
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
    int64_t listed = 0;
    for (auto _ : state) {
        state.PauseTiming();
        std::unique_ptr<Archive> archive = ArchiveInMemory(document);
        archive->settings = DecodeSettings{1, UINT64_MAX};
        archive->budget.TakeWhatIsLeft(UINT64_MAX);
        state.ResumeTiming();
        listed = 0;
        MakeEntries(*archive);
        while (HandOutNextEntry(*archive) >= 0) ++listed;
        state.PauseTiming();
        archive.reset();
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
void BM_ListUnendedBinaryStreams(benchmark::State& state) { ListDocument(state, UnendedBinaryDocument(), false); }

// The document as a file in the temporary folder, written once.
const std::filesystem::path& UnendedBinaryFile() {
    static const std::filesystem::path path = [] {
        const auto file = std::filesystem::temp_directory_path() / "vellum-bench-unended.pdf";
        std::ofstream out(file, std::ios::binary);
        out << "%PDF-1.7\n" << UnendedBinaryDocument() << "%%EOF\n";
        return file;
    }();
    return path;
}

// What opening costs: the file mapped, checked, copied and scanned to its end.
void BM_OpenUnendedBinaryFile(benchmark::State& state) {
    const std::u16string path = UnendedBinaryFile().u16string();
    for (auto _ : state) {
        OpenArchiveRecord record{};
        record.pathName = const_cast<char16_t*>(path.c_str());
        const uintptr_t handle = OpenArchiveW(&record);
        if (handle == 0) state.SkipWithError("the document did not open");
        CloseArchive(handle);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(UnendedBinaryDocument().size()));
}

// The reference for opening: the same file read whole into a new block.
void BM_ReadUnendedBinaryFile(benchmark::State& state) {
    const std::filesystem::path& path = UnendedBinaryFile();
    const uint64_t size = std::filesystem::file_size(path);
    for (auto _ : state) {
        HeapBlock block;
        if (!block.Allocate(size)) state.SkipWithError("no memory");
        std::FILE* file = std::fopen(path.c_str(), "rb");
        if (file == nullptr || std::fread(block.Data(), 1, size, file) != size) state.SkipWithError("cannot read");
        if (file != nullptr) std::fclose(file);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(size));
}

// The reference for the scan: the document copied into a new heap block,
// fresh pages and all, as reading the file into memory does.
void BM_CopyUnendedBinaryDocument(benchmark::State& state) {
    const std::string& document = UnendedBinaryDocument();
    const auto* bytes = reinterpret_cast<const uint8_t*>(document.data());
    for (auto _ : state) {
        HeapBlock copy;
        if (!copy.Allocate(document.size())) state.SkipWithError("no memory");
        std::memcpy(copy.Data(), bytes, document.size());
        benchmark::DoNotOptimize(copy.Data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(document.size()));
}
void BM_ListFlateStreams(benchmark::State& state) { ListDocument(state, FlateDocument(), true); }

}  // namespace

BENCHMARK(BM_ListUnterminatedStreams)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ListUnendedBinaryStreams)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CopyUnendedBinaryDocument)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenUnendedBinaryFile)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadUnendedBinaryFile)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ListFlateStreams)->Unit(benchmark::kMillisecond);
