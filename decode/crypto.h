// The hashes and the block cipher of PDF's encryption, from the system: CNG
// (bcrypt.dll) on Windows, libcrypto behind the platform layer elsewhere.
// Each call answers whether the system did the work; a refusal there is
// memory or resources running out, never a fault of the data.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>

#include "decode/status.h"
#include "platform/crypto_guards.h"

enum class HashKind : uint8_t { Md5, Sha256, Sha384, Sha512 };

constexpr size_t Md5Bytes = 16;
constexpr size_t Sha256Bytes = 32;
constexpr size_t Sha384Bytes = 48;
constexpr size_t Sha512Bytes = 64;
constexpr size_t MaxDigestBytes = Sha512Bytes;
constexpr size_t AesBlockBytes = 16;

// Bytes that are read and not kept.
struct ByteRange {
    const uint8_t* bytes;
    size_t length;
};

// The digest's size in bytes.
size_t DigestBytes(HashKind kind);
// The hash of the ranges one after the other, into the DigestBytes(kind)
// bytes at `digest`. False when the system refused.
bool HashBytes(HashKind kind, std::initializer_list<ByteRange> ranges, uint8_t* digest);

// One AES key for CBC without padding, made once and used for any number of
// calls. Move-only: it owns its CNG algorithm and key handles.
class AesCbcKey {
public:
    // Makes the key from 16, 24 or 32 bytes: Ok; InvalidData for another
    // length; OutOfMemory when the system refused.
    Status Start(const uint8_t* key, size_t length);
    // Decrypts (encrypts) `length` bytes, a multiple of 16, from `input` into
    // `output`, which may not overlap. `chain` holds the IV, or the
    // ciphertext block before the input, and is left as the input's (the
    // output's) last ciphertext block, so that calls over consecutive pieces
    // make one chain. False when the key was not made or the system refused.
    bool Decrypt(uint8_t (&chain)[AesBlockBytes], const uint8_t* input, uint8_t* output, size_t length) const;
    bool Encrypt(uint8_t (&chain)[AesBlockBytes], const uint8_t* input, uint8_t* output, size_t length) const;

private:
    bool Crypt(bool encrypt, uint8_t (&chain)[AesBlockBytes], const uint8_t* input, uint8_t* output,
               size_t length) const;

    AlgorithmHandle algorithm_;  // CNG's AES in CBC mode; outlives key_
    KeyHandle key_;              // the key schedule, made by Start
};
