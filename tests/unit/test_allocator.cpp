#include "tests/unit/test_allocator.h"

#include <cstdlib>
#include <new>

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

void* operator new(std::size_t size) {
    if (allocationsBeforeFailure >= 0 && allocationsBeforeFailure-- == 0) {
        allocationFailed = true;
        throw std::bad_alloc();
    }
    if (void* block = std::malloc(size == 0 ? 1 : size)) return block;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
    if (failArrays) throw std::bad_alloc();
    return operator new(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return operator new(size);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return operator new[](size);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}
void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t) noexcept { std::free(block); }
