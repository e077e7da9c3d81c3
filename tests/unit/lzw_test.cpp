#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "decode/lzw.h"
#include "tests/support/lzw_encoder.h"
#include "tests/unit/stage_harness.h"

namespace {

std::string NineBitCodes(std::initializer_list<uint32_t> codes) {
    BitWriter writer;
    for (uint32_t code : codes) writer.Put(code, 9);
    return writer.Finish();
}

// The stage over the whole input in one large window.
StageRun Lzw(const std::string& encoded, int32_t earlyChange) {
    auto stage = std::make_unique<LzwStage>();
    StartLzw(*stage, earlyChange);
    return RunStage(*stage, RunLzw, encoded, StageWindows{});
}

// The same in every window of the tables.
void ExpectLzw(const std::string& encoded, int32_t earlyChange, Status status, const std::string& decoded,
               const std::string& label) {
    ExpectInEveryWindow<LzwStage>([earlyChange](LzwStage& stage) { StartLzw(stage, earlyChange); }, RunLzw, encoded,
                                  status, decoded, label + ", earlyChange " + std::to_string(earlyChange));
}

struct LzwCase {
    const char* label;
    std::string encoded;
    Status status;
    std::string decoded;
};

TEST(LzwStage, Table) {
    const std::string dashes = Hex({0x2d, 0x2d, 0x2d, 0x2d, 0x2d, 0x41, 0x2d, 0x2d, 0x2d, 0x42});
    const LzwCase cases[] = {
        {"dashes", Hex({0x80, 0x0b, 0x60, 0x50, 0x22, 0x0c, 0x0c, 0x85, 0x01}), Status::End, dashes},
        {"code equal to nextCode", Hex({0x80, 0x18, 0x60, 0x50, 0x10}), Status::End, "aaa"},
        {"no end code", Hex({0x80, 0x18, 0x60, 0x40}), Status::End, "aaa"},
        {"code above nextCode", Hex({0x80, 0x18, 0x65, 0x90, 0x10}), Status::InvalidData, ""},
        {"byte left after a code ending on a byte boundary",
         NineBitCodes({256, 'a', 'b', 'c', 'd', 'e', 'f', 'g'}) + Hex({0}), Status::InvalidData, ""},
        {"clear restarts table and width", NineBitCodes({256, 'A', 'B', 256, 'C', 258, 257}), Status::End, "ABCCC"},
        {"data after the end code ignored", NineBitCodes({'x', 257, 'y'}), Status::End, "x"},
        {"nextCode as the very first code", NineBitCodes({256, 258, 257}), Status::End, Hex({0})},
        {"entry whose prefix is its own slot", NineBitCodes({256, 258, 'a', 258, 257}), Status::InvalidData, ""},
        {"the same without the clear code", NineBitCodes({258, 'a', 258}), Status::InvalidData, ""},
        {"empty", "", Status::End, ""},
    };
    for (const LzwCase& c : cases) {
        for (int32_t earlyChange : {1, 0}) ExpectLzw(c.encoded, earlyChange, c.status, c.decoded, c.label);
    }
}

std::string RandomText(size_t length, uint32_t alphabet, uint32_t seed) {
    std::mt19937 random(seed);
    std::string data(length, '\0');
    for (char& b : data) b = static_cast<char>('a' + random() % alphabet);
    return data;
}

TEST(LzwStage, RoundTripsThroughEveryWidthAndClear) {
    // Small alphabets give long strings and codes equal to nextCode; large
    // ones fill the table quickly and force clear codes.
    for (uint32_t alphabet : {2u, 16u, 200u}) {
        const std::string data = RandomText(200000, alphabet, alphabet);
        for (int32_t earlyChange : {1, 0}) {
            ExpectLzw(EncodeLzw(data, earlyChange, WhenFull::Clear), earlyChange, Status::End, data,
                      "alphabet " + std::to_string(alphabet));
        }
    }
}

TEST(LzwStage, WrongEarlyChangeIsNotDecodedAsRight) {
    const std::string data = RandomText(20000, 200, 7);
    const StageRun d = Lzw(EncodeLzw(data, 0, WhenFull::Clear), 1);
    EXPECT_FALSE(d.status == Status::End && d.bytes == data);
}

TEST(LzwStage, CodesPastAFullTableAreInvalid) {
    const std::string data = RandomText(20000, 200, 9);
    EXPECT_EQ(Lzw(EncodeLzw(data, 1, WhenFull::Freeze), 1).status, Status::InvalidData);
}

TEST(LzwStage, DamagedStreamsAreDecodedOrRejected) {
    // Flipped bits give codes above nextCode, self-referring entries and cut
    // codes; each must end or be refused without touching memory it does not own.
    const std::string encoded = EncodeLzw(RandomText(30000, 5, 11), 1, WhenFull::Clear);
    std::mt19937 random(12);
    for (int trial = 0; trial < 300; ++trial) {
        std::string damaged = encoded.substr(0, encoded.size() - random() % 64);
        for (int flips = 1 + trial % 4; flips > 0; --flips) {
            damaged[random() % damaged.size()] ^= static_cast<char>(1u << (random() % 8));
        }
        for (int32_t earlyChange : {1, 0}) {
            const StageRun whole = Lzw(damaged, earlyChange);
            EXPECT_TRUE(whole.status == Status::End || whole.status == Status::InvalidData) << trial;
            // Small windows and a cut input give the same answer.
            auto stage = std::make_unique<LzwStage>();
            StartLzw(*stage, earlyChange);
            const StageRun small = RunStage(*stage, RunLzw, damaged, StageWindows{3, {damaged.size() / 3}});
            EXPECT_EQ(small.status, whole.status) << trial;
            if (whole.status == Status::End) {
                EXPECT_TRUE(small.bytes == whole.bytes) << trial;
            }
        }
    }
}

TEST(LzwStage, EarlyChangeOutOfReachKeepsNineBits) {
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
        const StageRun d = Lzw(encoded, earlyChange);
        EXPECT_EQ(d.status, Status::End) << earlyChange;
        EXPECT_EQ(d.bytes, expected) << earlyChange;
    }
}

}  // namespace
