// How the open should take the document's body: read into a heap block (as
// it does, so that a file cut short meanwhile only fails the read) or mapped
// (which spares the copy, but turns a shrinking file into SIGBUS or an
// in-page error), each followed by one pass over every byte as the scan
// makes. Run both in one process and compare their times as a ratio.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "document/open.h"
#include "platform/handle_guards.h"
#include "platform/heap_block.h"

namespace {

constexpr uint64_t BodyBytes = uint64_t{128} << 20;
constexpr uint64_t ReadChunkBytes = uint64_t{64} << 20;

// A file of text the size of a large document, written once.
const std::string& BodyFile() {
    static const std::string path = [] {
        const std::string name = "/tmp/vellum-open-bench.pdf";
        std::FILE* file = std::fopen(name.c_str(), "wb");
        std::string line;
        for (int i = 0; i < 64; ++i) line += static_cast<char>('a' + (i * 7) % 26);
        line += '\n';
        for (uint64_t written = 0; written < BodyBytes; written += line.size()) std::fwrite(line.data(), 1, line.size(), file);
        std::fclose(file);
        return name;
    }();
    return path;
}

std::basic_string<WCHAR> Wide(const std::string& text) { return std::basic_string<WCHAR>(text.begin(), text.end()); }

// One pass over every byte, as the scan's searches make.
size_t Pass(const uint8_t* bytes, uint64_t size) {
    size_t found = 0;
    for (const uint8_t* at = bytes; (at = static_cast<const uint8_t*>(std::memchr(at, '\xff', bytes + size - at))) != nullptr; ++at) {
        ++found;
    }
    return found;
}

void ReadIntoHeap(benchmark::State& state) {
    const std::basic_string<WCHAR> path = Wide(BodyFile());
    for (auto _ : state) {
        FileHandle file(CreateFileW(path.c_str(), FILE_READ_DATA, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
        HeapBlock body;
        if (!file.Valid() || !body.Allocate(BodyBytes) ||
            !ReadFileRange(file.Get(), 0, BodyBytes, body.Data(), ReadChunkBytes)) {
            state.SkipWithError("cannot read the file");
            return;
        }
        benchmark::DoNotOptimize(Pass(body.Data(), BodyBytes));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * BodyBytes));
}

void MapTheFile(benchmark::State& state) {
    const std::basic_string<WCHAR> path = Wide(BodyFile());
    for (auto _ : state) {
        FileHandle file(CreateFileW(path.c_str(), FILE_READ_DATA, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
        MappingHandle mapping(CreateFileMappingW(file.Get(), nullptr, PAGE_READONLY, 0, 0, nullptr));
        MappedView view(MapViewOfFile(mapping.Get(), FILE_MAP_READ, 0, 0, 0));
        if (view.Bytes() == nullptr) {
            state.SkipWithError("cannot map the file");
            return;
        }
        benchmark::DoNotOptimize(Pass(view.Bytes(), BodyBytes));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * BodyBytes));
}

}  // namespace

BENCHMARK(ReadIntoHeap)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(MapTheFile)->Unit(benchmark::kMillisecond)->UseRealTime();
