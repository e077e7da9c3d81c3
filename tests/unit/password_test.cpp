// Passwords as readers take them. SASLprep against RFC 4013's examples and
// further cases whose answers come from Python's stringprep and
// unicodedata.ucd_3_2_0 (an implementation of its own, not our tables'
// reading); the forms each revision tries, PDFDocEncoding's bytes as
// pikepdf's pdfdoc codec gives them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "document/password_forms.h"
#include "document/saslprep.h"
#include "tests/unit/hex.h"

namespace {

struct PrepCase {
    const char* label;
    const char* input;     // UTF-8
    bool prepared;
    const char* expected;  // UTF-8
};

TEST(Password, SaslPrepAsRfc4013AndUnicodeHaveIt) {
    const PrepCase cases[] = {
        {"RFC 4013: soft hyphen mapped to nothing", "I\302\255X", true, "IX"},
        {"RFC 4013: no transformation", "user", true, "user"},
        {"RFC 4013: case preserved", "USER", true, "USER"},
        {"RFC 4013: output is NFKC", "\302\252", true, "a"},
        {"RFC 4013: Roman numeral nine", "\342\205\250", true, "IX"},
        {"RFC 4013: prohibited character", "\007", false, ""},
        {"RFC 4013: bidirectional check", "\330\2471", false, ""},
        {"non-ASCII space to space, zero width space to nothing", "a\343\200\200b\342\200\213c", true, "a bc"},
        {"composed from decomposed", "A\314\212ngstro\314\210m", true, "\303\205ngstr\303\266m"},
        {"singleton: angstrom sign", "\342\204\253", true, "\303\205"},
        {"marks put in canonical order, then composed", "a\314\202\314\243", true, "\341\272\255"},
        {"the same marks in the other order", "a\314\243\314\202", true, "\341\272\255"},
        {"a mark of the same class blocks", "a\314\201\314\201", true, "\303\241\314\201"},
        {"composition exclusion stays decomposed", "\340\245\230", true, "\340\244\225\340\244\274"},
        {"compatibility decomposed recursively", "\341\272\233\314\243", true, "\341\271\251"},
        {"Hangul jamo composed to a syllable", "\341\204\200\341\205\241\341\206\250", true, "\352\260\201"},
        {"Hangul syllable and trailing jamo", "\352\260\200\341\206\250", true, "\352\260\201"},
        {"ligature expanded", "\357\254\203", true, "ffi"},
        {"expansion of 18 characters", "\357\267\272", true,
         "\330\265\331\204\331\211 \330\247\331\204\331\204\331\207 \330\271\331\204\331\212\331\207 "
         "\331\210\330\263\331\204\331\205"},
        {"mathematical letter beyond the BMP", "\360\235\220\200", true, "A"},
        {"CJK compatibility ideograph mended by Corrigendum 4", "\360\257\241\250", true, "\360\241\215\252"},
        {"starts with a combining mark", "\314\201e", true, "\314\201e"},
        {"right to left throughout", "\327\220\327\221", true, "\327\220\327\221"},
        {"right to left mixed with left to right", "\327\220a\327\221", false, ""},
        {"unassigned in Unicode 3.2 passes", "\310\241", true, "\310\241"},
        {"private use prohibited", "\356\200\200", false, ""},
        {"mapped to nothing entirely", "\302\255\342\200\213", true, ""},
        {"not UTF-8", "caf\351", false, ""},
        {"U+FFFD itself", "\357\277\275", false, ""},
    };
    for (const PrepCase& c : cases) {
        SCOPED_TRACE(c.label);
        uint8_t prepared[MaxPasswordBytes];
        size_t length = 0;
        ASSERT_EQ(SaslPrep(c.input, prepared, sizeof prepared, length), c.prepared);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(prepared), length), c.expected);
    }
}

TEST(Password, SaslPrepCutsItsOutputAndRefusesWhatDoesNotFit) {
    // U+FDFA prepares to 33 bytes; four of them are cut to 127, mid-character.
    std::string four;
    for (int i = 0; i < 4; ++i) four += "\357\267\272";
    uint8_t prepared[MaxPasswordBytes];
    size_t length = 0;
    ASSERT_TRUE(SaslPrep(four, prepared, sizeof prepared, length));
    EXPECT_EQ(length, MaxPasswordBytes);
    // Each decomposes to 18 code points: 29 of them take more than 512.
    std::string many;
    for (int i = 0; i < 28; ++i) many += "\357\267\272";
    EXPECT_TRUE(SaslPrep(many, prepared, sizeof prepared, length));
    EXPECT_FALSE(SaslPrep(many + "\357\267\272", prepared, sizeof prepared, length));
}

struct FormsCase {
    const char* label;
    std::string password;
    bool aes256;                     // R 5 and 6, else R 2 to 4
    std::vector<std::string> forms;  // hex
};

TEST(Password, FormsEachRevisionTries) {
    const FormsCase cases[] = {
        {"ASCII, one form", "user", false, {"75736572"}},
        {"euro sign: UTF-8, then PDFDocEncoding; Latin-1 has none", "\342\202\254", false, {"e282ac", "a0"}},
        {"e acute: PDFDocEncoding and Latin-1 agree", "\303\251", false, {"c3a9", "e9"}},
        {"bullet: PDFDocEncoding only", "\342\200\242", false, {"e280a2", "80"}},
        {"U+0080: Latin-1 only", "\302\200", false, {"c280", "80"}},
        {"breve and e acute", "\313\230\303\251", false, {"cb98c3a9", "18e9"}},
        {"not UTF-8: as given", "caf\351", false, {"636166e9"}},
        {"cut to 32 bytes", std::string(40, 'a'), false, {ToHex(std::string(32, 'a'))}},
        {"empty: none", "", false, {}},
        {"decomposed: prepared, then as given", "e\314\201", true, {"c3a9", "65cc81"}},
        {"ASCII, one form", "user", true, {"75736572"}},
        {"not UTF-8: as given", "caf\351", true, {"636166e9"}},
        {"prohibited: as given", "\007", true, {"07"}},
        {"empty: none", "", true, {}},
    };
    for (const FormsCase& c : cases) {
        SCOPED_TRACE(std::string(c.label) + (c.aes256 ? ", R 6" : ", R 4"));
        PasswordForms forms;
        if (c.aes256) {
            Aes256PasswordForms(c.password, forms);
        } else {
            Rc4FamilyPasswordForms(c.password, forms);
        }
        std::vector<std::string> found;
        for (size_t i = 0; i < forms.count; ++i) {
            found.push_back(ToHex(std::string(reinterpret_cast<const char*>(forms.form[i].bytes), forms.form[i].length)));
        }
        EXPECT_EQ(found, c.forms);
    }
    PasswordForms forms;
    Aes256PasswordForms(std::string(200, 'a'), forms);
    ASSERT_EQ(forms.count, 1u);
    EXPECT_EQ(forms.form[0].length, MaxPasswordBytes);
}

}  // namespace
