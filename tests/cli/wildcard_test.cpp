// The wildcard matcher of the command's PATTERN operands. The expected
// answers are bash's own: each row was checked with [[ NAME == PATTERN ]].
#include <gtest/gtest.h>

#include <string>

#include "tools/wildcard.h"

namespace {

struct WildcardCase {
    const char* label;
    const WCHAR* pattern;
    const WCHAR* name;
    bool matches;
};

std::string Narrow(const WCHAR* text) {
    std::string result;
    for (; *text != 0; ++text) result.push_back(*text < 0x80 ? static_cast<char>(*text) : '?');
    return result;
}

constexpr WildcardCase WildcardCases[] = {
    {"star", WIDE("*"), WIDE(""), true},
    {"star", WIDE("*"), WIDE("object-stream-00000012.jpg"), true},
    {"star", WIDE("*.jpg"), WIDE("object-stream-00000012.jpg"), true},
    {"star", WIDE("*.jpg"), WIDE("object-stream-00000012.jpgx"), false},
    {"star", WIDE("*.jpg"), WIDE("object-stream-00000012.tif"), false},
    {"question mark", WIDE("object-stream-0000001?.jpg"), WIDE("object-stream-00000012.jpg"), true},
    {"question mark", WIDE("object-stream-0000001?.jpg"), WIDE("object-stream-0000001.jpg"), false},
    {"question mark", WIDE("?"), WIDE("a"), true},
    {"question mark", WIDE("?"), WIDE(""), false},
    {"question mark", WIDE("?"), WIDE("ab"), false},
    {"question mark", WIDE("??"), WIDE("ab"), true},
    {"question mark", WIDE("a?c"), WIDE("abc"), true},
    {"question mark", WIDE("a?c"), WIDE("ac"), false},
    {"set", WIDE("[abc]"), WIDE("b"), true},
    {"set", WIDE("[abc]"), WIDE("d"), false},
    {"range", WIDE("[a-c]x"), WIDE("bx"), true},
    {"range", WIDE("[a-c]x"), WIDE("dx"), false},
    {"range", WIDE("*[0-3].dat"), WIDE("object-stream-00000012.dat"), true},
    {"range", WIDE("*[0-1].dat"), WIDE("object-stream-00000012.dat"), false},
    {"negated set", WIDE("[!a-c]"), WIDE("d"), true},
    {"negated set", WIDE("[!a-c]"), WIDE("b"), false},
    {"negated set", WIDE("[^a-c]"), WIDE("d"), true},
    {"negated set", WIDE("[^a-c]"), WIDE("a"), false},
    {"bracket first in a set", WIDE("[]]"), WIDE("]"), true},
    {"bracket first in a set", WIDE("[]a]"), WIDE("a"), true},
    {"bracket first in a set", WIDE("[]a]"), WIDE("b"), false},
    {"bracket first in a set", WIDE("[!]]"), WIDE("]"), false},
    {"bracket first in a set", WIDE("[!]]"), WIDE("x"), true},
    {"bracket first in a set", WIDE("[^]a]"), WIDE("b"), true},
    {"range", WIDE("[a-]"), WIDE("-"), true},
    {"range", WIDE("[a-]"), WIDE("b"), false},
    {"unclosed bracket", WIDE("["), WIDE("["), true},
    {"unclosed bracket", WIDE("[ab"), WIDE("[ab"), true},
    {"unclosed bracket", WIDE("[ab"), WIDE("a"), false},
    {"unclosed bracket", WIDE("a["), WIDE("a["), true},
    {"unclosed bracket", WIDE("*["), WIDE("x["), true},
    {"several stars", WIDE("*a*b*c*"), WIDE("aXbYcZ"), true},
    {"several stars", WIDE("*a*b*c*"), WIDE("aXcYbZ"), false},
    {"several stars", WIDE("*a*b*c"), WIDE("abcabc"), true},
    {"several stars", WIDE("*a*b*c"), WIDE("abcab"), false},
    {"several stars", WIDE("a*b*c"), WIDE("abbbc"), true},
    {"several stars", WIDE("a*b*c"), WIDE("acb"), false},
    {"several stars", WIDE("*ab*ab*"), WIDE("xabyab"), true},
    {"several stars", WIDE("*ab*ab*"), WIDE("xabyba"), false},
    {"several stars", WIDE("**"), WIDE(""), true},
    {"several stars", WIDE("***x"), WIDE("yyx"), true},
    {"several stars", WIDE("*?*?"), WIDE("a"), false},
    {"several stars", WIDE("*?*?"), WIDE("ab"), true},
    {"several stars", WIDE("object-*-0*2.*"), WIDE("object-stream-00000012.jpg"), true},
    {"several stars", WIDE("*x*yz"), WIDE("xyxyz"), true},
    {"several stars", WIDE("*x*yz"), WIDE("xyxzy"), false},
    {"beyond ASCII", WIDE("\u00e9t*"), WIDE("\u00e9t\u00e9"), true},
    {"beyond ASCII", WIDE("[\u00e0-\u00ff]*"), WIDE("\u00e9t\u00e9"), true},
    {"beyond ASCII", WIDE("?t?"), WIDE("\u00e9t\u00e9"), true},
};

TEST(Wildcard, MatchesAsTheShellDoes) {
    for (const WildcardCase& c : WildcardCases) {
        EXPECT_EQ(MatchesWildcard(c.pattern, c.name), c.matches)
            << c.label << ": '" << Narrow(c.name) << "' against '" << Narrow(c.pattern) << "'";
    }
}

// A pattern of many stars against a long name that fails only at its end:
// a matcher that retries every star for every split would not finish.
TEST(Wildcard, ManyStarsStayFast) {
    std::basic_string<WCHAR> pattern, name(4000, WCHAR('a'));
    for (int i = 0; i < 40; ++i) pattern += WIDE("*a");
    pattern += WIDE("b");
    EXPECT_FALSE(MatchesWildcard(pattern, name));
    name += WCHAR('b');
    EXPECT_TRUE(MatchesWildcard(pattern, name));
}

}  // namespace
