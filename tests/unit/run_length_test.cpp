#include <gtest/gtest.h>

#include "decode/run_length.h"
#include "decoder_harness.h"

namespace {

struct RunLengthCase {
    const char* label;
    std::string encoded;
    uint32_t result;
    std::string decoded;
};

TEST(DecodeRunLength, Table) {
    const RunLengthCase cases[] = {
        {"128 first gives nothing", Hex({128, 'x', 0, 'y'}), ResultOk, ""},
        {"literal of one", Hex({0, 'a'}), ResultOk, "a"},
        {"255 repeats twice", Hex({255, 'b'}), ResultOk, "bb"},
        {"129 repeats 128 times", Hex({129, 'c'}), ResultOk, std::string(128, 'c')},
        {"literal longer than the rest", Hex({4, 'a', 'b'}), ResultOk, "ab"},
        {"no end byte", Hex({1, 'a', 'b', 254, 'z'}), ResultOk, "abzzz"},
        {"mixed runs, data after 128 ignored", Hex({2, 'x', 'y', 'z', 253, '-', 0, '!', 128, 5}), ResultOk,
         "xyz----!"},
        {"repeat byte without data", Hex({0, 'a', 200}), ResultInvalidData, ""},
        {"empty", "", ResultOk, ""},
    };
    for (const RunLengthCase& c : cases) {
        // Once as the filter chain calls it (twice the input reserved), once on an empty output.
        for (uint64_t preReserve : {uint64_t{2} * c.encoded.size(), uint64_t{0}}) {
            const Decoded d = RunDecoder(DecodeRunLength, c.encoded, preReserve);
            EXPECT_EQ(d.result, c.result) << c.label << " reserve " << preReserve;
            EXPECT_EQ(d.bytes, c.decoded) << c.label << " reserve " << preReserve;
        }
    }
}

TEST(DecodeRunLength, LongRunsGrowFarBeyondTheReservation) {
    std::string encoded, expected;
    for (int i = 0; i < 2000; ++i) {
        encoded += Hex({129, i % 251});
        expected += std::string(128, static_cast<char>(i % 251));
        encoded += Hex({2, 1, 2, 3});
        expected += Hex({1, 2, 3});
    }
    const Decoded d = RunDecoder(DecodeRunLength, encoded, 2 * encoded.size());
    EXPECT_EQ(d.result, ResultOk);
    EXPECT_EQ(d.bytes, expected);
}

}  // namespace
