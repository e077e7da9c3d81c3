// The unit tests' replacement of the global operator new, so that a test can
// make the runtime's allocator fail on demand and send std::bad_alloc through
// the code under test.
#pragma once

// The count-th allocation from now (0 = the next one) through operator new or
// new[] throws std::bad_alloc, once; -1 disarms.
void FailAllocationAfter(long count);
// Whether an armed failure has fired since it was armed.
bool AllocationFailed();
// While set, every array allocation (operator new[]) throws std::bad_alloc.
void FailArrayAllocations(bool fail);
