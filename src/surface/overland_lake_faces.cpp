// The faces between lake cells and the land. The overland schemes keep a
// lake's extent through a step, but not its level: a lake that gives water to
// lower land falls as it gives, and the faces leaving it together never take
// more than it holds. Without that, a pond beside lower land would keep
// giving at the rate of its first level for every sub-step of the step.

#include "surface/overland_lake_faces.hpp"

#include <algorithm>

#include "core/model_state.hpp"

namespace torva {

namespace {

// The share of its water a lake may give in one sweep. The faces see the
// level the sweep starts from; a lake that gave all it holds at that level
// would be drained dry by faces that slow down as it falls. Held to half, a
// lake drawn on faster than that halves its water each sweep and falls
// towards its bed as its level does.
constexpr double kLakeGivingShare = 0.5;

// The level of lake k's water over its cells in order of their ground: a
// lake drawn below some of its cells stands over the lower ones only (the
// lake update gives the others back). Each pass leaves out the cells whose
// ground lies at or above the level of the last; the level only falls, and
// the passes stop when no cell drops out.
double drawn_down_level(const Lakes& lakes, const double* z, int k, double area) {
    const double water = lakes.available(k) / area;
    int count = lakes.cells[k];
    double level = (water + lakes.ground_sum[k]) / count;
    while (true) {
        double ground_sum = 0.0;
        int below = 0;
        double lowest = level;
        for (const int cell : lakes.members[k]) {
            lowest = std::min(lowest, z[cell]);
            if (z[cell] < level) {
                ground_sum += z[cell];
                ++below;
            }
        }
        if (below == 0)
            return lowest;
        if (below == count)
            return level;
        count = below;
        level = (water + ground_sum) / count;
    }
}

}  // namespace

void refresh_lake_surfaces(Model& model) {
    Lakes& lakes = model.lakes;
    const double area = model.grid.cell_size * model.grid.cell_size;
    const double* z = model.grid.elevation.data();
    for (int k = 1; k <= lakes.count; ++k) {
        const double level = lakes.holding_level(k, area);
        lakes.surface[k] =
            level < lakes.level[k] ? drawn_down_level(lakes, z, k, area) : lakes.level[k];
    }
}

void limit_lake_outflow(Model& model, std::initializer_list<LakeFaces> directions,
                        double volume_per_flux) {
    Lakes& lakes = model.lakes;
    if (!lakes.present())
        return;
    const int n = model.grid.num_cells;
    const int* lake = lakes.cell_lake.data();
    double* drawn = lakes.drawn.data();
    std::fill(lakes.drawn.begin(), lakes.drawn.end(), 0.0);
    // The lake that face i gives from, 0 when it gives from none.
    auto giving_lake = [&](const LakeFaces& d, int i) {
        const int j = d.face_to[i];
        if (j == 0 || (lake[i] > 0) == (lake[j] > 0))
            return 0;
        const double q = d.flux[i];
        if (q > 0.0 && lake[i] > 0)
            return lake[i];
        if (q < 0.0 && lake[j] > 0)
            return lake[j];
        return 0;
    };
    bool any = false;
    for (const LakeFaces& d : directions)
        for (int i = 1; i <= n; ++i) {
            const int k = giving_lake(d, i);
            if (k == 0)
                continue;
            drawn[k] += (d.flux[i] > 0.0 ? d.flux[i] : -d.flux[i]) * volume_per_flux;
            any = true;
        }
    if (!any)
        return;
    // From here on `drawn` holds the share of each face's discharge that may go.
    bool over = false;
    for (int k = 1; k <= lakes.count; ++k) {
        const double held = kLakeGivingShare * lakes.available(k);
        const double share = drawn[k] > held ? held / drawn[k] : 1.0;
        over = over || share < 1.0;
        drawn[k] = share;
    }
    if (!over)
        return;
    for (const LakeFaces& d : directions)
        for (int i = 1; i <= n; ++i) {
            const int k = giving_lake(d, i);
            if (k != 0)
                d.flux[i] *= drawn[k];
        }
}

namespace {

// Calls add(lake, volume) for every face between a cell of a lake and a cell
// of land, the volume that crossed it positive into the lake.
template <class Add>
void for_each_lake_face(const int* lake, LakeFaces faces, int n, double volume_per_flux, Add add) {
    for (int i = 1; i <= n; ++i) {
        const int j = faces.face_to[i];
        if (j == 0 || (lake[i] > 0) == (lake[j] > 0))
            continue;
        // Discharge is positive towards j: into the lake when j is the lake cell.
        const double volume = (lake[j] > 0 ? faces.flux[i] : -faces.flux[i]) * volume_per_flux;
        add(lake[j] > 0 ? lake[j] : lake[i], volume);
    }
}

}  // namespace

void add_lake_exchange(Model& model, LakeFaces faces, double volume_per_flux) {
    const int n = model.grid.num_cells;
    if (Lakes& lakes = model.lakes; lakes.present())
        for_each_lake_face(lakes.cell_lake.data(), faces, n, volume_per_flux,
                           [&](int into, double volume) {
                               lakes.pending[into] += volume;
                               if (volume > 0.0)
                                   lakes.flows.inflow += volume;
                               else
                                   lakes.flows.outflow -= volume;
                           });
    if (ChannelLakeExchange& lakes = model.overland.channel_lakes; lakes.present())
        for_each_lake_face(lakes.lake_number.data(), faces, n, volume_per_flux,
                           [&](int into, double volume) {
                               lakes.net_inflow[into] += volume;
                               if (volume > 0.0)
                                   lakes.overland_inflow[into] += volume;
                               else
                                   lakes.overland_outflow[into] -= volume;
                           });
}

}  // namespace torva
