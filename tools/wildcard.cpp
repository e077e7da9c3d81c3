#include "tools/wildcard.h"

namespace {

using View = std::basic_string_view<WCHAR>;

// Whether the pattern's item at `at` ('?', a "[...]" set or one plain
// character) matches `unit`; `next` gets the index after the item.
bool MatchesItem(View pattern, size_t at, WCHAR unit, size_t& next) {
    next = at + 1;
    if (pattern[at] == '?') return true;
    if (pattern[at] == '[') {
        size_t first = at + 1;
        bool negated = first < pattern.size() && (pattern[first] == '!' || pattern[first] == '^');
        if (negated) ++first;
        // A ']' first in the set is a member, not its end.
        size_t close = pattern.find(WCHAR(']'), first + 1);
        if (close != View::npos) {
            next = close + 1;
            bool member = false;
            for (size_t k = first; k < close; ++k) {
                if (k + 2 < close && pattern[k + 1] == '-') {
                    member = member || (pattern[k] <= unit && unit <= pattern[k + 2]);
                    k += 2;
                } else {
                    member = member || pattern[k] == unit;
                }
            }
            return member != negated;
        }
        // Without its ']' a '[' is an ordinary character.
    }
    return pattern[at] == unit;
}

}  // namespace

bool MatchesWildcard(View pattern, View name) {
    size_t p = 0, n = 0;
    // After a mismatch the last '*' takes one more unit and the rest is tried
    // again; earlier stars need not be revisited, so the work stays within the
    // pattern's length times the name's.
    size_t star = View::npos, starEnd = 0;  // the last '*' seen and the end of the run it takes
    while (n < name.size()) {
        size_t next = 0;
        if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            starEnd = n;
        } else if (p < pattern.size() && MatchesItem(pattern, p, name[n], next)) {
            p = next;
            ++n;
        } else if (star != View::npos) {
            p = star + 1;
            n = ++starEnd;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}
