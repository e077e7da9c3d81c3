// Reading values out of one object's dictionary text (from "<<" to the
// matching ">>"). Purely textual: keys are found by substring search, nested
// dictionaries are searched like the rest, and references are never followed.
// The text runs to its end whatever bytes it holds: producers write binary
// strings (UTF-16 with NUL bytes) into dictionaries, and keys after them
// count. Nothing here allocates or fails with an error number.
#pragma once

#include <cstdint>
#include <string_view>

// One object's dictionary text; not NUL-terminated.
using DictionaryText = std::string_view;

// Size of the caller's array that receives a name or array value.
constexpr uint32_t NameValueCapacity = 64;

// Skips spaces and tabs, reads an optional '-' and decimal digits (32-bit,
// wrapping), reading no further than `end`. `value` is always set (0 without
// digits). Returns the position after the last digit, or null when no digit
// was read.
const char* ParseInteger(const char* position, const char* end, int32_t& value);
// The position where the key's value begins (possibly the text's end), or null.
const char* FindKey(DictionaryText dictionary, const char* key, bool allowDirect);
// The integer (or, with allowBoolean, "true"/"false") after the key. `value` is
// always set; returns true when it came from the text.
bool GetIntValue(DictionaryText dictionary, const char* key, int32_t defaultValue, bool allowBoolean,
                 int32_t& value);
// An integer value that may be given by reference.
struct IntOrReference {
    int32_t value = 0;          // GetIntValue's, booleans not accepted
    bool found = false;         // GetIntValue's found
    bool isReference = false;   // the value is a reference "N G R" (value is then N)
    uint32_t number = 0;        // with isReference: N and G
    uint32_t generation = 0;
};
// GetIntValue of the key (no booleans) that also tells whether the value
// there is a reference, in one search of the text. Nothing is followed.
IntOrReference GetIntOrReference(DictionaryText dictionary, const char* key, int32_t defaultValue);
// The name (with its slash) or the array contents after the key, at most 63
// characters, always NUL-terminated (empty when not found). A copied value
// ends at a NUL byte. Returns found.
bool GetNameValue(DictionaryText dictionary, const char* key, char (&value)[NameValueCapacity]);
