// Allocation failure on demand for the unit tests: operator new is replaced
// in this test program, and while armed the n-th allocation from then on
// (counting from 0) throws std::bad_alloc, once.
#pragma once

void FailAllocationAfter(long allocations);
void StopFailingAllocations();
// Whether an armed failure has been thrown since the last FailAllocationAfter.
bool AllocationFailed();
