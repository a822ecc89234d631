// What the machine's memory can move: a copy of one large array of doubles
// into another (STREAM's "copy"), at 1 and 2 threads, each thread copying
// its static block as the cell loops do. The arrays (64 MB each) are far
// larger than the caches, so the figure is the memory's. The counter
// `bytes_per_s` counts, as STREAM does, the 16 bytes read and written per
// element; a cell loop that streams B bytes per cell-step can do at most
// bytes_per_s / B cell-steps a second.

#include <benchmark/benchmark.h>
#include <omp.h>

#include <vector>

namespace {

constexpr long kElements = 8L * 1024 * 1024;

void BM_MemoryCopyBandwidth(benchmark::State& state) {
    omp_set_num_threads(static_cast<int>(state.range(0)));
    std::vector<double> from(kElements), to(kElements);
    // First touch by the threads that will copy, as the cell arrays are.
#pragma omp parallel for schedule(static)
    for (long i = 0; i < kElements; ++i) {
        from[i] = 1.0 + static_cast<double>(i % 7);
        to[i] = 0.0;
    }
    double* a = to.data();
    const double* b = from.data();
    for (auto _ : state) {
#pragma omp parallel for schedule(static)
        for (long i = 0; i < kElements; ++i) a[i] = b[i];
        benchmark::ClobberMemory();
    }
    benchmark::DoNotOptimize(a[kElements / 2]);
    state.counters["bytes_per_s"] = benchmark::Counter(
        16.0 * static_cast<double>(kElements) * static_cast<double>(state.iterations()),
        benchmark::Counter::kIsRate, benchmark::Counter::kIs1024);
    omp_set_num_threads(omp_get_num_procs());
}

BENCHMARK(BM_MemoryCopyBandwidth)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
