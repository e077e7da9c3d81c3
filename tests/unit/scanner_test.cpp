#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "decode/filter_list.h"
#include "document/archive.h"
#include "document/decode_pool.h"
#include "document/open.h"
#include "document/scanner.h"
#include "tests/support/archive_in_memory.h"
#include "tests/unit/test_allocator.h"

namespace {

struct Listed {
    uint32_t objectNumber;
    std::string data;

    bool operator==(const Listed& other) const = default;
};

void PrintTo(const Listed& listed, std::ostream* out) {
    *out << listed.objectNumber << ": \"" << testing::PrintToString(listed.data) << "\"";
}

// An archive over `body` as its whole body, as an open makes it.
class ScannedDocument {
public:
    explicit ScannedDocument(const std::string& body) : body_(body), archive_(ArchiveInMemory(body)) {}

    Archive& Opened() { return *archive_; }
    uint64_t ScanOffset() const { return static_cast<uint64_t>(archive_->scan.position - archive_->body.Data()); }

    // Makes the entries on `threads` threads and hands every one out.
    std::vector<Listed> ListAll(uint32_t threads = 1) {
        archive_ = ListedInMemory(body_, threads, UINT64_MAX);
        std::vector<Listed> listed;
        for (int64_t row; (row = HandOutNextEntry(*archive_)) >= 0;) {
            const EntryRow& entry = archive_->entries[static_cast<size_t>(row)];
            EXPECT_TRUE(entry.kept) << "every entry fits the budget";
            // No filter: the entry views the archive's body.
            if (ParseFilterList(EntryDictionary(entry)).count == 0) {
                EXPECT_EQ(entry.keptBytes, entry.storedBegin);
            }
            listed.push_back({entry.objectNumber, std::string(reinterpret_cast<const char*>(entry.keptBytes),
                                                              static_cast<size_t>(entry.decodedSize))});
        }
        EXPECT_EQ(HandOutNextEntry(*archive_), -1);
        return listed;
    }

private:
    std::string body_;
    std::unique_ptr<Archive> archive_;
};

struct ScanCase {
    const char* label;
    std::string body;
    std::vector<Listed> expected;
};

TEST(ObjectScanner, Forms) {
    const std::string tail = "\nendstream\nendobj\n";
    const ScanCase cases[] = {
        {"CR LF throughout", "1 0 obj\r\n<</Length 5>>\r\nstream\r\nHELLO\r\nendstream\r\nendobj\r\n", {{1, "HELLO"}}},
        {"header line ending at <<", "12 0 obj<</Length 3>>stream\nabc" + tail, {{12, "abc"}}},
        {"obj without a space", "4 0obj\n<</Length 3>>\nstream\nabc" + tail, {{4, "abc"}}},
        {"space after obj, then <<", "3 0 obj <</Length 3>>\nstream\nabc" + tail, {{3, "abc"}}},
        {"spaces and a tab after obj, then CR LF", "3 0 obj \t \r\n<</Length 3>>\nstream\nabc" + tail, {{3, "abc"}}},
        {"other text after obj", "3 0 obj x\n<</Length 3>>\nstream\nabc" + tail, {}},
        {"word run on from obj", "3 0 objx\n<</Length 3>>\nstream\nabc" + tail, {}},
        {"no generation number", "3 obj\n<</Length 3>>\nstream\nabc" + tail, {}},
        {"255-character header line", "9 0 obj" + std::string(248, ' ') + "\n<</Length 3>>\nstream\nabc" + tail,
         {{9, "abc"}}},
        {"256-character header line", "9 0 obj" + std::string(249, ' ') + "\n<</Length 3>>\nstream\nabc" + tail, {}},
        {"blank line before the dictionary", "2 0 obj\n\n<</Length 3>>\nstream\nabc" + tail, {}},
        {"nested dictionary copied whole", "2 0 obj\n<</DecodeParms<</Columns 4>>/Length 4>>\nstream\nabc" + tail,
         {{2, "abc\n"}}},
        {"spaces then CR LF before stream", "2 0 obj\n<</Length 3>>   \r\nstream\nabc" + tail, {{2, "abc"}}},
        {"tab before stream", "2 0 obj\n<</Length 3>>\t\r\nstream\nabc" + tail, {}},
        {"space after stream", "2 0 obj\n<</Length 3>>\nstream \nabc" + tail, {}},
        {"stream then lone CR", "2 0 obj\n<</Length 3>>\nstream\rabc" + tail, {{2, "abc"}}},
        {"Length 0 and endstream at the data start", "2 0 obj\n<</Length 0>>\nstream\nendstream\nendobj\n", {{2, ""}}},
        {"too few bytes after the dictionary", "2 0 obj\n<</Length 0>>stream\n", {}},
        {"object without a stream, then a stream",
         "3 0 obj\n<</Type /Catalog>>\nendobj\n4 0 obj\n<</Length 2>>\nstream\nxy" + tail, {{4, "xy"}}},
        {"failing filter between two good streams",
         "1 0 obj\n<</Length 1>>\nstream\na" + tail + "2 0 obj\n<</Length 4/Filter/FlateDecode>>\nstream\njunk" + tail +
             "3 0 obj\n<</Length 1>>\nstream\nc" + tail,
         {{1, "a"}, {3, "c"}}},
        {"negative object number kept as its bits", "-1 0 obj\n<</Length 1>>\nstream\nz" + tail, {{0xFFFFFFFFu, "z"}}},
        {"obj inside a data line, then a header", "x 1 0 obj\n\r7 0 obj\n<</Length 1>>\nstream\nz" + tail, {{7, "z"}}},
        {"two headers on one line", "1 0 obj 2 0 obj\n<</Length 1>>\nstream\nz" + tail, {}},
        {"header after a dictionary, on its line",
         "3 0 obj\n<</Type/X>> 4 0 obj\n<</Length 1>>\nstream\nz" + tail, {{4, "z"}}},
        {"header after a long binary line", std::string(300, '\x01') + "\n5 0 obj\n<</Length 1>>\nstream\nz" + tail,
         {{5, "z"}}},
    };
    for (const ScanCase& c : cases) {
        ScannedDocument document(c.body);
        EXPECT_EQ(document.ListAll(), c.expected) << c.label;
    }
}

// Streams whose /Length does not lead to "endstream": the search decides.
TEST(ObjectScanner, SearchForTheStreamEnd) {
    const std::string head = "1 0 obj\n<</Length 99>>\nstream\n";
    const std::string after = "endstream\nendobj\n";
    const ScanCase cases[] = {
        {"CR LF before endstream", head + "HELLO\r\n" + after, {{1, "HELLO"}}},
        {"LF before endstream", head + "HELLO\n" + after, {{1, "HELLO"}}},
        {"CR before endstream", head + "HELLO\r" + after, {{1, "HELLO"}}},
        {"nothing before endstream", head + "HELLO" + after, {{1, "HELLO"}}},
        {"LF CR: only the CR goes", head + "HELLO\n\r" + after, {{1, "HELLO\n"}}},
        {"endstream at the data start", head + after, {{1, ""}}},
        {"CR LF that is the whole data", head + "\r\n" + after, {{1, ""}}},
        {"Length 12 0 R pointing elsewhere", "1 0 obj\n<</Length 12 0 R>>\nstream\nHELLO\r\n" + after, {{1, "HELLO"}}},
        {"negative Length", "1 0 obj\n<</Length -3>>\nstream\nHELLO\n" + after, {{1, "HELLO"}}},
        {"missing Length", "1 0 obj\n<<>>\nstream\nHELLO\n" + after, {{1, "HELLO"}}},
        {"no endstream at all", head + "HELLO\nendobj\n" + std::string(20, '\n'), {}},
        {"endstream too near the end", head + "HELLO\nendstream", {}},
        // The scan goes on from the data start, so a header line inside the
        // data is an object too; both searches end at the same "endstream".
        {"object inside unverified data", "1 0 obj\n<<>>\nstream\n2 0 obj\n<<>>\nstream\nxy\n" + after,
         {{1, "2 0 obj\n<<>>\nstream\nxy"}, {2, "xy"}}},
        {"wrong lengths before a good one",
         head + "a\n" + head + "b\n" + "3 0 obj\n<</Length 1>>\nstream\nc\n" + after,
         {{1, "a\n1 0 obj\n<</Length 99>>\nstream\nb\n3 0 obj\n<</Length 1>>\nstream\nc"},
          {1, "b\n3 0 obj\n<</Length 1>>\nstream\nc"},
          {3, "c"}}},
    };
    // Decoded on several threads, the entries come in the same order.
    for (uint32_t threads : {1u, 3u}) {
        for (const ScanCase& c : cases) {
            ScannedDocument document(c.body);
            EXPECT_EQ(document.ListAll(threads), c.expected) << c.label << " on " << threads << " threads";
        }
    }
}

TEST(ObjectScanner, WhereTheScanResumes) {
    struct ResumeCase {
        const char* label;
        std::string body;
        std::string before;  // the body up to where the scan stands after the first entry
    } cases[] = {
        {"verified: after endstream", "1 0 obj\r\n<</Length 5>>\r\nstream\r\nHELLO\r\nendstream\r\nendobj\r\n",
         "1 0 obj\r\n<</Length 5>>\r\nstream\r\nHELLO\r\nendstream"},
        {"searched: the data start", "1 0 obj\r\n<</Length 12 0 R>>\r\nstream\r\nHELLO\r\nendstream\r\nendobj\r\n",
         "1 0 obj\r\n<</Length 12 0 R>>\r\nstream\r\n"},
        {"searched, endstream at the data start: passed over",
         "1 0 obj\n<</Length 5>>\nstream\nendstream\nendobj\n2 0 obj\n",
         "1 0 obj\n<</Length 5>>\nstream\nendstream\nendobj\n"},
    };
    for (const ResumeCase& c : cases) {
        ScannedDocument document(c.body);
        FoundStream found{};
        ASSERT_TRUE(FindNextStream(document.Opened().scan, found)) << c.label;
        EXPECT_EQ(document.ScanOffset(), c.before.size()) << c.label;
    }
}

TEST(ObjectScanner, RecordsEachStreamsGeneration) {
    ScannedDocument document("7 0 obj\n<</Length 1>>\nstream\nA\nendstream\nendobj\n"
                             "8 65535 obj <</Length 1>>\nstream\nB\nendstream\nendobj\n"
                             "9\t3 obj\n<</Length 1>>\nstream\nC\nendstream\nendobj\n");
    const uint32_t expected[][2] = {{7, 0}, {8, 65535}, {9, 3}};
    for (const auto& object : expected) {
        FoundStream found{};
        ASSERT_TRUE(FindNextStream(document.Opened().scan, found));
        EXPECT_EQ(found.objectNumber, object[0]);
        EXPECT_EQ(found.generation, object[1]);
    }
}

// Out of memory at each allocation of a listing in turn: the allocation is
// tried again, or the table ends with OutOfMemory after the entries made so
// far, never as if the document ended there; or the index by number is
// missing and the lookups walk the table, or a kept block is missing and
// nothing but memory changes; either way the rows and the lookups agree.
TEST(ObjectScanner, OutOfMemoryNeverEndsTheListingSilently) {
    if (!allocationFailureAvailable) GTEST_SKIP() << "allocations cannot be made to fail in this build";
    const std::string body =
        "1 0 obj\n<</Length 1>>\nstream\na\nendstream\nendobj\n"
        "2 0 obj\n<</Length 1>>\nstream\nb\nendstream\nendobj\n"
        "3 0 obj\n<</Length 1>>\nstream\nc\nendstream\nendobj\n";
    for (long failAt = 0;; ++failAt) {
        ScannedDocument document(body);
        Archive& archive = document.Opened();
        archive.settings = DecodeSettings{1, UINT64_MAX};
        archive.budget.TakeWhatIsLeft(UINT64_MAX);
        FailAllocationAfter(failAt);
        MakeEntries(archive);
        const bool failed = AllocationFailed();
        FailAllocationAfter(-1);

        // The rows made are the first ones in scan order, each found by its number once handed out.
        const char* const data[] = {"a", "b", "c"};
        for (size_t row = 0; row < archive.entries.size(); ++row) {
            EXPECT_EQ(archive.entries[row].objectNumber, row + 1) << failAt;
            EXPECT_EQ(std::string(reinterpret_cast<const char*>(archive.entries[row].keptBytes), 1), data[row]) << failAt;
            EXPECT_EQ(HandOutNextEntry(archive), static_cast<int64_t>(row)) << failAt;
            EXPECT_EQ(FindListedEntry(archive, static_cast<uint32_t>(row + 1)), static_cast<int64_t>(row)) << failAt;
        }
        EXPECT_EQ(HandOutNextEntry(archive), -1) << failAt;
        if (archive.entries.size() < 3) {
            EXPECT_EQ(archive.tableStatus, Status::OutOfMemory) << failAt;
        }
        if (!failed) {
            EXPECT_EQ(archive.entries.size(), 3u);
            EXPECT_EQ(archive.tableStatus, Status::End);
            break;
        }
    }
}

std::string ReadFixture(const std::string& name) {
    std::string text;
    std::FILE* file = std::fopen((std::string(VELLUM_SOURCE_DIR) + "/tests/data/" + name).c_str(), "rb");
    if (file == nullptr) return text;
    char chunk[4096];
    for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, file)) != 0;) text.append(chunk, n);
    std::fclose(file);
    return text;
}

// A page written by Ghostscript: its content stream has an indirect /Length
// and "endstream" right after the last data byte, and its XML metadata follows.
// The expected bytes are qpdf's (--filtered-stream-data, --raw-stream-data).
TEST(ObjectScanner, GhostscriptPageListsExactlyItsStreams) {
    const std::string name = "ghostscript-endstream-after-data";
    const std::string path = std::string(VELLUM_SOURCE_DIR) + "/tests/data/" + name + ".pdf";
    const std::basic_string<WCHAR> widePath(path.begin(), path.end());
    std::unique_ptr<Archive> archive;
    ASSERT_EQ(OpenDocument(widePath.c_str(), OpenRequest{DecodeSettings{1, UINT64_MAX}, ""}, archive).status, Status::Ok);
    std::vector<Listed> listed;
    for (int64_t row; (row = HandOutNextEntry(*archive)) >= 0;) {
        const EntryRow& entry = RowAt(*archive, static_cast<uint32_t>(row));
        listed.push_back({entry.objectNumber, std::string(reinterpret_cast<const char*>(entry.keptBytes),
                                                          static_cast<size_t>(entry.decodedSize))});
    }
    const std::vector<Listed> expected = {{5, ReadFixture(name + ".5.txt")}, {9, ReadFixture(name + ".9.xml")}};
    ASSERT_FALSE(expected[0].data.empty());
    ASSERT_FALSE(expected[1].data.empty());
    EXPECT_EQ(listed, expected);
}

}  // namespace
