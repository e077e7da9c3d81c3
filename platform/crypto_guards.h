// Owners of the CNG handles the code opens: each closes or destroys its
// handle on every way out of a scope, exceptions included, and can be moved
// but not copied. An algorithm handle must outlive the keys and hashes made
// from it, so an owner of both declares the algorithm first.
#pragma once

#include <utility>

#include "platform/win32.h"

template <typename Handle, NTSTATUS (*Close)(Handle)>
class CryptoHandle {
public:
    CryptoHandle() = default;
    explicit CryptoHandle(Handle handle) : handle_(handle) {}
    ~CryptoHandle() { Reset(nullptr); }
    CryptoHandle(CryptoHandle&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
    CryptoHandle& operator=(CryptoHandle&& other) noexcept {
        if (this != &other) Reset(std::exchange(other.handle_, nullptr));
        return *this;
    }
    CryptoHandle(const CryptoHandle&) = delete;
    CryptoHandle& operator=(const CryptoHandle&) = delete;

    Handle Get() const { return handle_; }
    // Closes the handle held, if any, and holds `handle` instead.
    void Reset(Handle handle) {
        if (handle_ != nullptr) Close(handle_);
        handle_ = handle;
    }

private:
    Handle handle_ = nullptr;  // null when empty
};

inline NTSTATUS CloseAlgorithm(BCRYPT_ALG_HANDLE algorithm) { return BCryptCloseAlgorithmProvider(algorithm, 0); }

using AlgorithmHandle = CryptoHandle<BCRYPT_ALG_HANDLE, CloseAlgorithm>;
using KeyHandle = CryptoHandle<BCRYPT_KEY_HANDLE, BCryptDestroyKey>;
using HashHandle = CryptoHandle<BCRYPT_HASH_HANDLE, BCryptDestroyHash>;
