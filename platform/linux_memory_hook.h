// Test-only: a way to refuse the Linux stand-in's heap and local-memory
// allocations, so that tests can fail the Nth allocation on purpose, and the
// bytes the heap's live blocks hold. Product code never sets the hook; while
// it is null the allocators behave as usual.
#pragma once

#include <cstddef>
#include <cstdint>

// Asked before each HeapAlloc, HeapReAlloc and LocalAlloc; false refuses it.
using AllocationHook = bool (*)(size_t bytes);
extern AllocationHook allocationHook;

// The sizes of all heap blocks alive now, summed: what a block's slack costs shows here.
uint64_t LiveHeapBytes();
// The highest LiveHeapBytes has been since the last reset, and the reset.
uint64_t PeakHeapBytes();
void ResetPeakHeapBytes();
