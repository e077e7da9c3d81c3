#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "decode/byte_buffer.h"
#include "decode/results.h"

namespace {

const uint8_t* Bytes(const char* text) { return reinterpret_cast<const uint8_t*>(text); }

TEST(ByteBuffer, ReserveZeroGivesOneZeroByte) {
    ByteBuffer buffer;
    ASSERT_EQ(buffer.Reserve(0), ResultOk);
    ByteBufferGuard guard(buffer);
    EXPECT_TRUE(buffer.ownsMemory);
    EXPECT_EQ(buffer.cursor, buffer.begin);
    EXPECT_EQ(buffer.Size(), 1u);
    EXPECT_EQ(buffer.begin[0], 0);
}

TEST(ByteBuffer, ReserveOnViewFailsAndChangesNothing) {
    const char* text = "abc";
    ByteBuffer view;
    view.Attach(Bytes(text), Bytes(text) + 3, false);
    ByteBuffer before = view;
    EXPECT_EQ(view.Reserve(10), ResultInvalidParameter);
    EXPECT_EQ(view.begin, before.begin);
    EXPECT_EQ(view.cursor, before.cursor);
    EXPECT_EQ(view.end, before.end);
    EXPECT_FALSE(view.ownsMemory);
    EXPECT_EQ(view.Append("0123456789", 10), ResultInvalidParameter);  // must grow
    view.Release();
    EXPECT_STREQ(text, "abc");
}

TEST(ByteBuffer, GrowingKeepsCursorAndBytesAndZeroFills) {
    ByteBuffer buffer;
    ByteBufferGuard guard(buffer);
    ASSERT_EQ(buffer.Attach(Bytes("0123456789"), Bytes("0123456789") + 10, true), ResultOk);
    buffer.cursor = buffer.begin + 7;
    ASSERT_EQ(buffer.Reserve(40), ResultOk);
    EXPECT_EQ(buffer.cursor - buffer.begin, 7);
    EXPECT_EQ(std::memcmp(buffer.begin, "0123456789", 10), 0);
    for (int i = 10; i < 40; ++i) EXPECT_EQ(buffer.begin[i], 0) << i;
}

TEST(ByteBuffer, CopyingAttachOfEmptyRangeGivesOneByte) {
    ByteBuffer buffer;
    ByteBufferGuard guard(buffer);
    ASSERT_EQ(buffer.Attach(nullptr, nullptr, true), ResultOk);
    EXPECT_EQ(buffer.Size(), 1u);
    EXPECT_EQ(buffer.begin[0], 0);
}

struct AppendCase {
    uint64_t capacity;
    uint64_t cursorOffset;
    uint64_t appended;
    uint64_t expectedCapacity;
};

TEST(ByteBuffer, AppendGrowthFromWholeCapacity) {
    const AppendCase cases[] = {
        {0, 0, 5, 5},        // empty: exactly n
        {5, 5, 1, 10},       // doubling suffices
        {100, 90, 20, 200},
        {100, 100, 300, 400},
        {100, 50, 0, 100},   // nothing appended, nothing grows
    };
    for (const AppendCase& c : cases) {
        ByteBuffer buffer;
        ByteBufferGuard guard(buffer);
        if (c.capacity != 0) {
            ASSERT_EQ(buffer.Reserve(c.capacity), ResultOk);
            buffer.cursor = buffer.begin + c.cursorOffset;
        }
        std::string payload(c.appended, 'x');
        ASSERT_EQ(buffer.Append(payload.data(), payload.size()), ResultOk);
        EXPECT_EQ(buffer.Size(), c.expectedCapacity) << c.capacity << "+" << c.appended;
        EXPECT_EQ(static_cast<uint64_t>(buffer.cursor - buffer.begin), c.cursorOffset + c.appended);
    }
}

struct LineCase {
    const char* label;
    std::string text;
    uint64_t capacity;
    bool found;
    std::string line;
    std::ptrdiff_t cursorAfter;  // offset; -1 when the cursor is cleared
};

TEST(ByteBuffer, ReadLine) {
    const LineCase cases[] = {
        {"CR LF then <<", "1 0 obj\r\n<<", 256, true, "1 0 obj", 9},
        {"ends before <<", "12 0 obj<</Length 5>>", 256, true, "12 0 obj", 8},
        {"at << gives empty line", "<</Length 5>>", 256, true, "", 0},
        {"no line end", "abc", 256, false, "", 3},
        {"fits exactly", "abc\n", 4, true, "abc", 4},
        {"too long clears cursor", "abcd\n", 4, false, "", -1},
        {"no destination", "abcdefgh\nx", 0, true, "", 9},
        {"lone CR last", "ab\r", 256, true, "ab", 3},
        {"LF CR is two ends", "ab\n\rc", 256, true, "ab", 3},
    };
    for (const LineCase& c : cases) {
        ByteBuffer buffer;
        buffer.Attach(Bytes(c.text.data()), Bytes(c.text.data()) + c.text.size(), false);
        char line[256] = "unchanged";
        uint8_t* after = buffer.ReadLine(c.capacity != 0 ? line : nullptr, c.capacity);
        EXPECT_EQ(after != nullptr, c.found) << c.label;
        if (c.found && c.capacity != 0) {
            EXPECT_EQ(std::string(line), c.line) << c.label;
        }
        if (c.cursorAfter < 0) {
            EXPECT_EQ(buffer.cursor, nullptr) << c.label;
        } else {
            EXPECT_EQ(buffer.cursor - buffer.begin, c.cursorAfter) << c.label;
        }
    }
}

TEST(ByteBuffer, ReadLineAtEndReturnsNoneAndKeepsCursor) {
    const char* text = "x";
    ByteBuffer buffer;
    buffer.Attach(Bytes(text), Bytes(text) + 1, false);
    buffer.cursor = buffer.end;
    EXPECT_EQ(buffer.ReadLine(nullptr, 0), nullptr);
    EXPECT_EQ(buffer.cursor, buffer.end);
}

}  // namespace
