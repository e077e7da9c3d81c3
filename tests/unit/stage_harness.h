// Table helpers over the stage driver: every case of a stage's table is run
// in every output window, whole and one byte at a time.
#pragma once

#include <gtest/gtest.h>

#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/stage_driver.h"

// Inputs up to this size are also fed one byte at a time.
constexpr size_t ByteByByteLimit = 4096;
// The output windows every table case is run with.
constexpr size_t TableWindows[] = {1, 2, 3, 7, 65536};

// Runs a freshly started stage over `input` with every table window, whole
// and (for short inputs) one byte at a time, expecting `status` and, on End,
// exactly `bytes`. The status of a failure is expected whatever was written.
template <typename Stage, typename Start, typename Run>
void ExpectInEveryWindow(Start start, Run run, const std::string& input, Status status, const std::string& bytes,
                         const std::string& label) {
    for (size_t window : TableWindows) {
        for (bool byteByByte : {false, true}) {
            if (byteByByte && input.size() > ByteByByteLimit) continue;
            // Large outputs a byte at a time take long and prove nothing more.
            if (window < 7 && bytes.size() > (size_t{1} << 20)) continue;
            auto stage = std::make_unique<Stage>();
            start(*stage);
            StageWindows windows{window, byteByByte ? EveryByte(input.size()) : std::vector<size_t>{}};
            const StageRun result = RunStage(*stage, run, input, windows);
            const std::string where = label + ", window " + std::to_string(window) + (byteByByte ? ", byte by byte" : "");
            EXPECT_EQ(result.fault, "") << where;
            EXPECT_EQ(result.status, status) << where;
            if (status == Status::End) {
                EXPECT_TRUE(result.bytes == bytes) << where << ": " << result.bytes.size() << " bytes of " << bytes.size();
            }
        }
    }
}

inline std::string Hex(std::initializer_list<int> bytes) {
    std::string s;
    for (int b : bytes) s.push_back(static_cast<char>(b));
    return s;
}
