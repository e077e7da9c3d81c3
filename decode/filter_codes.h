// FilterCode: the number of one decoding step of a stream's chain.
#pragma once

#include <cstdint>

enum FilterCode : uint32_t {
    FilterXmlMetadata = 1,  // passed through unchanged
    FilterAscii85 = 2,
    FilterAsciiHex = 3,
    FilterFlate = 4,
    FilterLzw = 5,
    FilterRunLength = 6,
    FilterDct = 7,          // JPEG, passed through unchanged
    FilterCcittFax = 8,     // wrapped as TIFF; always the last step
};

// Number of slots in an entry's filter list.
constexpr uint32_t MaxFilterCodes = 8;
