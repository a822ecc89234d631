#pragma once
// The overland lakes of one simulation: groups of grid cells that share one
// water level and grow and shrink over their neighbours with their volume.

#include <string>
#include <vector>

namespace torva {

// Volumes moved into and out of the overland lakes, m3, summed over a step by
// the phases that move them and passed to the run totals.
struct OverlandLakeFlows {
    double rain = 0.0;         // rain that fell on lake cells
    double inflow = 0.0;       // overland flow into lake cells
    double outflow = 0.0;      // overland flow out of lake cells
    double evaporation = 0.0;  // open-water evaporation of long-term runs
};

struct Lakes {
    // Number of overland lakes L; the per-lake arrays run from 1 to L.
    int count = 0;

    // Per lake. A lake's water stands at one level over all its cells, so its
    // volume is cell area x sum of (level - ground) over them: the level is the
    // volume over the cell area plus the ground sum, divided by the cells.
    std::vector<double> level;          // water-surface elevation, m
    std::vector<double> initial_level;  // from the lake input file, m
    std::vector<double> volume;         // water held over its cells, m3
    // Water the other phases moved into the lake (negative: out of it) since
    // the last lake update, m3; the lake update spreads it and clears it.
    std::vector<double> pending;
    // The level the overland faces see during a step: the lake's level,
    // lowered as the step draws water from it (a lake that gives water to
    // the land around it falls while it gives; it rises over new cells only
    // when the lake update spreads it).
    std::vector<double> surface;
    // Per lake, work of the overland step: the water its faces would give in
    // a sweep, m3.
    std::vector<double> drawn;
    std::vector<double> ground_sum;         // sum of the ground elevations of its cells, m
    std::vector<int> cells;                 // cells flooded
    std::vector<std::vector<int>> members;  // its cells

    // Per cell (N + 1 entries): the lake that floods the cell, 0 for none.
    std::vector<int> cell_lake;
    // Per cell: 1 where no lake may spread (the outlet, overland boundary
    // cells, stream cells and cells of lakes of the channel network).
    std::vector<unsigned char> barred;

    // Work arrays of the lake update, sized from the grid at set-up so that a
    // step never allocates: candidate cells, their water-surface elevations,
    // and a per-cell mark of the cells already listed.
    std::vector<int> candidate;
    std::vector<double> candidate_surface;
    std::vector<int> order;
    std::vector<unsigned char> listed;

    // The lakes' part of an overland hot start (READ_OV_HOTSTART), as read
    // after its depth map, for the lake set-up to take; empty without one.
    std::string hot_start;
    std::string hot_start_path;

    // Flows of the current step, and a copy for a step the overland scheme
    // starts again.
    OverlandLakeFlows flows;
    OverlandLakeFlows saved_flows;
    std::vector<double> saved_pending;

    bool present() const { return count > 0; }
    // The level that the lake's water, with what has moved since the last
    // lake update, gives over the cells it floods now (`area` one cell's, m2).
    double holding_level(int k, double area) const {
        return ((volume[k] + pending[k]) / area + ground_sum[k]) / cells[k];
    }
    // The water the lake can give now, m3.
    double available(int k) const {
        const double held = volume[k] + pending[k];
        return held > 0.0 ? held : 0.0;
    }
    void save_exchange() {
        saved_flows = flows;
        saved_pending = pending;
    }
    void restore_exchange() {
        flows = saved_flows;
        pending = saved_pending;
    }
};

}  // namespace torva
