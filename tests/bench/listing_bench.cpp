// Listing and extraction cost per entry for documents of 20,000 and 200,000
// small streams, through the exported functions as a host calls them. The
// time per entry must not grow with the number of entries already listed.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <map>
#include <string>

#include "plugin/exports.h"
#include "plugin/handles.h"
#include "tests/support/archive_in_memory.h"

namespace {

// `count` unfiltered stream objects of 16 to 47 bytes each.
const std::string& SmallStreamDocument(int count) {
    static std::map<int, std::string> documents;
    std::string& text = documents[count];
    if (!text.empty()) return text;
    text = "%PDF-1.7\n";
    for (int number = 1; number <= count; ++number) {
        std::string data(16 + static_cast<size_t>(number % 32), static_cast<char>('a' + number % 26));
        text += std::to_string(number) + " 0 obj\n<</Length " + std::to_string(data.size()) + ">>\nstream\n" + data +
                "\nendstream\nendobj\n";
    }
    text += "%%EOF\n";
    return text;
}

uintptr_t OpenInMemory(const std::string& document) {
    // The body starts after the first line, as the open takes it.
    return AddHandle(ListedInMemory(document.substr(9), 1, UINT64_MAX));
}

void ReleaseBlock(void* block) { std::free(block); }

// The host's usual walk: a header, then the extraction of that entry.
void HeaderThenExtractEach(benchmark::State& state) {
    const int count = static_cast<int>(state.range(0));
    const std::string& document = SmallStreamDocument(count);
    for (auto _ : state) {
        uintptr_t handle = OpenInMemory(document);
        HeaderRecordExW record{};
        int listed = 0;
        while (ReadHeaderExW(handle, &record) == HostOk) {
            void* block = nullptr;
            if (ProcessFileW(handle, HostExtractToMemory, reinterpret_cast<WCHAR*>(&block), record.entryName) != HostOk)
                state.SkipWithError("extraction failed");
            ReleaseBlock(block);
            ++listed;
        }
        if (listed != count) state.SkipWithError("not every entry was listed");
        CloseArchive(handle);
    }
    state.SetItemsProcessed(state.iterations() * count);
}

// The whole listing first, then every entry found again by its name.
void ListThenExtractByName(benchmark::State& state) {
    const int count = static_cast<int>(state.range(0));
    const std::string& document = SmallStreamDocument(count);
    for (auto _ : state) {
        uintptr_t handle = OpenInMemory(document);
        HeaderRecordExW record{};
        while (ReadHeaderExW(handle, &record) == HostOk) {
        }
        for (int number = count; number >= 1; --number) {
            std::string name = "object-stream-" + std::to_string(number) + ".dat";
            WCHAR wide[64];
            for (size_t i = 0; i <= name.size(); ++i) wide[i] = static_cast<WCHAR>(name.c_str()[i]);
            void* block = nullptr;
            if (ProcessFileW(handle, HostExtractToMemory, reinterpret_cast<WCHAR*>(&block), wide) != HostOk)
                state.SkipWithError("extraction by name failed");
            ReleaseBlock(block);
        }
        CloseArchive(handle);
    }
    state.SetItemsProcessed(state.iterations() * count);
}

BENCHMARK(HeaderThenExtractEach)->Arg(20000)->Arg(200000)->Unit(benchmark::kMillisecond);
BENCHMARK(ListThenExtractByName)->Arg(20000)->Arg(200000)->Unit(benchmark::kMillisecond);

}  // namespace
