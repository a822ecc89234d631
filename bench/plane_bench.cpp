// The tilted plane of the README's performance table, run whole as a user runs
// it: a square grid of 20 m cells falling 0.5 % to the south, Manning's n
// 0.04, 30 mm/h of uniform rain, fixed 1 s steps, ADE or explicit. The
// argument pairs are the side of the grid, the minutes simulated and the
// thread count; the loop's own rate is the difference of a long and a short
// run (set-up and output cost the same in both), as the README table gives it.

#include <benchmark/benchmark.h>
#include <omp.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "core/context.hpp"
#include "quiet_run.hpp"
#include "run/driver.hpp"

namespace {

namespace fs = std::filesystem;

// Writes plane.msk, plane.ele and plane.prj into `folder`, as
// tools/make_plane.py does.
void write_plane(const fs::path& folder, int side, int minutes, const char* scheme) {
    const double cell = 20.0;
    const std::string header = "north: " + std::to_string(side * cell) +
                               "\nsouth: 0.0\neast: " + std::to_string(side * cell) +
                               "\nwest: 0.0\nrows: " + std::to_string(side) +
                               "\ncols: " + std::to_string(side) + "\n";
    std::ofstream mask(folder / "plane.msk");
    std::ofstream elevation(folder / "plane.ele");
    mask << header;
    elevation << header;
    char number[32];
    for (int r = 0; r < side; ++r) {
        for (int c = 0; c < side; ++c) {
            mask << (c ? " 1" : "1");
            const double z = 100.0 - 0.005 * cell * r + 0.0005 * cell * std::abs(c - side / 2);
            std::snprintf(number, sizeof number, c ? " %.3f" : "%.3f", z);
            elevation << number;
        }
        mask << '\n';
        elevation << '\n';
    }
    std::ofstream prj(folder / "plane.prj");
    prj << "TORVAPROJECT\nWATERSHED_MASK plane.msk\nELEVATION plane.ele\nROWS " << side << "\nCOLS "
        << side << "\nGRIDSIZE 20\nOUTROW " << side << "\nOUTCOL " << side / 2 + 1
        << "\nOUTSLOPE 0.005\nMANNING_N 0.04\nOVERTYPE " << scheme
        << "\nTIMESTEP 1\nHYD_FREQ 5\nMAP_FREQ 100000\nTOT_TIME " << minutes
        << "\nSTART_DATE 2021 7 14\nSTART_TIME 14 0\nPRECIP_UNIF\nRAIN_INTENSITY 30.0\n"
           "RAIN_DURATION "
        << minutes << "\nSUMMARY plane_summary.txt\nOUTLET_HYDRO plane.otl\n";
}

void run_plane(benchmark::State& state, const char* scheme) {
    const int side = static_cast<int>(state.range(0));
    const int minutes = static_cast<int>(state.range(1));
    const int threads = static_cast<int>(state.range(2));
    const fs::path before = fs::current_path();
    const fs::path folder =
        fs::temp_directory_path() / ("torva_plane_bench_" + std::to_string(side) + "_" + scheme);
    fs::create_directories(folder);
    write_plane(folder, side, minutes, scheme);
    fs::current_path(folder);
    omp_set_num_threads(threads);
    for (auto _ : state) {
        torva::RunContext ctx;
        if (!torva::bench::quiet_run(state, ctx, "plane.prj", "the plane run failed"))
            break;
    }
    const double cell_steps = static_cast<double>(side) * side * minutes * 60.0;
    state.counters["cell_steps_per_s"] =
        benchmark::Counter(cell_steps * state.iterations(), benchmark::Counter::kIsRate);
    omp_set_num_threads(omp_get_num_procs());
    fs::current_path(before);
    fs::remove_all(folder);
}

void BM_PlaneAde(benchmark::State& state) {
    run_plane(state, "ade");
}
void BM_PlaneExplicit(benchmark::State& state) {
    run_plane(state, "explicit");
}

// 500 x 500 cells; 1 and 30 minutes (60 and 1800 steps), 1 and 2 threads.
BENCHMARK(BM_PlaneAde)
    ->Args({500, 1, 1})
    ->Args({500, 30, 1})
    ->Args({500, 1, 2})
    ->Args({500, 30, 2})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1);
BENCHMARK(BM_PlaneExplicit)
    ->Args({500, 1, 1})
    ->Args({500, 30, 1})
    ->Args({500, 1, 2})
    ->Args({500, 30, 2})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1);

}  // namespace
