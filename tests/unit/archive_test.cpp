#include <gtest/gtest.h>

#include <cstdio>
#include <ctime>
#include <string>

#include "document/archive.h"
#include "document/decode_pool.h"
#include "platform/handle_guards.h"

namespace {

const uint8_t* Bytes(const std::string& text) { return reinterpret_cast<const uint8_t*>(text.data()); }

std::string Region(const PdfArchive& archive) {
    return std::string(reinterpret_cast<const char*>(archive.data.begin), archive.data.Size());
}

// Closes an archive the way CloseArchive does, so that ASan sees every block go.
void Close(PdfArchive* archive) {
    ArchiveCall call(reinterpret_cast<uintptr_t>(archive));
    ASSERT_NE(call.Archive(), nullptr);
    call.Close();
}

// The FILETIME of a time given in seconds since 1970 UTC.
FILETIME FileTimeOf(int64_t unixSeconds) {
    const uint64_t ticks = static_cast<uint64_t>(unixSeconds + 11644473600) * 10000000u;
    return FILETIME{static_cast<DWORD>(ticks & 0xFFFFFFFFu), static_cast<DWORD>(ticks >> 32)};
}

struct DosCase {
    const char* label;
    SYSTEMTIME time;  // year, month, day of week, day, hour, minute, second, milliseconds
    uint32_t packed;
};

TEST(PackDosDateTime, Table) {
    const DosCase cases[] = {
        {"15 June 2023, 14:30:45", {2023, 6, 4, 15, 14, 30, 45, 0}, 0x56CF73D6},
        {"31 December 1979 wraps the year to 127", {1979, 12, 1, 31, 0, 0, 0, 0}, 0xFF9F0000},
        {"zero file time, 1601, year field 5", {1601, 1, 1, 1, 0, 0, 0, 0}, 0x0A210000},
        {"odd seconds round down, milliseconds ignored", {1980, 1, 2, 1, 23, 59, 59, 999}, 0x0021BF7D},
    };
    for (const DosCase& c : cases) EXPECT_EQ(PackDosDateTime(c.time), c.packed) << c.label;
}

TEST(CreateArchive, TimeStampsFromLastWriteTime) {
    const int64_t unixSeconds = 1686839445;  // 15 June 2023 14:30:45 UTC
    const std::string body = "1 0 obj\n";
    PdfArchive* archive = CreateArchive(Bytes(body), Bytes(body) + body.size(), FileTimeOf(unixSeconds));
    ASSERT_NE(archive, nullptr);
    EXPECT_EQ(archive->lastWriteUnixTime, unixSeconds);
    // The C runtime's local time of the same instant, packed by the DOS layout.
    const std::time_t instant = static_cast<std::time_t>(unixSeconds);
    const std::tm local = *std::localtime(&instant);
    const uint32_t expected = static_cast<uint32_t>(local.tm_year + 1900 - 1980) << 25 |
                              static_cast<uint32_t>(local.tm_mon + 1) << 21 | static_cast<uint32_t>(local.tm_mday) << 16 |
                              static_cast<uint32_t>(local.tm_hour) << 11 | static_cast<uint32_t>(local.tm_min) << 5 |
                              static_cast<uint32_t>(local.tm_sec / 2);
    EXPECT_EQ(archive->dosDateTime, expected);
    EXPECT_EQ(archive->magic, 0x434947414D464450u);
    EXPECT_EQ(archive->refCount, 1);
    EXPECT_EQ(archive->currentEntry, nullptr);
    EXPECT_EQ(Region(*archive), body);
    EXPECT_TRUE(archive->data.ownsMemory);
    EXPECT_EQ(archive->data.cursor, archive->data.begin);
    Close(archive);
}

TEST(CreateArchive, ZeroFileTimeGetsADefinedStamp) {
    const std::string body = "x";
    PdfArchive* archive = CreateArchive(Bytes(body), Bytes(body) + 1, FILETIME{0, 0});
    ASSERT_NE(archive, nullptr);
    EXPECT_EQ(archive->lastWriteUnixTime, -11644473600);
    // East of UTC the local time is still on 1 January 1601; west of it there
    // is none and the UTC time stands in: the date is 1601-01-01 either way.
    EXPECT_EQ(archive->dosDateTime >> 16, 0x0A21u);
    Close(archive);
}

struct ValidateCase {
    const char* label;
    std::string file;
    bool acceptable;
    std::string region;  // the body kept, when acceptable
};

std::string Padding(size_t n) { return std::string(n, '.'); }

TEST(ValidatePdf, Table) {
    const std::string body = "1 0 obj\n" + Padding(800) + "\n";
    const ValidateCase cases[] = {
        {"marker ends the file", "%PDF-1.4\n" + body + "%%EOF", true, body},
        {"marker then CR LF", "%PDF-1.7\r\n" + body + "%%EOF\r\n", true, body},
        {"any version digit", "%PDF-1.x\r" + body, true, body},
        {"marker starting 36 bytes from the end", "%PDF-1.4\n" + body + "%%EOF" + Padding(31), true, body},
        {"marker starting 37 bytes from the end is body", "%PDF-1.4\n" + body + "%%EOF" + Padding(32), true,
         body + "%%EOF" + Padding(32)},
        {"the later of two markers", "%PDF-1.4\n" + body + "%%EOF\n%%EOF\n", true, body + "%%EOF\n"},
        {"first line ending at <<", "%PDF-1.4<<" + body, true, "<<" + body},
        {"version 2 refused", "%PDF-2.0\n" + body, false, ""},
        {"lower-case header refused", "%pdf-1.4\n" + body, false, ""},
        {"no line end anywhere", "%PDF-1.7" + Padding(900), false, ""},
        {"marker right after the first line", "%PDF-1.4\n%%EOF" + Padding(20), false, ""},
    };
    for (const ValidateCase& c : cases) {
        const OpenOutcome check = ValidatePdf(Bytes(c.file), c.file.size(), FILETIME{}, true);
        EXPECT_EQ(check.acceptable, c.acceptable) << c.label;
        EXPECT_EQ(check.archive, nullptr) << c.label;
        const OpenOutcome open = ValidatePdf(Bytes(c.file), c.file.size(), FILETIME{}, false);
        EXPECT_EQ(open.acceptable, c.acceptable) << c.label;
        EXPECT_EQ(open.archive != nullptr, c.acceptable) << c.label;
        if (open.archive == nullptr) continue;
        EXPECT_EQ(Region(*open.archive), c.region) << c.label;
        Close(open.archive);
    }
}

std::basic_string<WCHAR> Widen(const std::string& text) { return std::basic_string<WCHAR>(text.begin(), text.end()); }

TEST(OpenPdfFile, SizeLimitAndMissingFile) {
    const std::string head = "%PDF-1.4\n";
    const std::string tail = "%%EOF";
    struct FileCase {
        const char* label;
        size_t size;
        bool acceptable;
    } cases[] = {
        {"767 bytes refused", 767, false},
        {"768 bytes accepted", 768, true},
    };
    for (const FileCase& c : cases) {
        const std::string path = testing::TempDir() + "vellum-open-" + std::to_string(c.size) + ".pdf";
        const std::string body = Padding(c.size - head.size() - tail.size());
        std::FILE* file = std::fopen(path.c_str(), "wb");
        ASSERT_NE(file, nullptr);
        std::fwrite((head + body + tail).data(), 1, c.size, file);
        std::fclose(file);

        EXPECT_EQ(OpenPdfFile(Widen(path).c_str(), true).acceptable, c.acceptable) << c.label;
        const OpenOutcome open = OpenPdfFile(Widen(path).c_str(), false);
        EXPECT_EQ(open.archive != nullptr, c.acceptable) << c.label;
        if (open.archive != nullptr) {
            EXPECT_EQ(Region(*open.archive), body) << c.label;
            Close(open.archive);
        }
        // Every handle is closed again: the file can be removed at once, on Windows too.
        EXPECT_EQ(std::remove(path.c_str()), 0) << c.label;
    }
    EXPECT_FALSE(OpenPdfFile(Widen(testing::TempDir() + "vellum-no-such-file.pdf").c_str(), true).acceptable);
}

// The body is read in requests of a bounded size: ranges that start, end and
// run across request edges come out whole, and a range past the end fails.
TEST(ReadFileRange, RangesAcrossRequestsComeOutWhole) {
    constexpr uint64_t chunk = 65536;
    std::string bytes(3 * chunk + 1234, '\0');
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7 + i / 251);
    const std::string path = testing::TempDir() + "vellum-read-range.bin";
    {
        std::FILE* file = std::fopen(path.c_str(), "wb");
        ASSERT_NE(file, nullptr);
        ASSERT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), file), bytes.size());
        std::fclose(file);
    }
    const std::basic_string<WCHAR> widePath(path.begin(), path.end());
    {
        FileHandle file(CreateFileW(widePath.c_str(), FILE_READ_DATA, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(file.Valid());
        struct Range {
            uint64_t offset;
            uint64_t length;
            uint64_t chunkBytes;
        } ranges[] = {
            {0, bytes.size(), chunk},               // every request, the last one short
            {9, bytes.size() - 9 - 5, chunk},       // a body after the first line, before the end marker
            {chunk - 1, 2, 1},                      // one byte per request
            {chunk, chunk, chunk},                  // exactly one request
            {100, bytes.size() - 100, 3 * chunk},   // larger requests
            {bytes.size(), 0, chunk},               // nothing at the very end
        };
        for (const Range& r : ranges) {
            std::string copy(r.length, 'x');
            EXPECT_TRUE(ReadFileRange(file.Get(), r.offset, r.length, reinterpret_cast<uint8_t*>(copy.data()), r.chunkBytes))
                << r.offset << "+" << r.length;
            EXPECT_TRUE(copy == bytes.substr(r.offset, r.length)) << r.offset << "+" << r.length;
        }
        uint8_t sink[16];
        EXPECT_FALSE(ReadFileRange(file.Get(), bytes.size() - 4, 5, sink, chunk)) << "past the end";
        EXPECT_FALSE(ReadFileRange(file.Get(), bytes.size() + 10, 1, sink, chunk)) << "after the end";
        EXPECT_FALSE(ReadFileRange(file.Get(), 0, 4, sink, 0)) << "no request size";
    }  // the file is closed before it goes
    std::remove(path.c_str());
}

TEST(AcquireArchive, RefusesWhatIsNotAnArchive) {
    EXPECT_EQ(AcquireArchive(0), nullptr);
    EXPECT_EQ(AcquireArchive(UINTPTR_MAX), nullptr);
    alignas(PdfArchive) unsigned char foreign[sizeof(PdfArchive)] = {};
    EXPECT_EQ(AcquireArchive(reinterpret_cast<uintptr_t>(foreign)), nullptr);
}

// Three stream objects around an object without a stream and one whose
// filter fails, and a second object 5 further on.
const std::string ThreeStreams =
    "5 0 obj\n<</Length 3>>\nstream\nabc\nendstream\nendobj\n"
    "6 0 obj\n<</Type/Catalog>>\nendobj\n"
    "7 0 obj\n<</Length 4/Filter/FlateDecode>>\nstream\njunk\nendstream\nendobj\n"
    "8 0 obj\n<</Length 2>>\nstream\nde\nendstream\nendobj\n"
    "5 0 obj\n<</Length 1>>\nstream\nf\nendstream\nendobj\n";

int ListLength(PdfArchive& archive) {
    int length = 0;
    for (ListLink* node = archive.entries.next; node != &archive.entries; node = node->next) ++length;
    return length;
}

TEST(ArchiveLifetime, ReferencesFollowTheListing) {
    PdfArchive* archive = CreateArchive(Bytes(ThreeStreams), Bytes(ThreeStreams) + ThreeStreams.size(), FILETIME{});
    ASSERT_NE(archive, nullptr);
    const uintptr_t handle = reinterpret_cast<uintptr_t>(archive);
    MakeEntries(*archive, DecodeSettings{1, UINT64_MAX});
    EXPECT_EQ(archive->refCount, 4);  // the handle and three entries; the failed stream holds nothing
    EXPECT_EQ(ListLength(*archive), 3);
    StreamEntry* listed[3] = {};
    for (StreamEntry*& entry : listed) {
        ArchiveCall call(handle);
        ASSERT_NE(call.Archive(), nullptr);
        entry = HandOutNextEntry(*call.Archive());
        ASSERT_NE(entry, nullptr);
        EXPECT_EQ(entry->archive, archive);
        EXPECT_EQ(entry->refCount, 1);
        EXPECT_EQ(*entry->link.prevLink, &entry->link);
        // Found by its number once handed out, not before.
        EXPECT_NE(FindListedEntry(*archive, entry->objectNumber), nullptr);
    }
    EXPECT_EQ(archive->entries.prevLink, &listed[2]->link.next);  // linked in scan order
    EXPECT_EQ(listed[0]->objectNumber, 5u);
    EXPECT_EQ(listed[1]->objectNumber, 8u);
    EXPECT_EQ(listed[2]->objectNumber, 5u);
    EXPECT_EQ(EntryFromLink(archive->entries.next), listed[0]);
    {
        ArchiveCall call(handle);
        EXPECT_EQ(HandOutNextEntry(*archive), nullptr);
        EXPECT_EQ(FindListedEntry(*archive, 5), listed[0]);  // the first listed wins
        EXPECT_EQ(FindListedEntry(*archive, 8), listed[1]);
        EXPECT_EQ(FindListedEntry(*archive, 7), nullptr);

        // Destroying a listed entry takes it out of the list, the index and
        // currentEntry, and gives back its reference on the archive.
        archive->currentEntry = listed[1];
        EXPECT_EQ(ReleaseEntry(listed[1]), 0);
        EXPECT_EQ(archive->currentEntry, nullptr);
        EXPECT_EQ(FindListedEntry(*archive, 8), nullptr);
        EXPECT_EQ(ListLength(*archive), 2);
        EXPECT_EQ(archive->refCount, 4);  // the handle, two entries and this call
        EXPECT_EQ(archive->entries.next, &listed[0]->link);
        EXPECT_EQ(listed[0]->link.next, &listed[2]->link);
        EXPECT_EQ(listed[2]->link.prevLink, &listed[0]->link.next);
        call.Close();
    }
}

}  // namespace
