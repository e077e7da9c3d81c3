#include <gtest/gtest.h>

#include "decode/run_length.h"
#include "tests/unit/stage_harness.h"

namespace {

struct RunLengthCase {
    const char* label;
    std::string encoded;
    Status status;
    std::string decoded;
};

TEST(RunLengthStage, Table) {
    const RunLengthCase cases[] = {
        {"128 first gives nothing", Hex({128, 'x', 0, 'y'}), Status::End, ""},
        {"literal of one", Hex({0, 'a'}), Status::End, "a"},
        {"255 repeats twice", Hex({255, 'b'}), Status::End, "bb"},
        {"129 repeats 128 times", Hex({129, 'c'}), Status::End, std::string(128, 'c')},
        {"literal longer than the rest", Hex({4, 'a', 'b'}), Status::End, "ab"},
        {"no end byte", Hex({1, 'a', 'b', 254, 'z'}), Status::End, "abzzz"},
        {"mixed runs, data after 128 ignored", Hex({2, 'x', 'y', 'z', 253, '-', 0, '!', 128, 5}), Status::End,
         "xyz----!"},
        {"repeat byte without data", Hex({0, 'a', 200}), Status::InvalidData, ""},
        {"empty", "", Status::End, ""},
    };
    for (const RunLengthCase& c : cases) {
        ExpectInEveryWindow<RunLengthStage>(StartRunLength, RunRunLength, c.encoded, c.status, c.decoded, c.label);
    }
}

TEST(RunLengthStage, LongRunsAcrossEveryWindowEdge) {
    std::string encoded, expected;
    for (int i = 0; i < 2000; ++i) {
        encoded += Hex({129, i % 251});
        expected += std::string(128, static_cast<char>(i % 251));
        encoded += Hex({2, 1, 2, 3});
        expected += Hex({1, 2, 3});
    }
    ExpectInEveryWindow<RunLengthStage>(StartRunLength, RunRunLength, encoded, Status::End, expected, "long runs");
}

}  // namespace
