// Decryption in today's decoding, in one place: a stream's stored bytes are
// decrypted whole into a block, and that block goes through the filter chain
// (decode/filter_chain.h) as the stored bytes would. It is the one call site
// of DecryptStage until the decoding runs as a streaming chain of stages,
// which takes DecryptStage as its first stage and makes this file go.
#pragma once

#include <cstdint>

#include "decode/filter_chain.h"
#include "document/security.h"

// DecodeStream over the stream's bytes [first, last) once they are decrypted
// with the key of its object (document/security.h). Answers as DecodeStream
// does, and 8 when memory runs out for the decrypted block or the system's
// cryptography refuses, 13 for a key its cipher cannot take. The decoded
// bytes are the decrypted block itself when no filter replaced them. May
// throw std::bad_alloc, as DecodeStream may; nothing is held then.
uint32_t DecodeStoredStream(const Security& security, uint32_t objectNumber, uint32_t generation, const uint8_t* first,
                            const uint8_t* last, DictionaryText dictionary, DecodedStream& decoded);
