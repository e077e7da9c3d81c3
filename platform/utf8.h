// UTF-8 and UTF-16, one code point at a time, with the replacements Windows
// makes when MB_ERR_INVALID_CHARS is not given: U+FFFD for each cut-short
// UTF-8 sequence or stray byte and for each lone surrogate. Header-only, so
// that the Linux text stand-in and the `vellum` command, which does not link
// the plug-in's objects, convert alike.
#pragma once

#include <cstdint>

inline constexpr char32_t ReplacementCharacter = 0xFFFD;

// The code point that starts `bytes`; `length` gets the bytes it took.
// `available` is at least 1.
inline char32_t DecodeUtf8(const unsigned char* bytes, int64_t available, int64_t& length) {
    const unsigned char lead = bytes[0];
    length = 1;
    if (lead < 0x80) return lead;
    int64_t needed;
    char32_t point;
    unsigned char low = 0x80;  // bounds of the second byte, narrowed so that
    unsigned char high = 0xBF; // overlong forms and surrogates are refused
    if (lead >= 0xC2 && lead <= 0xDF) {
        needed = 1;
        point = lead & 0x1Fu;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        needed = 2;
        point = lead & 0x0Fu;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        needed = 3;
        point = lead & 0x07u;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return ReplacementCharacter;
    }
    for (int64_t i = 1; i <= needed; ++i) {
        const unsigned char next = i < available ? bytes[i] : 0;
        if (i >= available || next < 0x80 || next > 0xBF) return ReplacementCharacter;
        length = i + 1;
        // Windows takes an overlong, surrogate or too large start together
        // with its first continuation byte as one bad character.
        if (i == 1 && (next < low || next > high)) return ReplacementCharacter;
        point = (point << 6) | (next & 0x3Fu);
    }
    return point;
}

// The code point that starts `units`: a surrogate pair, or one unit.
// `available` is at least 1.
inline char32_t DecodeUtf16(const char16_t* units, int64_t available, int64_t& length) {
    const char32_t first = units[0];
    length = 1;
    if (first < 0xD800 || first > 0xDFFF) return first;
    if (first <= 0xDBFF && available > 1 && units[1] >= 0xDC00 && units[1] <= 0xDFFF) {
        length = 2;
        return 0x10000 + ((first - 0xD800) << 10) + (units[1] - 0xDC00u);
    }
    return ReplacementCharacter;
}

// Hands the one to four bytes of `point` to put(char).
template <typename Put>
void EncodeUtf8(char32_t point, Put&& put) {
    if (point < 0x80) {
        put(static_cast<char>(point));
    } else if (point < 0x800) {
        put(static_cast<char>(0xC0 | (point >> 6)));
        put(static_cast<char>(0x80 | (point & 0x3F)));
    } else if (point < 0x10000) {
        put(static_cast<char>(0xE0 | (point >> 12)));
        put(static_cast<char>(0x80 | ((point >> 6) & 0x3F)));
        put(static_cast<char>(0x80 | (point & 0x3F)));
    } else {
        put(static_cast<char>(0xF0 | (point >> 18)));
        put(static_cast<char>(0x80 | ((point >> 12) & 0x3F)));
        put(static_cast<char>(0x80 | ((point >> 6) & 0x3F)));
        put(static_cast<char>(0x80 | (point & 0x3F)));
    }
}

// Hands the one or two units of `point` to put(char16_t).
template <typename Put>
void EncodeUtf16(char32_t point, Put&& put) {
    if (point >= 0x10000) {
        put(static_cast<char16_t>(0xD800 + ((point - 0x10000) >> 10)));
        put(static_cast<char16_t>(0xDC00 + ((point - 0x10000) & 0x3FF)));
    } else {
        put(static_cast<char16_t>(point));
    }
}

// `count` bytes of UTF-8 as UTF-16 units, each handed to put(char16_t).
template <typename Put>
void ConvertUtf8ToUtf16(const char* text, int64_t count, Put&& put) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(text);
    for (int64_t at = 0; at < count;) {
        int64_t length;
        EncodeUtf16(DecodeUtf8(bytes + at, count - at, length), put);
        at += length;
    }
}

// `count` UTF-16 units as UTF-8 bytes, each handed to put(char).
template <typename Put>
void ConvertUtf16ToUtf8(const char16_t* units, int64_t count, Put&& put) {
    for (int64_t at = 0; at < count;) {
        int64_t length;
        EncodeUtf8(DecodeUtf16(units + at, count - at, length), put);
        at += length;
    }
}

// File names on Linux are bytes, not always UTF-8. So that a name in another
// encoding (Latin-1 "caf\xe9.pdf") survives the trip through UTF-16 and back,
// each byte that is not part of well-formed UTF-8 becomes the lone surrogate
// U+DC80 to U+DCFF and comes back as that byte, as Python's "surrogateescape"
// does. A lone surrogate cannot come from well-formed UTF-8, so the mapping
// is lossless both ways.
inline constexpr char16_t FirstEscapedByteUnit = 0xDC80;
inline constexpr char16_t LastEscapedByteUnit = 0xDCFF;
inline constexpr unsigned char EscapedByteBase = 0x80;

// Whether DecodeUtf8's `point` for the `length` bytes at `bytes` is a
// character of the text, not a stand-in for bytes outside well-formed UTF-8.
inline bool DecodedWell(char32_t point, const unsigned char* bytes, int64_t length) {
    return point != ReplacementCharacter || (length == 3 && bytes[0] == 0xEF && bytes[1] == 0xBF && bytes[2] == 0xBD);
}

// `count` bytes as UTF-16 units, each handed to put(char16_t), with each
// byte outside well-formed UTF-8 escaped.
template <typename Put>
void ConvertBytesToUtf16(const char* text, int64_t count, Put&& put) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(text);
    for (int64_t at = 0; at < count;) {
        int64_t length;
        const char32_t point = DecodeUtf8(bytes + at, count - at, length);
        if (DecodedWell(point, bytes + at, length)) {
            EncodeUtf16(point, put);
        } else {
            for (int64_t i = 0; i < length; ++i)
                put(static_cast<char16_t>(FirstEscapedByteUnit + (bytes[at + i] - EscapedByteBase)));
        }
        at += length;
    }
}

// `count` UTF-16 units as bytes, each handed to put(char): UTF-8, with an
// escaped byte given back as itself.
template <typename Put>
void ConvertUtf16ToBytes(const char16_t* units, int64_t count, Put&& put) {
    for (int64_t at = 0; at < count;) {
        int64_t length;
        const char32_t point = DecodeUtf16(units + at, count - at, length);
        if (point == ReplacementCharacter && units[at] >= FirstEscapedByteUnit && units[at] <= LastEscapedByteUnit)
            put(static_cast<char>(units[at] - FirstEscapedByteUnit + EscapedByteBase));
        else
            EncodeUtf8(point, put);
        at += length;
    }
}
