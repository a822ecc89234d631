// Spreading one gauge record over a 1000 x 1000 watershed with 50 gauges by
// inverse distance squared: the work of every record switch of a large run.

#include <benchmark/benchmark.h>
#include <omp.h>

#include <vector>

#include "grid/grid.hpp"
#include "meteo/precip_file.hpp"
#include "meteo/rain_spreading.hpp"

namespace torva {
namespace {

constexpr int kSide = 1000;
constexpr double kCellSize = 30.0;
constexpr int kGauges = 50;

Grid square_watershed() {
    Grid grid;
    grid.rows = grid.cols = kSide;
    grid.cell_size = kCellSize;
    grid.west = 500000.0;
    grid.north = 4200000.0;
    grid.num_cells = kSide * kSide;
    grid.cell_row.assign(grid.num_cells + 1, 0);
    grid.cell_col.assign(grid.num_cells + 1, 0);
    int n = 0;
    for (int r = 1; r <= kSide; ++r)
        for (int c = 1; c <= kSide; ++c) {
            ++n;
            grid.cell_row[n] = r;
            grid.cell_col[n] = c;
        }
    return grid;
}

// Gauges scattered over the watershed (a fixed pattern, so runs compare).
PrecipEvent scattered_gauges(const Grid& grid) {
    PrecipEvent event;
    event.gauge_count = kGauges;
    event.record_count = 1;
    event.gauge_x.assign(kGauges + 1, 0.0);
    event.gauge_y.assign(kGauges + 1, 0.0);
    event.values.assign((kGauges + 1) * 3, 0.0);
    const double extent = kSide * kCellSize;
    for (int g = 1; g <= kGauges; ++g) {
        event.gauge_x[g] = grid.west + extent * ((g * 37) % 101) / 101.0 + 7.0;
        event.gauge_y[g] = grid.north - extent * ((g * 61) % 103) / 103.0 - 11.0;
        event.value(g, 1) = 0.5 * g;
    }
    return event;
}

void BM_SpreadInverseDistance(benchmark::State& state) {
    const int threads = static_cast<int>(state.range(0));
    const int previous = omp_get_max_threads();
    omp_set_num_threads(threads);
    const Grid grid = square_watershed();
    const PrecipEvent event = scattered_gauges(grid);
    std::vector<double> rain_rate(grid.num_cells + 1, 0.0);
    for (auto _ : state) {
        spread_inverse_distance(grid, event, 1, rain_rate);
        benchmark::DoNotOptimize(rain_rate.data());
    }
    omp_set_num_threads(previous);
    state.SetItemsProcessed(state.iterations() * grid.num_cells);
}
BENCHMARK(BM_SpreadInverseDistance)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace torva
