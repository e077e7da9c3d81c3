// Listing time of hostile documents against their size, through the exports
// (open, list to the end, close). Each kind runs at several sizes and reports
// its fitted complexity, which should be O(N): a kind whose time per byte grows
// with the size has a quadratic path.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <unistd.h>

#include "plugin/exports.h"
#include "tests/support/pdf_text.h"

namespace {

// A Flate stream that expands a thousandfold, repeated to the size.
std::string ThousandfoldFlate(size_t size) {
    static const std::string packed = Compressed(std::string(1u << 20, 'a'));
    std::string body;
    for (int number = 1; body.size() < size; ++number) {
        body += StreamObject(number, "<</Filter/FlateDecode/Length " + std::to_string(packed.size()) + ">>", packed);
    }
    return body;
}

std::string TinyObjects(size_t size) {
    std::string body;
    for (int number = 1; body.size() < size; ++number) body += StreamObject(number, "<</Length 1>>", "x");
    return body;
}

std::string LineWithoutEnd(size_t size) { return std::string(size, 'x'); }

std::string NestedDictionaries(size_t size) { return "1 0 obj\n" + std::string(size, '<'); }

// Objects whose /Length is useless, so that every end is found by the search.
std::string UselessLengths(size_t size) {
    std::string body;
    for (int number = 1; body.size() < size; ++number) {
        body += StreamObject(number, number % 2 == 0 ? "<</Length 2147483647>>" : "<</Length -1>>",
                             "some stream data\nof a few lines\n");
    }
    return body;
}

// Objects whose streams never end: every search runs to the end of the document.
std::string UnendingStreams(size_t size) {
    std::string body;
    for (int number = 1; body.size() < size; ++number) {
        body += std::to_string(number) + " 0 obj\n<</Length 999999>>\nstream\nno end marker in sight\n";
    }
    return body;
}

// Objects whose dictionaries open a string that never closes: each string
// is read up to the next object's header line, never to the end.
std::string UnclosedStrings(size_t size) {
    std::string body;
    for (int number = 1; body.size() < size; ++number) {
        body += std::to_string(number) + " 0 obj\n<</T (a (b\n((\n";
    }
    return body;
}

// Streams that all take their length from one integer object padded far
// past where a lookup reads, which no stream's length then verifies.
std::string PaddedSharedLength(size_t size) {
    std::string body = "1 0 obj\n" + std::string(size / 4, ' ') + "5\nendobj\n";
    for (int number = 2; body.size() < size; ++number) {
        body += StreamObject(number, "<</Length 1 0 R>>", "some data");
    }
    return body;
}

void ListDocument(benchmark::State& state, const std::function<std::string(size_t)>& make) {
    const size_t size = static_cast<size_t>(state.range(0));
    const auto path = std::filesystem::temp_directory_path() / ("vellum-bench-" + std::to_string(::getpid()) + ".pdf");
    {
        std::ofstream file(path, std::ios::binary);
        file << "%PDF-1.7\n" << make(size) << "\n%" << std::string(800, '-') << "\n%%EOF\n";
    }
    std::string pathText = path.string();
    size_t entries = 0;
    for (auto _ : state) {
        OpenArchiveRecord record{};
        record.pathName = pathText.data();
        const uintptr_t handle = OpenArchive(&record);
        HeaderRecordEx header{};
        entries = 0;
        while (handle != 0 && ReadHeaderEx(handle, &header) == HostOk) ++entries;
        if (handle != 0) CloseArchive(handle);
    }
    std::filesystem::remove(path);
    state.counters["entries"] = static_cast<double>(entries);
    state.SetComplexityN(static_cast<int64_t>(size));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(size));
}

void BM_ThousandfoldFlate(benchmark::State& state) { ListDocument(state, ThousandfoldFlate); }
void BM_TinyObjects(benchmark::State& state) { ListDocument(state, TinyObjects); }
void BM_LineWithoutEnd(benchmark::State& state) { ListDocument(state, LineWithoutEnd); }
void BM_NestedDictionaries(benchmark::State& state) { ListDocument(state, NestedDictionaries); }
void BM_UselessLengths(benchmark::State& state) { ListDocument(state, UselessLengths); }
void BM_UnendingStreams(benchmark::State& state) { ListDocument(state, UnendingStreams); }
void BM_UnclosedStrings(benchmark::State& state) { ListDocument(state, UnclosedStrings); }
void BM_PaddedSharedLength(benchmark::State& state) { ListDocument(state, PaddedSharedLength); }

}  // namespace

// Sizes of the document in bytes; the line runs up to 100 MB.
BENCHMARK(BM_ThousandfoldFlate)->Arg(1 << 12)->Arg(1 << 14)->Arg(1 << 16)->Complexity(benchmark::oN)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TinyObjects)->Arg(1 << 20)->Arg(1 << 22)->Arg(1 << 24)->Complexity(benchmark::oN)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LineWithoutEnd)->Arg(1 << 22)->Arg(1 << 24)->Arg(100 << 20)->Complexity(benchmark::oN)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_NestedDictionaries)->Arg(1 << 20)->Arg(1 << 22)->Arg(1 << 24)->Complexity(benchmark::oN)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UselessLengths)->Arg(1 << 20)->Arg(1 << 22)->Arg(1 << 24)->Complexity(benchmark::oN)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UnendingStreams)->Arg(1 << 18)->Arg(1 << 20)->Arg(1 << 22)->Complexity(benchmark::oN)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UnclosedStrings)->Arg(1 << 20)->Arg(1 << 22)->Arg(1 << 24)->Complexity(benchmark::oN)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PaddedSharedLength)->Arg(1 << 20)->Arg(1 << 22)->Arg(1 << 24)->Complexity(benchmark::oN)->Unit(benchmark::kMillisecond);
