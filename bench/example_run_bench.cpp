// The bundled example watershed, run whole as a user runs it from the top of
// the source tree: set-up, two hours of ADE overland flow at 2 s steps, and
// the output files. A calibration runs this hundreds of times, so its wall
// time is the figure that matters to users.

#include <benchmark/benchmark.h>
#include <omp.h>

#include <cstdio>
#include <filesystem>

#include "core/context.hpp"
#include "quiet_run.hpp"
#include "run/driver.hpp"

namespace {

void run_example(benchmark::State& state, const char* project) {
    const int threads = static_cast<int>(state.range(0));
    const std::filesystem::path before = std::filesystem::current_path();
    std::filesystem::current_path(TORVA_SOURCE_DIR);
    omp_set_num_threads(threads);
    for (auto _ : state) {
        torva::RunContext ctx;
        if (!torva::bench::quiet_run(state, ctx, project, "the example run failed"))
            break;
    }
    omp_set_num_threads(omp_get_num_procs());
    std::filesystem::current_path(before);
}

void BM_ExampleValleyUniform(benchmark::State& state) {
    run_example(state, "examples/valley/valley_uniform.prj");
}

void BM_ExampleValleyInfiltration(benchmark::State& state) {
    run_example(state, "examples/valley/valley_infiltration.prj");
}

BENCHMARK(BM_ExampleValleyUniform)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ExampleValleyInfiltration)
    ->Arg(1)
    ->Arg(2)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
