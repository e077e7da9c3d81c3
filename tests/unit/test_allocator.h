// The unit tests' replacement of the global operator new, in every form (a
// program can hold only one, and a sanitizer runtime's own must not be linked
// in beside it), so that a test can make the runtime's allocator fail on
// demand and send std::bad_alloc (or null, for the nothrow forms) through the
// code under test.
#pragma once

#include <cstddef>

// The count-th allocation from now (0 = the next one) through operator new or
// new[] throws std::bad_alloc, once; -1 disarms.
void FailAllocationAfter(long count);
// Whether an armed failure has fired since it was armed.
bool AllocationFailed();
// While set, every array allocation (operator new[]) throws std::bad_alloc.
void FailArrayAllocations(bool fail);

// While set, asked before every allocation; true refuses it. For tests that
// count allocations or choose which to refuse themselves.
using AllocationRefusal = bool (*)(size_t bytes, bool array);
extern AllocationRefusal refuseAllocation;

// ThreadSanitizer's runtime brings its own operator new, which cannot be
// replaced; there allocations cannot be made to fail and the tests that need
// it skip.
#if defined(__SANITIZE_THREAD__)
#  define VELLUM_TSAN 1
#elif defined(__has_feature)
#  if __has_feature(thread_sanitizer)
#    define VELLUM_TSAN 1
#  endif
#endif
#ifdef VELLUM_TSAN
constexpr bool allocationFailureAvailable = false;
#else
constexpr bool allocationFailureAvailable = true;
#endif
