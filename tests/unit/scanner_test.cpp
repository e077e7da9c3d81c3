#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <sstream>
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
        {"blank line before the dictionary", "2 0 obj\n\n<</Length 3>>\nstream\nabc" + tail, {{2, "abc"}}},
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

// The dictionary ends where PDF's syntax ends it, and what may stand before
// it is what the syntax allows between tokens.
TEST(ObjectScanner, ReadsDictionariesAsPdf) {
    const std::string tail = "\nendstream\nendobj\n";
    const std::string good = "9 0 obj\n<</Length 1>>\nstream\nz" + tail;
    const ScanCase cases[] = {
        // pdftk writes the header, an empty line, then the dictionary.
        {"pdftk's empty line", "2 0 obj\n\n<</Length 3>>\nstream\nabc" + tail, {{2, "abc"}}},
        {"every white space and a comment line",
         "2 0 obj\r\n \t\f" + std::string(1, '\0') + "\r\n% a comment <<\r\n<</Length 3>>\nstream\nabc" + tail,
         {{2, "abc"}}},
        {"a comment after obj", "2 0 obj % written by hand\n<</Length 3>>\nstream\nabc" + tail, {{2, "abc"}}},
        {"a line of other text before <<", "2 0 obj\nx\n<</Length 3>>\nstream\nabc" + tail, {}},
        // A link destination of the R manual: the string holds "<<".
        {"a string holding << before a stream",
         "1 0 obj\n<</D (Rfn.<<.Rdash.)>>\nendobj\n" + good, {{9, "z"}}},
        {"a string holding << in the stream's own dictionary",
         "2 0 obj\n<</Length 3/Name (Rfn.<<.Rdash.)>>\nstream\nabc" + tail, {{2, "abc"}}},
        {"a string holding >> and an escaped parenthesis",
         "2 0 obj\n<</T (a\\)>>(b)) /Length 3>>\nstream\nabc" + tail, {{2, "abc"}}},
        {"a hexadecimal string right before >>", "2 0 obj\n<</Length 3/Foo <ABCD>>>\nstream\nabc" + tail,
         {{2, "abc"}}},
        {"a comment holding >>", "2 0 obj\n<</Length 3 % >> not yet\n>>\nstream\nabc" + tail, {{2, "abc"}}},
        {"a stray parenthesis and bracket", "2 0 obj\n<</Length 3 ) ] >>\nstream\nabc" + tail, {{2, "abc"}}},
        // GraphicsMagick writes an unreferenced object whose dictionary never closes.
        {"a dictionary that never closes, then a good object", "11 0 obj\n<<\n\nendstream\nendobj\n" + good,
         {{9, "z"}}},
        {"a string that never closes, then a good object", "1 0 obj\n<</T (abc\nendobj\n" + good, {{9, "z"}}},
        {"an unclosed dictionary on the header line", "1 0 obj << /A [1 2\n" + good, {{9, "z"}}},
        {"a broken hexadecimal string, then a good object", "1 0 obj\n<</ID <12 zz>>>\nendobj\n" + good,
         {{9, "z"}}},
    };
    for (const ScanCase& c : cases) {
        ScannedDocument document(c.body);
        EXPECT_EQ(document.ListAll(), c.expected) << c.label;
    }
}

// A /Length "N G R" is the integer object N G, wherever the body defines it,
// checked against "endstream" as a direct length is.
TEST(ObjectScanner, FollowsIndirectLengths) {
    const std::string holdingKeyword = "ab\nendstream\ncd";
    const std::string stream = "1 0 obj\n<</Length 2 0 R>>\nstream\n";
    const std::string after = "\nendstream\nendobj\n";
    const ScanCase cases[] = {
        {"data holding endstream, length object after the stream",
         stream + holdingKeyword + after + "2 0 obj\n15\nendobj\n", {{1, holdingKeyword}}},
        {"length object before the stream", "2 0 obj 15 endobj\n" + stream + holdingKeyword + after,
         {{1, holdingKeyword}}},
        {"a final line end that belongs to the data", stream + "abc\n" + after + "2 0 obj\n4\nendobj\n",
         {{1, "abc\n"}}},
        {"a final CR LF that belongs to the data", stream + "abc\r\n" + after + "2 0 obj\n5\nendobj\n",
         {{1, "abc\r\n"}}},
        {"the last definition counts", "2 0 obj 2 endobj\n" + stream + "abc\n" + after + "2 0 obj\n4\nendobj\n",
         {{1, "abc\n"}}},
        // Without an integer object the rule stays: its number, then the search.
        {"no such object", stream + "abc" + after, {{1, "abc"}}},
        {"object of another generation", stream + "abc" + after + "2 1 obj\n4\nendobj\n", {{1, "abc"}}},
        {"object that is no integer", stream + "abc" + after + "2 0 obj\n<</A 4>>\nendobj\n", {{1, "abc"}}},
        {"integer that does not lead to endstream", stream + "abc" + after + "2 0 obj\n1\nendobj\n",
         {{1, "abc"}}},
        {"integer past the end", stream + "abc" + after + "2 0 obj\n999999\nendobj\n", {{1, "abc"}}},
    };
    for (uint32_t threads : {1u, 3u}) {
        for (const ScanCase& c : cases) {
            ScannedDocument document(c.body);
            EXPECT_EQ(document.ListAll(threads), c.expected) << c.label << " on " << threads << " threads";
        }
    }
}

struct ProblemCase {
    const char* label;
    std::string body;
    std::vector<std::string> problems;  // "trouble number at-offset [other]"
};

std::string Describe(const ScanProblem& problem) {
    const char* const trouble[] = {"never-closes", "file-ends", "runs-over"};
    std::ostringstream text;
    text << trouble[static_cast<int>(problem.trouble)] << ' ' << problem.objectNumber << ' ' << problem.offset;
    if (problem.trouble == ScanTrouble::DataRunsOverHeader) text << ' ' << problem.otherNumber;
    return text.str();
}

// What the scan tells `vellum check -v` about the objects it could not take whole.
TEST(ObjectScanner, ReportsWhatItCouldNotTakeWhole) {
    const std::string good = "9 0 obj\n<</Length 1>>\nstream\nz\nendstream\nendobj\n";
    const std::string afterGood = std::to_string(good.size());
    const ProblemCase cases[] = {
        {"nothing wrong", good + good, {}},
        {"a dictionary that never closes", "3 0 obj\n<< /A 1\nendobj\n" + good, {"never-closes 3 0"}},
        {"the file ends inside a dictionary", good + "4 0 obj\n<< /A (", {"file-ends 4 " + afterGood}},
        {"the file ends inside a stream", good + "4 0 obj\n<</Length 99>>\nstream\nabc\n", {"file-ends 4 " + afterGood}},
        {"a missing endstream", "4 0 obj\n<</Length 99>>\nstream\nabc\nendobj\n" + good, {"runs-over 4 0 9"}},
        {"an endstream found past another object",
         "4 0 obj\n<</Length 99>>\nstream\nabc\nendobj\n5 0 obj\n<<>>\nendobj\n6 0 obj\n<<>>\nstream\nx\nendstream\n",
         {"runs-over 4 0 5"}},
        {"a wrong length whose search ends well", "4 0 obj\n<</Length 99>>\nstream\nabc\nendstream\nendobj\n" + good,
         {}},
    };
    for (const ProblemCase& c : cases) {
        ScannedDocument document(c.body);
        ScanReport report;
        document.Opened().scan.report = &report;
        FoundStream found{};
        while (FindNextStream(document.Opened().scan, found)) {
        }
        std::vector<std::string> told;
        for (const ScanProblem& problem : report.problems) told.push_back(Describe(problem));
        EXPECT_EQ(told, c.problems) << c.label;
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
