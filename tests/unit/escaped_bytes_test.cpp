// File-name bytes through UTF-16 and back (platform/utf8.h). The expected
// units are those of Python's "surrogateescape" decoding, the convention the
// mapping follows: b"caf\xe9".decode("utf-8", "surrogateescape") == "caf\udce9".
#include <gtest/gtest.h>

#include <string>

#include "platform/utf8.h"

namespace {

std::u16string ToUnits(const std::string& bytes) {
    std::u16string units;
    ConvertBytesToUtf16(bytes.data(), static_cast<int64_t>(bytes.size()), [&](char16_t unit) { units.push_back(unit); });
    return units;
}

std::string ToBytes(const std::u16string& units) {
    std::string bytes;
    ConvertUtf16ToBytes(units.data(), static_cast<int64_t>(units.size()), [&](char byte) { bytes.push_back(byte); });
    return bytes;
}

struct EscapeCase {
    const char* label;
    std::string bytes;
    std::u16string units;
};

TEST(EscapedBytes, DecodesAsSurrogateEscapeAndBack) {
    const EscapeCase cases[] = {
        {"Latin-1 name", "caf\xe9.pdf", u"caf\xdce9.pdf"},
        {"UTF-8 name", "caf\xc3\xa9", u"caf\u00e9"},
        {"a character past the BMP", "\xf0\x9f\x98\x80", u"\U0001F600"},
        {"a genuine U+FFFD", "\xef\xbf\xbd", u"\ufffd"},
        {"an encoded surrogate", "\xed\xa0\x80", u"\xdced\xdca0\xdc80"},
        {"a cut-short sequence", "\xe2\x82", u"\xdce2\xdc82"},
        {"an overlong slash", "\xc0\xaf", u"\xdcc0\xdcaf"},
        {"a stray continuation byte", "a\x80z", u"a\xdc80z"},
    };
    for (const EscapeCase& c : cases) {
        EXPECT_EQ(ToUnits(c.bytes), c.units) << c.label;
        EXPECT_EQ(ToBytes(c.units), c.bytes) << c.label;
    }
}

TEST(EscapedBytes, EveryByteStringOfOneAndTwoBytesComesBack) {
    for (int first = 0; first < 256; ++first) {
        const std::string one(1, static_cast<char>(first));
        ASSERT_EQ(ToBytes(ToUnits(one)), one) << first;
        for (int second = 0; second < 256; ++second) {
            const std::string two = one + static_cast<char>(second);
            ASSERT_EQ(ToBytes(ToUnits(two)), two) << first << " " << second;
        }
    }
}

TEST(EscapedBytes, OtherLoneSurrogatesAreReplaced) {
    // Only U+DC80 to U+DCFF stand for bytes; other lone surrogates become
    // U+FFFD as in every other conversion.
    EXPECT_EQ(ToBytes(u"\xdc7f"), "\xef\xbf\xbd");
    EXPECT_EQ(ToBytes(u"\xd83d"), "\xef\xbf\xbd");
    EXPECT_EQ(ToBytes(u"\xdd00"), "\xef\xbf\xbd");
}

}  // namespace
