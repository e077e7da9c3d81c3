#include "tests/unit/test_allocator.h"

#include <cstdlib>
#include <new>

#ifdef _WIN32
#  include <malloc.h>
#endif

AllocationRefusal refuseAllocation = nullptr;

namespace {
long allocationsBeforeFailure = -1;  // -1: never fail
bool allocationFailed = false;
bool failArrays = false;
}  // namespace

void FailAllocationAfter(long count) {
    allocationsBeforeFailure = count;
    allocationFailed = false;
}

bool AllocationFailed() { return allocationFailed; }

void FailArrayAllocations(bool fail) { failArrays = fail; }

#ifndef VELLUM_TSAN

namespace {

bool Refused(size_t bytes, bool array) {
    if (array && failArrays) return true;
    if (allocationsBeforeFailure >= 0 && allocationsBeforeFailure-- == 0) {
        allocationFailed = true;
        return true;
    }
    return refuseAllocation != nullptr && refuseAllocation(bytes, array);
}

void* Allocate(size_t bytes, bool array) {
    if (Refused(bytes, array)) return nullptr;
    return std::malloc(bytes == 0 ? 1 : bytes);
}

void* AllocateAligned(size_t bytes, std::align_val_t alignment, bool array) {
    if (Refused(bytes, array)) return nullptr;
    const size_t size = static_cast<size_t>(alignment);
    const size_t rounded = (bytes == 0 ? 1 : bytes + size - 1) / size * size;
#ifdef _WIN32
    return _aligned_malloc(rounded, size);
#else
    return std::aligned_alloc(size, rounded);
#endif
}

void FreeAligned(void* block) {
#ifdef _WIN32
    _aligned_free(block);
#else
    std::free(block);
#endif
}

void* OrThrow(void* block) {
    if (block == nullptr) throw std::bad_alloc();
    return block;
}

}  // namespace

// GCC cannot see that these operators are malloc and free underneath.
#if defined(__GNUC__) && !defined(__clang__)
#  pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif

void* operator new(size_t bytes) { return OrThrow(Allocate(bytes, false)); }
void* operator new[](size_t bytes) { return OrThrow(Allocate(bytes, true)); }
void* operator new(size_t bytes, const std::nothrow_t&) noexcept { return Allocate(bytes, false); }
void* operator new[](size_t bytes, const std::nothrow_t&) noexcept { return Allocate(bytes, true); }
void* operator new(size_t bytes, std::align_val_t alignment) { return OrThrow(AllocateAligned(bytes, alignment, false)); }
void* operator new[](size_t bytes, std::align_val_t alignment) { return OrThrow(AllocateAligned(bytes, alignment, true)); }
void* operator new(size_t bytes, std::align_val_t alignment, const std::nothrow_t&) noexcept {
    return AllocateAligned(bytes, alignment, false);
}
void* operator new[](size_t bytes, std::align_val_t alignment, const std::nothrow_t&) noexcept {
    return AllocateAligned(bytes, alignment, true);
}

void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, size_t) noexcept { std::free(block); }
void operator delete[](void* block, size_t) noexcept { std::free(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { std::free(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { std::free(block); }
void operator delete(void* block, std::align_val_t) noexcept { FreeAligned(block); }
void operator delete[](void* block, std::align_val_t) noexcept { FreeAligned(block); }
void operator delete(void* block, size_t, std::align_val_t) noexcept { FreeAligned(block); }
void operator delete[](void* block, size_t, std::align_val_t) noexcept { FreeAligned(block); }
void operator delete(void* block, std::align_val_t, const std::nothrow_t&) noexcept { FreeAligned(block); }
void operator delete[](void* block, std::align_val_t, const std::nothrow_t&) noexcept { FreeAligned(block); }

#endif
