#include <gtest/gtest.h>

#include <random>

#include "decode/ascii85.h"
#include "tests/unit/stage_harness.h"

namespace {

struct Ascii85Case {
    const char* label;
    std::string encoded;
    std::string decoded;
};

TEST(Ascii85Stage, Table) {
    const Ascii85Case cases[] = {
        {"five exclamation marks", "!!!!!", Hex({0, 0, 0, 0})},
        {"largest group", "s8W-!", Hex({0xff, 0xff, 0xff, 0xff})},
        {"two digits give one byte", "5l", "A"},
        {"lone pending digit gives nothing", "5", ""},
        {"z alone", "z", Hex({0, 0, 0, 0})},
        {"overlarge group wraps", "uuuuu", Hex({0x08, 0x78, 0x0e, 0xc4})},
        {"less-than counts as a digit", "<~9jqo^~>", ""},
        {"z drops a partial group", "5lz", Hex({0, 0, 0, 0})},
        {"tilde ends the data", "5l~5l", "A"},
        {"no tilde: decoded to the end", "9jqo^BlbD-BleB1DJ+*+F(f,q", "Man is distinguished"},
        {"partial final group of three", "!!*-'s8D~>", Hex({0, 1, 2, 3, 0xff, 0xfe})},
        {"white space and stray bytes skipped", "BOu!r D]j7\r\nBEb\x80o80+vwxy{|}\x7fT~>", "hello world!!"},
        {"empty", "", ""},
    };
    for (const Ascii85Case& c : cases) {
        ExpectInEveryWindow<Ascii85Stage>(StartAscii85, RunAscii85, c.encoded, Status::End, c.decoded, c.label);
    }
}

// The encoding as the format defines it, with "z" for zero groups, so that
// random data of every length decodes back.
std::string EncodeAscii85(const std::string& data) {
    std::string out;
    for (size_t i = 0; i < data.size(); i += 4) {
        const size_t n = std::min<size_t>(4, data.size() - i);
        uint32_t value = 0;
        for (size_t k = 0; k < 4; ++k) value = value << 8 | (k < n ? static_cast<uint8_t>(data[i + k]) : 0u);
        if (n == 4 && value == 0) {
            out += 'z';
            continue;
        }
        char digits[5];
        for (int k = 4; k >= 0; --k) {
            digits[k] = static_cast<char>('!' + value % 85);
            value /= 85;
        }
        out.append(digits, n + 1);
    }
    return out + "~>";
}

TEST(Ascii85Stage, RoundTripsRandomData) {
    std::mt19937 random(85);
    for (size_t length : {1u, 2u, 3u, 4u, 5u, 4096u, 100001u}) {
        std::string data(length, '\0');
        // Mostly zeros, so that "z" groups meet full groups at every window edge.
        for (char& b : data) b = random() % 4 == 0 ? static_cast<char>(random()) : '\0';
        ExpectInEveryWindow<Ascii85Stage>(StartAscii85, RunAscii85, EncodeAscii85(data), Status::End, data,
                                          std::to_string(length) + " bytes");
    }
}

}  // namespace
