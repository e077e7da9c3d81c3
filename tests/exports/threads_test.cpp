// Listing and extraction from several threads at once, compared with a
// single-threaded run of the same files: on separate archives the threads
// must not disturb each other, and on one shared archive the lock must make
// every call whole, so that each entry is listed exactly once and extracts
// to the same bytes as before. Run under ThreadSanitizer in the tsan preset.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tests/exports/pdf_fixture.h"
#include "tests/exports/plugin_fixture.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct Listed {
    std::string name;
    Bytes bytes;
};

std::string CorpusPath(const std::string& name) { return std::string(VELLUM_SOURCE_DIR) + "/tests/fuzz/corpus/" + name; }

const std::vector<std::string>& Documents() {
    static const std::vector<std::string> documents = {FixturePath("sixty-four-mixed-streams.pdf"),
                                                       CorpusPath("document/every_filter")};
    return documents;
}

uintptr_t Open(const std::string& path) {
    OpenArchiveRecord record{};
    std::string copy = path;
    record.pathName = copy.data();
    record.mode = 1;
    return Plugin().openArchive(&record);
}

// Extraction to memory by name; the block's length word gives the size.
bool ExtractToMemory(uintptr_t handle, const std::string& name, Bytes& bytes) {
    void* block = nullptr;
    std::string copy = name;
    if (Plugin().processFile(handle, HostExtractToMemory, reinterpret_cast<char*>(&block), copy.data()) != HostOk) {
        return false;
    }
    uint64_t length = 0;
    std::memcpy(&length, block, sizeof length);
    const uint8_t* data = static_cast<const uint8_t*>(block) + sizeof length;
    bytes.assign(data, data + length);
    FreeExtractBlock(block);
    return true;
}

// The host's usual walk: each header, then the extraction of its entry.
std::vector<Listed> ListAndExtract(uintptr_t handle) {
    std::vector<Listed> listed;
    HeaderRecordEx header;
    for (;;) {
        std::memset(&header, 0, sizeof header);
        if (Plugin().readHeaderEx(handle, &header) != HostOk) break;
        Listed entry{header.entryName, {}};
        if (!ExtractToMemory(handle, entry.name, entry.bytes)) entry.name += " (not extracted)";
        listed.push_back(std::move(entry));
    }
    return listed;
}

std::vector<Listed> SingleThreadedRun(const std::string& path) {
    const uintptr_t handle = Open(path);
    EXPECT_NE(handle, 0u) << path;
    std::vector<Listed> listed = ListAndExtract(handle);
    EXPECT_EQ(Plugin().closeArchive(handle), HostOk);
    return listed;
}

void ExpectSameListing(const std::vector<Listed>& expected, const std::vector<Listed>& actual, const std::string& what) {
    ASSERT_EQ(actual.size(), expected.size()) << what;
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(actual[i].name, expected[i].name) << what << " entry " << i;
        EXPECT_TRUE(actual[i].bytes == expected[i].bytes) << what << " " << expected[i].name;
    }
}

TEST(Threads, SeparateArchivesListAndExtractAsInOneThread) {
    std::vector<std::vector<Listed>> expected;
    for (const std::string& path : Documents()) expected.push_back(SingleThreadedRun(path));
    ASSERT_GT(expected[0].size(), 16u) << "the fixture must list enough entries for the threads to overlap";

    constexpr unsigned threadCount = 8;
    constexpr unsigned rounds = 3;
    std::vector<std::vector<std::vector<Listed>>> results(threadCount);
    std::vector<std::thread> threads;
    for (unsigned t = 0; t < threadCount; ++t) {
        threads.emplace_back([t, &results] {
            for (unsigned round = 0; round < rounds; ++round) {
                const uintptr_t handle = Open(Documents()[t % Documents().size()]);
                if (handle == 0) continue;
                results[t].push_back(ListAndExtract(handle));
                Plugin().closeArchive(handle);
            }
        });
    }
    for (std::thread& thread : threads) thread.join();

    for (unsigned t = 0; t < threadCount; ++t) {
        ASSERT_EQ(results[t].size(), rounds) << "thread " << t << " could not open its archive";
        for (const auto& run : results[t]) {
            ExpectSameListing(expected[t % Documents().size()], run, "thread " + std::to_string(t));
        }
    }
}

// What two threads sharing a handle do when their calls interleave, in one
// thread so that the order is certain: an extraction takes the entry whose
// header was read last on the handle, whatever the name says, and uses it up;
// only then does the name's number decide. A host that shares a handle
// between threads must therefore pair each header with its extraction itself.
TEST(Threads, InterleavedCallsOnOneHandleFollowTheLastHeaderRead) {
    const std::vector<Listed> expected = SingleThreadedRun(Documents()[0]);
    ASSERT_GE(expected.size(), 2u);
    ASSERT_NE(expected[0].bytes, expected[1].bytes);

    const uintptr_t handle = Open(Documents()[0]);
    ASSERT_NE(handle, 0u);
    HeaderRecordEx first{};
    HeaderRecordEx second{};
    ASSERT_EQ(Plugin().readHeaderEx(handle, &first), HostOk);
    ASSERT_EQ(Plugin().readHeaderEx(handle, &second), HostOk);
    Bytes bytes;
    EXPECT_TRUE(ExtractToMemory(handle, first.entryName, bytes));
    EXPECT_EQ(bytes, expected[1].bytes) << first.entryName;
    EXPECT_TRUE(ExtractToMemory(handle, first.entryName, bytes));
    EXPECT_EQ(bytes, expected[0].bytes) << first.entryName;
    EXPECT_EQ(Plugin().closeArchive(handle), HostOk);
}

// Several threads list one shared archive to its end, then extract every
// entry by name at once: the lock makes each call whole, so each entry is
// listed exactly once and extracts to the bytes of a single-threaded run.
TEST(Threads, SharedArchiveListsEachEntryOnceAndExtractsItsBytes) {
    const std::vector<Listed> expected = SingleThreadedRun(Documents()[0]);
    std::map<std::string, Bytes> expectedByName;
    for (const Listed& entry : expected) expectedByName.emplace(entry.name, entry.bytes);
    ASSERT_EQ(expectedByName.size(), expected.size()) << "the fixture's object numbers must be distinct";

    const uintptr_t handle = Open(Documents()[0]);
    ASSERT_NE(handle, 0u);
    constexpr unsigned threadCount = 6;
    std::mutex resultsLock;
    std::vector<std::string> names;
    std::vector<std::thread> threads;
    for (unsigned t = 0; t < threadCount; ++t) {
        threads.emplace_back([handle, &resultsLock, &names] {
            HeaderRecordEx header;
            for (;;) {
                std::memset(&header, 0, sizeof header);
                if (Plugin().readHeaderEx(handle, &header) != HostOk) break;
                std::lock_guard<std::mutex> guard(resultsLock);
                names.emplace_back(header.entryName);
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    threads.clear();

    std::vector<std::string> sorted = names;
    std::sort(sorted.begin(), sorted.end());
    std::vector<std::string> expectedNames;
    for (const Listed& entry : expected) expectedNames.push_back(entry.name);
    std::sort(expectedNames.begin(), expectedNames.end());
    EXPECT_EQ(sorted, expectedNames);

    // Every thread's last header call answered the end of the listing, so no
    // entry is current any more and each extraction finds its entry by name.
    std::vector<Listed> extracted(names.size());
    for (unsigned t = 0; t < threadCount; ++t) {
        threads.emplace_back([t, handle, &names, &extracted] {
            for (size_t i = t; i < names.size(); i += threadCount) {
                extracted[i].name = names[i];
                if (!ExtractToMemory(handle, names[i], extracted[i].bytes)) extracted[i].name += " (not extracted)";
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(Plugin().closeArchive(handle), HostOk);

    for (const Listed& entry : extracted) {
        const auto found = expectedByName.find(entry.name);
        ASSERT_NE(found, expectedByName.end()) << entry.name;
        EXPECT_TRUE(entry.bytes == found->second) << entry.name << " extracted to other bytes than in one thread";
    }
}

// The pool decodes while the host lists, and stops when the archive closes:
// a host that closes after a few headers and an extraction, or before any
// header, gets its answers and the bytes of the entries it took, on any
// number of threads; every thread is joined by CloseArchive (ThreadSanitizer
// watches the rest in the tsan preset).
TEST(Threads, ClosingWhileThePoolDecodesStopsIt) {
    ScratchFolder folder;
    // 24 RunLength streams of 5 MB each: enough work that the pool is still
    // decoding when the host closes.
    constexpr int Runs = 40000;
    constexpr size_t RunBytes = 128;
    std::string runs;
    for (int i = 0; i < Runs; ++i) runs += std::string{'\x81', static_cast<char>('a' + i % 26)};
    runs += '\x80';
    std::vector<StreamObject> streams;
    for (uint32_t number = 1; number <= 24; ++number) streams.push_back({number, runs, "/Filter/RunLengthDecode"});
    const auto pdf = folder.WritePdf("busy.pdf", streams);
    for (const char* threads : {"1", "2", "8"}) {
        ScopedVariable setting("VELLUM_THREADS", threads);
        for (int headers = 0; headers <= 2; ++headers) {
            OpenedArchive archive(pdf);
            ASSERT_NE(archive.Handle(), 0u);
            for (int i = 0; i < headers; ++i) {
                HeaderRecordEx header{};
                ASSERT_EQ(Plugin().readHeaderEx(archive.Handle(), &header), HostOk) << threads << " threads";
                Bytes bytes;
                ASSERT_TRUE(ExtractToMemory(archive.Handle(), header.entryName, bytes)) << threads << " threads";
                ASSERT_EQ(bytes.size(), Runs * RunBytes);
                EXPECT_EQ(bytes[RunBytes * 27], 'b');
            }
            EXPECT_EQ(archive.Close(), HostOk) << threads << " threads, " << headers << " headers";
        }
    }
}

// Every document of the test files, in a fixed order.
std::vector<std::string> AllDocuments() {
    std::vector<std::string> paths;
    const std::string source = VELLUM_SOURCE_DIR;
    for (const char* folder : {"/tests/fuzz/corpus/document", "/tests/corpus", "/tests/data"}) {
        for (const auto& file : std::filesystem::directory_iterator(source + folder)) {
            if (file.is_regular_file()) paths.push_back(file.path().string());
        }
    }
    std::sort(paths.begin(), paths.end());
    return paths;
}

// Opening decodes on as many threads as VELLUM_THREADS says, and keeps the
// decoded bytes that fit in VELLUM_MEMORY_MB (0 keeps none: every extraction
// decodes again, with helpers decoding ahead). Whatever the settings, the
// listing, every entry's bytes and every answer are those of one thread that
// keeps everything, for well-formed and hostile documents alike.
TEST(DecodeSettings, NoneChangesWhatIsListedOrExtracted) {
    struct Settings {
        const char* threads;
        const char* memoryMegabytes;  // null: the default budget
    };
    const Settings variants[] = {{"5", nullptr}, {"1", "0"}, {"3", "0"}};
    size_t opened = 0;
    for (const std::string& path : AllDocuments()) {
        std::vector<Listed> expected;
        uintptr_t handle = 0;
        {
            ScopedVariable threads("VELLUM_THREADS", "1");
            handle = Open(path);
            if (handle != 0) expected = ListAndExtract(handle);
        }
        if (handle == 0) continue;
        ++opened;
        EXPECT_EQ(Plugin().closeArchive(handle), HostOk);
        for (const Settings& settings : variants) {
            ScopedVariable threads("VELLUM_THREADS", settings.threads);
            ScopedVariable memory("VELLUM_MEMORY_MB", settings.memoryMegabytes);
            handle = Open(path);
            ASSERT_NE(handle, 0u) << path;
            ExpectSameListing(expected, ListAndExtract(handle),
                              path + " on " + settings.threads + " threads, budget " +
                                  (settings.memoryMegabytes != nullptr ? settings.memoryMegabytes : "default"));
            EXPECT_EQ(Plugin().closeArchive(handle), HostOk);
        }
    }
    EXPECT_GT(opened, 100u) << "the test files should hold many documents";
}

}  // namespace
