// SASLprep: RFC 3454's mapping, normalization (NFKC as Unicode's UAX #15
// computes it: full compatibility decomposition, canonical order, canonical
// composition), prohibition and bidirectional check, with RFC 4013's tables.
#include "document/saslprep.h"

#include <algorithm>

#include "document/saslprep_tables.h"
#include "platform/utf8.h"

namespace {

// Hangul syllables decompose into two or three jamo, and compose back, by
// arithmetic (Unicode's chapter 3.12).
constexpr char32_t SyllableBase = 0xAC00;
constexpr char32_t LeadingBase = 0x1100;
constexpr char32_t VowelBase = 0x1161;
constexpr char32_t TrailingBase = 0x11A7;  // one before the first trailing consonant
constexpr char32_t LeadingCount = 19;
constexpr char32_t VowelCount = 21;
constexpr char32_t TrailingCount = 28;     // the first of which stands for none
constexpr char32_t SyllablesPerLeading = VowelCount * TrailingCount;
constexpr char32_t SyllableCount = LeadingCount * SyllablesPerLeading;
constexpr char32_t Space = 0x20;

struct Points {
    char32_t at[MaxPreparedCodePoints];  // the text's code points
    size_t count = 0;                    // how many there are
};

bool InRanges(std::span<const CodePointRange> ranges, char32_t point) {
    const auto after = std::upper_bound(ranges.begin(), ranges.end(), point,
                                        [](char32_t p, const CodePointRange& range) { return p < range.first; });
    return after != ranges.begin() && point <= (after - 1)->last;
}

unsigned CombiningClass(char32_t point) {
    const auto after = std::upper_bound(CombiningClasses.begin(), CombiningClasses.end(), point,
                                        [](char32_t p, const CombiningClassRange& range) { return p < range.first; });
    return after != CombiningClasses.begin() && point <= (after - 1)->last ? (after - 1)->combiningClass : 0;
}

bool Append(Points& points, char32_t point) {
    if (points.count == MaxPreparedCodePoints) return false;
    points.at[points.count++] = point;
    return true;
}

// Appends the full compatibility decomposition of `point`; false when it does not fit.
bool Decompose(char32_t point, Points& points) {
    if (point >= SyllableBase && point < SyllableBase + SyllableCount) {
        const char32_t index = point - SyllableBase;
        const char32_t trailing = index % TrailingCount;
        return Append(points, LeadingBase + index / SyllablesPerLeading) &&
               Append(points, VowelBase + index % SyllablesPerLeading / TrailingCount) &&
               (trailing == 0 || Append(points, TrailingBase + trailing));
    }
    const auto found = std::lower_bound(Decompositions.begin(), Decompositions.end(), point,
                                        [](const Decomposition& row, char32_t p) { return row.point < p; });
    if (found == Decompositions.end() || found->point != point) return Append(points, point);
    for (size_t i = 0; i < found->length; ++i) {
        if (!Decompose(DecompositionPool[found->at + i], points)) return false;
    }
    return true;
}

// Each run of combining marks sorted by class, marks of one class kept in turn.
void PutInCanonicalOrder(Points& points) {
    for (size_t i = 1; i < points.count; ++i) {
        const char32_t point = points.at[i];
        const unsigned pointClass = CombiningClass(point);
        if (pointClass == 0) continue;
        size_t j = i;
        for (; j > 0 && CombiningClass(points.at[j - 1]) > pointClass; --j) points.at[j] = points.at[j - 1];
        points.at[j] = point;
    }
}

// The primary composite of the two, or 0 when they do not compose.
char32_t Composite(char32_t first, char32_t second) {
    if (first >= LeadingBase && first < LeadingBase + LeadingCount && second >= VowelBase &&
        second < VowelBase + VowelCount) {
        return SyllableBase + ((first - LeadingBase) * VowelCount + (second - VowelBase)) * TrailingCount;
    }
    if (first >= SyllableBase && first < SyllableBase + SyllableCount && (first - SyllableBase) % TrailingCount == 0 &&
        second > TrailingBase && second < TrailingBase + TrailingCount) {
        return first + (second - TrailingBase);
    }
    const auto found = std::lower_bound(Compositions.begin(), Compositions.end(), Composition{first, second, 0},
                                        [](const Composition& a, const Composition& b) {
                                            return a.first != b.first ? a.first < b.first : a.second < b.second;
                                        });
    return found != Compositions.end() && found->first == first && found->second == second ? found->composite : 0;
}

// Joins each character to the last starter before it where nothing between
// them blocks it: a starter, or a mark of its class or a higher one.
void Compose(Points& points) {
    if (points.count == 0) return;
    // A text that starts with marks has no starter until its first one.
    bool hasStarter = CombiningClass(points.at[0]) == 0;
    size_t starter = 0;
    unsigned lastClass = 0;  // of the last character kept after the starter; 0: none stands between
    size_t kept = 1;
    for (size_t i = 1; i < points.count; ++i) {
        const char32_t point = points.at[i];
        const unsigned pointClass = CombiningClass(point);
        const bool unblocked = lastClass < pointClass || (lastClass == 0 && starter + 1 == kept);
        if (hasStarter && unblocked) {
            const char32_t composite = Composite(points.at[starter], point);
            if (composite != 0) {
                points.at[starter] = composite;
                continue;
            }
        }
        if (pointClass == 0) {
            hasStarter = true;
            starter = kept;
        }
        lastClass = pointClass;
        points.at[kept++] = point;
    }
    points.count = kept;
}

// RFC 3454's section 6: right-to-left text holds no left-to-right character,
// and starts and ends with a right-to-left one.
bool PassesBidiRule(const Points& points) {
    bool rightToLeft = false;
    bool leftToRight = false;
    for (size_t i = 0; i < points.count; ++i) {
        rightToLeft = rightToLeft || InRanges(RandAL, points.at[i]);
        leftToRight = leftToRight || InRanges(LetterL, points.at[i]);
    }
    if (!rightToLeft) return true;
    return !leftToRight && InRanges(RandAL, points.at[0]) && InRanges(RandAL, points.at[points.count - 1]);
}

}  // namespace

bool SaslPrep(std::string_view utf8, uint8_t* prepared, size_t capacity, size_t& length) {
    length = 0;
    Points points;
    const auto* const bytes = reinterpret_cast<const unsigned char*>(utf8.data());
    const int64_t size = static_cast<int64_t>(utf8.size());
    for (int64_t at = 0; at < size;) {
        int64_t used = 0;
        const char32_t point = DecodeUtf8(bytes + at, size - at, used);
        at += used;
        // Malformed UTF-8 decodes to U+FFFD, which is prohibited anyway (table C.6).
        if (point == ReplacementCharacter) return false;
        if (InRanges(MappedToNothing, point)) continue;
        if (!Decompose(InRanges(NonAsciiSpace, point) ? Space : point, points)) return false;
    }
    PutInCanonicalOrder(points);
    Compose(points);
    for (size_t i = 0; i < points.count; ++i) {
        if (InRanges(Prohibited, points.at[i])) return false;
    }
    if (!PassesBidiRule(points)) return false;
    for (size_t i = 0; i < points.count && length < capacity; ++i) {
        EncodeUtf8(points.at[i], [&](char byte) {
            if (length < capacity) prepared[length++] = static_cast<uint8_t>(byte);
        });
    }
    return true;
}
