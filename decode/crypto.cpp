#include "decode/crypto.h"

#include <cstring>

namespace {

// The most bytes one CNG call is given: its counts are 32-bit, and a whole
// number of AES blocks keeps each piece of a chain complete.
constexpr size_t MaxCallBytes = size_t{1} << 30;

LPCWSTR AlgorithmName(HashKind kind) {
    switch (kind) {
    case HashKind::Md5: return BCRYPT_MD5_ALGORITHM;
    case HashKind::Sha256: return BCRYPT_SHA256_ALGORITHM;
    case HashKind::Sha384: return BCRYPT_SHA384_ALGORITHM;
    case HashKind::Sha512: return BCRYPT_SHA512_ALGORITHM;
    }
    return BCRYPT_MD5_ALGORITHM;
}

}  // namespace

size_t DigestBytes(HashKind kind) {
    switch (kind) {
    case HashKind::Md5: return Md5Bytes;
    case HashKind::Sha256: return Sha256Bytes;
    case HashKind::Sha384: return Sha384Bytes;
    case HashKind::Sha512: return Sha512Bytes;
    }
    return Md5Bytes;
}

bool HashBytes(HashKind kind, std::initializer_list<ByteRange> ranges, uint8_t* digest) {
    BCRYPT_ALG_HANDLE rawAlgorithm = nullptr;
    if (!BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&rawAlgorithm, AlgorithmName(kind), nullptr, 0))) return false;
    const AlgorithmHandle algorithm(rawAlgorithm);
    BCRYPT_HASH_HANDLE rawHash = nullptr;
    if (!BCRYPT_SUCCESS(BCryptCreateHash(algorithm.Get(), &rawHash, nullptr, 0, nullptr, 0, 0))) return false;
    const HashHandle hash(rawHash);
    for (const ByteRange& range : ranges) {
        for (size_t done = 0; done < range.length;) {
            const size_t piece = range.length - done < MaxCallBytes ? range.length - done : MaxCallBytes;
            // CNG takes the input through a pointer that is not const, and only reads it.
            if (!BCRYPT_SUCCESS(BCryptHashData(hash.Get(), const_cast<PUCHAR>(range.bytes + done),
                                               static_cast<ULONG>(piece), 0))) {
                return false;
            }
            done += piece;
        }
    }
    return BCRYPT_SUCCESS(BCryptFinishHash(hash.Get(), digest, static_cast<ULONG>(DigestBytes(kind)), 0));
}

Status AesCbcKey::Start(const uint8_t* key, size_t length) {
    key_.Reset(nullptr);
    algorithm_.Reset(nullptr);
    if (length != 16 && length != 24 && length != 32) return Status::InvalidData;
    BCRYPT_ALG_HANDLE rawAlgorithm = nullptr;
    if (!BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&rawAlgorithm, BCRYPT_AES_ALGORITHM, nullptr, 0))) {
        return Status::OutOfMemory;
    }
    algorithm_.Reset(rawAlgorithm);
    // The property's value is the mode's name with its terminator.
    if (!BCRYPT_SUCCESS(BCryptSetProperty(algorithm_.Get(), BCRYPT_CHAINING_MODE,
                                          reinterpret_cast<PUCHAR>(const_cast<WCHAR*>(BCRYPT_CHAIN_MODE_CBC)),
                                          sizeof(BCRYPT_CHAIN_MODE_CBC), 0))) {
        return Status::OutOfMemory;
    }
    BCRYPT_KEY_HANDLE rawKey = nullptr;
    if (!BCRYPT_SUCCESS(BCryptGenerateSymmetricKey(algorithm_.Get(), &rawKey, nullptr, 0, const_cast<PUCHAR>(key),
                                                   static_cast<ULONG>(length), 0))) {
        return Status::OutOfMemory;
    }
    key_.Reset(rawKey);
    return Status::Ok;
}

bool AesCbcKey::Decrypt(uint8_t (&chain)[AesBlockBytes], const uint8_t* input, uint8_t* output, size_t length) const {
    return Crypt(false, chain, input, output, length);
}

bool AesCbcKey::Encrypt(uint8_t (&chain)[AesBlockBytes], const uint8_t* input, uint8_t* output, size_t length) const {
    return Crypt(true, chain, input, output, length);
}

bool AesCbcKey::Crypt(bool encrypt, uint8_t (&chain)[AesBlockBytes], const uint8_t* input, uint8_t* output,
                      size_t length) const {
    if (key_.Get() == nullptr || length % AesBlockBytes != 0) return false;
    for (size_t done = 0; done < length;) {
        const size_t piece = length - done < MaxCallBytes ? length - done : MaxCallBytes;
        // Windows leaves the chaining value in the IV it is given and Wine
        // keeps it in the key instead; setting it from the blocks themselves
        // before every call makes both the same.
        uint8_t iv[AesBlockBytes];
        std::memcpy(iv, chain, AesBlockBytes);
        ULONG written = 0;
        PUCHAR const in = const_cast<PUCHAR>(input + done);
        const NTSTATUS status =
            encrypt ? BCryptEncrypt(key_.Get(), in, static_cast<ULONG>(piece), nullptr, iv, AesBlockBytes, output + done,
                                    static_cast<ULONG>(piece), &written, 0)
                    : BCryptDecrypt(key_.Get(), in, static_cast<ULONG>(piece), nullptr, iv, AesBlockBytes, output + done,
                                    static_cast<ULONG>(piece), &written, 0);
        if (!BCRYPT_SUCCESS(status) || written != piece) return false;
        std::memcpy(chain, (encrypt ? output : input) + done + piece - AesBlockBytes, AesBlockBytes);
        done += piece;
    }
    return true;
}
