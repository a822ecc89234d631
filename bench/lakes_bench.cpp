// The overland lake update on a 1000 x 1000 grid of 30 m cells: one lake of
// 100,000 cells in a wide bowl, raised by a centimetre a step, so that every
// step floods a ring of new cells around it. Each step starts again from the
// same lake, so every iteration does the same work; compare with the ADE step
// of the same grid (BM_AdeModelStep).

#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>

#include "core/context.hpp"
#include "core/model_state.hpp"
#include "lakes/lakes.hpp"
#include "surface/overland.hpp"

namespace {

using namespace torva;

constexpr int kSide = 1000;
constexpr double kCellSize = 30.0;
constexpr double kBowl = 1e-4;  // m of rise per squared cell of distance from the centre

double bowl_ground(int r, int c) {
    const double dr = r - kSide / 2 - 0.5;
    const double dc = c - kSide / 2 - 0.5;
    // A slight tilt keeps cells of one ring apart in elevation.
    return 100.0 + kBowl * (dr * dr + dc * dc) + 1e-7 * (r + 2 * c);
}

std::unique_ptr<Model> bowl_with_lake(int lake_cells) {
    auto m = std::make_unique<Model>();
    Grid& g = m->grid;
    g.rows = g.cols = kSide;
    g.cell_size = kCellSize;
    g.cell_number.assign((kSide + 2) * (kSide + 2), 0);
    int n = 0;
    for (int r = 1; r <= kSide; ++r)
        for (int c = 1; c <= kSide; ++c) g.number_at(r, c) = ++n;
    g.num_cells = n;
    for (auto* a : {&g.east_neighbour, &g.south_neighbour, &g.west_neighbour, &g.north_neighbour})
        a->assign(n + 1, 0);
    g.elevation.assign(n + 1, 0.0);
    for (int r = 1; r <= kSide; ++r)
        for (int c = 1; c <= kSide; ++c) {
            const int i = g.number_at(r, c);
            g.elevation[i] = bowl_ground(r, c);
            g.east_neighbour[i] = g.number_at(r, c + 1);
            g.west_neighbour[i] = g.number_at(r, c - 1);
            g.south_neighbour[i] = g.number_at(r + 1, c);
            g.north_neighbour[i] = g.number_at(r - 1, c);
        }
    m->project[Card::OVERTYPE].given = true;
    m->project[Card::OVERTYPE].text = "ade";
    m->run.time_step = 10.0;
    m->surface.manning_n.assign(n + 1, 0.1);
    m->surface.retention_depth.assign(n + 1, 0.0);
    RunContext ctx;
    compute_bed_slopes(*m, ctx);

    // The lake: the cells below the level that floods `lake_cells` of them
    // (pi d^2 cells lie within d cells of the centre).
    const double level = 100.0 + kBowl * lake_cells / M_PI;
    Lakes& lakes = m->lakes;
    lakes.count = 1;
    lakes.level = {0.0, level};
    lakes.initial_level = lakes.level;
    lakes.volume = {0.0, 0.0};
    lakes.pending = {0.0, 0.0};
    lakes.saved_pending = lakes.pending;
    lakes.ground_sum = {0.0, 0.0};
    lakes.cells = {0, 0};
    lakes.members.assign(2, {});
    lakes.cell_lake.assign(n + 1, 0);
    lakes.barred.assign(n + 1, 0);
    lakes.candidate.assign(n + 1, 0);
    lakes.candidate_surface.assign(n + 1, 0.0);
    lakes.order.assign(n + 1, 0);
    lakes.listed.assign(n + 1, 0);
    m->soil.lake_cell.assign(n + 1, 0);
    for (int i = 1; i <= n; ++i) {
        if (g.elevation[i] >= level)
            continue;
        lakes.cell_lake[i] = 1;
        m->soil.lake_cell[i] = 1;
        lakes.members[1].push_back(i);
        ++lakes.cells[1];
        lakes.ground_sum[1] += g.elevation[i];
        lakes.volume[1] += (level - g.elevation[i]) * kCellSize * kCellSize;
    }
    return m;
}

void BM_OverlandLakeRisingStep(benchmark::State& state) {
    auto m = bowl_with_lake(100000);
    const Lakes start = m->lakes;
    const std::vector<unsigned char> start_soil = m->soil.lake_cell;
    RunContext ctx;
    long long flooded = 0;
    for (auto _ : state) {
        state.PauseTiming();
        m->lakes = start;
        m->soil.lake_cell = start_soil;
        // A centimetre over the lake's area.
        m->lakes.pending[1] = 0.01 * m->lakes.cells[1] * kCellSize * kCellSize;
        state.ResumeTiming();
        overland_lakes_phase(*m, ctx);
        flooded += m->lakes.cells[1] - start.cells[1];
    }
    if (ctx.error.pending())
        state.SkipWithError("the lake update stopped");
    state.counters["lake_cells"] = start.cells[1];
    state.counters["flooded_per_step"] =
        static_cast<double>(flooded) / static_cast<double>(state.iterations());
}

BENCHMARK(BM_OverlandLakeRisingStep)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
