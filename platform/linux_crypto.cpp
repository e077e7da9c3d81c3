// CNG's hashes and AES for Linux, on libcrypto's EVP interface. Each handle
// is a small heap object that says which kind it is, so a handle of another
// kind is refused as Windows refuses it. A key keeps its secret and makes one
// EVP context per direction on first use; every call then only sets the IV,
// so the key schedule is made once per key and direction.
#include <openssl/crypto.h>
#include <openssl/evp.h>

#include <climits>
#include <cstring>
#include <new>

#include "platform/linux_win32.h"

namespace {

// Windows' values for the failures these calls report.
constexpr NTSTATUS StatusSuccess = 0;
constexpr NTSTATUS StatusInvalidHandle = static_cast<NTSTATUS>(0xC0000008u);
constexpr NTSTATUS StatusInvalidParameter = static_cast<NTSTATUS>(0xC000000Du);
constexpr NTSTATUS StatusNoMemory = static_cast<NTSTATUS>(0xC0000017u);
constexpr NTSTATUS StatusBufferTooSmall = static_cast<NTSTATUS>(0xC0000023u);
constexpr NTSTATUS StatusNotSupported = static_cast<NTSTATUS>(0xC00000BBu);
constexpr NTSTATUS StatusInvalidBufferSize = static_cast<NTSTATUS>(0xC0000206u);
constexpr NTSTATUS StatusNotFound = static_cast<NTSTATUS>(0xC0000225u);

constexpr ULONG AesBlock = 16;
constexpr ULONG MaxAesKeyBytes = 32;

enum class ObjectKind : uint8_t { Algorithm, Hash, Key };

struct Algorithm {
    ObjectKind kind;       // Algorithm
    const EVP_MD* digest;  // the hash; null for AES
};

struct Hash {
    ObjectKind kind;       // Hash
    EVP_MD_CTX* context;   // owned
};

struct Key {
    ObjectKind kind;                    // Key
    uint8_t secret[MaxAesKeyBytes];     // cleansed when the key is destroyed
    ULONG secretBytes;                  // 16, 24 or 32
    EVP_CIPHER_CTX* contexts[2];        // [0] decrypts, [1] encrypts; made on first use
};

template <typename Object>
Object* As(void* handle, ObjectKind kind) {
    auto* object = static_cast<Object*>(handle);
    return object != nullptr && object->kind == kind ? object : nullptr;
}

bool SameText(LPCWSTR left, LPCWSTR right) {
    if (left == nullptr) return false;
    for (; *left == *right; ++left, ++right) {
        if (*left == 0) return true;
    }
    return false;
}

const EVP_CIPHER* AesCbc(ULONG secretBytes) {
    switch (secretBytes) {
    case 16: return EVP_aes_128_cbc();
    case 24: return EVP_aes_192_cbc();
    case 32: return EVP_aes_256_cbc();
    default: return nullptr;
    }
}

NTSTATUS Crypt(BCRYPT_KEY_HANDLE handle, bool encrypt, PUCHAR input, ULONG inputBytes, void* paddingInfo, PUCHAR iv,
               ULONG ivBytes, PUCHAR output, ULONG outputBytes, ULONG* result, ULONG flags) {
    Key* key = As<Key>(handle, ObjectKind::Key);
    if (key == nullptr) return StatusInvalidHandle;
    if (paddingInfo != nullptr || flags != 0) return StatusNotSupported;
    if (iv == nullptr || ivBytes != AesBlock || result == nullptr || (input == nullptr && inputBytes != 0) ||
        inputBytes > INT_MAX) {
        return StatusInvalidParameter;
    }
    if (inputBytes % AesBlock != 0) return StatusInvalidBufferSize;
    if (output == nullptr || outputBytes < inputBytes) return StatusBufferTooSmall;
    EVP_CIPHER_CTX*& context = key->contexts[encrypt ? 1 : 0];
    if (context == nullptr) {
        context = EVP_CIPHER_CTX_new();
        if (context == nullptr) return StatusNoMemory;
        if (EVP_CipherInit_ex(context, AesCbc(key->secretBytes), nullptr, key->secret, nullptr, encrypt ? 1 : 0) != 1 ||
            EVP_CIPHER_CTX_set_padding(context, 0) != 1) {
            EVP_CIPHER_CTX_free(context);
            context = nullptr;
            return StatusNoMemory;
        }
    }
    if (inputBytes == 0) {
        *result = 0;
        return StatusSuccess;
    }
    // The last ciphertext block is the next call's IV; decrypting in place overwrites it.
    uint8_t chain[AesBlock];
    if (!encrypt) std::memcpy(chain, input + inputBytes - AesBlock, AesBlock);
    int written = 0;
    if (EVP_CipherInit_ex(context, nullptr, nullptr, nullptr, iv, -1) != 1 ||
        EVP_CipherUpdate(context, output, &written, input, static_cast<int>(inputBytes)) != 1 ||
        static_cast<ULONG>(written) != inputBytes) {
        return StatusInvalidParameter;
    }
    std::memcpy(iv, encrypt ? output + inputBytes - AesBlock : chain, AesBlock);
    *result = inputBytes;
    return StatusSuccess;
}

}  // namespace

NTSTATUS BCryptOpenAlgorithmProvider(BCRYPT_ALG_HANDLE* algorithm, LPCWSTR algorithmId, LPCWSTR implementation,
                                     ULONG flags) {
    if (algorithm == nullptr || implementation != nullptr || flags != 0) return StatusInvalidParameter;
    const EVP_MD* digest = nullptr;
    if (SameText(algorithmId, BCRYPT_MD5_ALGORITHM)) {
        digest = EVP_md5();
    } else if (SameText(algorithmId, BCRYPT_SHA256_ALGORITHM)) {
        digest = EVP_sha256();
    } else if (SameText(algorithmId, BCRYPT_SHA384_ALGORITHM)) {
        digest = EVP_sha384();
    } else if (SameText(algorithmId, BCRYPT_SHA512_ALGORITHM)) {
        digest = EVP_sha512();
    } else if (!SameText(algorithmId, BCRYPT_AES_ALGORITHM)) {
        return StatusNotFound;
    }
    auto* object = new (std::nothrow) Algorithm{ObjectKind::Algorithm, digest};
    if (object == nullptr) return StatusNoMemory;
    *algorithm = object;
    return StatusSuccess;
}

NTSTATUS BCryptCloseAlgorithmProvider(BCRYPT_ALG_HANDLE algorithm, ULONG) {
    Algorithm* object = As<Algorithm>(algorithm, ObjectKind::Algorithm);
    if (object == nullptr) return StatusInvalidHandle;
    delete object;
    return StatusSuccess;
}

NTSTATUS BCryptSetProperty(BCRYPT_HANDLE object, LPCWSTR property, PUCHAR input, ULONG inputBytes, ULONG flags) {
    Algorithm* algorithm = As<Algorithm>(object, ObjectKind::Algorithm);
    if (algorithm == nullptr) return StatusInvalidHandle;
    if (flags != 0 || input == nullptr) return StatusInvalidParameter;
    if (algorithm->digest != nullptr || !SameText(property, BCRYPT_CHAINING_MODE)) return StatusNotSupported;
    // The value is wide text with its terminator, and CBC is the one mode offered.
    constexpr ULONG cbcBytes = sizeof(BCRYPT_CHAIN_MODE_CBC);
    if (inputBytes != cbcBytes || std::memcmp(input, BCRYPT_CHAIN_MODE_CBC, cbcBytes) != 0) return StatusNotSupported;
    return StatusSuccess;
}

NTSTATUS BCryptCreateHash(BCRYPT_ALG_HANDLE algorithm, BCRYPT_HASH_HANDLE* hash, PUCHAR hashObject,
                          ULONG hashObjectBytes, PUCHAR secret, ULONG secretBytes, ULONG flags) {
    Algorithm* owner = As<Algorithm>(algorithm, ObjectKind::Algorithm);
    if (owner == nullptr || owner->digest == nullptr) return StatusInvalidHandle;
    if (hash == nullptr || hashObject != nullptr || hashObjectBytes != 0 || flags != 0) return StatusInvalidParameter;
    if (secret != nullptr || secretBytes != 0) return StatusNotSupported;
    auto* object = new (std::nothrow) Hash{ObjectKind::Hash, EVP_MD_CTX_new()};
    if (object == nullptr || object->context == nullptr ||
        EVP_DigestInit_ex(object->context, owner->digest, nullptr) != 1) {
        if (object != nullptr) EVP_MD_CTX_free(object->context);
        delete object;
        return StatusNoMemory;
    }
    *hash = object;
    return StatusSuccess;
}

NTSTATUS BCryptHashData(BCRYPT_HASH_HANDLE hash, PUCHAR input, ULONG inputBytes, ULONG flags) {
    Hash* object = As<Hash>(hash, ObjectKind::Hash);
    if (object == nullptr) return StatusInvalidHandle;
    if (flags != 0 || (input == nullptr && inputBytes != 0)) return StatusInvalidParameter;
    return EVP_DigestUpdate(object->context, input, inputBytes) == 1 ? StatusSuccess : StatusInvalidParameter;
}

NTSTATUS BCryptFinishHash(BCRYPT_HASH_HANDLE hash, PUCHAR output, ULONG outputBytes, ULONG flags) {
    Hash* object = As<Hash>(hash, ObjectKind::Hash);
    if (object == nullptr) return StatusInvalidHandle;
    const int digestBytes = EVP_MD_CTX_get_size(object->context);
    if (flags != 0 || output == nullptr || digestBytes <= 0 || outputBytes != static_cast<ULONG>(digestBytes)) {
        return StatusInvalidParameter;
    }
    return EVP_DigestFinal_ex(object->context, output, nullptr) == 1 ? StatusSuccess : StatusInvalidParameter;
}

NTSTATUS BCryptDestroyHash(BCRYPT_HASH_HANDLE hash) {
    Hash* object = As<Hash>(hash, ObjectKind::Hash);
    if (object == nullptr) return StatusInvalidHandle;
    EVP_MD_CTX_free(object->context);
    delete object;
    return StatusSuccess;
}

NTSTATUS BCryptGenerateSymmetricKey(BCRYPT_ALG_HANDLE algorithm, BCRYPT_KEY_HANDLE* key, PUCHAR keyObject,
                                    ULONG keyObjectBytes, PUCHAR secret, ULONG secretBytes, ULONG flags) {
    Algorithm* owner = As<Algorithm>(algorithm, ObjectKind::Algorithm);
    if (owner == nullptr || owner->digest != nullptr) return StatusInvalidHandle;
    if (key == nullptr || keyObject != nullptr || keyObjectBytes != 0 || flags != 0 || secret == nullptr ||
        AesCbc(secretBytes) == nullptr) {
        return StatusInvalidParameter;
    }
    auto* object = new (std::nothrow) Key{ObjectKind::Key, {}, secretBytes, {nullptr, nullptr}};
    if (object == nullptr) return StatusNoMemory;
    std::memcpy(object->secret, secret, secretBytes);
    *key = object;
    return StatusSuccess;
}

NTSTATUS BCryptDestroyKey(BCRYPT_KEY_HANDLE key) {
    Key* object = As<Key>(key, ObjectKind::Key);
    if (object == nullptr) return StatusInvalidHandle;
    EVP_CIPHER_CTX_free(object->contexts[0]);
    EVP_CIPHER_CTX_free(object->contexts[1]);
    OPENSSL_cleanse(object->secret, sizeof object->secret);
    delete object;
    return StatusSuccess;
}

NTSTATUS BCryptEncrypt(BCRYPT_KEY_HANDLE key, PUCHAR input, ULONG inputBytes, void* paddingInfo, PUCHAR iv,
                       ULONG ivBytes, PUCHAR output, ULONG outputBytes, ULONG* result, ULONG flags) {
    return Crypt(key, true, input, inputBytes, paddingInfo, iv, ivBytes, output, outputBytes, result, flags);
}

NTSTATUS BCryptDecrypt(BCRYPT_KEY_HANDLE key, PUCHAR input, ULONG inputBytes, void* paddingInfo, PUCHAR iv,
                       ULONG ivBytes, PUCHAR output, ULONG outputBytes, ULONG* result, ULONG flags) {
    return Crypt(key, false, input, inputBytes, paddingInfo, iv, ivBytes, output, outputBytes, result, flags);
}
