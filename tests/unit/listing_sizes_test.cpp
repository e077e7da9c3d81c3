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

TEST(FormatWide, CutsAndTerminatesWithinTheCapacity) {
    struct Case {
        size_t capacity;
        uint32_t result;
        const char* text;  // null: nothing written
    } cases[] = {
        {0, FormatInvalidArgument, nullptr},
        {size_t{2147483648u}, FormatInvalidArgument, nullptr},
        {32, FormatOk, "object-stream-00000012.jpg"},
        {27, FormatOk, "object-stream-00000012.jpg"},  // exactly capacity - 1 units
        {26, FormatTruncated, "object-stream-00000012.jp"},
        {1, FormatTruncated, ""},
    };
    for (const Case& c : cases) {
        WCHAR buffer[40];
        std::fill(std::begin(buffer), std::end(buffer), WIDE('#'));
        uint32_t result = FormatWide(buffer, c.capacity, WIDE("object-%s-%08u%s"), WIDE("stream"), 12u, WIDE(".jpg"));
        EXPECT_EQ(result, c.result) << c.capacity;
        if (c.text == nullptr) {
            EXPECT_EQ(buffer[0], WIDE('#'));
            continue;
        }
        std::string text;
        for (size_t i = 0; buffer[i] != 0 && i < 40; ++i) text += static_cast<char>(buffer[i]);
        EXPECT_EQ(text, c.text) << c.capacity;
        if (c.capacity < 40) {
            EXPECT_EQ(buffer[c.capacity], WIDE('#'));
        }
    }
}

TEST(FormatWide, NumbersKeepAllTheirDigits) {
    WCHAR buffer[EntryNameUnits];
    FormatWide(buffer, EntryNameUnits, WIDE("object-%s-%08u%s"), WIDE("stream"), 4294967295u, WIDE(".dat"));
    EXPECT_EQ(WideString(buffer), WideString(WIDE("object-stream-4294967295.dat")));
}

// An entry whose decoded length is `size`, for the size fields only: its bytes
// are never read.
StreamEntry FakeEntry(uint64_t size) {
    StreamEntry entry{};
    entry.decodedSize = size;
    entry.typeWord = WIDE("stream");
    entry.extension = WIDE(".dat");
    entry.objectNumber = 9;
    return entry;
}

TEST(FillHeader, SizesOfFourGiBAndMoreAreCarriedWholeInTheWideFields) {
    struct Case {
        uint64_t size;
        uint32_t low;
        uint32_t high;
    } cases[] = {
        {70000, 70000, 0},
        {0xFFFFFFFFull, 0xFFFFFFFFu, 0},
        {0x100000000ull, 0, 1},
        {0x200000005ull, 5, 2},
    };
    for (const Case& c : cases) {
        StreamEntry entry = FakeEntry(c.size);
        HeaderRecord narrow{};
        auto extended = std::make_unique<HeaderRecordEx>();
        auto wide = std::make_unique<HeaderRecordExW>();
        FillHeader(entry, narrow, 1);
        FillHeaderEx(entry, *extended, 1);
        FillHeaderExW(entry, *wide, 1);
        EXPECT_EQ(narrow.unpackedSize, c.low) << c.size;
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

TEST(WriteInChunks, CoversEveryByteOnceAndReportsEachChunk) {
    struct Case {
        uint64_t length;
        uint64_t chunks;
        uint32_t last;
    } cases[] = {
        {0, 0, 0}, {1, 1, 1}, {65536, 1, 65536}, {65537, 2, 1}, {0x100000001ull, 65537, 1},
    };
    for (const Case& c : cases) {
        uint64_t nextOffset = 0;
        uint64_t chunks = 0;
        uint64_t reported = 0;
        uint32_t last = 0;
        bool offsetsInOrder = true;
        bool complete = WriteInChunks(
            c.length,
            [&](uint64_t offset, uint32_t size) {
                offsetsInOrder = offsetsInOrder && offset == nextOffset && size <= 65536 && size > 0;
                nextOffset = offset + size;
                last = size;
                ++chunks;
                return true;
            },
            [&](uint32_t size) { reported += size; });
        EXPECT_TRUE(complete);
        EXPECT_TRUE(offsetsInOrder) << c.length;
        EXPECT_EQ(nextOffset, c.length);
        EXPECT_EQ(reported, c.length);
        EXPECT_EQ(chunks, c.chunks) << c.length;
        EXPECT_EQ(last, c.last) << c.length;
    }
}

TEST(WriteInChunks, StopsAtTheFirstRefusedWriteWithoutReportingIt) {
    int writes = 0;
    int reports = 0;
    bool complete = WriteInChunks(
        200000, [&](uint64_t, uint32_t) { return ++writes < 2; }, [&](uint32_t) { ++reports; });
    EXPECT_FALSE(complete);
    EXPECT_EQ(writes, 2);
    EXPECT_EQ(reports, 1);
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

namespace {

TEST(HeaderTimeStamp, IsWhatTheHostReadsOnThisSystem) {
    struct Case {
        int64_t unixTime;
        uint32_t dosDateTime;
        uint32_t expected;
    } cases[] = {
#ifdef _WIN32
        {1686839445, 0x56CF73D6u, 0x56CF73D6u},  // the DOS value, whatever the seconds say
#else
        {1686839445, 0x56CF73D6u, 1686839445u},  // 15 June 2023 14:30:45 UTC in seconds
        {0, 0x56CF73D6u, 0},
        {-5, 0x56CF73D6u, 0},                    // before 1970: pinned to the field's start
        {INT64_C(0x100000001), 0x56CF73D6u, 0xFFFFFFFFu},  // after 2106: pinned to its end
#endif
    };
    for (const Case& c : cases) {
        auto archive = std::make_unique<PdfArchive>();
        archive->lastWriteUnixTime = c.unixTime;
        archive->dosDateTime = c.dosDateTime;
        EXPECT_EQ(HeaderTimeStamp(*archive), c.expected) << c.unixTime;
    }
}

}  // namespace
