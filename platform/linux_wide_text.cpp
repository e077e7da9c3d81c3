// The C runtime's wide-text functions for 16-bit units, as the Microsoft
// runtime behaves in the "C" locale.
#include <climits>

#include "platform/linux_win32.h"

namespace {

WCHAR FoldAsciiCase(WCHAR unit) { return unit >= u'A' && unit <= u'Z' ? static_cast<WCHAR>(unit + (u'a' - u'A')) : unit; }

// Stores formatted units while they fit and counts all of them.
struct WideSink {
    WCHAR* buffer;
    size_t count;
    size_t written;

    void Put(WCHAR unit) {
        if (written < count) buffer[written] = unit;
        ++written;
    }
    void Repeat(WCHAR unit, size_t times) {
        for (size_t i = 0; i < times; ++i) Put(unit);
    }
};

// One conversion's text: `units` from `text`, after an optional sign.
void PutField(WideSink& sink, const WCHAR* text, size_t units, bool negative, size_t width, bool zeroPad) {
    const size_t length = units + (negative ? 1 : 0);
    const size_t padding = width > length ? width - length : 0;
    if (!zeroPad) sink.Repeat(u' ', padding);
    if (negative) sink.Put(u'-');
    if (zeroPad) sink.Repeat(u'0', padding);
    for (size_t i = 0; i < units; ++i) sink.Put(text[i]);
}

void PutNumber(WideSink& sink, unsigned long long magnitude, bool negative, size_t width, bool zeroPad) {
    WCHAR digits[20];
    size_t used = 0;
    do {
        digits[sizeof digits / sizeof digits[0] - 1 - used] = static_cast<WCHAR>(u'0' + magnitude % 10);
        ++used;
        magnitude /= 10;
    } while (magnitude != 0);
    PutField(sink, digits + (sizeof digits / sizeof digits[0] - used), used, negative, width, zeroPad);
}

}  // namespace

const WCHAR* wcsrchr(const WCHAR* text, WCHAR unit) {
    const WCHAR* last = nullptr;
    for (;; ++text) {
        if (*text == unit) last = text;
        if (*text == 0) return last;
    }
}

WCHAR* wcsrchr(WCHAR* text, WCHAR unit) { return const_cast<WCHAR*>(wcsrchr(static_cast<const WCHAR*>(text), unit)); }

int _wcsnicmp(const WCHAR* left, const WCHAR* right, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        const WCHAR a = FoldAsciiCase(left[i]);
        const WCHAR b = FoldAsciiCase(right[i]);
        if (a != b) return static_cast<int>(a) - static_cast<int>(b);
        if (a == 0) return 0;
    }
    return 0;
}

int _vsnwprintf(WCHAR* buffer, size_t count, const WCHAR* format, va_list arguments) {
    static constexpr WCHAR nullText[] = u"(null)";
    if (format == nullptr || (buffer == nullptr && count != 0)) return -1;
    WideSink sink{buffer, count, 0};
    for (const WCHAR* at = format; *at != 0; ++at) {
        if (*at != u'%') {
            sink.Put(*at);
            continue;
        }
        ++at;
        bool zeroPad = false;
        while (*at == u'0') {
            zeroPad = true;
            ++at;
        }
        size_t width = 0;
        for (; *at >= u'0' && *at <= u'9'; ++at) {
            width = width * 10 + static_cast<size_t>(*at - u'0');
            if (width > INT32_MAX) return -1;
        }
        switch (*at) {
        case u'%':
            sink.Put(u'%');
            break;
        case u's': {
            const WCHAR* text = va_arg(arguments, const WCHAR*);
            if (text == nullptr) text = nullText;
            size_t units = 0;
            while (text[units] != 0) ++units;
            PutField(sink, text, units, false, width, false);
            break;
        }
        case u'u':
            PutNumber(sink, va_arg(arguments, unsigned int), false, width, zeroPad);
            break;
        case u'd': {
            const long long value = va_arg(arguments, int);
            PutNumber(sink, static_cast<unsigned long long>(value < 0 ? -value : value), value < 0, width, zeroPad);
            break;
        }
        default:
            return -1;  // a conversion this runtime does not offer
        }
    }
    if (sink.written > count || sink.written > INT32_MAX) return -1;
    // Like Microsoft's, a text of exactly `count` units is left unterminated.
    if (sink.written < count) buffer[sink.written] = 0;
    return static_cast<int>(sink.written);
}
