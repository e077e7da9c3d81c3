// Test-only: a way to refuse the Linux stand-in's heap and local-memory
// allocations, so that tests can fail the Nth allocation on purpose. Product
// code never sets it; while it is null the allocators behave as usual.
#pragma once

#include <cstddef>

// Asked before each HeapAlloc, HeapReAlloc and LocalAlloc; false refuses it.
using AllocationHook = bool (*)(size_t bytes);
extern AllocationHook allocationHook;
