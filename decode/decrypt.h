// Decryption of one stream's stored bytes, the first stage of its decoding:
// it runs before the stream's filters and keeps the stage contract of
// decode/stage.h. The key is made when the stream starts; the loops only
// apply it.
//
// RC4 streams the bytes through. AES-CBC takes the first 16 bytes as the IV,
// decrypts whole blocks as they come and holds the last block back until the
// input ends, then removes its padding. Broken AES data is read as qpdf
// reads it: fewer than 32 bytes in all give nothing (an IV alone, or not
// even that); a last block that is cut short is filled with zero bytes and
// decrypted like a whole one; padding is removed only when the last byte n
// is 1 to 16 and the last n bytes all equal n, and otherwise the whole block
// is kept. None of these is an error, so AES never answers InvalidData.
#pragma once

#include <cstddef>
#include <cstdint>

#include "decode/crypto.h"
#include "decode/rc4.h"
#include "decode/stage.h"

enum class StreamCipher : uint8_t {
    None,         // the bytes are stored as they are
    Rc4,          // RC4 with the stream's own key
    AesCbc,       // AES in CBC mode, the IV in the first 16 bytes, padded as PKCS #7
    Unavailable,  // no key could be made for the stream: the system's hash was refused
};

// The most key bytes a stream has: AES-256.
constexpr size_t MaxStreamKeyBytes = 32;

// How one stream is encrypted, worked out before its bytes are read.
struct StreamKey {
    StreamCipher cipher = StreamCipher::None;  // how the stream's bytes are encrypted
    uint8_t bytes[MaxStreamKeyBytes] = {};     // the key: 5 to 16 bytes for RC4, 16 or 32 for AES
    uint32_t length = 0;                       // bytes of `bytes` in use
};

struct DecryptStage {
    StreamCipher cipher = StreamCipher::None;  // as the key said
    Rc4State rc4{};                            // RC4's state after the bytes so far
    AesCbcKey aes;                             // the AES key schedule, made at the start
    uint8_t chain[AesBlockBytes] = {};         // the IV, then the last ciphertext block decrypted
    uint8_t block[AesBlockBytes] = {};         // input gathered towards the next whole block
    uint32_t blockFill = 0;                    // bytes of `block` gathered
    bool ivTaken = false;                      // the first 16 bytes are in `chain`
    uint8_t plain[AesBlockBytes] = {};         // a decrypted block waiting for output room
    uint32_t plainAt = 0;                      // the next byte of `plain` to write
    uint32_t plainEnd = 0;                     // one past the last byte of `plain` to write
    bool lastDone = false;                     // the last block is decrypted; End once `plain` is written
};

// Starts the stage for one stream with its key. Ok; InvalidData for a key of
// a length its cipher cannot take; OutOfMemory when the key is Unavailable or
// the system refused to make it.
Status StartDecrypt(DecryptStage& stage, const StreamKey& key);
// Decrypts the window's input into its output, keeping the contract of
// decode/stage.h: Ok, End, or OutOfMemory when the system refuses to decrypt.
Status RunDecrypt(DecryptStage& stage, Window& window, bool inputEnds);
