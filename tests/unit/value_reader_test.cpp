// The value reader: strings read to their exact bytes, and dictionaries
// walked so that only their own keys are found.
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "syntax/value_reader.h"

namespace {

using namespace std::literals;

struct StringCase {
    const char* label;
    std::string_view value;
    bool read;
    std::string_view bytes;  // the expected bytes, written out by hand
};

TEST(ReadStringValue, Table) {
    const StringCase cases[] = {
        {"plain", "(abc)", true, "abc"},
        {"empty", "()", true, ""},
        {"balanced parentheses", "(a(b)c)", true, "a(b)c"},
        {"escaped parentheses", "(a\\)b\\(c)", true, "a)b(c"},
        {"named escapes", "(\\n\\r\\t\\b\\f\\\\)", true, "\n\r\t\b\f\\"},
        {"three octal digits", "(\\101\\060\\377)", true, "A0\xff"},
        {"one and two octal digits", "(\\0x\\53y)", true, "\0x+y"sv},
        {"octal stops after three digits", "(\\0612)", true, "12"},
        {"octal over 255 keeps its low byte", "(\\777)", true, "\xff"},
        {"unknown escape drops the backslash", "(\\q\\8)", true, "q8"},
        {"backslash before LF joins lines", "(ab\\\ncd)", true, "abcd"},
        {"backslash before CR LF joins lines", "(ab\\\r\ncd)", true, "abcd"},
        {"backslash before CR joins lines", "(ab\\\rcd)", true, "abcd"},
        {"CR LF inside is one LF", "(a\r\nb)", true, "a\nb"},
        {"CR inside is LF", "(a\rb)", true, "a\nb"},
        {"binary bytes stay", "(\x00\x80\xff>>)"sv, true, "\x00\x80\xff>>"sv},
        {"unterminated", "(abc", false, ""},
        {"bytes after the close", "(a)b", false, ""},
        {"hex", "<48656c6C6f>", true, "Hello"},
        {"hex with white space", "< 48 65\n6c\t6c 6f >", true, "Hello"},
        {"hex odd digit counts as followed by 0", "<414>", true, "A@"},
        {"hex empty", "<>", true, ""},
        {"hex bad digit", "<4G>", false, ""},
        {"hex unterminated", "<41", false, ""},
        {"a name is no string", "/Name", false, ""},
        {"a dictionary is no string", "<</A 1>>", false, ""},
    };
    for (const StringCase& c : cases) {
        SCOPED_TRACE(c.label);
        uint8_t bytes[16] = {};
        size_t length = 99;
        ASSERT_EQ(ReadStringValue(c.value, bytes, sizeof bytes, length), c.read);
        if (c.read) {
            EXPECT_EQ(std::string_view(reinterpret_cast<const char*>(bytes), length), c.bytes);
        }
    }
}

TEST(ReadStringValue, RefusesMoreBytesThanRoom) {
    uint8_t bytes[4];
    size_t length = 0;
    EXPECT_TRUE(ReadStringValue("(abcd)", bytes, 4, length));
    EXPECT_FALSE(ReadStringValue("(abcde)", bytes, 4, length));
    EXPECT_FALSE(ReadStringValue("<0102030405>", bytes, 4, length));
    EXPECT_FALSE(ReadStringValue("<010203040>", bytes, 4, length));
}

struct LookupCase {
    const char* label;
    std::string_view dictionary;
    const char* key;
    bool found;
    std::string_view value;
};

TEST(FindDictionaryValue, Table) {
    const LookupCase cases[] = {
        {"name", "<</Type /XRef /Size 3>>", "/Type", true, "/XRef"},
        {"no white space", "<</Type/XRef/Size 3>>", "/Size", true, "3"},
        {"reference is one value", "<</Encrypt 12 0 R /ID [<01><02>]>>", "/Encrypt", true, "12 0 R"},
        {"array", "<</ID [<01> <02>] /Root 1 0 R>>", "/ID", true, "[<01> <02>]"},
        {"key only inside a nested dictionary", "<</DecodeParms <</Type /XRef>> /Length 5>>", "/Type", false, ""},
        {"nested dictionary as a value", "<</CF <</StdCF <</CFM /AESV2>>>> /V 4>>", "/CF", true,
         "<</StdCF <</CFM /AESV2>>>>"},
        {"after a nested dictionary", "<</CF <</StdCF <</CFM /AESV2>>>> /V 4>>", "/V", true, "4"},
        {"key only inside a string", "<</O (/Encrypt 1 0 R) /U <2f52>>>", "/Encrypt", false, ""},
        {"string holding brackets", "<</O (>>\\)<<) /P -4>>", "/P", true, "-4"},
        {"key only inside an array", "<</Filter [/Crypt] /Kids [/Type]>>", "/Type", false, ""},
        {"longer key that starts alike", "<</Length1 10 /Length 5>>", "/Length", true, "5"},
        {"comment between entries", "<</A 1 % /B 2\n/C 3>>", "/B", false, ""},
        {"value after a comment", "<</A 1 % /B 2\n/C 3>>", "/C", true, "3"},
        {"numbers then a name are not a reference", "<</W [1 2 1] /R 4>>", "/R", true, "4"},
        {"boolean", "<</EncryptMetadata false>>", "/EncryptMetadata", true, "false"},
        {"unterminated string ends the walk", "<</O (abc /P 4>>", "/P", false, ""},
        {"not a dictionary", "[/Type /XRef]", "/Type", false, ""},
    };
    for (const LookupCase& c : cases) {
        SCOPED_TRACE(c.label);
        ValueText value;
        ASSERT_EQ(FindDictionaryValue(c.dictionary, c.key, value), c.found);
        if (c.found) {
            EXPECT_EQ(value, c.value);
        }
    }
}

TEST(DictionaryAt, EndsAtTheMatchingBracketsOutsideStrings) {
    const std::string_view text = "<</O (a>>b) /CF <</X <</Y 1>>>> /U <3e3e>>> trailing";
    const DictionaryText dictionary = DictionaryAt(text.data(), text.data() + text.size());
    EXPECT_EQ(dictionary, "<</O (a>>b) /CF <</X <</Y 1>>>> /U <3e3e>>>");
    const std::string_view unterminated = "<</A <</B 1>>";
    EXPECT_TRUE(DictionaryAt(unterminated.data(), unterminated.data() + unterminated.size()).empty());
}

struct DictionaryEndCase {
    const char* label;
    std::string_view text;
    std::string_view dictionary;  // empty: it never ends
    bool textEnded;               // with none: the text ran out inside it
};

TEST(DictionaryAt, ReadsAsPdf) {
    const DictionaryEndCase cases[] = {
        {"a string holding <<", "<</D (Rfn.<<.Rdash.)>> x", "<</D (Rfn.<<.Rdash.)>>", false},
        {"a hex string right before >>", "<</Foo <ABCD>>> x", "<</Foo <ABCD>>>", false},
        {"a hex string with white space", "<</ID <AB\r\n cd>>> x", "<</ID <AB\r\n cd>>>", false},
        {"a comment holding >>", "<</A 1 % >>\n>> x", "<</A 1 % >>\n>>", false},
        {"stray closers inside", "<</A 1 ) ] > /B [2]>> x", "<</A 1 ) ] > /B [2]>>", false},
        {"a bracket does not close a dictionary", "<</A ]>> x", "<</A ]>>", false},
        {"a name holding obj", "<</obj /endobj /stream 1>>", "<</obj /endobj /stream 1>>", false},
        {"stream before >>", "<</Length 3\nstream\nabc", "", false},
        {"endobj before >>", "<<\n\nendstream\nendobj\n", "", false},
        {"another object's header", "<</A 1\n2 0 obj\n<</B 2>>", "", false},
        {"a string running over a header line", "<</T (abc\n2 0 obj\n(x)>>", "", false},
        {"a string holding a line of another kind", "<</T (abc\n2 0 x)>>", "<</T (abc\n2 0 x)>>", false},
        {"a hex string with a bad byte", "<</ID <12zz>>>", "", false},
        {"text ends in a string", "<</T (abc", "", true},
        {"text ends in a hex string", "<</T <ab", "", true},
        {"text ends in the dictionary", "<</A <</B 1>>", "", true},
    };
    for (const DictionaryEndCase& c : cases) {
        bool textEnded = !c.textEnded;
        const DictionaryText dictionary = DictionaryAt(c.text.data(), c.text.data() + c.text.size(), textEnded);
        EXPECT_EQ(dictionary, c.dictionary) << c.label;
        EXPECT_EQ(textEnded, c.textEnded) << c.label;
    }
}

TEST(ReadObjectHeaderTokens, Table) {
    const struct {
        const char* label;
        std::string_view text;
        long after;  // bytes up to the position returned; -1 for none
        uint32_t number, generation;
    } cases[] = {
        {"plain", "12 0 obj\n", 8, 12, 0},
        {"spaces and tabs", " \t12 \t3\tobj<<", 11, 12, 3},
        {"obj right after the generation", "4 0obj", 6, 4, 0},
        {"largest numbers", "4294967295 65535 obj", 20, 4294967295u, 65535},
        {"number past 32 bits", "4294967296 0 obj", -1, 0, 0},
        {"obj run on", "4 0 objx", -1, 0, 0},
        {"one number", "4 obj", -1, 0, 0},
        {"negative", "-4 0 obj", -1, 0, 0},
        {"line end between", "4\n0 obj", -1, 0, 0},
    };
    for (const auto& c : cases) {
        uint32_t number = 0;
        uint32_t generation = 0;
        const char* const after = ReadObjectHeaderTokens(c.text.data(), c.text.data() + c.text.size(), number, generation);
        if (c.after < 0) {
            EXPECT_EQ(after, nullptr) << c.label;
            continue;
        }
        EXPECT_EQ(after, c.text.data() + c.after) << c.label;
        EXPECT_EQ(number, c.number) << c.label;
        EXPECT_EQ(generation, c.generation) << c.label;
    }
}

TEST(NextArrayElement, TakesReferencesWhole) {
    ValueWalk walk;
    ASSERT_TRUE(StartArrayWalk("[1 0 R 2 /N (s) <</A 1>> [3] 4 5 R]", walk));
    const std::string_view expected[] = {"1 0 R", "2", "/N", "(s)", "<</A 1>>", "[3]", "4 5 R"};
    for (const std::string_view element : expected) {
        ValueText value;
        ASSERT_TRUE(NextArrayElement(walk, value));
        EXPECT_EQ(value, element);
    }
    ValueText value;
    EXPECT_FALSE(NextArrayElement(walk, value));
}

TEST(TypedValues, Table) {
    int64_t number = 0;
    EXPECT_TRUE(ReadIntegerValue("-1028", number));
    EXPECT_EQ(number, -1028);
    EXPECT_TRUE(ReadIntegerValue("4294967292", number));
    EXPECT_EQ(number, 4294967292);
    EXPECT_FALSE(ReadIntegerValue("40.0", number));
    EXPECT_FALSE(ReadIntegerValue("1234567890123456789", number));
    bool flag = true;
    EXPECT_TRUE(ReadBooleanValue("false", flag));
    EXPECT_FALSE(flag);
    EXPECT_FALSE(ReadBooleanValue("False", flag));
    uint32_t objectNumber = 0;
    uint32_t generation = 0;
    EXPECT_TRUE(ReadReferenceValue("12\n 3 R", objectNumber, generation));
    EXPECT_EQ(objectNumber, 12u);
    EXPECT_EQ(generation, 3u);
    EXPECT_FALSE(ReadReferenceValue("12 0 obj", objectNumber, generation));
    EXPECT_FALSE(ReadReferenceValue("4294967296 0 R", objectNumber, generation));
}

}  // namespace
