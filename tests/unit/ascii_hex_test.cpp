#include <gtest/gtest.h>

#include "decode/ascii_hex.h"
#include "tests/unit/stage_harness.h"

namespace {

struct AsciiHexCase {
    const char* label;
    std::string encoded;
    std::string decoded;
};

TEST(AsciiHexStage, Table) {
    const AsciiHexCase cases[] = {
        {"one pair", "41", "A"},
        {"cases give the same values", "4a4A6f6F", "JJoo"},
        {"every digit", "0123456789abcdefABCDEF", Hex({0x01, 0x23, 0x45, 0x67, 0x89, 0xab, 0xcd, 0xef, 0xab, 0xcd, 0xef})},
        {"line breaks between pairs", "\r\n41\r\n42\n43\r44\n\n", "ABCD"},
        // R writes its colour profiles as pairs apart by spaces.
        {"spaces between pairs", "00 00 0c 48 >", Hex({0x00, 0x00, 0x0c, 0x48})},
        {"every white space inside a pair", std::string("4\0\t\n\f\r 1", 8) + "42", "AB"},
        {"closing bracket ends", "4142>4344", "AB"},
        {"odd last digit completed with 0", "414", "A@"},
        {"odd last digit before the bracket", "41 4 >", "A@"},
        {"odd last digit before another byte", "414g42", "A@"},
        {"high byte ends", "41\xb4" "142", "A"},
        {"vertical tab is no white space", "41\v42", "A"},
        {"other letter ends", "41g2", "A"},
        {"empty", "", ""},
        {"only white space", "\r\n \t", ""},
        {"only a bracket", ">", ""},
    };
    for (const AsciiHexCase& c : cases) {
        ExpectInEveryWindow<AsciiHexStage>(StartAsciiHex, RunAsciiHex, c.encoded, Status::End, c.decoded, c.label);
    }
}

}  // namespace
