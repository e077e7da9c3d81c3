// Dictionary value lookups: plain text searches over one object's dictionary,
// nothing parsed into a structure, nothing allocated.
#include "syntax/dictionary.h"

#include <cstring>

#include "syntax/byte_search.h"
#include "syntax/char_class.h"
#include "syntax/value_reader.h"

namespace {

// Longest name or array copied, leaving room for the terminating NUL.
constexpr uint32_t MaxValueLength = NameValueCapacity - 1;

// True when [text, end) begins with `word` (lower case), compared without case.
bool StartsWithNoCase(const char* text, const char* end, const char* word) {
    for (; *word != '\0'; ++text, ++word) {
        if (text == end || ToLowerAscii(static_cast<unsigned char>(*text)) != static_cast<unsigned char>(*word)) {
            return false;
        }
    }
    return true;
}

const char* SkipSpacesAndTabs(const char* position, const char* end) {
    while (position < end && IsSpaceOrTab(static_cast<unsigned char>(*position))) ++position;
    return position;
}

}  // namespace

const char* ParseInteger(const char* position, const char* end, int32_t& value) {
    position = SkipSpacesAndTabs(position, end);
    bool negative = false;
    if (position < end && *position == '-') {
        negative = true;
        ++position;
    }
    // Unsigned so that overlong numbers wrap modulo 2^32 instead of overflowing.
    uint32_t magnitude = 0;
    const char* digitsStart = position;
    while (position < end && IsDigit(static_cast<unsigned char>(*position))) {
        magnitude = magnitude * 10u + static_cast<uint32_t>(*position - '0');
        ++position;
    }
    if (negative) magnitude = 0u - magnitude;
    value = static_cast<int32_t>(magnitude);
    return position == digitsStart ? nullptr : position;
}

const char* FindKey(DictionaryText dictionary, const char* key, bool allowDirect) {
    const size_t keyLength = std::strlen(key);
    // An empty key would match everywhere.
    if (keyLength == 0) return nullptr;
    const auto* const first = reinterpret_cast<const uint8_t*>(dictionary.data());
    const auto* const end = first + dictionary.size();
    const auto* const keyBytes = reinterpret_cast<const uint8_t*>(key);
    // Every key starts with the same byte, '/', so candidates are found by a
    // byte search and compared in line: a library call for each would cost
    // more than the comparison.
    for (const uint8_t* candidate = first; static_cast<size_t>(end - candidate) >= keyLength; ++candidate) {
        candidate = FindEitherByte(candidate, end - keyLength + 1, keyBytes[0], keyBytes[0]);
        if (candidate == end - keyLength + 1) return nullptr;
        size_t matched = 1;
        while (matched < keyLength && candidate[matched] == keyBytes[matched]) ++matched;
        if (matched < keyLength) continue;
        const char* after = reinterpret_cast<const char*>(candidate + keyLength);
        // At the text's end there is no value: not this key.
        const unsigned char next = candidate + keyLength < end ? candidate[keyLength] : 0;
        if (next >= 9 && next <= 32) return SkipSpacesAndTabs(after, reinterpret_cast<const char*>(end));
        if (allowDirect && (next == '/' || next == '[')) return after;
        // A longer name that merely starts with the key (/Length1), or a key
        // followed by a dictionary or string: not this key, look further on.
    }
    return nullptr;
}

bool GetIntValue(DictionaryText dictionary, const char* key, int32_t defaultValue, bool allowBoolean,
                 int32_t& value) {
    value = defaultValue;
    const char* position = FindKey(dictionary, key, false);
    if (position == nullptr) return false;
    const char* const end = dictionary.data() + dictionary.size();
    int32_t number = 0;
    if (ParseInteger(position, end, number) != nullptr) {
        value = number;
        return true;
    }
    if (allowBoolean) {
        if (StartsWithNoCase(position, end, "true")) {
            value = 1;
            return true;
        }
        if (StartsWithNoCase(position, end, "false")) {
            value = 0;
            return true;
        }
    }
    return false;
}

IntOrReference GetIntOrReference(DictionaryText dictionary, const char* key, int32_t defaultValue) {
    IntOrReference read;
    read.value = defaultValue;
    const char* const position = FindKey(dictionary, key, false);
    if (position == nullptr) return read;
    const char* const end = dictionary.data() + dictionary.size();
    int32_t number = 0;
    const char* const digitsEnd = ParseInteger(position, end, number);
    if (digitsEnd == nullptr) return read;
    read.value = number;
    read.found = true;
    // A value that runs on past its number can only be a reference.
    const char* const valueEnd = SkipValue(position, end);
    read.isReference = valueEnd != nullptr && valueEnd != digitsEnd &&
                       ReadReferenceValue(ValueText(position, static_cast<size_t>(valueEnd - position)), read.number,
                                          read.generation);
    return read;
}

bool GetNameValue(DictionaryText dictionary, const char* key, char (&value)[NameValueCapacity]) {
    value[0] = '\0';
    const char* position = FindKey(dictionary, key, true);
    if (position == nullptr) return false;
    const char* const end = dictionary.data() + dictionary.size();
    // A number or reference before the first name is stepped over.
    while (position < end && *position != '/' && *position != '[') ++position;
    if (position == end) return false;

    uint32_t length = 0;
    if (*position == '[') {
        ++position;
        while (length < MaxValueLength && position + length < end && position[length] != '\0' &&
               position[length] != ']') {
            value[length] = position[length];
            ++length;
        }
    } else {
        value[length++] = '/';
        ++position;
        while (length < MaxValueLength && position < end && IsLetterOrDigit(static_cast<unsigned char>(*position))) {
            value[length++] = *position++;
        }
    }
    value[length] = '\0';
    return true;
}
