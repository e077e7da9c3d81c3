#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <set>
#include <utility>

#include "tests/exports/pdf_fixture.h"

namespace {

#ifdef _WIN32
constexpr WCHAR Separator = L'\\';
#else
constexpr WCHAR Separator = u'/';
#endif

// What the progress callbacks were given, and what they answer.
struct ProgressLog {
    std::vector<std::pair<WideString, int>> wide;
    std::vector<std::pair<std::string, int>> narrow;
    int answer = 1;
} progress;

int VELLUM_CALL RecordWide(WCHAR* name, int count) {
    progress.wide.emplace_back(name != nullptr ? WideString(name) : WideString(), count);
    return progress.answer;
}

int VELLUM_CALL RecordNarrow(char* name, int count) {
    progress.narrow.emplace_back(name != nullptr ? std::string(name) : std::string(), count);
    return progress.answer;
}

std::vector<int> Counts(const std::vector<std::pair<WideString, int>>& reports) {
    std::vector<int> counts;
    for (const auto& report : reports) counts.push_back(report.second);
    return counts;
}

// The folder's path as wide text with one separator at its end.
WideString FolderPrefix(const std::filesystem::path& folder) {
    WideString prefix = WidePath(folder);
    if (prefix.back() != u'/' && prefix.back() != u'\\') prefix += Separator;
    return prefix;
}

class Extraction : public testing::Test {
protected:
    void SetUp() override {
        progress = ProgressLog{};
        Plugin().setProcessDataProcW(0, RecordWide);
        Plugin().setProcessDataProc(0, nullptr);
    }
    void TearDown() override {
        Plugin().setProcessDataProcW(0, nullptr);
        Plugin().setProcessDataProc(0, nullptr);
    }

    // Reads headers up to and including the given count of entries.
    static void ReadHeaders(const OpenedArchive& archive, int count) {
        for (int i = 0; i < count; ++i) {
            HeaderRecordExW record{};
            ASSERT_EQ(Plugin().readHeaderExW(archive.Handle(), &record), HostOk);
        }
    }

    // Extracts into memory; answers the result and the block's data bytes,
    // after checking the block's length field and its 8 closing zero bytes.
    static std::pair<int, std::string> ToMemory(uintptr_t handle, const WCHAR* name) {
        void* block = nullptr;
        int result = Plugin().processFileW(handle, HostExtractToMemory, reinterpret_cast<WCHAR*>(&block),
                                           const_cast<WCHAR*>(name));
        if (result != HostOk) {
            EXPECT_EQ(block, nullptr);
            return {result, std::string()};
        }
        const auto* bytes = static_cast<const uint8_t*>(block);
        uint64_t length = 0;
        for (int i = 0; i < 8; ++i) length |= uint64_t{bytes[i]} << (8 * i);
        std::string data(reinterpret_cast<const char*>(bytes + 8), static_cast<size_t>(length));
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes + 8 + length), 8), std::string(8, '\0'));
        FreeExtractBlock(block);
        return {result, data};
    }

    ScratchFolder folder;
};

TEST_F(Extraction, ToFileWritesChunksAndReportsEachChunksSize) {
    struct Case {
        size_t length;
        std::vector<int> reports;
    } cases[] = {{0, {}}, {65536, {65536}}, {65537, {65536, 1}}, {200000, {65536, 65536, 65536, 3392}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.length);
        std::string payload = PatternBytes(c.length, 'A');
        std::filesystem::path pdf = folder.WritePdf("doc.pdf", {{3, payload, ""}});
        OpenedArchive archive(pdf);
        ReadHeaders(archive, 1);
        progress.wide.clear();
        WideString directory = WidePath(folder.Path());
        WCHAR name[] = WIDE("object-stream-00000003.dat");
        ASSERT_EQ(Plugin().processFileW(archive.Handle(), HostExtract, directory.data(), name), HostOk);
        EXPECT_EQ(ReadWholeFile(folder.Path() / "object-stream-00000003.dat"), payload);
        EXPECT_EQ(Counts(progress.wide), c.reports);
        for (const auto& report : progress.wide) EXPECT_EQ(report.first, FolderPrefix(folder.Path()) + name);
    }
}

TEST_F(Extraction, ToMemoryHandsOverLengthBytesAndEightZeros) {
    for (size_t length : {size_t{0}, size_t{5}, size_t{65537}}) {
        SCOPED_TRACE(length);
        std::string payload = PatternBytes(length, 'a');
        std::filesystem::path pdf = folder.WritePdf("doc.pdf", {{3, payload, ""}});
        OpenedArchive archive(pdf);
        ReadHeaders(archive, 1);
        progress.wide.clear();
        const WCHAR* name = WIDE("object-stream-00000003.dat");
        auto [result, data] = ToMemory(archive.Handle(), name);
        EXPECT_EQ(result, HostOk);
        EXPECT_EQ(data, payload);
        EXPECT_EQ(Counts(progress.wide), (std::vector<int>{0, static_cast<int>(length)}));
        for (const auto& report : progress.wide) EXPECT_EQ(report.first, name);
    }
}

TEST_F(Extraction, AnsiEntryConvertsTextAndPassesTheResultSlotOn) {
    std::filesystem::path pdf = folder.WritePdf("doc.pdf", {{3, "three", ""}, {4, "four", ""}});
    OpenedArchive archive(pdf);
    ReadHeaders(archive, 1);
    std::string directory = folder.Path().string();
    ASSERT_EQ(Plugin().processFile(archive.Handle(), HostExtract, directory.data(),
                                   const_cast<char*>("object-stream-00000003.dat")),
              HostOk);
    EXPECT_EQ(ReadWholeFile(folder.Path() / "object-stream-00000003.dat"), "three");

    ReadHeaders(archive, 1);
    void* block = nullptr;
    ASSERT_EQ(Plugin().processFile(archive.Handle(), HostExtractToMemory, reinterpret_cast<char*>(&block),
                                   const_cast<char*>("object-stream-00000004.dat")),
              HostOk);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(std::memcmp(static_cast<char*>(block) + 8, "four", 4), 0);
    FreeExtractBlock(block);
}

TEST_F(Extraction, FailuresAnswerTheirOwnCodes) {
    std::filesystem::path pdf = folder.WritePdf("doc.pdf", {{3, "three", ""}});
    OpenedArchive archive(pdf);
    ReadHeaders(archive, 1);
    WCHAR name[] = WIDE("object-stream-00000003.dat");
    WideString missing = WidePath(folder.Path() / "no-such-folder");
    EXPECT_EQ(Plugin().processFileW(archive.Handle(), HostExtract, missing.data(), name), HostECreate);
    EXPECT_FALSE(std::filesystem::exists(folder.Path() / "no-such-folder"));
    EXPECT_EQ(Plugin().processFileW(archive.Handle(), HostExtractToMemory, nullptr, name), HostEOpen);
    std::vector<uint64_t> notAnArchive(512, 0);  // zeroed memory the size of any archive
    void* block = nullptr;
    for (uintptr_t handle : {uintptr_t{0}, ~uintptr_t{0}, reinterpret_cast<uintptr_t>(notAnArchive.data())}) {
        WideString directory = WidePath(folder.Path());
        EXPECT_EQ(Plugin().processFileW(handle, HostExtract, directory.data(), name), HostBadArchive);
        EXPECT_EQ(Plugin().processFileW(handle, HostExtractToMemory, reinterpret_cast<WCHAR*>(&block), name),
                  HostBadArchive);
    }
    EXPECT_EQ(block, nullptr);
}

// With no header read since the last extraction, the number in the name
// decides: the digits after the last '-' and before the extension.
TEST_F(Extraction, NameLookupFindsTheFirstListedEntryWithTheNumber) {
    std::filesystem::path pdf = folder.WritePdf("doc.pdf", {{12, "twelve", ""},
                                                           {5, "first five", ""},
                                                           {5, "second five", ""},
                                                           {2147483647, "largest", ""},
                                                           // The header says -5 after wrapping.
                                                           {4294967291u, "minus five", ""},
                                                           {40, "forty", ""}});
    OpenedArchive archive(pdf);
    ReadHeaders(archive, 5);
    HeaderRecordExW record{};
    ASSERT_EQ(Plugin().readHeaderExW(archive.Handle(), &record), HostOk);  // forty, used up below
    ASSERT_EQ(ToMemory(archive.Handle(), WIDE("anything")).second, "forty");
    struct Case {
        const WCHAR* name;
        int result;
        const char* data;
    } cases[] = {
        {WIDE("object-stream-00000012.dat"), HostOk, "twelve"},
        {WIDE("object-stream-12.jpg"), HostOk, "twelve"},
        {WIDE("object-stream-00000012"), HostOk, "twelve"},
        {WIDE("x-12.bin"), HostOk, "twelve"},
        {WIDE("object-stream-00000005.dat"), HostOk, "first five"},
        {WIDE("object-stream-2147483647.dat"), HostOk, "largest"},
        {WIDE("object-stream-4294967291.dat"), HostOk, "minus five"},
        {WIDE("object-stream-2147483648.dat"), HostEOpen, ""},
        {WIDE("object-stream-9999999999.dat"), HostOk, "largest"},
        {WIDE("readme.txt"), HostEOpen, ""},
        {WIDE("object-stream-.jpg"), HostEOpen, ""},
        {WIDE("object-stream-12a.jpg"), HostEOpen, ""},
        {WIDE("object-stream-00000000012.jpg"), HostEOpen, ""},
        {WIDE("-12.dat"), HostEOpen, ""},
        {WIDE("object-stream-00000077.dat"), HostEOpen, ""},
    };
    for (const Case& c : cases) {
        auto [result, data] = ToMemory(archive.Handle(), c.name);
        EXPECT_EQ(result, c.result) << Narrow(c.name);
        EXPECT_EQ(data, c.data) << Narrow(c.name);
    }
}

TEST_F(Extraction, ObjectNotYetListedIsNotFound) {
    std::filesystem::path pdf = folder.WritePdf("doc.pdf", {{1, "one", ""}, {2, "two", ""}});
    OpenedArchive archive(pdf);
    ReadHeaders(archive, 1);
    EXPECT_EQ(ToMemory(archive.Handle(), WIDE("object-stream-00000001.dat")).second, "one");
    EXPECT_EQ(ToMemory(archive.Handle(), WIDE("object-stream-00000002.dat")).first, HostEOpen);
}

// A host passes back the name its user typed in the copy dialog; the entry
// meant is the one whose header was read last.
TEST_F(Extraction, RenamedTargetGetsTheEntryWhoseHeaderWasReadLast) {
    std::filesystem::path pdf = folder.WritePdf("doc.pdf", {{1, "one", ""}, {2, "two", ""}});
    OpenedArchive archive(pdf);
    WideString directory = WidePath(folder.Path());
    ReadHeaders(archive, 1);
    EXPECT_EQ(Plugin().processFileW(archive.Handle(), HostSkip, nullptr, nullptr), HostOk);
    ReadHeaders(archive, 1);
    WCHAR misleading[] = WIDE("scan-1.jpg");
    ASSERT_EQ(Plugin().processFileW(archive.Handle(), HostExtract, directory.data(), misleading), HostOk);
    EXPECT_EQ(ReadWholeFile(folder.Path() / "scan-1.jpg"), "two");
    // The extraction used the current entry up: now the name decides again.
    WCHAR renamed[] = WIDE("renamed.bin");
    EXPECT_EQ(Plugin().processFileW(archive.Handle(), HostExtract, directory.data(), renamed), HostEOpen);
    EXPECT_FALSE(std::filesystem::exists(folder.Path() / "renamed.bin"));
    EXPECT_EQ(ToMemory(archive.Handle(), misleading).second, "one");
    // The end of the listing leaves no current entry either.
    HeaderRecord record{};
    EXPECT_EQ(Plugin().readHeader(archive.Handle(), &record), HostEndArchive);
    EXPECT_EQ(ToMemory(archive.Handle(), WIDE("renamed.bin")).first, HostEOpen);
}

// The folder's entries, by name.
std::set<std::filesystem::path> FolderContents(const std::filesystem::path& folder) {
    std::set<std::filesystem::path> names;
    for (const auto& item : std::filesystem::directory_iterator(folder)) names.insert(item.path().filename());
    return names;
}

TEST_F(Extraction, DestinationPathIsJoinedWhole) {
    std::filesystem::path pdf = folder.WritePdf("doc.pdf", {{3, "three", ""}});
    WideString prefix = FolderPrefix(folder.Path());
    WideString bare = prefix.substr(0, prefix.size() - 1);
    const size_t fullPath = 259;  // MAX_PATH less the terminator
    ASSERT_LT(prefix.size() + 5, fullPath);
    // Names that bring the joined path to exactly 259 units, and to one more.
    WideString longest = WideString(fullPath - prefix.size() - 4, WIDE('n')) + WIDE(".dat");
    WideString tooLong = WIDE("m") + longest;
    WideString longDirectory = prefix + WideString(fullPath, WIDE('d'));
    struct Case {
        const char* label;
        const WCHAR* directory;
        WideString name;
        WideString written;  // the file expected on disk; empty: answers 16 and writes nothing
    } cases[] = {
        {"no separator at the end", bare.c_str(), WIDE("a.dat"), prefix + WIDE("a.dat")},
        {"separator at the end", prefix.c_str(), WIDE("b.dat"), prefix + WIDE("b.dat")},
        {"no directory", nullptr, prefix + WIDE("c.dat"), prefix + WIDE("c.dat")},
        {"exactly 259 units", bare.c_str(), longest, prefix + longest},
        // Cut, the name would lose its extension's last letter.
        {"260 units", bare.c_str(), tooLong, WideString()},
        // Cut, the path would end inside the directory: a file named d...d in the folder.
        {"directory alone too long", longDirectory.c_str(), WIDE("e.dat"), WideString()},
    };
    for (Case& c : cases) {
        SCOPED_TRACE(c.label);
        OpenedArchive archive(pdf);
        ReadHeaders(archive, 1);
        progress.wide.clear();
        std::set<std::filesystem::path> before = FolderContents(folder.Path());
        int result = Plugin().processFileW(archive.Handle(), HostExtract, const_cast<WCHAR*>(c.directory),
                                           c.name.data());
        if (c.written.empty()) {
            EXPECT_EQ(result, HostECreate);
            EXPECT_TRUE(progress.wide.empty());
            EXPECT_EQ(FolderContents(folder.Path()), before);
            continue;
        }
        ASSERT_EQ(result, HostOk);
        ASSERT_EQ(progress.wide.size(), 1u);
        EXPECT_EQ(Narrow(progress.wide[0].first), Narrow(c.written));
        EXPECT_EQ(ReadWholeFile(std::filesystem::path(c.written)), "three");
    }
}

TEST_F(Extraction, ProgressGoesToTheWideCallbackFirstElseTheNarrowOne) {
    std::filesystem::path pdf = folder.WritePdf("doc.pdf", {{3, "three", ""}});
    WideString directory = WidePath(folder.Path());
    WCHAR name[] = WIDE("object-stream-00000003.dat");
    std::string expectedNarrow = Narrow(FolderPrefix(folder.Path()) + name);
    struct Case {
        const char* label;
        ProcessDataProcW wide;
        ProcessDataProc narrow;
        size_t wideReports;
        size_t narrowReports;
    } cases[] = {
        {"both", RecordWide, RecordNarrow, 1, 0},
        {"narrow only", nullptr, RecordNarrow, 0, 1},
        {"none", nullptr, nullptr, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        progress = ProgressLog{};
        Plugin().setProcessDataProcW(0, c.wide);
        Plugin().setProcessDataProc(0, c.narrow);
        OpenedArchive archive(pdf);
        ReadHeaders(archive, 1);
        EXPECT_EQ(Plugin().processFileW(archive.Handle(), HostExtract, directory.data(), name), HostOk);
        EXPECT_EQ(ReadWholeFile(folder.Path() / "object-stream-00000003.dat"), "three");
        EXPECT_EQ(progress.wide.size(), c.wideReports);
        ASSERT_EQ(progress.narrow.size(), c.narrowReports);
        if (c.narrowReports == 1) {
            EXPECT_EQ(progress.narrow[0].first, expectedNarrow);
            EXPECT_EQ(progress.narrow[0].second, 5);
        }
        std::filesystem::remove(folder.Path() / "object-stream-00000003.dat");
    }
}

}  // namespace
