#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "document/object_index.h"
#include "tests/unit/test_allocator.h"

namespace {

// An index over `body`, which outlives it.
struct IndexedBody {
    explicit IndexedBody(std::string text) : body(std::move(text)) {
        const auto* bytes = reinterpret_cast<const uint8_t*>(body.data());
        StartObjectIndex(index, bytes, bytes + body.size());
    }
    std::string body;
    ObjectIndex index;
};

struct IntegerCase {
    const char* label;
    std::string body;
    uint32_t number;
    uint32_t generation;
    bool found;
    int64_t value;
};

TEST(ObjectIndex, ReadsIntegerObjects) {
    const std::string pad(MaxIntegerObjectBytes, ' ');
    const IntegerCase cases[] = {
        {"on its own lines", "6 0 obj\n29\nendobj\n", 6, 0, true, 29},
        {"on the header line", "6 0 obj 29 endobj\n", 6, 0, true, 29},
        {"CR line ends, a comment and a form feed", "6 0 obj\r% length\r\f 29\rendobj\r", 6, 0, true, 29},
        {"defined after the object that refers to it",
         "5 0 obj\n<</Length 6 0 R>>\nstream\nabc\nendstream\nendobj\n6 0 obj\n3\nendobj\n", 6, 0, true, 3},
        {"the last definition is in force", "6 0 obj\n29\nendobj\n6 0 obj\n31\nendobj\n", 6, 0, true, 31},
        {"a later definition that is no integer", "6 0 obj\n29\nendobj\n6 0 obj\n<<>>\nendobj\n", 6, 0, false, 0},
        {"spaces and tabs before and between the numbers", " \t6 \t0\tobj 29 endobj", 6, 0, true, 29},
        {"largest object number", "4294967295 0 obj 7 endobj", 4294967295u, 0, true, 7},
        {"object number past 32 bits", "4294967296 0 obj 7 endobj", 0, 0, false, 0},
        {"negative and signed integers", "6 0 obj -12 endobj\n7 0 obj +5 endobj", 6, 0, true, -12},
        {"another generation", "6 1 obj 29 endobj", 6, 0, false, 0},
        {"its own generation", "6 1 obj 29 endobj", 6, 1, true, 29},
        {"a reference is no integer", "6 0 obj 7 0 R endobj", 6, 0, false, 0},
        {"a real number is no integer", "6 0 obj 2.5 endobj", 6, 0, false, 0},
        {"no endobj", "6 0 obj 29\n7 0 obj 30 endobj", 6, 0, false, 0},
        {"endobj run on", "6 0 obj 29 endobjx", 6, 0, false, 0},
        {"header not at a line's start", "x 6 0 obj 29 endobj", 6, 0, false, 0},
        {"obj run on", "6 0 objx 29 endobj", 6, 0, false, 0},
        {"no such object", "6 0 obj 29 endobj", 8, 0, false, 0},
        {"padded past the limit", "6 0 obj" + pad + "29 endobj", 6, 0, false, 0},
        {"empty body", "", 6, 0, false, 0},
    };
    for (const IntegerCase& c : cases) {
        IndexedBody indexed(c.body);
        int64_t value = -99;
        EXPECT_EQ(ReadIntegerObject(indexed.index, c.number, c.generation, value), c.found) << c.label;
        EXPECT_EQ(value, c.found ? c.value : -99) << c.label;
    }
}

TEST(ObjectIndex, FindsWhereTheLastDefinitionStarts) {
    IndexedBody indexed("1 0 obj\n<</A 1>>\nendobj\n2 0 obj<</B 2>>\nendobj\n1 3 obj [1 2]\nendobj\n");
    ObjectLocation one;
    ASSERT_TRUE(FindObject(indexed.index, 1, one));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(one.header), 7), "1 3 obj");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(one.value), 6), " [1 2]");
    EXPECT_EQ(one.generation, 3u);
    ObjectLocation two;
    ASSERT_TRUE(FindObject(indexed.index, 2, two));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(two.value), 8), "<</B 2>>");
    EXPECT_EQ(indexed.index.definitions.size(), 2u);
    EXPECT_FALSE(FindObject(indexed.index, 3, two));
}

TEST(ObjectIndex, WithoutMemoryFindsNothing) {
    if (!allocationFailureAvailable) GTEST_SKIP() << "allocations cannot be made to fail in this build";
    IndexedBody indexed("6 0 obj 29 endobj\n");
    FailAllocationAfter(0);
    int64_t value = 0;
    EXPECT_FALSE(ReadIntegerObject(indexed.index, 6, 0, value));
    EXPECT_TRUE(AllocationFailed());
    FailAllocationAfter(-1);
    EXPECT_TRUE(indexed.index.built);
    EXPECT_TRUE(indexed.index.definitions.empty());
}

}  // namespace
