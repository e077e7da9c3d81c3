// Text conversion for Linux: the "ANSI" code page is UTF-8 here, so CP_ACP
// and CP_UTF8 both convert between UTF-8 and UTF-16. As on Windows without
// MB_ERR_INVALID_CHARS, malformed input becomes U+FFFD: in UTF-8 one for each
// cut-short sequence or stray byte, in UTF-16 one for each lone surrogate.
#include "platform/linux_win32.h"

namespace {

constexpr char32_t replacementCharacter = 0xFFFD;

bool IsSupportedCodePage(UINT codePage) { return codePage == CP_ACP || codePage == CP_UTF8; }

// Counts the units a conversion produces and stores them while they fit.
template <typename Unit>
struct Output {
    Unit* destination;
    int capacity;  // 0 asks for the length only
    int64_t count;

    void Put(Unit unit) {
        if (capacity != 0 && count < capacity) destination[count] = unit;
        ++count;
    }
};

// The next code point of UTF-8 text; `length` is the bytes it took.
char32_t DecodeUtf8(const unsigned char* bytes, int64_t available, int64_t& length) {
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
        return replacementCharacter;
    }
    for (int64_t i = 1; i <= needed; ++i) {
        const unsigned char next = i < available ? bytes[i] : 0;
        if (i >= available || next < 0x80 || next > 0xBF) return replacementCharacter;
        length = i + 1;
        // Windows takes an overlong, surrogate or too large start together
        // with its first continuation byte as one bad character.
        if (i == 1 && (next < low || next > high)) return replacementCharacter;
        point = (point << 6) | (next & 0x3Fu);
    }
    return point;
}

}  // namespace

int MultiByteToWideChar(UINT codePage, DWORD, LPCSTR source, int sourceBytes, LPWSTR destination,
                        int destinationUnits) {
    if (!IsSupportedCodePage(codePage) || source == nullptr || sourceBytes == 0 || sourceBytes < -1 ||
        destinationUnits < 0 || (destination == nullptr && destinationUnits != 0)) {
        return 0;
    }
    const auto* bytes = reinterpret_cast<const unsigned char*>(source);
    int64_t total = sourceBytes;
    if (sourceBytes == -1) {
        total = 0;
        while (bytes[total] != 0) ++total;
        ++total;  // the terminator is converted too
    }
    Output<WCHAR> output{destination, destinationUnits, 0};
    for (int64_t at = 0; at < total;) {
        int64_t length;
        const char32_t point = DecodeUtf8(bytes + at, total - at, length);
        at += length;
        if (point >= 0x10000) {
            output.Put(static_cast<WCHAR>(0xD800 + ((point - 0x10000) >> 10)));
            output.Put(static_cast<WCHAR>(0xDC00 + ((point - 0x10000) & 0x3FF)));
        } else {
            output.Put(static_cast<WCHAR>(point));
        }
    }
    if (output.count > INT32_MAX || (destinationUnits != 0 && output.count > destinationUnits)) return 0;
    return static_cast<int>(output.count);
}

int WideCharToMultiByte(UINT codePage, DWORD, LPCWSTR source, int sourceUnits, LPSTR destination,
                        int destinationBytes, LPCSTR, BOOL* usedDefaultChar) {
    if (!IsSupportedCodePage(codePage) || source == nullptr || sourceUnits == 0 || sourceUnits < -1 ||
        destinationBytes < 0 || (destination == nullptr && destinationBytes != 0)) {
        return 0;
    }
    if (usedDefaultChar != nullptr) *usedDefaultChar = FALSE;
    int64_t total = sourceUnits;
    if (sourceUnits == -1) {
        total = 0;
        while (source[total] != 0) ++total;
        ++total;  // the terminator is converted too
    }
    Output<char> output{destination, destinationBytes, 0};
    for (int64_t at = 0; at < total; ++at) {
        char32_t point = source[at];
        if (point >= 0xD800 && point <= 0xDBFF && at + 1 < total && source[at + 1] >= 0xDC00 &&
            source[at + 1] <= 0xDFFF) {
            point = 0x10000 + ((point - 0xD800) << 10) + (source[at + 1] - 0xDC00u);
            ++at;
        } else if (point >= 0xD800 && point <= 0xDFFF) {
            point = replacementCharacter;
        }
        if (point < 0x80) {
            output.Put(static_cast<char>(point));
        } else if (point < 0x800) {
            output.Put(static_cast<char>(0xC0 | (point >> 6)));
            output.Put(static_cast<char>(0x80 | (point & 0x3F)));
        } else if (point < 0x10000) {
            output.Put(static_cast<char>(0xE0 | (point >> 12)));
            output.Put(static_cast<char>(0x80 | ((point >> 6) & 0x3F)));
            output.Put(static_cast<char>(0x80 | (point & 0x3F)));
        } else {
            output.Put(static_cast<char>(0xF0 | (point >> 18)));
            output.Put(static_cast<char>(0x80 | ((point >> 12) & 0x3F)));
            output.Put(static_cast<char>(0x80 | ((point >> 6) & 0x3F)));
            output.Put(static_cast<char>(0x80 | (point & 0x3F)));
        }
    }
    if (output.count > INT32_MAX || (destinationBytes != 0 && output.count > destinationBytes)) return 0;
    return static_cast<int>(output.count);
}
