#include "plugin/converted_text.h"

namespace {

// Points the holder at a buffer of length + 1 units, inline when it fits.
template <typename Unit>
void Provide(ConvertedText<Unit>& holder, int reported) {
    holder.length = static_cast<uint64_t>(reported);
    if (holder.length + 1 > ConvertedText<Unit>::InlineUnits) holder.text = new Unit[holder.length + 1];
}

}  // namespace

void ConvertToWide(ConvertedText<WCHAR>& holder, UINT codePage, const char* source) {
    holder.Release();
    if (source == nullptr) return;
    holder.text = holder.inlineStore;
    holder.inlineStore[0] = 0;
    int reported = MultiByteToWideChar(codePage, 0, source, -1, nullptr, 0);
    if (reported <= 0) return;
    Provide(holder, reported);
    int converted = MultiByteToWideChar(codePage, 0, source, -1, holder.text, reported + 1);
    if (converted <= 0) {
        holder.text[0] = 0;
        holder.length = 0;
    }
}

void ConvertToAnsi(ConvertedText<char>& holder, const WCHAR* source) {
    holder.Release();
    if (source == nullptr) return;
    holder.text = holder.inlineStore;
    holder.inlineStore[0] = 0;
    int reported = WideCharToMultiByte(CP_ACP, 0, source, -1, nullptr, 0, nullptr, nullptr);
    if (reported <= 0) return;
    Provide(holder, reported);
    int converted = WideCharToMultiByte(CP_ACP, 0, source, -1, holder.text, reported + 1, nullptr, nullptr);
    if (converted <= 0) {
        holder.text[0] = 0;
        holder.length = 0;
    }
}
