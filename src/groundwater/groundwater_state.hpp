#pragma once
// The saturated zone of one simulation: one unconfined aquifer layer on the
// watershed cells, its boundaries and wells, the linear system of a sub-step
// and the volumes it moved.

#include <vector>

namespace torva {

// Codes of the groundwater boundary map.
enum class AquiferCell : unsigned char {
    outside = 0,      // no aquifer: no flow across its sides
    active = 1,       // the head moves
    fixed_head = 2,   // the head stays at its initial value (codes 2 and 5)
    static_flux = 6,  // active, with the flux of the static flux table
};

// The lines the solver sweeps (GW_LSOR_DIR 1, 2, 3).
enum class SweepDirection { rows = 1, columns = 2, alternating = 3 };

// A well of the WELL_TABLE: a source in its cell, m3/day, negative when it
// pumps; a time series, when named, gives the rate in place of the table.
struct Well {
    int cell = 0;
    int id = 0;
    double rate = 0.0;  // m3/day
    int series = -1;    // position in the time series list; -1 for the table's rate
    int series_hint = 0;
};

// Volumes the groundwater moved, m3, over the whole run.
struct GroundwaterVolumes {
    double recharge = 0.0;           // taken from the soil's recharge account (net of seepage up)
    double static_flux = 0.0;        // through static flux cells, positive into the aquifer
    double head_boundary = 0.0;      // across fixed-head cells, positive into the aquifer
    double pumping = 0.0;            // taken out by wells; negative when they inject
    double leakage = 0.0;            // to the deep aquifer
    double from_river = 0.0;         // stream beds into the aquifer
    double to_river = 0.0;           // aquifer into the stream beds
    long long steps = 0;             // groundwater steps
    long long sub_steps = 0;         // sub-steps of all steps
    long long outer_iterations = 0;  // transmissivity iterations of all sub-steps
    long long sweeps = 0;            // line sweeps of all outer iterations
};

struct Groundwater {
    bool simulated = false;

    // ---- Settings, from the cards ----
    double time_step = 1.0;            // GW_TIMESTEP, s
    double tolerance = 1e-5;           // GW_LSOR_CON, m
    double relaxation = 1.0;           // GW_RELAX_COEFF, omega
    double leakage_rate = 0.0;         // GW_LEAKAGE_RATE, m/s out of every active cell
    double layer_depth = 0.4;          // soil layer thickness the sub-step halving counts, m
    double soil_moisture_depth = 0.4;  // m
    bool redistribution = false;       // storage in the soil moisture layer is the soil's
    SweepDirection direction = SweepDirection::alternating;

    // ---- Per cell (N + 1 entries) ----
    std::vector<AquiferCell> cell;
    std::vector<double> head;           // water table, m
    std::vector<double> head_start;     // at the start of the sub-step
    std::vector<double> head_previous;  // of the previous outer iteration
    std::vector<double> bottom;         // aquifer bottom, m
    std::vector<double> conductivity;   // m/s
    std::vector<double> porosity;       // specific yield
    std::vector<double> storage;        // storage coefficient of the sub-step
    std::vector<double> source;         // m/s into the aquifer
    std::vector<double> static_flux;    // m/s into the aquifer, static flux cells
    std::vector<double> stored_water;   // water held by the aquifer, m depth
    // What the stream beds passed into (positive) or took from the aquifer of
    // a cell since its last step, m depth; the next step takes it as a source.
    std::vector<double> river_exchange;
    // The linear system of a sub-step: for each cell
    // diagonal h - sum(a_n h_n) = rhs, with a_n the coefficient to neighbour n.
    std::vector<double> to_east, to_south, to_west, to_north;
    std::vector<double> diagonal, rhs;

    // Row sweeps: the cells of row r are row_start[r] .. row_start[r + 1] - 1.
    std::vector<int> row_start;  // rows + 2 entries
    // Column sweeps: the cells column by column, north to south.
    std::vector<int> column_cells;
    std::vector<int> column_start;  // cols + 2 entries, index into column_cells
    // Scratch of the tridiagonal solves, one block per thread.
    std::vector<double> line_scratch;
    int scratch_stride = 0;
    int scratch_threads = 0;

    std::vector<Well> wells;
    // Cells whose heads the OUT_WELL_LOCATION rows give.
    std::vector<int> well_output_cells;

    // ---- Timing ----
    bool prepared = false;
    double next_time = 0.0;      // Julian date of the next groundwater step
    double previous_time = 0.0;  // Julian date of the previous step

    GroundwaterVolumes volumes;
    // The solver's work in the latest step.
    int last_sub_steps = 0;
    int last_outer_iterations = 0;
    long long last_sweeps = 0;
    double initial_volume = 0.0;  // m3
};

}  // namespace torva
