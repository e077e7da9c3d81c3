// The backward pair search against a plain loop: every range of texts over a
// small alphabet, so that hits fall at the ends of a range, across the
// sixteen-byte blocks and nowhere at all.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "syntax/byte_search.h"

namespace {

const uint8_t* LastPairByLoop(const uint8_t* from, const uint8_t* end, uint8_t first, uint8_t second) {
    for (const uint8_t* p = end - 1; p > from;) {
        --p;
        if (p[0] == first && p[1] == second) return p;
    }
    return nullptr;
}

TEST(ByteSearch, LastPairAsAPlainLoopFindsIt) {
    std::mt19937 random(7);
    for (int text = 0; text < 40; ++text) {
        std::vector<uint8_t> bytes(70);
        // Sparse texts first, where most ranges hold no pair, then dense ones.
        const int alphabet = text < 20 ? 16 : 3;
        for (uint8_t& byte : bytes) byte = static_cast<uint8_t>('a' + random() % alphabet);
        const uint8_t* const begin = bytes.data();
        for (size_t from = 0; from <= bytes.size(); ++from) {
            for (size_t end = from; end <= bytes.size(); ++end) {
                ASSERT_EQ(FindLastBytePair(begin + from, begin + end, 'a', 'b'),
                          LastPairByLoop(begin + from, begin + end, 'a', 'b'))
                    << "text " << text << ", range " << from << " to " << end;
            }
        }
    }
}

}  // namespace
