// ConvertedText: the short-lived holder of one text converted between the
// host's ANSI or UTF-8 text and UTF-16. Short texts live in the inline store;
// longer ones in a buffer from the runtime allocator, which may throw
// std::bad_alloc. The holder frees what it took on every way out of a scope.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/win32.h"

template <typename Unit>
struct ConvertedText {
    static constexpr size_t InlineUnits = 128;

    Unit* text = nullptr;        // the converted NUL-terminated text; null for a null source
    uint64_t length = 0;         // units the conversion reported, terminator included; 0 on failure
    Unit inlineStore[InlineUnits];  // used while length + 1 fits

    ConvertedText() = default;
    ConvertedText(const ConvertedText&) = delete;
    ConvertedText& operator=(const ConvertedText&) = delete;
    ~ConvertedText() { Release(); }

    bool OnHeap() const { return text != nullptr && text != inlineStore; }
    void Release() {
        if (OnHeap()) delete[] text;
        text = nullptr;
        length = 0;
    }
};

// ANSI (CP_ACP) or UTF-8 (CP_UTF8) text to UTF-16. A null source leaves
// `text` null; a text that fails to convert leaves it empty.
void ConvertToWide(ConvertedText<WCHAR>& holder, UINT codePage, const char* source);
// UTF-16 to the ANSI code page, with the same rules.
void ConvertToAnsi(ConvertedText<char>& holder, const WCHAR* source);
