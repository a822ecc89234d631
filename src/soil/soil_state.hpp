#pragma once
// Soil water of one simulation: per-cell soil parameters and the state of the
// infiltration methods.

#include <array>
#include <vector>

#include "core/row_spans.hpp"
#include "soil/richards_state.hpp"

namespace torva {

// Rates inside the single-layer methods are in m/s; maps and the console
// report cm/h.
inline constexpr double kMetresPerSecondToCmPerHour = 360000.0;
// Cell loops over fewer cells than this run on one thread: starting the
// threads would cost more than the loop.
inline constexpr int kSerialCells = 2048;

// One layer of a soil type of the layered method, in the units of the soil
// layer input file.
struct SoilLayer {
    double conductivity = 0.0;    // cm/h
    double capillary_head = 0.0;  // cm
    double porosity = 0.0;
    double initial_moisture = 0.0;
    double thickness = 0.0;  // cm; the third layer extends without limit
};

struct LayeredSoilType {
    std::array<SoilLayer, 3> layers{};
    bool given = false;
};

// The constants of a cell's Brooks-Corey drainage, so that each step works
// out only the two powers: with c = 3 + 2 / lambda, `exponent` is 1 - c,
// `inverse_exponent` 1 / (1 - c) and `rate` (c - 1) Ks. A cell that cannot
// drain (no pore range, pore index or conductivity) has `drains` false.
struct StoreDrainage {
    double residual = 0.0;
    double range = 0.0;  // porosity - residual
    double exponent = 0.0;
    double inverse_exponent = 0.0;
    double rate = 0.0;
    double floor_saturation = 0.0;  // effective saturation of the wilting point
    bool drains = false;
};

struct Soil {
    // ---- Parameters, per cell (N + 1 entries) ----
    std::vector<int> soil_index;              // row of the soil tables
    std::vector<double> conductivity;         // saturated conductivity Ks, m/s
    std::vector<double> capillary_head;       // wetting front capillary head psi, m
    std::vector<double> porosity;             // theta_s
    std::vector<double> pore_index;           // Brooks-Corey lambda
    std::vector<double> residual_saturation;  // theta_r
    // Initial water content theta_i; with plain Green and Ampt the moisture
    // deficit theta_s - theta_i instead.
    std::vector<double> moisture;
    // Multiplies Ks (and the plain rate) where a host supplies it; empty when
    // not in use.
    std::vector<double> conductivity_factor;

    // Evapotranspiration parameters (used by the hydrometeorology phase).
    std::vector<double> albedo;
    std::vector<double> vegetation_height;  // m
    std::vector<double> transmission_coefficient;
    std::vector<double> canopy_resistance;
    std::vector<double> wilting_point;

    // Aquifer: elevations in metres; empty when not read.
    std::vector<double> water_table;
    std::vector<double> aquifer_bottom;
    double richards_bottom_spacing = 0.0;  // m
    // 1 where the water table reaches the land surface (set with the soil
    // columns and by the groundwater phase), and whether any cell has it.
    std::vector<int> water_table_at_surface;
    bool water_table_reaches_surface = false;
    // Where no long-term store runs: the infiltrated depth (m) that has
    // passed below the soil moisture depth into the recharge account so far;
    // what the soil holds back is the infiltrated depth less this.
    std::vector<double> percolated_depth;

    // Cells that redistribution leaves alone: cells of a lake (filled by the
    // lake set-up; empty without lakes), and frozen ground, from the frozen
    // ground index CFGI kept by the hydrometeorology phase (empty in event runs).
    std::vector<unsigned char> lake_cell;
    std::vector<double> frozen_ground_index;

    // Layered soil: one entry per soil index (entry 0 unused).
    std::vector<LayeredSoilType> layer_table;
    // Richards equation infiltration: the soil columns under the cells.
    RichardsColumns richards;

    // ---- State, per cell ----
    std::vector<double> infiltrated_depth;  // F since the event start, m
    std::vector<double> infiltration_rate;  // reported rate, cm/h
    // Plain Green and Ampt: the cells the last step left a rate above 0 on
    // (at most those that held water then); with the cells that hold water
    // now, the only ones a step changes.
    RowSpans infiltrating;
    std::vector<double> cumulative_depth;  // whole-run infiltrated depth, m (maps)
    std::vector<double> event_depth;       // infiltrated depth of the event, m
    // Redistribution.
    std::vector<double> front_moisture;     // theta_0 of the redistributing front
    std::vector<double> surface_moisture;   // reported theta
    std::vector<double> first_front_depth;  // F1, depth held in the first front, m
    std::vector<int> front_phase;           // 0 no supply, 1 one front, 2 two fronts
    std::vector<int> wet_marker;            // step of the last wetting
    std::vector<int> first_ponding_marker;  // step when the cell first ponded
    std::vector<int> no_front_marker;       // step of the last supply-limited step without a front
    // Layered soil: wetting front depth, cm.
    std::vector<double> front_depth;
    // ---- The root-zone store of long-term runs ----
    // Water held in the root zone, m of water over a layer
    // `moisture_layer_depth` (SOIL_MOIST_DEPTH) thick; its water content
    // stored_water / moisture_layer_depth is the soil moisture carried from
    // storm to storm, and the initial moisture of the next event. Fed by
    // infiltration; emptied by actual evapotranspiration and percolation.
    std::vector<double> stored_water;
    double moisture_layer_depth = 0.0;  // m
    // With TOP_LAYER_DEPTH the root zone is two layers: the top one, which
    // infiltration wets and evaporation dries first, and the rest below it.
    // `top_water` is the water of the top layer, m; the layer below holds
    // stored_water - top_water. Empty without a top layer.
    double top_layer_depth = 0.0;  // m
    std::vector<double> top_water;
    // Water content at field capacity, below which the store no longer
    // transpires at the potential rate (set with the store).
    std::vector<double> field_capacity;
    // Per-cell constants of the Brooks-Corey drainage out of the store, worked
    // out once with the store (see `StoreDrainage`).
    std::vector<StoreDrainage> drainage;
    // Potential evapotranspiration rate, m/s, written by the hydrometeorology
    // phase every weather hour; empty outside long-term runs.
    std::vector<double> potential_et;
    // Actual evapotranspiration rate of the last step, m/s (from interception,
    // ponded water and the store together), for the reports.
    std::vector<double> actual_et;
    // Recharge account: depth of water, m, that has left the bottom of the
    // soil since the groundwater phase last took it. The soil phase adds to
    // it; the groundwater phase takes the whole account and sets it to zero.
    std::vector<double> recharge;
    // Store bookkeeping: the cumulative infiltrated depth already taken into
    // the store, m, and when the store was last brought up to date.
    std::vector<double> infiltration_taken;
    double store_time = 0.0;  // Julian date
    // Between events, from the first stride over a dry spell until the next
    // event starts, the infiltration method sleeps and the store itself takes
    // in the water standing on the ground, at the saturated conductivity.
    bool store_soaks = false;
    // Volumes since the hydrometeorology phase last reported, m3.
    double period_infiltration = 0.0;
    double period_actual_et = 0.0;
    double period_percolation = 0.0;
    double period_seconds = 0.0;

    // ---- Phase timing ----
    int step = 0;                // infiltration step counter, 1 at the event start
    double next_time = 0.0;      // Julian date of the next infiltration step
    double previous_time = 0.0;  // Julian date of the previous infiltration step
    double interval = 0.0;       // s between infiltration steps
    bool event_set_up = false;   // the event-start set-up has run
};

}  // namespace torva
