// The unit tests link the product's objects directly, without the library's
// entry function, so the process heap is stored here as attach would.
#include <gtest/gtest.h>

#include "plugin/module_state.h"

int main(int argc, char** argv) {
    moduleState.processHeap = GetProcessHeap();
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
