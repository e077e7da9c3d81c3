// The C runtime's wide-text functions for 16-bit units, as the Microsoft
// runtime behaves in the "C" locale.
#include "platform/linux_win32.h"

namespace {

WCHAR FoldAsciiCase(WCHAR unit) { return unit >= u'A' && unit <= u'Z' ? static_cast<WCHAR>(unit + (u'a' - u'A')) : unit; }

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
