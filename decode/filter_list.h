// A stream's filters as data: the steps its "/Filter" names, parsed once and
// checked on their own, before the chain runs them.
#pragma once

#include <cstdint>

#include "syntax/dictionary.h"

enum class FilterCode : uint8_t {
    Ascii85,
    AsciiHex,
    Flate,
    Lzw,
    RunLength,
    Dct,           // JPEG, passed through unchanged
    CcittFax,      // wrapped as TIFF; always the last step run
};

// Steps a list holds at most; names past them are not run.
constexpr uint32_t MaxFilterCodes = 8;

struct FilterList {
    FilterCode codes[MaxFilterCodes];  // in the order they are undone
    uint32_t count = 0;                // used slots of codes
    bool xml = false;                  // XML metadata: its "/Subtype" contains "/XML"
};

// The list from the dictionary's "/Filter" names, in order, leaving out names
// it does not know (JBIG2, JPX, Crypt, ...): their data stays as it is.
// XML metadata names its filters like any stream; `xml` only names its
// content. Cannot fail.
FilterList ParseFilterList(DictionaryText dictionary);
