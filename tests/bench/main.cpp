// The benchmarks link the product's objects directly, without the library's
// entry function, so the process heap is stored here as attach would.
#include <benchmark/benchmark.h>

#include "plugin/module_state.h"

int main(int argc, char** argv) {
    moduleState.processHeap = GetProcessHeap();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
