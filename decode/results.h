// Result numbers used inside the document and decoding layers, in Win32
// numbering. None of them is ever answered to the host as it stands: the
// exported functions map outcomes onto their own codes.
#pragma once

#include <cstdint>

constexpr uint32_t ResultOk = 0;
constexpr uint32_t ResultOutOfMemory = 8;          // ERROR_NOT_ENOUGH_MEMORY
constexpr uint32_t ResultInvalidData = 13;         // ERROR_INVALID_DATA
constexpr uint32_t ResultInvalidParameter = 87;    // ERROR_INVALID_PARAMETER
constexpr uint32_t ResultFlateStartFailed = 777;   // zlib could not be initialised
constexpr uint32_t ResultFlateCorrupt = 1392;      // ERROR_FILE_CORRUPT: zlib rejected the data
