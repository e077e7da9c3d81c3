// How one stream of an archive is decoded: its filters parsed and, in an
// encrypted document, its key made, for the pool that lists it and for the
// extraction that decodes it again.
#pragma once

#include <cstdint>

#include "decode/filter_chain.h"
#include "document/archive.h"

StreamInput StreamInputFor(const Archive& archive, const uint8_t* begin, const uint8_t* end,
                           DictionaryText dictionary, uint32_t objectNumber, uint32_t generation);

// Decodes a listed entry (its row) again into the sink; a fax entry is written with the
// figures its listing found. InvalidData when the bytes differ in number from
// the listing's; otherwise as RunChain.
Status DecodeEntryAgain(Archive& archive, uint32_t row, Sink& sink);
