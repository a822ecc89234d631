// The update of an overland lake: its pending volume becomes its new level
// and extent. The lake holds cell area x sum of (level - ground) over its
// cells, so the level is what the stored volume gives over the cells then
// flooded; a rising lake floods, in order of their water surface, the
// neighbours that lie below that level, and a falling lake gives back the
// cells whose ground the level has dropped below.

#include <algorithm>
#include <cmath>
#include <vector>

#include "core/context.hpp"
#include "core/model_state.hpp"
#include "lakes/overland_lake.hpp"

namespace torva {
namespace {

// Water surfaces closer than this rise into the lake in one step.
constexpr double kSameElevation = 0.0001;  // m

// A pending volume below this depth over the lake is not worth a change of
// extent (it still enters the lake's volume).
constexpr double kNegligibleDepth = 1e-10;  // m

double level_of(const Lakes& lakes, int k, double area) {
    return (lakes.volume[k] / area + lakes.ground_sum[k]) / lakes.cells[k];
}

// Calls visit(j) for each neighbour j that water can reach from cell i across
// an open face (no dike between them).
template <typename Visit>
void for_each_open_neighbour(const Model& model, int i, Visit visit) {
    const Overland& ov = model.overland;
    const Grid& g = model.grid;
    if (ov.face_east[i] != 0)
        visit(ov.face_east[i]);
    if (ov.face_south[i] != 0)
        visit(ov.face_south[i]);
    const int west = g.west_neighbour[i];
    if (west != 0 && ov.face_east[west] == i)
        visit(west);
    const int north = g.north_neighbour[i];
    if (north != 0 && ov.face_south[north] == i)
        visit(north);
}

// Lists the neighbours of lake k's cells from `first` on that belong to no
// lake and whose water surface lies below `level`; returns how many.
int collect_candidates(Model& model, int k, std::size_t first, double level) {
    Lakes& lakes = model.lakes;
    const double* z = model.grid.elevation.data();
    const double* h = model.overland.depth.data();
    const std::vector<int>& members = lakes.members[k];
    int count = 0;
    for (std::size_t m = first; m < members.size(); ++m) {
        for_each_open_neighbour(model, members[m], [&](int j) {
            if (lakes.cell_lake[j] != 0 || lakes.barred[j] || lakes.listed[j])
                return;
            const double surface = z[j] + h[j];
            if (!(surface < level))
                return;
            lakes.listed[j] = 1;
            lakes.candidate[count] = j;
            lakes.candidate_surface[count] = surface;
            ++count;
        });
    }
    return count;
}

void join_lake(Model& model, int k, int cell, double area) {
    Lakes& lakes = model.lakes;
    double& h = model.overland.depth[cell];
    // The cell's own water joins the lake: it is part of the volume that
    // decides how far the lake spreads.
    const double water = h * area;
    lakes.volume[k] += water;
    lakes.flows.inflow += water;
    h = 0.0;
    lakes.cell_lake[cell] = k;
    lakes.ground_sum[k] += model.grid.elevation[cell];
    ++lakes.cells[k];
    lakes.members[k].push_back(cell);
    if (!model.soil.lake_cell.empty())
        model.soil.lake_cell[cell] = 1;
}

// Floods neighbours in order of their water surface while they lie below
// the level. Each cell that joins fills the space between its surface and
// the level, so the level can only fall as cells join: the candidates listed
// once stay right until the newly joined cells bring neighbours of their own,
// which are listed in turn until none lies below the level.
void rise(Model& model, int k, double area) {
    Lakes& lakes = model.lakes;
    std::size_t first = 0;
    while (true) {
        const double level = level_of(lakes, k, area);
        const std::size_t joined_before = lakes.members[k].size();
        const int count = collect_candidates(model, k, first, level);
        if (count == 0)
            break;
        int* order = lakes.order.data();
        for (int c = 0; c < count; ++c) order[c] = c;
        const double* surface = lakes.candidate_surface.data();
        const int* cell = lakes.candidate.data();
        std::sort(order, order + count, [&](int a, int b) {
            return surface[a] != surface[b] ? surface[a] < surface[b] : cell[a] < cell[b];
        });
        for (int c = 0; c < count; ++c) lakes.listed[cell[c]] = 0;
        int next = 0;
        while (next < count) {
            const double step_surface = surface[order[next]];
            if (!(step_surface < level_of(lakes, k, area)))
                break;
            while (next < count && surface[order[next]] - step_surface < kSameElevation)
                join_lake(model, k, cell[order[next++]], area);
        }
        first = joined_before;
        if (lakes.members[k].size() == joined_before)
            break;
    }
}

void release_cell(Model& model, int k, int cell) {
    Lakes& lakes = model.lakes;
    lakes.cell_lake[cell] = 0;
    lakes.ground_sum[k] -= model.grid.elevation[cell];
    --lakes.cells[k];
    if (!model.soil.lake_cell.empty())
        model.soil.lake_cell[cell] = 0;
}

// Gives back the cells whose ground the level stands at or below, highest
// first: each released cell held no water, and the level over the cells that
// remain falls with it. False when the lake would give back every cell,
// unless it `may_empty`: an empty lake keeps its lowest cells as its bed.
bool fall(Model& model, int k, double area, bool may_empty) {
    Lakes& lakes = model.lakes;
    const double* z = model.grid.elevation.data();
    std::vector<int>& members = lakes.members[k];
    while (true) {
        const double level = level_of(lakes, k, area);
        int count = 0;
        for (const int cell : members) {
            if (z[cell] < level)
                continue;
            lakes.order[count] = cell;
            ++count;
        }
        if (count == 0)
            return true;
        int* order = lakes.order.data();
        std::sort(order, order + count,
                  [&](int a, int b) { return z[a] != z[b] ? z[a] > z[b] : a < b; });
        int next = 0;
        bool bed = false;
        while (next < count) {
            const double step_ground = z[order[next]];
            if (step_ground < level_of(lakes, k, area))
                break;
            int step_end = next;
            while (step_end < count && step_ground - z[order[step_end]] < kSameElevation)
                ++step_end;
            if (step_end - next >= lakes.cells[k]) {
                // A lake with water left keeps its lowest cells however thin
                // its water; only a lake drained dry is refused.
                if (!may_empty && !(lakes.volume[k] > kNegligibleDepth * lakes.cells[k] * area))
                    return false;
                bed = true;
                break;
            }
            for (; next < step_end; ++next) release_cell(model, k, order[next]);
        }
        members.erase(std::remove_if(members.begin(), members.end(),
                                     [&](int cell) { return lakes.cell_lake[cell] != k; }),
                      members.end());
        // The ground sum afresh, as the cells added it: subtracting the
        // released cells' ground would leave rounding that the level of a
        // nearly empty lake would feel.
        double ground_sum = 0.0;
        for (const int cell : members) ground_sum += z[cell];
        lakes.ground_sum[k] = ground_sum;
        if (bed)
            return true;
    }
}

}  // namespace

bool update_overland_lake(Model& model, RunContext& ctx, int k, bool may_empty) {
    Lakes& lakes = model.lakes;
    const double area = model.grid.cell_size * model.grid.cell_size;
    double change = lakes.pending[k];
    lakes.pending[k] = 0.0;
    // Evaporation took exactly what the lake held, or the land all the lake
    // could give it (the overland faces take no more): what is left over is
    // rounding.
    if (-change > lakes.volume[k] &&
        (may_empty || -change <= lakes.volume[k] * (1.0 + 1e-12) + 1e-9))
        change = -lakes.volume[k];
    if (-change > lakes.volume[k]) {
        ctx.print_error("Not enough volume in lake %d to satisfy drainage demand.\n", k);
        ctx.print_error("Program stopped in olake_extent.c\n");
        ctx.error.raise(err::message_printed);
        return false;
    }
    lakes.volume[k] += change;
    const double depth_change = change / (lakes.cells[k] * area);
    // A drainage that leaves no water worth a level is refused; an empty
    // lake is one that evaporated.
    const bool drained = lakes.volume[k] <= kNegligibleDepth * lakes.cells[k] * area;
    if (std::fabs(depth_change) >= kNegligibleDepth || (change < 0.0 && drained)) {
        if (depth_change > 0.0) {
            rise(model, k, area);
        } else if ((drained && !may_empty) || !fall(model, k, area, may_empty)) {
            ctx.print_error(
                "Lake %d is being drained below its' original elevation.  This is not\n", k);
            ctx.print_error("allowed.  Re-size your initial lake. Program stopped.\n");
            ctx.error.raise(err::message_printed);
            return false;
        }
    }
    lakes.level[k] = level_of(lakes, k, area);
    lakes.surface[k] = lakes.level[k];
    return true;
}

double gather_water_on_lake_cells(Model& model) {
    Lakes& lakes = model.lakes;
    std::vector<double>& h = model.overland.depth;
    const double area = model.grid.cell_size * model.grid.cell_size;
    double moved = 0.0;
    for (int i = 1; i <= model.grid.num_cells; ++i) {
        const int k = lakes.cell_lake[i];
        if (k == 0 || h[i] == 0.0)
            continue;
        const double water = h[i] * area;
        lakes.pending[k] += water;
        moved += water;
        h[i] = 0.0;
    }
    return moved;
}

}  // namespace torva
