// The unit tests' one replacement of operator new, in every form (a program
// can hold only one, and a sanitizer runtime's own must not be linked in
// beside it). Tests that make allocations fail on purpose set
// `refuseAllocation` for as long as they need it: while it is set it is asked
// before each allocation, and true makes that allocation fail with
// std::bad_alloc, or with null for the nothrow forms.
#pragma once

#include <cstddef>

// ThreadSanitizer's runtime brings its own operator new, which cannot be
// replaced; there allocations cannot be refused and the tests that need it skip.
#if defined(__SANITIZE_THREAD__)
#  define VELLUM_TSAN 1
#elif defined(__has_feature)
#  if __has_feature(thread_sanitizer)
#    define VELLUM_TSAN 1
#  endif
#endif
#ifdef VELLUM_TSAN
constexpr bool allocationRefusalAvailable = false;
#else
constexpr bool allocationRefusalAvailable = true;
#endif

using AllocationRefusal = bool (*)(size_t bytes, bool array);
extern AllocationRefusal refuseAllocation;
