// The benchmarks start as the program does, with the same choice of how
// waiting threads wait, so that their figures are the ones users see.

#include <benchmark/benchmark.h>

#include "run/thread_policy.hpp"

int main(int argc, char** argv) {
    torva::start_with_chosen_waiting(argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
