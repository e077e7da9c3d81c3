// The memory budget: which entries keep their decoded bytes (charged in scan
// order, so the same ones whatever the number of threads), and the bytes an
// extraction gets for the others, decoded again or ahead by helpers.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "decode/results.h"
#include "document/archive.h"
#include "document/decode_pool.h"
#include "document/entry_bytes.h"

namespace {

std::string StreamObject(int number, const std::string& dictionary, const std::string& data) {
    return std::to_string(number) + " 0 obj\n" + dictionary + "\nstream\n" + data + "\nendstream\nendobj\n";
}

std::string Hex(const std::string& text) {
    static const char digits[] = "0123456789ABCDEF";
    std::string hex;
    for (unsigned char c : text) {
        hex += digits[c >> 4];
        hex += digits[c & 15];
    }
    return hex + ">";
}

// Entries whose decoded bytes are blocks of their own (ASCIIHex), of 6, 5, 4
// and 3 bytes, around an unfiltered one that only views the document.
const std::vector<std::string> Decoded = {"sixsix", "five5", "view", "four", "333"};

std::string Document() {
    std::string body;
    for (size_t i = 0; i < Decoded.size(); ++i) {
        const bool view = Decoded[i] == "view";
        body += StreamObject(static_cast<int>(i + 1), view ? "<<>>" : "<</Filter/AHx>>",
                             view ? Decoded[i] : Hex(Decoded[i]));
    }
    return body;
}

class OpenedDocument {
public:
    OpenedDocument(const std::string& body, DecodeSettings settings)
        : body_(body),
          archive_(CreateArchive(reinterpret_cast<const uint8_t*>(body_.data()),
                                 reinterpret_cast<const uint8_t*>(body_.data()) + body_.size(), FILETIME{})),
          call_(reinterpret_cast<uintptr_t>(archive_)) {
        MakeEntries(*archive_, settings);
    }
    ~OpenedDocument() { call_.Close(); }

    PdfArchive& Archive() { return *archive_; }
    std::vector<StreamEntry*> Entries() {
        std::vector<StreamEntry*> entries;
        for (ListLink* node = archive_->entries.next; node != &archive_->entries; node = node->next) {
            entries.push_back(EntryFromLink(node));
        }
        return entries;
    }

private:
    std::string body_;
    PdfArchive* archive_;
    ArchiveCall call_;
};

std::string BytesOf(PdfArchive& archive, StreamEntry& entry) {
    EntryBytes bytes(archive, entry);
    EXPECT_EQ(bytes.Result(), ResultOk);
    return std::string(reinterpret_cast<const char*>(bytes.Bytes().begin), bytes.Bytes().Size());
}

TEST(KeptBytes, BudgetIsChargedInScanOrderWhateverTheThreads) {
    struct Case {
        uint64_t budget;
        std::vector<bool> kept;  // per entry, in listing order
    } cases[] = {
        {UINT64_MAX, {true, true, true, true, true}},
        // 6 fits, 5 does not, 4 fits what is left; the view costs nothing.
        {10, {true, false, true, true, false}},
        {5, {false, true, true, false, false}},
        {0, {false, false, true, false, false}},
    };
    for (const Case& c : cases) {
        for (uint32_t threads : {1u, 3u}) {
            OpenedDocument document(Document(), DecodeSettings{threads, c.budget});
            const std::vector<StreamEntry*> entries = document.Entries();
            ASSERT_EQ(entries.size(), Decoded.size());
            uint64_t kept = 0;
            for (size_t i = 0; i < entries.size(); ++i) {
                EXPECT_EQ(entries[i]->bytesKept, c.kept[i]) << "budget " << c.budget << ", entry " << i;
                EXPECT_EQ(entries[i]->decodedSize, Decoded[i].size());
                // The unfiltered entry views the document and costs nothing.
                if (entries[i]->bytesKept && Decoded[i] != "view") kept += entries[i]->decodedSize;
                if (!entries[i]->bytesKept) {
                    EXPECT_EQ(entries[i]->data.begin, nullptr);
                }
            }
            EXPECT_EQ(document.Archive().keptBytes, kept);
            EXPECT_LE(kept, c.budget);
        }
    }
}

// With nothing kept, every extraction decodes; on several threads, helpers
// decode the next entries ahead, and an extraction out of order still gets
// its own bytes.
TEST(KeptBytes, ExtractionsGetEveryEntrysBytesInAnyOrder) {
    const std::vector<std::vector<size_t>> orders = {{0, 1, 2, 3, 4}, {4, 3, 2, 1, 0}, {1, 1, 0, 3, 2, 4, 4}};
    for (uint32_t threads : {1u, 2u, 4u}) {
        for (const std::vector<size_t>& order : orders) {
            OpenedDocument document(Document(), DecodeSettings{threads, 0});
            const std::vector<StreamEntry*> entries = document.Entries();
            ASSERT_EQ(entries.size(), Decoded.size());
            for (size_t index : order) {
                EXPECT_EQ(BytesOf(document.Archive(), *entries[index]), Decoded[index])
                    << threads << " threads, entry " << index;
            }
            if (threads == 1) {
                EXPECT_TRUE(document.Archive().decodedAhead.empty());
            }
        }
    }
}

TEST(KeptBytes, HelpersDecodeTheNextEntriesAhead) {
    OpenedDocument document(Document(), DecodeSettings{2, 0});
    const std::vector<StreamEntry*> entries = document.Entries();
    ASSERT_EQ(BytesOf(document.Archive(), *entries[0]), Decoded[0]);
    // The entries after the first whose bytes are not kept, in list order.
    std::vector<StreamEntry*> ahead;
    for (const DecodedAhead& decoded : document.Archive().decodedAhead) {
        ahead.push_back(decoded.entry);
        EXPECT_EQ(decoded.result, ResultOk);
        EXPECT_EQ(decoded.bytes.Size(), decoded.entry->decodedSize);
    }
    EXPECT_EQ(ahead, (std::vector<StreamEntry*>{entries[1], entries[3], entries[4]}));
    // Taking the fourth entry lets go of the second, which the host passed over.
    ASSERT_EQ(BytesOf(document.Archive(), *entries[3]), Decoded[3]);
    ASSERT_EQ(document.Archive().decodedAhead.size(), 1u);
    EXPECT_EQ(document.Archive().decodedAhead.front().entry, entries[4]);
}

}  // namespace
