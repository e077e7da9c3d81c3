// Dictionary value lookups: plain text searches over one object's dictionary,
// nothing parsed into a structure, nothing allocated.
#include "decode/dictionary.h"

#include <cstring>

#include "decode/char_class.h"

namespace {

// Longest name or array copied, leaving room for the terminating NUL.
constexpr uint32_t MaxValueLength = NameValueCapacity - 1;

// True when `text` begins with `word` (lower case), compared without case.
bool StartsWithNoCase(const char* text, const char* word) {
    for (; *word != '\0'; ++text, ++word) {
        if (ToLowerAscii(static_cast<unsigned char>(*text)) != static_cast<unsigned char>(*word)) return false;
    }
    return true;
}

}  // namespace

const char* ParseInteger(const char* position, int32_t& value) {
    while (IsSpaceOrTab(static_cast<unsigned char>(*position))) ++position;
    bool negative = false;
    if (*position == '-') {
        negative = true;
        ++position;
    }
    // Unsigned so that overlong numbers wrap modulo 2^32 instead of overflowing.
    uint32_t magnitude = 0;
    const char* digitsStart = position;
    while (IsDigit(static_cast<unsigned char>(*position))) {
        magnitude = magnitude * 10u + static_cast<uint32_t>(*position - '0');
        ++position;
    }
    if (negative) magnitude = 0u - magnitude;
    value = static_cast<int32_t>(magnitude);
    return position == digitsStart ? nullptr : position;
}

const char* FindKey(const char* dictionaryText, const char* key, bool allowDirect) {
    const size_t keyLength = std::strlen(key);
    // An empty key would match at the NUL and step past it.
    if (keyLength == 0) return nullptr;
    const char* searchStart = dictionaryText;
    for (;;) {
        const char* found = std::strstr(searchStart, key);
        if (found == nullptr) return nullptr;
        const char* after = found + keyLength;
        const unsigned char next = static_cast<unsigned char>(*after);
        if (next >= 9 && next <= 32) {
            while (IsSpaceOrTab(static_cast<unsigned char>(*after))) ++after;
            return after;
        }
        if (allowDirect && (next == '/' || next == '[')) return after;
        // A longer name that merely starts with the key (/Length1), or a key
        // followed by a dictionary or string: not this key, look further on.
        searchStart = found + 1;
    }
}

bool GetIntValue(const char* dictionaryText, const char* key, int32_t defaultValue, bool allowBoolean,
                 int32_t& value) {
    value = defaultValue;
    const char* position = FindKey(dictionaryText, key, false);
    if (position == nullptr) return false;
    if (*position != '\0') {
        int32_t number = 0;
        if (ParseInteger(position, number) != nullptr) {
            value = number;
            return true;
        }
    }
    if (allowBoolean) {
        if (StartsWithNoCase(position, "true")) {
            value = 1;
            return true;
        }
        if (StartsWithNoCase(position, "false")) {
            value = 0;
            return true;
        }
    }
    return false;
}

bool GetNameValue(const char* dictionaryText, const char* key, char (&value)[NameValueCapacity]) {
    value[0] = '\0';
    const char* position = FindKey(dictionaryText, key, true);
    if (position == nullptr) return false;
    // A number or reference before the first name is stepped over.
    while (*position != '\0' && *position != '/' && *position != '[') ++position;
    if (*position == '\0') return false;

    uint32_t length = 0;
    if (*position == '[') {
        ++position;
        while (length < MaxValueLength && position[length] != '\0' && position[length] != ']') {
            value[length] = position[length];
            ++length;
        }
    } else {
        value[length++] = '/';
        ++position;
        while (length < MaxValueLength && IsLetterOrDigit(static_cast<unsigned char>(*position))) {
            value[length++] = *position++;
        }
    }
    value[length] = '\0';
    return true;
}
