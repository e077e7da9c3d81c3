// Text conversion for Linux: the "ANSI" code page is UTF-8 here, so CP_ACP
// and CP_UTF8 both convert between UTF-8 and UTF-16, with malformed input
// replaced as Windows replaces it (platform/utf8.h).
#include "platform/linux_win32.h"
#include "platform/utf8.h"

namespace {

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
    ConvertUtf8ToUtf16(source, total, [&](WCHAR unit) { output.Put(unit); });
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
    ConvertUtf16ToUtf8(source, total, [&](char byte) { output.Put(byte); });
    if (output.count > INT32_MAX || (destinationBytes != 0 && output.count > destinationBytes)) return 0;
    return static_cast<int>(output.count);
}
