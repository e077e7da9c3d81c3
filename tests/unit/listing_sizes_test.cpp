#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "plugin/converted_text.h"
#include "plugin/extraction.h"
#include "plugin/listing.h"

namespace {

using WideString = std::basic_string<WCHAR>;

// The name carries the object number with at least eight digits and the
// extension of the entry's kind.
TEST(FormatEntryName, Table) {
    struct Case {
        uint32_t number;
        ContentKind kind;
        const char* name;
    } cases[] = {
        {12, ContentKind::Jpeg, "object-stream-00000012.jpg"},
        {0, ContentKind::Data, "object-stream-00000000.dat"},
        {99999999, ContentKind::Xml, "object-stream-99999999.xml"},
        {100000000, ContentKind::Tiff, "object-stream-100000000.tif"},
        {4294967295u, ContentKind::Pdf, "object-stream-4294967295.pdf"},
        {7, ContentKind::Pbm, "object-stream-00000007.pbm"},
    };
    for (const Case& c : cases) {
        EntryRow entry{};
        entry.objectNumber = c.number;
        entry.kind = c.kind;
        WCHAR name[EntryNameUnits];
        FormatEntryName(entry, name);
        EXPECT_EQ(WideString(name), WideString(c.name, c.name + std::strlen(c.name)));
    }
}

// An entry whose decoded length is `size`, for the size fields only: its bytes
// are never read.
EntryRow FakeEntry(uint64_t size) {
    EntryRow entry{};
    entry.decodedSize = size;
    entry.kind = ContentKind::Data;
    entry.objectNumber = 9;
    return entry;
}

// The wide records carry every size whole; the narrow one has 32 bits, and a
// size past them is pinned to their largest value, never cut to its low bits.
TEST(FillHeader, SizesOfFourGiBAndMoreAreWholeInTheWideFieldsAndPinnedInTheNarrow) {
    struct Case {
        uint64_t size;
        uint32_t low;
        uint32_t high;
        uint32_t narrow;
    } cases[] = {
        {70000, 70000, 0, 70000},
        {0xFFFFFFFFull, 0xFFFFFFFFu, 0, 0xFFFFFFFFu},
        {0x100000000ull, 0, 1, 0xFFFFFFFFu},
        {0x10000000Aull, 10, 1, 0xFFFFFFFFu},
        {0x200000005ull, 5, 2, 0xFFFFFFFFu},
    };
    for (const Case& c : cases) {
        EntryRow entry = FakeEntry(c.size);
        HeaderRecord narrow{};
        auto extended = std::make_unique<HeaderRecordEx>();
        auto wide = std::make_unique<HeaderRecordExW>();
        FillHeader(entry, narrow, 1);
        FillHeaderEx(entry, *extended, 1);
        FillHeaderExW(entry, *wide, 1);
        EXPECT_EQ(narrow.unpackedSize, c.narrow) << c.size;
        EXPECT_EQ(extended->unpackedSize, c.low) << c.size;
        EXPECT_EQ(extended->unpackedSizeHigh, c.high) << c.size;
        EXPECT_EQ(wide->unpackedSize, c.low) << c.size;
        EXPECT_EQ(wide->unpackedSizeHigh, c.high) << c.size;
        EXPECT_STREQ(narrow.entryName, "object-stream-00000009.dat");
    }
}

TEST(ProgressCount, NeverTurnsNegative) {
    struct Case {
        uint64_t bytes;
        int count;
    } cases[] = {
        {0, 0}, {65536, 65536}, {2147483647, 2147483647}, {2147483648ull, 2147483647}, {0x100000005ull, 2147483647},
    };
    for (const Case& c : cases) EXPECT_EQ(ProgressCount(c.bytes), c.count) << c.bytes;
}

// Texts whose conversion needs 127 units or more (terminator included, 128)
// go to the heap; shorter ones stay in the inline store.
TEST(ConvertedText, UsesTheInlineStoreUpTo126Units) {
    for (size_t units : {size_t{0}, size_t{126}, size_t{127}, size_t{300}}) {
        std::string source(units, 'q');
        ConvertedText<WCHAR> holder;
        ConvertToWide(holder, CP_ACP, source.c_str());
        ASSERT_NE(holder.text, nullptr);
        EXPECT_EQ(holder.OnHeap(), units >= 127) << units;
        EXPECT_EQ(holder.length, units + 1) << units;
        EXPECT_EQ(WideString(holder.text), WideString(units, WIDE('q')));
        ConvertedText<char> back;
        ConvertToAnsi(back, holder.text);
        EXPECT_EQ(std::string(back.text), source);
    }
    ConvertedText<WCHAR> none;
    ConvertToWide(none, CP_UTF8, nullptr);
    EXPECT_EQ(none.text, nullptr);
    EXPECT_EQ(none.length, 0u);
}

TEST(ConvertedText, Utf8NamesBecomeUtf16) {
    ConvertedText<WCHAR> holder;
    ConvertToWide(holder, CP_UTF8, "caf\xC3\xA9-\xE2\x82\xAC.dat");
    EXPECT_EQ(WideString(holder.text), WideString(WIDE("caf\u00E9-\u20AC.dat")));
}

}  // namespace
