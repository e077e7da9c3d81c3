// Searches for the first of two byte values, sixteen bytes at a time where
// the processor offers it: the scanner's hot loops (line ends, dictionary
// brackets) run at memory speed on long lines and binary data.
#pragma once

#include <cstdint>

#if defined(__SSE2__)
#  include <emmintrin.h>
#endif

// The first byte in [from, end) that is `first` or `second`, or end.
inline const uint8_t* FindEitherByte(const uint8_t* from, const uint8_t* end, uint8_t first, uint8_t second) {
    const uint8_t* p = from;
#if defined(__SSE2__)
    const __m128i firstBytes = _mm_set1_epi8(static_cast<char>(first));
    const __m128i secondBytes = _mm_set1_epi8(static_cast<char>(second));
    while (end - p >= 16) {
        const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const int hits = _mm_movemask_epi8(
            _mm_or_si128(_mm_cmpeq_epi8(chunk, firstBytes), _mm_cmpeq_epi8(chunk, secondBytes)));
        if (hits != 0) return p + __builtin_ctz(static_cast<unsigned>(hits));
        p += 16;
    }
#endif
    while (p < end && *p != first && *p != second) ++p;
    return p;
}

// The first position p in [from, end - 1) where p[0] is `first` and p[1] is
// `second`, or end when there is none.
inline const uint8_t* FindBytePair(const uint8_t* from, const uint8_t* end, uint8_t first, uint8_t second) {
    if (end - from < 2) return end;
    const uint8_t* p = from;
#if defined(__SSE2__)
    const __m128i firstBytes = _mm_set1_epi8(static_cast<char>(first));
    const __m128i secondBytes = _mm_set1_epi8(static_cast<char>(second));
    while (end - p >= 17) {
        const __m128i here = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 1));
        const int hits = _mm_movemask_epi8(
            _mm_and_si128(_mm_cmpeq_epi8(here, firstBytes), _mm_cmpeq_epi8(next, secondBytes)));
        if (hits != 0) return p + __builtin_ctz(static_cast<unsigned>(hits));
        p += 16;
    }
#endif
    for (; end - p >= 2; ++p) {
        if (p[0] == first && p[1] == second) return p;
    }
    return end;
}

// The first position p in [from, end - 2) where p[0], p[1] and p[2] are
// `first`, `second` and `third`, or end when there is none.
inline const uint8_t* FindByteTriple(const uint8_t* from, const uint8_t* end, uint8_t first, uint8_t second,
                                     uint8_t third) {
    for (const uint8_t* p = from;; ++p) {
        p = FindBytePair(p, end, first, second);
        if (end - p < 3) return end;
        if (p[2] == third) return p;
    }
}

// The last position p in [from, end - 1) where p[0] is `first` and p[1] is
// `second`, or null when there is none. Its cost is the distance from `end`
// back to what it finds, so a run of searches, each ending where the last
// one found, reads every byte once.
inline const uint8_t* FindLastBytePair(const uint8_t* from, const uint8_t* end, uint8_t first, uint8_t second) {
    if (end - from < 2) return nullptr;
    const uint8_t* p = end - 1;  // one past the last position that may start a pair
#if defined(__SSE2__)
    const __m128i firstBytes = _mm_set1_epi8(static_cast<char>(first));
    const __m128i secondBytes = _mm_set1_epi8(static_cast<char>(second));
    while (p - from >= 16) {
        const __m128i here = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p - 16));
        const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p - 15));
        const int hits = _mm_movemask_epi8(
            _mm_and_si128(_mm_cmpeq_epi8(here, firstBytes), _mm_cmpeq_epi8(next, secondBytes)));
        if (hits != 0) return p - 16 + (31 - __builtin_clz(static_cast<unsigned>(hits)));
        p -= 16;
    }
#endif
    while (p > from) {
        --p;
        if (p[0] == first && p[1] == second) return p;
    }
    return nullptr;
}

// The first CR or LF in [from, end), or end.
inline const uint8_t* FindLineEnd(const uint8_t* from, const uint8_t* end) {
    return FindEitherByte(from, end, '\r', '\n');
}

// The last CR or LF in [from, end), or null when there is none.
inline const uint8_t* FindLastLineEnd(const uint8_t* from, const uint8_t* end) {
    const uint8_t* p = end;
#if defined(__SSE2__)
    const __m128i carriageReturns = _mm_set1_epi8('\r');
    const __m128i lineFeeds = _mm_set1_epi8('\n');
    while (p - from >= 16) {
        const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p - 16));
        const int hits = _mm_movemask_epi8(
            _mm_or_si128(_mm_cmpeq_epi8(chunk, carriageReturns), _mm_cmpeq_epi8(chunk, lineFeeds)));
        if (hits != 0) return p - 16 + (31 - __builtin_clz(static_cast<unsigned>(hits)));
        p -= 16;
    }
#endif
    while (p > from) {
        --p;
        if (*p == '\r' || *p == '\n') return p;
    }
    return nullptr;
}
