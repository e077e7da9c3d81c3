#include <gtest/gtest.h>

#include <algorithm>
#include <new>
#include <random>
#include <vector>

#include "decode/lzw.h"
#include "decoder_harness.h"
#include "tests/support/lzw_encoder.h"
#include "tests/unit/test_allocator.h"

namespace {

std::string NineBitCodes(std::initializer_list<uint32_t> codes) {
    BitWriter writer;
    for (uint32_t code : codes) writer.Put(code, 9);
    return writer.Finish();
}

Decoded Lzw(const std::string& encoded, int32_t earlyChange) {
    return RunDecoder([earlyChange](ByteBuffer& out, ByteBuffer& in) { return DecodeLzw(out, in, earlyChange); },
                      encoded);
}

struct LzwCase {
    const char* label;
    std::string encoded;
    uint32_t result;
    std::string decoded;
};

TEST(DecodeLzw, Table) {
    const std::string dashes = Hex({0x2d, 0x2d, 0x2d, 0x2d, 0x2d, 0x41, 0x2d, 0x2d, 0x2d, 0x42});
    const LzwCase cases[] = {
        {"dashes", Hex({0x80, 0x0b, 0x60, 0x50, 0x22, 0x0c, 0x0c, 0x85, 0x01}), ResultOk, dashes},
        {"code equal to nextCode", Hex({0x80, 0x18, 0x60, 0x50, 0x10}), ResultOk, "aaa"},
        {"no end code", Hex({0x80, 0x18, 0x60, 0x40}), ResultOk, "aaa"},
        {"code above nextCode", Hex({0x80, 0x18, 0x65, 0x90, 0x10}), ResultInvalidData, ""},
        {"byte left after a code ending on a byte boundary",
         NineBitCodes({256, 'a', 'b', 'c', 'd', 'e', 'f', 'g'}) + Hex({0}), ResultInvalidData, ""},
        {"clear restarts table and width", NineBitCodes({256, 'A', 'B', 256, 'C', 258, 257}), ResultOk, "ABCCC"},
        {"data after the end code ignored", NineBitCodes({'x', 257, 'y'}), ResultOk, "x"},
        {"nextCode as the very first code", NineBitCodes({256, 258, 257}), ResultOk, Hex({0})},
        {"entry whose prefix is its own slot", NineBitCodes({256, 258, 'a', 258, 257}), ResultInvalidData, ""},
        {"the same without the clear code", NineBitCodes({258, 'a', 258}), ResultInvalidData, ""},
        {"empty", "", ResultOk, ""},
    };
    for (const LzwCase& c : cases) {
        for (int32_t earlyChange : {1, 0}) {
            const Decoded d = Lzw(c.encoded, earlyChange);
            EXPECT_EQ(d.result, c.result) << c.label << " earlyChange " << earlyChange;
            EXPECT_EQ(d.bytes, c.decoded) << c.label << " earlyChange " << earlyChange;
        }
    }
}

std::string RandomText(size_t length, uint32_t alphabet, uint32_t seed) {
    std::mt19937 random(seed);
    std::string data(length, '\0');
    for (char& b : data) b = static_cast<char>('a' + random() % alphabet);
    return data;
}

TEST(DecodeLzw, RoundTripsThroughEveryWidthAndClear) {
    // Small alphabets give long strings and codes equal to nextCode; large
    // ones fill the table quickly and force clear codes.
    for (uint32_t alphabet : {2u, 16u, 200u}) {
        const std::string data = RandomText(200000, alphabet, alphabet);
        for (int32_t earlyChange : {1, 0}) {
            const Decoded d = Lzw(EncodeLzw(data, earlyChange, WhenFull::Clear), earlyChange);
            EXPECT_EQ(d.result, ResultOk) << alphabet << " earlyChange " << earlyChange;
            EXPECT_TRUE(d.bytes == data) << alphabet << " earlyChange " << earlyChange;
        }
    }
}

TEST(DecodeLzw, WrongEarlyChangeIsNotDecodedAsRight) {
    const std::string data = RandomText(20000, 200, 7);
    const Decoded d = Lzw(EncodeLzw(data, 0, WhenFull::Clear), 1);
    EXPECT_FALSE(d.result == ResultOk && d.bytes == data);
}

TEST(DecodeLzw, CodesPastAFullTableAreInvalid) {
    const std::string data = RandomText(20000, 200, 9);
    EXPECT_EQ(Lzw(EncodeLzw(data, 1, WhenFull::Freeze), 1).result, ResultInvalidData);
}

TEST(DecodeLzw, DamagedStreamsAreDecodedOrRejected) {
    // Flipped bits give codes above nextCode, self-referring entries and cut
    // codes; each must end in 0 or 13 without touching memory it does not own.
    const std::string encoded = EncodeLzw(RandomText(30000, 5, 11), 1, WhenFull::Clear);
    std::mt19937 random(12);
    for (int trial = 0; trial < 300; ++trial) {
        std::string damaged = encoded.substr(0, encoded.size() - random() % 64);
        for (int flips = 1 + trial % 4; flips > 0; --flips) {
            damaged[random() % damaged.size()] ^= static_cast<char>(1u << (random() % 8));
        }
        for (int32_t earlyChange : {1, 0}) {
            const uint32_t result = Lzw(damaged, earlyChange).result;
            EXPECT_TRUE(result == ResultOk || result == ResultInvalidData) << trial << ": " << result;
        }
    }
}

TEST(DecodeLzw, TableAllocationFailurePassesThrough) {
    if (!allocationFailureAvailable) GTEST_SKIP() << "allocations cannot be made to fail in this build";
    const std::string encoded = Hex({0x80, 0x18, 0x60, 0x50, 0x10});
    FailArrayAllocations(true);
    EXPECT_THROW(Lzw(encoded, 1), std::bad_alloc);
    FailArrayAllocations(false);
    EXPECT_EQ(Lzw(encoded, 1).bytes, "aaa");
}

TEST(DecodeLzw, EarlyChangeOutOfReachKeepsNineBits) {
    // 300 distinct pairs push nextCode past 512; with earlyChange far away the
    // width must stay at 9, so a 9-bit stream decodes.
    BitWriter writer;
    std::string expected;
    for (int i = 0; i < 300; ++i) {
        writer.Put(static_cast<uint32_t>('a' + i % 26), 9);
        expected.push_back(static_cast<char>('a' + i % 26));
    }
    const std::string encoded = writer.Finish();
    for (int32_t earlyChange : {INT32_MIN, -100000, INT32_MAX}) {
        const Decoded d = Lzw(encoded, earlyChange);
        EXPECT_EQ(d.result, ResultOk) << earlyChange;
        EXPECT_EQ(d.bytes, expected) << earlyChange;
    }
}

}  // namespace
