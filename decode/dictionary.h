// Reading values out of one object's dictionary text (NUL-terminated, from
// "<<" to the matching ">>"). Purely textual: keys are found by substring
// search, nested dictionaries are searched like the rest, and references are
// never followed. Nothing here allocates or fails with an error number.
#pragma once

#include <cstdint>

// Size of the caller's array that receives a name or array value.
constexpr uint32_t NameValueCapacity = 64;

// Skips spaces and tabs, reads an optional '-' and decimal digits (32-bit,
// wrapping). `value` is always set (0 without digits). Returns the position
// after the last digit, or null when no digit was read.
const char* ParseInteger(const char* position, int32_t& value);
// The position where the key's value begins, or null.
const char* FindKey(const char* dictionaryText, const char* key, bool allowDirect);
// The integer (or, with allowBoolean, "true"/"false") after the key. `value` is
// always set; returns true when it came from the text.
bool GetIntValue(const char* dictionaryText, const char* key, int32_t defaultValue, bool allowBoolean,
                 int32_t& value);
// The name (with its slash) or the array contents after the key, at most 63
// characters, always NUL-terminated (empty when not found). Returns found.
bool GetNameValue(const char* dictionaryText, const char* key, char (&value)[NameValueCapacity]);
