// Shell wildcards for entry names, matched unit by unit on UTF-16 text.
#pragma once

#include <string_view>

#include "platform/win32.h"

// Whether `name` matches `pattern` whole: '*' any run of units (also none),
// '?' any one unit, "[a-c0]" one unit of the set (ranges and single units),
// "[!...]" or "[^...]" one unit outside it. A ']' right after the opening
// '[' (or after its '!' or '^') is a member of the set; a '[' without a later
// ']' is an ordinary character, as is every other unit.
bool MatchesWildcard(std::basic_string_view<WCHAR> pattern, std::basic_string_view<WCHAR> name);
