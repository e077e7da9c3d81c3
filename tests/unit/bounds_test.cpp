// Hostile documents are listed within memory of the document plus its decoded
// entries: the heap bytes alive once a document is listed (the archive's
// copy and the entries' blocks) are held against the document's size and the
// decoded sizes the header records report, and everything goes back at the
// close. The whole job's high-water mark is held against the document plus
// the budget, whatever the entries' sizes and the threads. Time is measured
// in tests/bench/adversarial_bench.cpp.
#ifndef _WIN32

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <string>
#include <vector>

#include "platform/linux_memory_hook.h"
#include "plugin/exports.h"
#include "tests/support/pdf_text.h"

namespace {

struct Session {
    std::vector<std::string> names;
    uint64_t decodedBytes = 0;   // sum of the listed entries' unpacked sizes
    uint64_t liveBytes = 0;      // heap bytes the open archive holds once listed
};

const char* const Prefix = "%PDF-1.7\n";
// A comment line that lifts every document over the minimum file size.
const std::string Suffix = "\n%" + std::string(800, '-') + "\n%%EOF\n";

// Writes the document, then opens, lists and closes it through the exports,
// counting every heap request made meanwhile.
Session ListDocument(const std::string& body) {
    const auto path = std::filesystem::temp_directory_path() / ("vellum-bounds-" + std::to_string(::getpid()) + ".pdf");
    {
        std::ofstream file(path, std::ios::binary);
        file << Prefix << body << Suffix;
    }
    Session session;
    const uint64_t liveBefore = LiveHeapBytes();
    std::string pathText = path.string();
    OpenArchiveRecord record{};
    record.pathName = pathText.data();
    const uintptr_t handle = OpenArchive(&record);
    if (handle != 0) {
        HeaderRecordEx header{};
        while (ReadHeaderEx(handle, &header) == HostOk) {
            session.names.push_back(header.entryName);
            session.decodedBytes += header.unpackedSize;
        }
        session.liveBytes = LiveHeapBytes() - liveBefore;
        CloseArchive(handle);
    }
    EXPECT_EQ(LiveHeapBytes(), liveBefore) << "heap blocks outlive the archive";
    std::filesystem::remove(path);
    EXPECT_NE(handle, 0u) << "the document could not be opened";
    return session;
}

// The listed archive holds its copy of the document (at most the document)
// and the decoded bytes with less than a tenth more, plus a fixed allowance:
// growth room left in a block shows here.
void ExpectLiveWithin(const Session& session, uint64_t documentBytes) {
    const uint64_t allowance = 1u << 16;
    EXPECT_LE(session.liveBytes, documentBytes + session.decodedBytes + session.decodedBytes / 10 + allowance);
}

TEST(Bounds, FlateStreamExpandingAThousandfoldKeepsNoGrowthRoom) {
    const std::string plain(8u << 20, 'a');
    const std::string packed = Compressed(plain);
    ASSERT_GT(plain.size() / packed.size(), 1000u);
    const std::string body = StreamObject(1, "<</Filter/FlateDecode/Length " + std::to_string(packed.size()) + ">>", packed);

    const Session session = ListDocument(body);
    ASSERT_EQ(session.names.size(), 1u);
    EXPECT_EQ(session.decodedBytes, plain.size());
    ExpectLiveWithin(session, body.size());
}

TEST(Bounds, RunLengthRepeatsKeepNoGrowthRoom) {
    // 100,000 runs of 128 repeated bytes: 200 KB of input, 12.8 MB of output.
    std::string data;
    for (int run = 0; run < 100000; ++run) data += "\x81" + std::string(1, static_cast<char>('a' + run % 26));
    data += '\x80';
    const std::string body = StreamObject(1, "<</Filter/RunLengthDecode/Length " + std::to_string(data.size()) + ">>", data);

    const Session session = ListDocument(body);
    ASSERT_EQ(session.names.size(), 1u);
    EXPECT_EQ(session.decodedBytes, 128u * 100000u);
    ExpectLiveWithin(session, body.size());
}

// Many small Flate streams of random letters, which inflate less than
// twofold: the first block reserved for each is more than twice too large.
TEST(Bounds, ManySmallFlateStreamsKeepNoGrowthRoom) {
    std::string body;
    uint32_t seed = 7;
    for (int number = 1; number <= 3000; ++number) {
        std::string plain;
        while (plain.size() < 3000) {
            seed = seed * 1103515245u + 12345u;
            plain += static_cast<char>('a' + (seed >> 16) % 26);
        }
        const std::string packed = Compressed(plain);
        body += StreamObject(number, "<</Filter/FlateDecode/Length " + std::to_string(packed.size()) + ">>", packed);
    }
    const Session session = ListDocument(body);
    ASSERT_EQ(session.names.size(), 3000u);
    ExpectLiveWithin(session, body.size());
}

TEST(Bounds, ManyTinyObjectsCostAFixedAmountEach) {
    constexpr int objects = 100000;
    std::string body;
    for (int number = 1; number <= objects; ++number) body += StreamObject(number, "<</Length 1>>", "x");

    const Session session = ListDocument(body);
    ASSERT_EQ(session.names.size(), static_cast<size_t>(objects));
    EXPECT_EQ(session.decodedBytes, static_cast<uint64_t>(objects));
    // Unfiltered entries view the archive's copy: nothing beyond it.
    ExpectLiveWithin(session, body.size());
}

// Writes Prefix, `body` and Suffix as a file, then on each number of threads
// opens it as a host does at budget `memoryMegabytes`, lists every entry
// (each must be `entryBytes` long), extracts them to files unless only
// `extractOn` threads should, and checks that the heap's high-water mark
// stays within the body and `allowance`; each run must list `expectedEntries`.
void ExpectPeakWithin(const std::string& name, const std::string& body, const char* memoryMegabytes,
                      std::initializer_list<const char*> threadCounts, const char* extractOn, uint64_t entryBytes,
                      uint64_t allowance, int expectedEntries) {
    const auto path = std::filesystem::temp_directory_path() / (name + std::to_string(::getpid()) + ".pdf");
    const auto folder = std::filesystem::temp_directory_path() / (name + std::to_string(::getpid()));
    {
        std::ofstream file(path, std::ios::binary);
        file << Prefix << body << Suffix;
    }
    std::filesystem::create_directories(folder);
    setenv("VELLUM_MEMORY_MB", memoryMegabytes, 1);
    for (const char* threads : threadCounts) {
        setenv("VELLUM_THREADS", threads, 1);
        const bool extract = extractOn == nullptr || std::string(threads) == extractOn;
        const uint64_t liveBefore = LiveHeapBytes();
        ResetPeakHeapBytes();
        std::string pathText = path.string();
        std::string folderText = folder.string();
        OpenArchiveRecord record{};
        record.pathName = pathText.data();
        const uintptr_t handle = OpenArchive(&record);
        ASSERT_NE(handle, 0u);
        int entries = 0;
        HeaderRecordEx header{};
        while (ReadHeaderEx(handle, &header) == HostOk) {
            ++entries;
            EXPECT_EQ(header.unpackedSize, entryBytes);
            if (!extract) continue;
            EXPECT_EQ(ProcessFile(handle, HostExtract, folderText.data(), header.entryName), HostOk);
            EXPECT_EQ(std::filesystem::file_size(folder / header.entryName), entryBytes);
            std::filesystem::remove(folder / header.entryName);
        }
        EXPECT_EQ(CloseArchive(handle), HostOk);
        EXPECT_EQ(entries, expectedEntries);
        EXPECT_LE(PeakHeapBytes() - liveBefore, body.size() + allowance) << threads << " threads";
    }
    unsetenv("VELLUM_THREADS");
    unsetenv("VELLUM_MEMORY_MB");
    std::filesystem::remove_all(folder);
    std::filesystem::remove(path);
}

// Eight streams that each inflate to 24 MiB, opened, listed and extracted
// to files with a budget of 16 MiB: no path holds a whole entry, on any
// number of threads, so the heap's high-water mark stays within the body,
// the budget and the fixed allowance for windows, waiting jobs and reading
// ahead.
TEST(Bounds, BigEntriesNeverHeldWhole) {
    constexpr uint64_t EntryBytes = uint64_t{24} << 20;
    constexpr uint64_t Budget = uint64_t{16} << 20;
    constexpr uint64_t Allowance = uint64_t{64} << 20;
    std::string plain(EntryBytes, '\0');
    for (size_t i = 0; i < plain.size(); ++i) plain[i] = static_cast<char>("stream data "[i % 12]);
    const std::string packed = Compressed(plain);
    std::string body;
    for (int number = 1; number <= 8; ++number) {
        body += StreamObject(number, "<</Filter/FlateDecode/Length " + std::to_string(packed.size()) + ">>", packed);
    }
    ExpectPeakWithin("vellum-peak-", body, "16", {"1", "4", "8"}, nullptr, EntryBytes, Budget + Allowance, 8);
}

// Sixteen streams of 16 MiB of zeros taken for one-dimensional fax rows, a
// file of a few hundred kilobytes, at budget 0: every thread surveys fill
// that never ends, and the writing copies it behind its header. No fax stage
// gathers its data, so the heap's high-water mark stays within the body and
// the fixed allowance on any number of threads.
TEST(Bounds, FaxDataNeverGathered) {
    constexpr uint64_t DataBytes = uint64_t{16} << 20;
    constexpr uint64_t Allowance = uint64_t{64} << 20;
    constexpr int Streams = 16;
    const std::string packed = Compressed(std::string(DataBytes, '\0'));
    std::string body;
    for (int number = 1; number <= Streams; ++number) {
        body += StreamObject(number,
                             "<</Filter[/FlateDecode/CCITTFaxDecode]/DecodeParms[null<</K 0/Columns 1728>>]/Length " +
                                 std::to_string(packed.size()) + ">>",
                             packed);
    }
    // The open surveys every stream on each number of threads; writing them
    // all once is enough. Zeros hold no row: the data is stored behind a
    // 110-byte header.
    ExpectPeakWithin("vellum-fax-", body, "0", {"1", "4", "16"}, "16", DataBytes + 110, Allowance, Streams);
}

struct HostileText {
    const char* label;
    std::string body;
};

// Documents with no stream to list whose text is one huge construct; each
// costs its copy and nothing more once listed.
TEST(Bounds, HugeConstructsCostTheirCopyAlone) {
    const std::vector<HostileText> cases = {
        {"a 16 MB line without a line end", std::string(16u << 20, 'x')},
        {"a 16 MB line of header-like text", "1 0 obj " + std::string(16u << 20, '1')},
        {"\"<<\" nested a million deep, never closed", "1 0 obj\n" + [] {
             std::string text;
             for (int i = 0; i < 1000000; ++i) text += "<<";
             return text;
         }()},
        {"\"<<\" nested a million deep, closed, no stream", "1 0 obj\n" + [] {
             std::string text;
             for (int i = 0; i < 1000000; ++i) text += "<<";
             for (int i = 0; i < 1000000; ++i) text += ">>";
             return text + "\nendobj\n";
         }()},
    };
    for (const HostileText& hostile : cases) {
        const Session session = ListDocument(hostile.body);
        EXPECT_TRUE(session.names.empty()) << hostile.label;
        ExpectLiveWithin(session, hostile.body.size());
    }
}

struct ListingCase {
    const char* label;
    std::string body;
    std::vector<std::string> names;
    uint64_t decodedBytes;
};

// Values at the edges of what the scanner reads: lengths that point far
// outside the document and header lines at the 255-character limit.
TEST(Bounds, LengthsAndHeaderLinesAtTheirLimits) {
    // "7", spaces, " 0 obj": a header line of exactly `length` characters.
    const auto headerLine = [](size_t length) { return "7" + std::string(length - 7, ' ') + " 0 obj"; };
    const std::vector<ListingCase> cases = {
        {"/Length 2147483647: the end is found by the search", StreamObject(5, "<</Length 2147483647>>", "HELLO"),
         {"object-stream-00000005.dat"}, 5},
        {"/Length -1: the end is found by the search", StreamObject(5, "<</Length -1>>", "HELLO"),
         {"object-stream-00000005.dat"}, 5},
        {"/Length -2147483648", StreamObject(5, "<</Length -2147483648>>", "HELLO"), {"object-stream-00000005.dat"}, 5},
        {"/Length 4294967301 wraps to 5", StreamObject(5, "<</Length 4294967301>>", "HELLO"),
         {"object-stream-00000005.dat"}, 5},
        {"a header line of 255 characters is read",
         "\n" + headerLine(255) + "\n<</Length 3>>\nstream\nabc\nendstream\nendobj\n",
         {"object-stream-00000007.dat"}, 3},
        {"a header line of 256 characters is skipped",
         "\n" + headerLine(256) + "\n<</Length 3>>\nstream\nabc\nendstream\nendobj\n", {}, 0},
    };
    for (const ListingCase& listing : cases) {
        const Session session = ListDocument(listing.body);
        EXPECT_EQ(session.names, listing.names) << listing.label;
        EXPECT_EQ(session.decodedBytes, listing.decodedBytes) << listing.label;
    }
}

}  // namespace

#endif
