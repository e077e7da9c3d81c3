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
        {"line break inside a pair ends", "41\n4\n2", "A"},
        {"space ends", "41 42", "A"},
        {"tab ends", "41\t42", "A"},
        {"closing bracket ends", "4142>4344", "AB"},
        {"odd digit dropped", "414", "A"},
        {"high byte ends", "41\xb4" "142", "A"},
        {"other letter ends", "41g2", "A"},
        {"empty", "", ""},
        {"only line ends", "\r\n", ""},
    };
    for (const AsciiHexCase& c : cases) {
        ExpectInEveryWindow<AsciiHexStage>(StartAsciiHex, RunAsciiHex, c.encoded, Status::End, c.decoded, c.label);
    }
}

}  // namespace
