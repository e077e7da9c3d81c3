#include <gtest/gtest.h>

#include <algorithm>
#include <new>
#include <random>
#include <vector>

#include "decode/lzw.h"
#include "decoder_harness.h"
#include "tests/unit/test_allocator.h"

namespace {

// Packs codes most significant bit first, each with its own width.
class BitWriter {
public:
    void Put(uint32_t code, uint32_t width) {
        for (uint32_t bit = width; bit-- > 0;) {
            current_ = static_cast<uint8_t>(current_ << 1 | ((code >> bit) & 1u));
            if (++filled_ == 8) Flush();
        }
    }
    std::string Finish() {
        if (filled_ != 0) {
            current_ = static_cast<uint8_t>(current_ << (8 - filled_));
            Flush();
        }
        return bytes_;
    }

private:
    void Flush() {
        bytes_.push_back(static_cast<char>(current_));
        current_ = 0;
        filled_ = 0;
    }
    std::string bytes_;
    uint8_t current_ = 0;
    uint32_t filled_ = 0;
};

std::string NineBitCodes(std::initializer_list<uint32_t> codes) {
    BitWriter writer;
    for (uint32_t code : codes) writer.Put(code, 9);
    return writer.Finish();
}

enum class WhenFull { Clear, Freeze };

// A plain LZW encoder. The encoder's table is one entry ahead of a decoder's,
// so it widens its codes when its next code plus earlyChange reaches 513,
// 1025 and 2049. qpdf decodes its output, with either earlyChange, back to the
// input, so it is a fair independent source of streams.
std::string EncodeLzw(const std::string& data, int32_t earlyChange, WhenFull whenFull) {
    BitWriter writer;
    // child[code * 256 + byte]: the code of that string extended by the byte, or 0.
    std::vector<uint16_t> child(4096 * 256);
    uint32_t nextCode = 258;
    uint32_t width = 9;
    auto reset = [&] {
        std::fill(child.begin(), child.end(), uint16_t{0});
        nextCode = 258;
        width = 9;
    };
    reset();
    writer.Put(256, width);
    if (data.empty()) {
        writer.Put(257, width);
        return writer.Finish();
    }
    uint32_t current = static_cast<uint8_t>(data[0]);
    for (size_t i = 1; i < data.size(); ++i) {
        const uint8_t c = static_cast<uint8_t>(data[i]);
        if (child[current * 256 + c] != 0) {
            current = child[current * 256 + c];
            continue;
        }
        writer.Put(current, width);
        if (nextCode < 4096) {
            child[current * 256 + c] = static_cast<uint16_t>(nextCode++);
            const int64_t sum = int64_t{nextCode} + earlyChange;
            if (sum == 513 || sum == 1025 || sum == 2049) ++width;
            if (nextCode == 4096 && whenFull == WhenFull::Clear) {
                writer.Put(256, width);
                reset();
            }
        }
        current = c;
    }
    writer.Put(current, width);
    writer.Put(257, width);
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
