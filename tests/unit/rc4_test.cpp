// RC4 against the test vectors of RFC 6229: the key stream (RC4 applied to
// zero bytes) at the offsets the RFC lists, produced in uneven pieces so that
// the state carries from call to call.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "decode/rc4.h"
#include "tests/unit/hex.h"

namespace {

struct Rc4Case {
    const char* key;     // hex
    size_t offset;       // of the 16 bytes in the key stream
    const char* stream;  // hex, from RFC 6229 section 2
};

TEST(Rc4, Rfc6229KeyStream) {
    const Rc4Case cases[] = {
        {"0102030405", 0, "b2396305f03dc027ccc3524a0a1118a8"},
        {"0102030405", 16, "6982944f18fc82d589c403a47a0d0919"},
        {"0102030405", 240, "28cb1132c96ce286421dcaadb8b69eae"},
        {"0102030405", 4080, "068326a2118416d21f9d04b2cd1ca050"},
        {"0102030405", 4096, "ff25b58995996707e51fbdf08b34d875"},
        {"01020304050607", 0, "293f02d47f37c9b633f2af5285feb46b"},
        {"833222772a", 0, "80ad97bdc973df8a2e879e92a497efda"},
        {"833222772a", 4096, "bf42c3018c2f7c66bfde524975768115"},
        {"0102030405060708090a0b0c0d0e0f10", 4080, "ff38265c1642c1abe8d3c2fe5e572bf8"},
        {"ebb46227c6cc8b37641910833222772a", 0, "720c94b63edf44e131d950ca211a5a30"},
        {"ebb46227c6cc8b37641910833222772a", 256, "4847d81da4942dbc249defc48c922b9f"},
        {"ebb46227c6cc8b37641910833222772a", 4080, "a2221a11b833ccb498a59540f0545f4a"},
        {"0102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f20", 0, "eaa6bd25880bf93d3f5d1e4ca2611d91"},
    };
    for (const Rc4Case& c : cases) {
        SCOPED_TRACE(std::string(c.key) + " at " + std::to_string(c.offset));
        const std::string key = FromHex(c.key);
        Rc4State state;
        StartRc4(state, reinterpret_cast<const uint8_t*>(key.data()), key.size());
        std::vector<uint8_t> stream(c.offset + 16, 0);
        // Pieces of 1, 2, 3, ... bytes, in place.
        for (size_t at = 0, piece = 1; at < stream.size(); at += piece, ++piece) {
            const size_t length = std::min(piece, stream.size() - at);
            ApplyRc4(state, stream.data() + at, stream.data() + at, length);
        }
        EXPECT_EQ(ToHex(std::string(stream.begin() + static_cast<std::ptrdiff_t>(c.offset), stream.end())), c.stream);
    }
}

}  // namespace
