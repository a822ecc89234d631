// Reading a 2000 x 2000 real-valued map, the size of a large elevation map.
// The figure to watch is items_per_second: values read per second of processor
// time on one core (a busy machine stretches the wall-clock time, not this).

#include <benchmark/benchmark.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "core/context.hpp"
#include "grid/grid.hpp"
#include "grid/raster.hpp"

namespace {

constexpr int kSide = 2000;

// The map text: elevations with three decimals, as map exports write them.
std::string elevation_map_text() {
    std::string text = "north: 60000\nsouth: 0\neast: 60000\nwest: 0\nrows: 2000\ncols: 2000\n";
    std::mt19937 random(7);
    std::uniform_real_distribution<double> elevation(100.0, 2500.0);
    char value[32];
    for (int r = 0; r < kSide; ++r) {
        for (int c = 0; c < kSide; ++c) {
            std::snprintf(value, sizeof value, "%.3f ", elevation(random));
            text += value;
        }
        text += '\n';
    }
    return text;
}

torva::Grid full_grid() {
    torva::Grid grid;
    grid.rows = kSide;
    grid.cols = kSide;
    grid.cell_size = 30.0;
    grid.cell_number.assign(static_cast<std::size_t>(kSide + 2) * (kSide + 2), 0);
    for (int r = 1; r <= kSide; ++r)
        for (int c = 1; c <= kSide; ++c) grid.number_at(r, c) = ++grid.num_cells;
    return grid;
}

void BM_ReadRealMap2000x2000(benchmark::State& state) {
    const std::string text = elevation_map_text();
    std::FILE* file = std::tmpfile();
    std::fwrite(text.data(), 1, text.size(), file);
    torva::Grid grid = full_grid();
    std::vector<double> elevation(grid.num_cells + 1);
    torva::RunContext ctx;
    ctx.out = std::tmpfile();
    for (auto _ : state) {
        std::rewind(file);
        const bool read = torva::read_real_map(ctx, file, "elevation.ele", grid, elevation);
        if (!read)
            state.SkipWithError("map not read");
        benchmark::DoNotOptimize(elevation.data());
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(kSide) * kSide);
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(text.size()));
    std::fclose(ctx.out);
    std::fclose(file);
}
BENCHMARK(BM_ReadRealMap2000x2000)->Unit(benchmark::kMillisecond);

}  // namespace
