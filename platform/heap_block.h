// HeapBlock: the owner of one block of the process heap. Move-only: a copy
// would free the block twice, so none compiles. Freed on every way out of
// the owner's scope.
#pragma once

#include <cstdint>
#include <utility>

#include "platform/win32.h"

class HeapBlock {
public:
    HeapBlock() = default;
    ~HeapBlock() { Free(); }
    HeapBlock(HeapBlock&& other) noexcept
        : data_(std::exchange(other.data_, nullptr)), size_(std::exchange(other.size_, 0)) {}
    HeapBlock& operator=(HeapBlock&& other) noexcept {
        if (this != &other) {
            Free();
            data_ = std::exchange(other.data_, nullptr);
            size_ = std::exchange(other.size_, 0);
        }
        return *this;
    }
    HeapBlock(const HeapBlock&) = delete;
    HeapBlock& operator=(const HeapBlock&) = delete;

    // Replaces the block with a new one of `bytes` (at least 1), zero-filled
    // when asked. False when the heap refuses; the owner is then empty.
    bool Allocate(uint64_t bytes, bool zeroed = false) {
        Free();
        if (bytes == 0 || bytes > SIZE_MAX) return false;
        data_ = static_cast<uint8_t*>(
            HeapAlloc(GetProcessHeap(), zeroed ? HEAP_ZERO_MEMORY : 0, static_cast<SIZE_T>(bytes)));
        if (data_ == nullptr) return false;
        size_ = bytes;
        return true;
    }
    // Gives the block's end back to the heap from `bytes` on (at least 1),
    // never moving it; a shrink the heap refuses changes nothing.
    void ShrinkInPlace(uint64_t bytes) {
        if (data_ == nullptr || bytes == 0 || bytes >= size_) return;
        if (HeapReAlloc(GetProcessHeap(), HEAP_REALLOC_IN_PLACE_ONLY, data_, static_cast<SIZE_T>(bytes)) != nullptr) {
            size_ = bytes;
        }
    }
    void Free() {
        if (data_ != nullptr) HeapFree(GetProcessHeap(), 0, data_);
        data_ = nullptr;
        size_ = 0;
    }

    uint8_t* Data() const { return data_; }
    uint64_t Size() const { return size_; }

private:
    uint8_t* data_ = nullptr;  // null when empty
    uint64_t size_ = 0;        // bytes the block holds
};
