// The memory budget: which entries keep their decoded bytes (decided by their
// sizes in scan order alone, so the same ones whatever the number of
// threads), and the bytes an extraction gets for the others, decoded again
// or ahead by helpers.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "document/decode_pool.h"
#include "document/decoded_ahead.h"
#include "document/extraction.h"
#include "document/kept_bytes.h"
#include "document/open.h"
#include "tests/support/pdf_text.h"

namespace {

std::string Hex(const std::string& text) {
    static const char digits[] = "0123456789ABCDEF";
    std::string hex;
    for (unsigned char c : text) {
        hex += digits[c >> 4];
        hex += digits[c & 15];
    }
    return hex + ">";
}

// Entries decoded by ASCIIHex, around one that views the stored bytes and
// two at the size limit: one byte past it, and exactly at it.
const std::string PastTheLimit(KeptEntryLimit + 1, 'p');
const std::string AtTheLimit(KeptEntryLimit, 'l');
const std::vector<std::string> Decoded = {"sixsix", "five5", "view", PastTheLimit, "four", AtTheLimit, "333"};

std::string Document() {
    std::string text = "%PDF-1.4\n";
    for (size_t i = 0; i < Decoded.size(); ++i) {
        const bool view = Decoded[i] == "view";
        text += StreamObject(static_cast<int>(i + 1), view ? "<<>>" : "<</Filter/AHx>>", view ? Decoded[i] : Hex(Decoded[i]));
    }
    return text + "%" + std::string(800, '-') + "\n%%EOF\n";
}

// The document, written once, opened as an archive with the given settings.
class OpenedDocument {
public:
    OpenedDocument(uint32_t threads, uint64_t budget, bool holdAhead = true) {
        const std::string text = Document();
        std::FILE* file = std::fopen(Path().c_str(), "wb");
        EXPECT_NE(file, nullptr);
        if (file != nullptr) {
            std::fwrite(text.data(), 1, text.size(), file);
            std::fclose(file);
        }
        const std::string path = Path();
        const std::basic_string<WCHAR> wide(path.begin(), path.end());
        EXPECT_EQ(OpenDocument(wide.c_str(), OpenRequest{DecodeSettings{threads, budget, false, holdAhead}, ""}, archive_).status,
                  Status::Ok);
        // Every entry made, as a host that listed them all would have it.
        if (archive_ != nullptr) FinishEntries(*archive_);
    }
    ~OpenedDocument() { std::remove(Path().c_str()); }
    OpenedDocument(const OpenedDocument&) = delete;
    OpenedDocument& operator=(const OpenedDocument&) = delete;

    Archive& Opened() { return *archive_; }

private:
    // Its own name in each process: test runs of other builds may share the folder.
    static std::string Path() {
        static const std::string path = testing::TempDir() + "vellum-kept-bytes-" + std::to_string(std::random_device{}()) + ".pdf";
        return path;
    }
    std::unique_ptr<Archive> archive_;
};

std::string BytesOf(Archive& archive, uint32_t row) {
    std::string bytes(archive.entries[row].decodedSize, '\0');
    EXPECT_EQ(ExtractEntryToBlock(archive, row, reinterpret_cast<uint8_t*>(bytes.data())), Status::Ok);
    return bytes;
}

TEST(KeptBytes, DecidedBySizesInScanOrderWhateverTheThreads) {
    const uint64_t all = 6 + 5 + 4 + KeptEntryLimit + 3;
    struct Case {
        uint64_t budget;
        std::vector<bool> kept;  // per entry, in listing order
    } cases[] = {
        // The entry past the limit is never kept, and does not end the keeping.
        {all, {true, true, true, false, true, true, true}},
        // 6 fits and 5 does not: the keeping ends there; the view costs nothing.
        {10, {true, false, true, false, false, false, false}},
        {5, {false, false, true, false, false, false, false}},
        {0, {false, false, true, false, false, false, false}},
        // The entry at the limit is the last that fits.
        {all - 3, {true, true, true, false, true, true, false}},
    };
    for (const Case& c : cases) {
        for (uint32_t threads : {1u, 3u, 8u}) {
            OpenedDocument document(threads, c.budget);
            const Archive& archive = document.Opened();
            ASSERT_EQ(archive.entries.size(), Decoded.size());
            uint64_t kept = 0;
            for (size_t i = 0; i < Decoded.size(); ++i) {
                const EntryRow& row = archive.entries[i];
                const bool isKept = row.kept;
                EXPECT_EQ(isKept, c.kept[i]) << "budget " << c.budget << ", " << threads << " threads, entry " << i;
                EXPECT_EQ(row.decodedSize, Decoded[i].size());
                if (isKept) {
                    EXPECT_EQ(std::string(reinterpret_cast<const char*>(row.keptBytes), row.decodedSize), Decoded[i]);
                    // The unfiltered entry views the document and costs nothing.
                    if (Decoded[i] != "view") kept += row.decodedSize;
                } else {
                    EXPECT_EQ(row.keptBytes, nullptr);
                }
            }
            EXPECT_EQ(archive.keptBytes, kept);
            EXPECT_LE(kept, c.budget);
        }
    }
}

// With nothing kept, every extraction decodes; on several threads, helpers
// decode the next entries ahead, and an extraction out of order still gets
// its own bytes.
TEST(KeptBytes, ExtractionsGetEveryEntrysBytesInAnyOrder) {
    const std::vector<std::vector<uint32_t>> orders = {{0, 1, 2, 3, 4, 5, 6}, {6, 5, 4, 3, 2, 1, 0}, {1, 1, 0, 3, 2, 4, 4, 6}};
    for (uint32_t threads : {1u, 2u, 4u}) {
        for (const std::vector<uint32_t>& order : orders) {
            OpenedDocument document(threads, 0);
            ASSERT_EQ(document.Opened().entries.size(), Decoded.size());
            for (uint32_t row : order) {
                EXPECT_TRUE(BytesOf(document.Opened(), row) == Decoded[row]) << threads << " threads, entry " << row;
            }
        }
    }
}

// The entries in the queue of those decoded ahead, each checked against its bytes.
std::vector<uint32_t> QueuedAhead(Archive& archive) {
    std::vector<uint32_t> rows;
    for (const DecodedAhead& decoded : archive.decodedAhead) {
        rows.push_back(decoded.row);
        std::string bytes(Decoded[decoded.row].size(), '\0');
        EXPECT_EQ(decoded.count, (bytes.size() + AheadChunkBytes - 1) / AheadChunkBytes) << decoded.row;
        CopyAhead(archive, decoded, bytes.size(), reinterpret_cast<uint8_t*>(bytes.data()));
        EXPECT_TRUE(bytes == Decoded[decoded.row]) << decoded.row;
    }
    return rows;
}

// The entries that keep nothing are held ahead as they are made, whatever the
// threads: by the pool that makes them, or, when it does not hold them, by
// the helpers of an extraction, which decode the next ones while it writes.
TEST(KeptBytes, EntriesNotKeptAreHeldAheadOfTheirExtraction) {
    for (const bool poolHolds : {true, false}) {
        OpenedDocument document(2, 0, poolHolds);
        Archive& archive = document.Opened();
        EXPECT_EQ(QueuedAhead(archive).size(), poolHolds ? 6u : 0u);
        ASSERT_EQ(BytesOf(archive, 0), Decoded[0]);
        // The entries after the first whose bytes are not kept, in listing order.
        EXPECT_EQ(QueuedAhead(archive), (std::vector<uint32_t>{1, 3, 4, 5, 6})) << poolHolds;
        // Taking the fifth entry lets go of those before it, which the host passed over.
        ASSERT_EQ(BytesOf(archive, 4), Decoded[4]);
        EXPECT_EQ(QueuedAhead(archive), (std::vector<uint32_t>{5, 6})) << poolHolds;
    }
}

}  // namespace
