// Reading values out of an object's text exactly, as PDF's syntax defines
// them: white space and comments between tokens, literal strings with their
// escapes and balanced parentheses, hexadecimal strings, arrays and
// dictionaries nested to any depth, and a reference "N G R" as one value.
// Where syntax/dictionary.h searches the text for a key, this walks it, so a
// key inside a nested dictionary or inside a string is never taken for one
// of the dictionary's own. Nothing here allocates; every position returned
// lies within the text given, and no read goes past its end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "syntax/dictionary.h"

// The text of one value, from its first byte to one past its last.
using ValueText = std::string_view;

// The first byte at or after `from` that is neither white space nor inside a
// comment; `end` when there is none.
const char* SkipWhiteSpace(const char* from, const char* end);
// One past the value that starts at `from`: a name, number, keyword, string,
// array or dictionary, with everything nested in it; a reference "N G R" is
// one value. Null when the text ends inside the value, or when `from` holds a
// closing bracket or white space instead of a value.
//
// A value never holds the keywords obj, endobj, stream or endstream, nor
// the header line "N G obj" of an object inside a literal string, nor in a
// hexadecimal string a byte other than digits and white space: reading
// stops there, and the value is taken for one that never ends. So no read
// runs past the next object's header line, however a value is broken.
// Inside a dictionary or array a stray ")", "]" or ">" is passed over.
const char* SkipValue(const char* from, const char* end);
// The dictionary that starts at `from` ("<<"), up to and with its matching
// ">>"; empty when `from` holds no "<<" or the dictionary never ends.
DictionaryText DictionaryAt(const char* from, const char* end);
// DictionaryAt that also tells, for a dictionary that never ends, whether
// the text ran out inside it (true) or broke off (false).
DictionaryText DictionaryAt(const char* from, const char* end, bool& textEnded);
// "N G obj" at `from`: spaces or tabs, two unsigned whole numbers under 2^32
// apart by spaces or tabs, then the keyword obj, ending where a token ends.
// The position after "obj", with the numbers; null when they are not there.
const char* ReadObjectHeaderTokens(const char* from, const char* end, uint32_t& number, uint32_t& generation);

// A walk over the entries of one dictionary or the elements of one array.
struct ValueWalk {
    const char* position = nullptr;  // the next byte to read
    const char* end = nullptr;       // one past the text
};

// Starts a walk inside the dictionary text, which must begin with "<<"
// (inside the array text, which must begin with "["); false otherwise.
bool StartDictionaryWalk(DictionaryText dictionary, ValueWalk& walk);
bool StartArrayWalk(ValueText array, ValueWalk& walk);
// The next entry of the dictionary: its key (the name, slash included, as
// written) and the text of its value. False at the closing ">>", and where
// the text holds no entry (a key that is no name, a value cut short).
bool NextDictionaryEntry(ValueWalk& walk, std::string_view& key, ValueText& value);
// The next element of the array; false at the closing "]" or broken text.
bool NextArrayElement(ValueWalk& walk, ValueText& element);
// The value of the dictionary's own entry `key` (a name with its slash,
// compared whole); the first entry wins. False when the dictionary has none.
bool FindDictionaryValue(DictionaryText dictionary, std::string_view key, ValueText& value);

// Typed reads of one value's text; each answers false for a value of
// another kind, and then leaves its output alone.
// A whole number with an optional sign, of at most 18 digits.
bool ReadIntegerValue(ValueText value, int64_t& number);
bool ReadBooleanValue(ValueText value, bool& flag);
// A name, slash included, as written ("#xx" escapes are not undone).
bool ReadNameValue(ValueText value, std::string_view& name);
// "N G R" with both numbers under 2^32.
bool ReadReferenceValue(ValueText value, uint32_t& number, uint32_t& generation);
// The bytes of a literal "(...)" or hexadecimal "<...>" string into the
// `capacity` bytes at `bytes`, and their count into `length`. Escapes are
// undone (\n \r \t \b \f \( \) \\, one to three octal digits, a backslash
// before a line end joins the lines, a backslash before any other byte is
// dropped); a line end written inside the string (CR, LF or CR LF) is one
// LF; white space between hexadecimal digits is skipped and an odd last
// digit counts as followed by 0. False when the value is no string, is not
// well formed, or holds more than `capacity` bytes.
bool ReadStringValue(ValueText value, uint8_t* bytes, size_t capacity, size_t& length);
