// The Unicode 3.2 data that SASLprep (RFC 4013) needs, generated into
// document/saslprep_tables.cpp by scripts/make-saslprep-tables. Every table
// is sorted by code point.
#pragma once

#include <cstdint>
#include <span>

struct CodePointRange {
    char32_t first;  // the first code point of the range
    char32_t last;   // its last, included
};

struct CombiningClassRange {
    char32_t first;         // the first code point of the range
    char32_t last;          // its last, included
    uint8_t combiningClass; // the canonical combining class of each, never 0
};

// One step of a character's decomposition, canonical or compatibility: the
// `length` code points of DecompositionPool from `at`, each of which may
// decompose further. Hangul syllables are not listed: they decompose by
// arithmetic.
struct Decomposition {
    char32_t point;  // the character decomposed
    uint16_t at;     // its first code point in DecompositionPool
    uint8_t length;  // how many there are
};

// A primary composite: canonical composition joins `first` and `second`
// into `composite`. Hangul syllables are not listed.
struct Composition {
    char32_t first;      // a starter
    char32_t second;     // what follows it, unblocked
    char32_t composite;  // the two joined
};

extern const std::span<const CombiningClassRange> CombiningClasses;  // classes other than 0
extern const std::span<const Decomposition> Decompositions;
extern const std::span<const char32_t> DecompositionPool;
extern const std::span<const Composition> Compositions;                // by first, then second
extern const std::span<const CodePointRange> MappedToNothing;          // RFC 3454, table B.1
extern const std::span<const CodePointRange> NonAsciiSpace;            // table C.1.2: mapped to U+0020
extern const std::span<const CodePointRange> Prohibited;               // tables C.1.2, C.2.1 to C.9
extern const std::span<const CodePointRange> RandAL;                   // table D.1: right-to-left characters
extern const std::span<const CodePointRange> LetterL;                  // table D.2: left-to-right characters
