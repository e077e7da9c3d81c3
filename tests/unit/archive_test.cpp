#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <string>

#include "document/archive.h"
#include "document/decode_pool.h"
#include "document/open.h"
#include "platform/handle_guards.h"
#include "plugin/listing.h"

namespace {

using WideString = std::basic_string<WCHAR>;

const uint8_t* Bytes(const std::string& text) { return reinterpret_cast<const uint8_t*>(text.data()); }

WideString Widen(const std::string& text) { return WideString(text.begin(), text.end()); }

std::string Padding(size_t n) { return std::string(n, '.'); }

// A file under the test's temporary folder, removed at the end of the scope.
class TemporaryFile {
public:
    TemporaryFile(const std::string& name, const std::string& bytes) : path_(testing::TempDir() + name) {
        std::FILE* file = std::fopen(path_.c_str(), "wb");
        EXPECT_NE(file, nullptr);
        if (file == nullptr) return;
        std::fwrite(bytes.data(), 1, bytes.size(), file);
        std::fclose(file);
    }
    ~TemporaryFile() { std::remove(path_.c_str()); }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    WideString Wide() const { return Widen(path_); }
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

// The FILETIME of a time given in seconds since 1970 UTC.
FILETIME FileTimeOf(int64_t unixSeconds) {
    const uint64_t ticks = static_cast<uint64_t>(unixSeconds + FileTimeSecondsBefore1970) * FileTimeTicksPerSecond;
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

// The time stamp a header carries is what the host reads on this system: a
// local DOS date and time on Windows, seconds since 1970 on Linux.
TEST(HeaderTimeStamp, IsWhatTheHostReadsOnThisSystem) {
    const int64_t unixSeconds = 1686839445;  // 15 June 2023 14:30:45 UTC
#ifdef _WIN32
    // The C runtime's local time of the same instant, packed by the DOS layout.
    const std::time_t instant = static_cast<std::time_t>(unixSeconds);
    const std::tm local = *std::localtime(&instant);
    const uint32_t expected = static_cast<uint32_t>(local.tm_year + 1900 - 1980) << 25 |
                              static_cast<uint32_t>(local.tm_mon + 1) << 21 | static_cast<uint32_t>(local.tm_mday) << 16 |
                              static_cast<uint32_t>(local.tm_hour) << 11 | static_cast<uint32_t>(local.tm_min) << 5 |
                              static_cast<uint32_t>(local.tm_sec / 2);
    EXPECT_EQ(HeaderTimeStamp(FileTimeOf(unixSeconds)), expected);
    // East of UTC the zero file time is still 1 January 1601; west of it there
    // is no local time and the UTC time stands in: the date is 1601-01-01 either way.
    EXPECT_EQ(HeaderTimeStamp(FILETIME{0, 0}) >> 16, 0x0A21u);
#else
    EXPECT_EQ(HeaderTimeStamp(FileTimeOf(unixSeconds)), 1686839445u);
    EXPECT_EQ(HeaderTimeStamp(FILETIME{0, 0}), 0u) << "before 1970 is pinned to the field's start";
    EXPECT_EQ(HeaderTimeStamp(FileTimeOf(INT64_C(0x100000000))), UINT32_MAX) << "after 2106 to its end";
#endif
}

struct BodyCase {
    const char* label;
    std::string file;
    NotPdfReason reason;
    std::string body;  // the body kept, when there is one
};

TEST(FindDocumentBody, Table) {
    const std::string body = "1 0 obj\n" + Padding(800) + "\n";
    const BodyCase cases[] = {
        {"marker ends the file", "%PDF-1.4\n" + body + "%%EOF", NotPdfReason::None, body},
        {"marker then CR LF", "%PDF-1.7\r\n" + body + "%%EOF\r\n", NotPdfReason::None, body},
        {"any version digit", "%PDF-1.x\r" + body, NotPdfReason::None, body},
        {"marker starting 36 bytes from the end", "%PDF-1.4\n" + body + "%%EOF" + Padding(31), NotPdfReason::None, body},
        {"marker starting 37 bytes from the end is body", "%PDF-1.4\n" + body + "%%EOF" + Padding(32),
         NotPdfReason::None, body + "%%EOF" + Padding(32)},
        {"the later of two markers", "%PDF-1.4\n" + body + "%%EOF\n%%EOF\n", NotPdfReason::None, body + "%%EOF\n"},
        {"first line ending at <<", "%PDF-1.4<<" + body, NotPdfReason::None, "<<" + body},
        {"version 2 is told apart", "%PDF-2.0\n" + body, NotPdfReason::Pdf2, ""},
        {"lower-case header refused", "%pdf-1.4\n" + body, NotPdfReason::NoHeader, ""},
        {"no line end anywhere", "%PDF-1.7" + Padding(900), NotPdfReason::NoBody, ""},
        {"marker right after the first line", "%PDF-1.4\n%%EOF" + Padding(20), NotPdfReason::NoBody, ""},
    };
    for (const BodyCase& c : cases) {
        uint64_t start = 0;
        uint64_t end = 0;
        EXPECT_EQ(FindDocumentBody(Bytes(c.file), c.file.size(), start, end), c.reason) << c.label;
        if (c.reason == NotPdfReason::None) {
            EXPECT_EQ(c.file.substr(start, end - start), c.body) << c.label;
        }
    }
}

// Each cause of a refusal travels up unchanged, the system's code with an
// I/O error, so that the command line can name it.
TEST(OpenDocument, OutcomesNameTheirCause) {
    const std::string head = "%PDF-1.4\n";
    const std::string tail = "%%EOF";
    const TemporaryFile smallest("vellum-open-768.pdf", head + Padding(768 - head.size() - tail.size()) + tail);
    const TemporaryFile tooSmall("vellum-open-767.pdf", head + Padding(767 - head.size() - tail.size()) + tail);
    const TemporaryFile later("vellum-open-pdf2.pdf", "%PDF-2.0\n" + Padding(800) + tail);
    const TemporaryFile text("vellum-open-text.pdf", Padding(1000));
    struct OpenCase {
        const char* label;
        WideString path;
        Status status;
        NotPdfReason reason;
        uint32_t systemError;
    } cases[] = {
        {"768 bytes open", smallest.Wide(), Status::Ok, NotPdfReason::None, 0},
        {"767 bytes are too small", tooSmall.Wide(), Status::NotPdf, NotPdfReason::TooSmall, 0},
        {"a PDF 2.0 file", later.Wide(), Status::NotPdf, NotPdfReason::Pdf2, 0},
        {"text", text.Wide(), Status::NotPdf, NotPdfReason::NoHeader, 0},
#ifndef _WIN32
        {"a missing file", Widen(testing::TempDir() + "vellum-no-such-file.pdf"), Status::IoError, NotPdfReason::None,
         ENOENT},
        {"a directory", Widen(testing::TempDir()), Status::IoError, NotPdfReason::None, EISDIR},
#endif
    };
    for (const OpenCase& c : cases) {
        const OpenOutcome checked = CheckDocument(c.path.c_str());
        EXPECT_EQ(checked.status, c.status) << c.label;
        EXPECT_EQ(checked.reason, c.reason) << c.label;
        EXPECT_EQ(checked.systemError, c.systemError) << c.label;
        std::unique_ptr<Archive> archive;
        const OpenOutcome opened = OpenDocument(c.path.c_str(), OpenRequest{DecodeSettings{1, 0}, ""}, archive);
        EXPECT_EQ(opened.status, c.status) << c.label;
        EXPECT_EQ(opened.reason, c.reason) << c.label;
        EXPECT_EQ(archive != nullptr, c.status == Status::Ok) << c.label;
    }
    // Every handle is closed again: the file can be removed at once, on Windows too.
    EXPECT_TRUE(std::filesystem::remove(smallest.Path()));
}

// The body is read in requests of a bounded size: ranges that start, end and
// run across request edges come out whole, and a range past the end fails.
TEST(ReadFileRange, RangesAcrossRequestsComeOutWhole) {
    constexpr uint64_t chunk = 65536;
    std::string bytes(3 * chunk + 1234, '\0');
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7 + i / 251);
    const TemporaryFile stored("vellum-read-range.bin", bytes);
    FileHandle file(CreateFileW(stored.Wide().c_str(), FILE_READ_DATA, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
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
}

// Three stream objects around an object without a stream and one whose
// filter fails, and a second object 5 further on.
const std::string ThreeStreams =
    "%PDF-1.4\n"
    "5 0 obj\n<</Length 3>>\nstream\nabc\nendstream\nendobj\n"
    "6 0 obj\n<</Type/Catalog>>\nendobj\n"
    "7 0 obj\n<</Length 4/Filter/FlateDecode>>\nstream\njunk\nendstream\nendobj\n"
    "8 0 obj\n<</Length 2>>\nstream\nde\nendstream\nendobj\n"
    "5 0 obj\n<</Length 1>>\nstream\nf\nendstream\nendobj\n%" + Padding(800) + "\n%%EOF\n";

TEST(EntryTable, RowsInScanOrderFoundByNumberOnceHandedOut) {
    const TemporaryFile file("vellum-three-streams.pdf", ThreeStreams);
    std::unique_ptr<Archive> archive;
    ASSERT_EQ(OpenDocument(file.Wide().c_str(), OpenRequest{DecodeSettings{1, UINT64_MAX}, ""}, archive).status,
              Status::Ok);
    const uint32_t numbers[] = {5, 8, 5};
    const char* const bytes[] = {"abc", "de", "f"};
    for (uint32_t row = 0; row < 3; ++row) {
        // Found by its number once handed out, not before.
        EXPECT_EQ(FindListedEntry(*archive, numbers[row]), numbers[row] == 5 && row == 2 ? 0 : -1);
        ASSERT_EQ(HandOutNextEntry(*archive), row) << "the failed stream is left out";
        const EntryRow& entry = RowAt(*archive, row);
        EXPECT_EQ(entry.objectNumber, numbers[row]);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(entry.keptBytes), entry.decodedSize), bytes[row]);
        EXPECT_EQ(FindListedEntry(*archive, entry.objectNumber), entry.objectNumber == 5 ? 0 : int64_t{row});
    }
    EXPECT_EQ(HandOutNextEntry(*archive), -1);
    EXPECT_EQ(archive->tableStatus, Status::End);
    EXPECT_EQ(archive->entries.size(), 3u);
    EXPECT_EQ(FindListedEntry(*archive, 7), -1);
    EXPECT_EQ(FindListedEntry(*archive, 8), 1) << "through the index, once the table has ended";
}

}  // namespace
