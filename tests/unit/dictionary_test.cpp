#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <string_view>

#include "syntax/dictionary.h"

namespace {

using namespace std::literals;

struct ParseCase {
    const char* label;
    std::string_view text;
    int32_t value;
    long consumed;  // bytes up to the position returned; -1 for none
};

TEST(ParseInteger, Table) {
    const ParseCase cases[] = {
        {"spaces, sign, stops at letter", "  -12abc", -12, 5},
        {"tab skipped", "\t7 ", 7, 2},
        {"plus sign refused", "+5", 0, -1},
        {"lone minus", "- ", 0, -1},
        {"wraps modulo 2^32", "4294967297", 1, 10},
        {"wraps into the sign bit", "2147483648", INT32_MIN, 10},
        {"negative wraps too", "-4294967295", 1, 11},
        {"line feed is not skipped", "\n5", 0, -1},
        {"carriage return is not skipped", "\r5", 0, -1},
        {"high byte is no digit", "\xb5", 0, -1},
        {"empty", "", 0, -1},
        {"stops at the text's end", "12345"sv.substr(0, 2), 12, 2},
        {"spaces up to the end", "   "sv, 0, -1},
        {"minus at the end", "-"sv, 0, -1},
        {"NUL ends the digits", "42\0" "7"sv, 42, 2},
    };
    for (const ParseCase& c : cases) {
        int32_t value = 12345;
        const char* end = ParseInteger(c.text.data(), c.text.data() + c.text.size(), value);
        EXPECT_EQ(value, c.value) << c.label;
        if (c.consumed < 0) {
            EXPECT_EQ(end, nullptr) << c.label;
        } else {
            EXPECT_EQ(end, c.text.data() + c.consumed) << c.label;
        }
    }
}

struct FindCase {
    const char* label;
    std::string_view text;
    const char* key;
    bool allowDirect;
    long offset;  // of the value position; -1 for none
};

TEST(FindKey, Table) {
    const FindCase cases[] = {
        {"longer name skipped", "/Length1 10 /Length 5", "/Length", false, 20},
        {"direct name refused", "/Filter/FlateDecode", "/Filter", false, -1},
        {"direct name allowed", "/Filter/FlateDecode", "/Filter", true, 7},
        {"direct array allowed", "/Filter[/A85]", "/Filter", true, 7},
        {"line end is a separator but not skipped", "/Length\r\n5", "/Length", false, 7},
        {"spaces and tabs skipped", "/Length \t 5", "/Length", false, 10},
        {"form feed separates but is not skipped", "/Length\f5", "/Length", false, 7},
        {"control byte 31 separates", "/Length\x1f" "5", "/Length", false, 7},
        {"nested dictionary is not a value", "/DecodeParms<</K -1>>/DecodeParms 3", "/DecodeParms", false, 34},
        {"string is not a value", "/T(x) /T 1", "/T", false, 9},
        {"key at the very end", "/Length", "/Length", false, -1},
        {"high byte after the key", "/Length\xa0" "5", "/Length", false, -1},
        {"case matters", "/length 5", "/Length", false, -1},
        {"missing", "/Type/XObject", "/Length", false, -1},
        {"empty key", "", "", true, -1},
        // Producers write UTF-16 strings as literal bytes; a NUL ends nothing.
        {"key after a binary string", "/Creator (\xfe\xff\0L\0u) /Length 5"sv, "/Length", false, 26},
        {"key after a NUL", "\0/Length 5"sv, "/Length", false, 9},
        {"key only in a cut text", "/Length 5"sv.substr(0, 7), "/Length", false, -1},
        {"separator is the last byte", "/Length "sv, "/Length", false, 8},
    };
    for (const FindCase& c : cases) {
        const char* position = FindKey(c.text, c.key, c.allowDirect);
        if (c.offset < 0) {
            EXPECT_EQ(position, nullptr) << c.label;
        } else {
            EXPECT_EQ(position, c.text.data() + c.offset) << c.label;
        }
    }
}

struct IntCase {
    const char* label;
    std::string_view text;
    const char* key;
    int32_t defaultValue;
    bool allowBoolean;
    int32_t value;
    bool found;
};

TEST(GetIntValue, Table) {
    const IntCase cases[] = {
        {"line end before the number", "/Length\r\n5", "/Length", 0, false, 0, false},
        {"reference gives its first number", "/Length 12 0 R", "/Length", 0, false, 12, true},
        {"nested dictionary searched", "/DecodeParms<</EarlyChange 0>>", "/EarlyChange", 1, false, 0, true},
        {"boolean refused", "/EarlyChange true", "/EarlyChange", 1, false, 1, false},
        {"TRUE without case", "/K TRUE", "/K", 0, true, 1, true},
        {"false prefix", "/K falsehood", "/K", 7, true, 0, true},
        {"null gives default", "/K null", "/K", 5, true, 5, false},
        {"key last in text", "/K", "/K", 9, true, 9, false},
        {"integer before boolean", "/K 3 true", "/K", 0, true, 3, true},
        {"negative", "/K -1/Columns 1728", "/K", 0, true, -1, true},
        {"after a longer name", "/Length1 10 /Length 5", "/Length", 0, false, 5, true},
        {"short text is no boolean", "/K tru", "/K", 4, true, 4, false},
        {"number after a binary string", "/Creator(\xfe\xff\0C)/Length 632/Filter/FlateDecode"sv, "/Length", 0,
         false, 632, true},
        {"number cut by the text's end", "/Length 632"sv.substr(0, 9), "/Length", 0, false, 6, true},
        {"boolean cut by the text's end", "/K true"sv.substr(0, 6), "/K", 3, true, 3, false},
    };
    for (const IntCase& c : cases) {
        int32_t value = 12345;
        const bool found = GetIntValue(c.text, c.key, c.defaultValue, c.allowBoolean, value);
        EXPECT_EQ(value, c.value) << c.label;
        EXPECT_EQ(found, c.found) << c.label;
    }
}

struct NameCase {
    std::string label;
    std::string text;
    const char* key;
    std::string value;
    bool found;
};

TEST(GetNameValue, Table) {
    const std::string letters70(70, 'Q');
    const std::string name62 = std::string(1, '/').append(62, 'Q');
    const std::string contents100 = [] {
        std::string s;
        for (int i = 0; s.size() < 100; ++i) s += "/F" + std::to_string(i) + ' ';
        return s.substr(0, 100);
    }();
    const NameCase cases[] = {
        {"name after space", "/Filter /FlateDecode", "/Filter", "/FlateDecode", true},
        {"array contents as text", "/Filter[/ASCII85Decode /FlateDecode]", "/Filter", "/ASCII85Decode /FlateDecode",
         true},
        {"reference stepped over", "/Filter 7 0 R/Length 9", "/Filter", "/Length", true},
        {"name ends at slash", "/Subtype/XML/Type/Metadata", "/Subtype", "/XML", true},
        {"name ends at other bytes", "/Filter /Fl.ate", "/Filter", "/Fl", true},
        {"name of 70 letters cut", "/Filter /" + letters70, "/Filter", name62, true},
        {"array of 100 bytes cut", "/Filter [" + contents100 + "]", "/Filter", contents100.substr(0, 63), true},
        {"array without closing bracket", "/Filter [/AHx", "/Filter", "/AHx", true},
        {"no such key", "/Type/XObject", "/Filter", "", false},
        {"number and nothing else", "/Filter 5", "/Filter", "", false},
        {"high byte ends the name", "/Filter /Ab\xe9z", "/Filter", "/Ab", true},
        {"name after a binary string", std::string("/T(\0\0)/Filter/FlateDecode", 25), "/Filter", "/FlateDecode", true},
        {"array ends at a NUL", std::string("/Filter[/AHx\0/Fl]", 17), "/Filter", "/AHx", true},
        {"NUL before the name is stepped over", std::string("/Filter \0/Fl", 12), "/Filter", "/Fl", true},
    };
    for (const NameCase& c : cases) {
        char value[NameValueCapacity];
        std::memset(value, 'x', sizeof value);
        const bool found = GetNameValue(c.text, c.key, value);
        EXPECT_EQ(found, c.found) << c.label;
        ASSERT_NE(std::memchr(value, '\0', sizeof value), nullptr) << c.label;
        EXPECT_EQ(std::string(value), c.value) << c.label;
    }
}

TEST(GetIntOrReference, Table) {
    const struct {
        const char* label;
        std::string_view text;
        bool found;
        int32_t value;
        bool isReference;
        uint32_t number, generation;
    } cases[] = {
        {"reference", "/Length 12 0 R/Filter/FlateDecode", true, 12, true, 12, 0},
        {"line ends inside it", "/Length 12\r\n3\nR>>", true, 12, true, 12, 3},
        {"a number", "/Length 12>>", true, 12, false, 0, 0},
        {"two numbers", "/Length 12 0>>", true, 12, false, 0, 0},
        {"R run on", "/Length 12 0 Rx", true, 12, false, 0, 0},
        {"past 32 bits: wraps as GetIntValue does, and is no reference", "/Length 4294967297 0 R", true, 1, false, 0, 0},
        {"key followed by a line end, as for integers", "/Length\n12 0 R", false, -1, false, 0, 0},
        {"longer key skipped", "/Length1 3 0 R /Length 4 0 R", true, 4, true, 4, 0},
        {"no such key", "/Filter 4 0 R", false, -1, false, 0, 0},
        {"a boolean is not read", "/Length true", false, -1, false, 0, 0},
    };
    for (const auto& c : cases) {
        const IntOrReference read = GetIntOrReference(c.text, "/Length", -1);
        EXPECT_EQ(read.found, c.found) << c.label;
        EXPECT_EQ(read.value, c.value) << c.label;
        EXPECT_EQ(read.isReference, c.isReference) << c.label;
        EXPECT_EQ(read.number, c.number) << c.label;
        EXPECT_EQ(read.generation, c.generation) << c.label;
    }
}

}  // namespace
