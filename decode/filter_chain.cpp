// Placeholder until the filter chain lands.
#include "decode/filter_chain.h"
#include "decode/results.h"

void ParseFilterList(const char*, uint32_t (&)[MaxFilterCodes], uint32_t& filterCount) { filterCount = 0; }
uint32_t DecodeEntry(StreamEntry&, const char*) { return ResultInvalidData; }
