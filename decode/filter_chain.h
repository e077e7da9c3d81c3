// The filter chain: reads a stream's "/Filter" and "/Subtype" into FilterCodes,
// undoes them in order into the entry's own buffer, and types the result.
#pragma once

#include <cstdint>

#include "decode/filter_codes.h"

struct StreamEntry;

// Fills the list from the dictionary's "/Filter" names; "/Subtype" containing
// "/XML" makes it the single code 1. Cannot fail.
void ParseFilterList(const char* dictionaryText, uint32_t (&filterCodes)[MaxFilterCodes], uint32_t& filterCount);
// Runs the chain on entry.data and sets extension and typeWord. Returns 0, or
// the number of the step that failed (8, 13, 777, 1392, ...). May throw
// std::bad_alloc (from the LZW table).
uint32_t DecodeEntry(StreamEntry& entry, const char* dictionaryText);
