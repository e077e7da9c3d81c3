// Decryption of a stream's stored bytes before its filters: the stage in
// front of every chain of an encrypted document.
#pragma once

#include <cstdint>

#include "decode/stage.h"

enum class Cipher : uint8_t { None, Rc4, AesCbc };

// The key of one stream, made when the stream starts.
struct StreamKey {
    Cipher cipher = Cipher::None;   // None: the stream is not encrypted
    uint8_t bytes[32] = {};          // the key
    uint32_t length = 0;             // bytes of it in use
};

struct DecryptStage {
    bool placeholder = false;        // no decryption is done yet
};

inline Status StartDecrypt(DecryptStage&, const StreamKey&) { return Status::Ok; }
inline Status RunDecrypt(DecryptStage&, Window&, bool) { return Status::InvalidData; }
