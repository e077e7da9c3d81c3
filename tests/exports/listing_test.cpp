#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstring>
#include <ctime>
#include <string>
#include <string_view>

#include "tests/exports/pdf_fixture.h"

namespace {

constexpr uint8_t Pattern = 0xA5;

#ifdef _WIN32
constexpr uint32_t ExpectedAttributes = 32;  // FILE_ATTRIBUTE_ARCHIVE
#else
constexpr uint32_t ExpectedAttributes = 0100644;  // a regular file, rw-r--r--
#endif

// The time stamp a host expects for every entry of the file, worked out from
// the file's modification time by the C runtime: on Windows the local time
// packed as a DOS date and time, on Linux the seconds since 1970.
uint32_t ExpectedTimeStamp(const std::filesystem::path& file) {
#ifdef _WIN32
    struct _stat64 status {};
    EXPECT_EQ(_wstat64(file.wstring().c_str(), &status), 0);
    std::tm local{};
    __time64_t seconds = status.st_mtime;
    EXPECT_EQ(_localtime64_s(&local, &seconds), 0);
    return static_cast<uint32_t>(local.tm_year + 1900 - 1980) << 25 | static_cast<uint32_t>(local.tm_mon + 1) << 21 |
           static_cast<uint32_t>(local.tm_mday) << 16 | static_cast<uint32_t>(local.tm_hour) << 11 |
           static_cast<uint32_t>(local.tm_min) << 5 | static_cast<uint32_t>(local.tm_sec / 2);
#else
    struct stat status {};
    EXPECT_EQ(stat(file.c_str(), &status), 0);
    return static_cast<uint32_t>(status.st_mtime);
#endif
}

// Writes a little-endian integer of `width` bytes at `offset`.
void PutLittleEndian(std::vector<uint8_t>& bytes, size_t offset, uint64_t value, size_t width) {
    for (size_t i = 0; i < width; ++i) bytes[offset + i] = static_cast<uint8_t>(value >> (8 * i));
}

void PutNarrowName(std::vector<uint8_t>& bytes, size_t offset, const std::string& name) {
    std::memcpy(bytes.data() + offset, name.c_str(), name.size() + 1);
}

void PutWideName(std::vector<uint8_t>& bytes, size_t offset, const std::string& name) {
    for (size_t i = 0; i <= name.size(); ++i) PutLittleEndian(bytes, offset + 2 * i, static_cast<uint8_t>(name.c_str()[i]), 2);
}

// The first offset where two records differ, or -1.
long FirstDifference(const std::vector<uint8_t>& actual, const std::vector<uint8_t>& expected) {
    for (size_t i = 0; i < actual.size(); ++i) {
        if (actual[i] != expected[i]) return static_cast<long>(i);
    }
    return -1;
}

class HeaderRecords : public testing::Test {
protected:
    void SetUp() override {
        // 70000 bytes: more than 16 bits, so the size fields must hold it whole.
        pdf = folder.WritePdf("seven.pdf", {{7, PatternBytes(70000, 'A'), ""}});
        timeStamp = ExpectedTimeStamp(pdf);
    }

    // Calls `read` on a record of `size` bytes filled with the pattern and
    // answers the record's bytes afterwards.
    template <typename Record, typename Read>
    std::vector<uint8_t> ReadOver(Read read) {
        std::vector<uint8_t> bytes(sizeof(Record), Pattern);
        OpenedArchive archive(pdf);
        EXPECT_EQ(read(archive.Handle(), reinterpret_cast<Record*>(bytes.data())), HostOk);
        return bytes;
    }

    ScratchFolder folder;
    std::filesystem::path pdf;
    uint32_t timeStamp = 0;
    const std::string name = "object-stream-00000007.dat";
};

TEST_F(HeaderRecords, ReadHeaderWritesOnlyItsFields) {
    std::vector<uint8_t> actual = ReadOver<HeaderRecord>(Plugin().readHeader);
    std::vector<uint8_t> expected(sizeof(HeaderRecord), Pattern);
    PutNarrowName(expected, 260, name);
    PutLittleEndian(expected, 524, 0, 4);
    PutLittleEndian(expected, 528, 70000, 4);
    PutLittleEndian(expected, 540, timeStamp, 4);
    PutLittleEndian(expected, 552, ExpectedAttributes, 4);
    EXPECT_EQ(FirstDifference(actual, expected), -1);
}

TEST_F(HeaderRecords, ReadHeaderExWritesOnlyItsFields) {
    std::vector<uint8_t> actual = ReadOver<HeaderRecordEx>(Plugin().readHeaderEx);
    std::vector<uint8_t> expected(sizeof(HeaderRecordEx), Pattern);
    PutNarrowName(expected, 1024, name);
    PutLittleEndian(expected, 2052, 0, 8);
    PutLittleEndian(expected, 2060, 70000, 8);
    PutLittleEndian(expected, 2076, timeStamp, 4);
    PutLittleEndian(expected, 2088, ExpectedAttributes, 4);
    EXPECT_EQ(FirstDifference(actual, expected), -1);
}

TEST_F(HeaderRecords, ReadHeaderExWWritesOnlyItsFields) {
    std::vector<uint8_t> actual = ReadOver<HeaderRecordExW>(Plugin().readHeaderExW);
    std::vector<uint8_t> expected(sizeof(HeaderRecordExW), Pattern);
    PutWideName(expected, 2048, name);
    PutLittleEndian(expected, 4100, 0, 8);
    PutLittleEndian(expected, 4108, 70000, 8);
    PutLittleEndian(expected, 4124, timeStamp, 4);
    PutLittleEndian(expected, 4136, ExpectedAttributes, 4);
    EXPECT_EQ(FirstDifference(actual, expected), -1);
}

TEST_F(HeaderRecords, BadHandleLeavesTheRecordUntouched) {
    std::vector<uint64_t> notAnArchive(512, 0);  // zeroed memory the size of any archive
    for (uintptr_t handle : {uintptr_t{0}, ~uintptr_t{0}, reinterpret_cast<uintptr_t>(notAnArchive.data())}) {
        std::vector<uint8_t> bytes(sizeof(HeaderRecordExW), Pattern);
        std::vector<uint8_t> untouched = bytes;
        EXPECT_EQ(Plugin().readHeader(handle, reinterpret_cast<HeaderRecord*>(bytes.data())), HostUnknownFormat);
        EXPECT_EQ(Plugin().readHeaderEx(handle, reinterpret_cast<HeaderRecordEx*>(bytes.data())), HostUnknownFormat);
        EXPECT_EQ(Plugin().readHeaderExW(handle, reinterpret_cast<HeaderRecordExW*>(bytes.data())),
                  HostUnknownFormat);
        EXPECT_EQ(bytes, untouched);
    }
}

struct ListedEntry {
    std::string name;
    uint64_t size;
};

TEST(Listing, NamesAndSizesInDocumentOrderThenTheEnd) {
    ScratchFolder folder;
    std::filesystem::path pdf = folder.WritePdf(
        "mixed.pdf", {{12, "\xFF\xD8\xFF\xE0 jpeg", ""},
                      {13, "this is not zlib data", " /Filter /FlateDecode"},
                      {123456789, "plain", ""},
                      {5, "", ""},
                      {5, "again", ""},
                      {99, "%PDF-1.4 inner", ""}});
    const ListedEntry expected[] = {
        {"object-stream-00000012.jpg", 9},
        {"object-stream-123456789.dat", 5},
        {"object-stream-00000005.dat", 0},
        {"object-stream-00000005.dat", 5},
        {"object-stream-00000099.pdf", 14},
    };
    OpenedArchive archive(pdf);
    for (const ListedEntry& entry : expected) {
        HeaderRecordExW record{};
        ASSERT_EQ(Plugin().readHeaderExW(archive.Handle(), &record), HostOk) << entry.name;
        EXPECT_EQ(Narrow(record.entryName), entry.name);
        EXPECT_EQ(record.unpackedSize | uint64_t{record.unpackedSizeHigh} << 32, entry.size) << entry.name;
    }
    // Once at the end, every record kind keeps answering the end.
    for (int round = 0; round < 2; ++round) {
        HeaderRecord narrow{};
        HeaderRecordEx extended{};
        HeaderRecordExW wide{};
        EXPECT_EQ(Plugin().readHeaderExW(archive.Handle(), &wide), HostEndArchive);
        EXPECT_EQ(Plugin().readHeader(archive.Handle(), &narrow), HostEndArchive);
        EXPECT_EQ(Plugin().readHeaderEx(archive.Handle(), &extended), HostEndArchive);
    }
    EXPECT_EQ(archive.Close(), HostOk);
}

// Producers write UTF-16 strings into dictionaries as literal bytes, NUL
// bytes and all (LuaMetaTeX's /Creator, for one); keys after them count.
TEST(Listing, KeysAfterBinaryStringsInTheDictionaryCount) {
    using namespace std::literals;
    struct Case {
        const char* label;
        std::string dictionaryExtra;
        std::string name;
        std::string bytes;
    } cases[] = {
        {"filter after a UTF-16 string", std::string(" /Creator (\xfe\xff\0L\0u\0a) /Filter /ASCIIHexDecode"sv),
         "object-stream-00000004.dat", "Hello"},
        {"filter after a nested dictionary with a NUL", std::string(" /Info <</T (\0\0)>> /Filter /AHx"sv),
         "object-stream-00000004.dat", "Hello"},
        {"XML subtype after a NUL", std::string(" /Title (\0) /Subtype /XML /Filter /AHx"sv),
         "object-stream-00000004.xml", "Hello"},
    };
    for (const Case& c : cases) {
        ScratchFolder folder;
        OpenedArchive archive(folder.WritePdf("binary.pdf", {{4, "48656C6C6F>", c.dictionaryExtra}}));
        HeaderRecordExW record{};
        ASSERT_EQ(Plugin().readHeaderExW(archive.Handle(), &record), HostOk) << c.label;
        EXPECT_EQ(Narrow(record.entryName), c.name) << c.label;
        void* block = nullptr;
        ASSERT_EQ(Plugin().processFileW(archive.Handle(), HostExtractToMemory, reinterpret_cast<WCHAR*>(&block),
                                        record.entryName),
                  HostOk)
            << c.label;
        uint64_t length = 0;
        std::memcpy(&length, block, sizeof length);
        EXPECT_EQ(std::string(static_cast<const char*>(block) + sizeof length, length), c.bytes) << c.label;
        FreeExtractBlock(block);
    }
}

TEST(Listing, DocumentWithoutStreamsEndsAtOnceAndStillCloses) {
    ScratchFolder folder;
    std::filesystem::path pdf = folder.Path() / "empty.pdf";
    WriteWholeFile(pdf, "%PDF-1.7\n1 0 obj\n<</Type /Catalog>>\nendobj\n%" + std::string(800, 'p') + "\n%%EOF\n");
    OpenedArchive archive(pdf);
    HeaderRecord record{};
    EXPECT_EQ(Plugin().readHeader(archive.Handle(), &record), HostEndArchive);
    EXPECT_EQ(archive.Close(), HostOk);
}

}  // namespace
