// The unit tests' one replacement of operator new, in every form (a program
// can hold only one, and a sanitizer runtime's own must not be linked in
// beside it). Tests that make allocations fail on purpose set
// `refuseAllocation` for as long as they need it: while it is set it is asked
// before each allocation, and true makes that allocation fail with
// std::bad_alloc, or with null for the nothrow forms.
#pragma once

#include <cstddef>

using AllocationRefusal = bool (*)(size_t bytes, bool array);
extern AllocationRefusal refuseAllocation;
