// How a document is encrypted, found once at the open.
#pragma once

#include <cstdint>

#include "decode/decrypt.h"
#include "syntax/dictionary.h"

struct Security {
    bool encrypted = false;          // the document names an encryption dictionary
};

// The key of one stream of the document; its cipher None when it is not encrypted.
inline StreamKey KeyForStream(const Security&, uint32_t, uint32_t, DictionaryText) { return StreamKey{}; }
