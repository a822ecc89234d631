#pragma once
// The overland flow state of one simulation: scheme, per-cell depths and face
// flows, boundaries and the running volumes of the schemes.

#include <vector>

#include "core/row_spans.hpp"

namespace torva {

// The OVERTYPE card.
enum class OverlandScheme { explicit_scheme = 1, ade = 2, ade_predictor_corrector = 3 };

// Cell loops run as parallel loops over contiguous blocks unless lake cells
// exchange water with the overland flow; then they run in cell order on one
// thread. The lake set-up switches to `serial` when it creates lakes.
enum class ExecutionForm { parallel, serial };

// Water exchanged over the grid faces with the lakes of the channel network.
// `lake_number` is a per-cell array (empty when the network has no lakes);
// the per-lake arrays run from 1 to the number of lakes and are filled by the
// channel network.
struct ChannelLakeExchange {
    std::vector<int> lake_number;          // per cell; 0 outside lakes
    std::vector<double> water_surface;     // per lake, m
    std::vector<double> net_inflow;        // per lake, m3; kept for the lake model
    std::vector<double> overland_inflow;   // per lake, m3 of the step
    std::vector<double> overland_outflow;  // per lake, m3 of the step
    // The three volumes at the start of the model step, for a restarted step.
    std::vector<double> saved_net_inflow, saved_inflow, saved_outflow;
    bool present() const { return !lake_number.empty(); }
    void save_volumes() {
        saved_net_inflow = net_inflow;
        saved_inflow = overland_inflow;
        saved_outflow = overland_outflow;
    }
    void restore_volumes() {
        net_inflow = saved_net_inflow;
        overland_inflow = saved_inflow;
        overland_outflow = saved_outflow;
    }
};

// Explicit scheme state kept from one model step to the next.
struct ExplicitStepState {
    int reduced_steps_left = 0;  // further model steps that keep the reduced step (0 to 4)
    double reduced_step = 0.0;   // s
    bool reduced_in_force = false;
    int sweep_toggle = 0;  // 0: x sweep first; flips at every call
};

struct Overland {
    OverlandScheme scheme = OverlandScheme::ade;
    ExecutionForm form = ExecutionForm::parallel;
    // Grids smaller than this run the parallel form on one thread: waking
    // threads costs more than a small sweep. Results do not depend on it.
    int min_parallel_cells = 4096;
    bool drains_to_channel = false;  // explicit channel routing takes the outlet water
    bool track_max_depth = false;    // the maximum-depth map is wanted
    bool set_up = false;
    // No cell held water at the last overland phase: nothing moved on the
    // ground in that step.
    bool dry = false;
    // The sub-steps the ADE schemes have run, those of failed attempts
    // included: what a step costs beyond its two sweeps.
    long long sub_steps = 0;

    // Per-cell arrays, N + 1 entries (entry 0 stays 0: it is the discharge of
    // the missing face of a cell without west or north neighbour).
    std::vector<double> depth;      // overland water depth h, m
    std::vector<double> max_depth;  // largest depth so far, m
    // Bed slopes, for the explicit scheme and the sun on the slopes of
    // long-term runs; empty otherwise.
    std::vector<double> bed_slope_x;  // (z - z_east) / dx
    std::vector<double> bed_slope_y;  // (z - z_south) / dx
    // m3/s across the east and south faces in the step. The ADE schemes add up
    // the volumes of their sub-steps here (m3) and divide by the step at its end.
    std::vector<double> discharge_x;
    std::vector<double> discharge_y;
    std::vector<double> inverse_n;  // 1 / Manning n
    // The neighbour across the east and south faces that carry flow: 0 where
    // the grid has no neighbour or a dike blocks the face.
    std::vector<int> face_east;
    std::vector<int> face_south;

    // Work arrays of the schemes, created at set-up so a step never allocates.
    std::vector<double> saved_depth;      // depths at the start of the step, for cheap retries
    std::vector<double> predicted_depth;  // the predictor's depths (predictor-corrector)
    std::vector<double> cell_outflow;  // depth a cell gives over its faces in a sub-step (explicit)
    // The explicit scheme's lake form: every cell's depth and retention as
    // its faces see them, a lake cell showing its lake's depth over its
    // ground and no retention. Empty without lakes.
    std::vector<double> lake_view_depth;
    std::vector<double> lake_view_retention;
    std::vector<double> flux_x;  // discharge of the east face in the current sweep
    // Discharge of the south face in the current sweep. The ADE schemes sweep
    // one direction at a time and share flux_x unless lake cells need both
    // directions' discharges after the sweeps; flux_y is empty then.
    std::vector<double> flux_y;

    // The ADE scheme works only where water can move: on each row, the span
    // of cells within one row and one column of a cell that holds water above
    // its retention. A cell outside every span and all its neighbours hold no
    // water that can flow, so no face of it carries any, and its depth stays
    // as it is. Spans are per row of the grid, in cell numbers [begin, end);
    // `span_before` counts the cells in the spans of the rows above (for
    // sharing the cells out among the threads). Without lakes the ADE scheme
    // uses them; otherwise every span is the whole row.
    bool wet_spans = false;
    std::vector<int> row_begin;   // first cell of each row; row_begin[rows + 1] = N + 1
    std::vector<int> span_begin;  // per row
    std::vector<int> span_end;
    std::vector<int> span_before;   // rows + 2 entries
    std::vector<int> water_before;  // the same for the cells of `water`
    std::vector<int> active_first;  // per row: first and last column of a cell
    std::vector<int> active_last;   // above its retention (work arrays)
    // Per row, m: the cleanup of a sweep (rows + 2 entries), and from entry
    // rows + 2 on that of the second sweep of the same sub-step.
    std::vector<double> row_cleanup;
    // Per thread, the discharges of the faces of one row along it, in
    // blocks of `row_flux_stride` (the longest row and one).
    std::vector<double> row_flux;
    int row_flux_stride = 0;
    // Per row, from the set-up (the faces and neighbours do not change after
    // it): where the neighbour across a face of every cell of the row lies
    // the same number of cells on, that number (0 otherwise): across the
    // east faces of all cells but the row's last (1), across the south faces,
    // back across the west faces of all cells but the row's first (-1) and
    // across the north faces. The sweeps read no neighbour array there.
    std::vector<int> row_east_offset;
    std::vector<int> row_south_offset;
    std::vector<int> row_west_offset;
    std::vector<int> row_north_offset;
    // The spans whose face discharges may not be 0 (those of the last step
    // that moved water), or every cell.
    std::vector<int> dirty_begin;
    std::vector<int> dirty_end;
    bool all_dirty = true;
    // The overland phase finds the active columns of the rows in the same
    // pass as its test of the depths; the ADE step then needs no pass of its
    // own over the grid.
    bool active_rows_found = false;
    // Every face discharge is 0 (a dry step set them so): a dry grid leaves
    // them as they are.
    bool faces_clear = false;

    // The cells that may hold water (any depth but 0, or one that is not a
    // number): rainfall, interception and infiltration visit only these and
    // the cells it rains on. The ADE step's pass over the depths finds them,
    // and after the step they are widened by the step's spans, outside which
    // no depth changed; rainfall widens them by the cells it wets. A phase
    // that puts water on a cell outside them widens them (`mark_wet`) or
    // forgets them (known = false), and the next step then visits every cell.
    RowSpans water;
    void mark_wet(int row, int cell) {
        if (!water.known)
            return;
        if (row < 1 || row > water.rows()) {
            water.known = false;
            return;
        }
        if (water.end[row] <= water.begin[row]) {
            water.begin[row] = cell;
            water.end[row] = cell + 1;
            return;
        }
        if (cell < water.begin[row])
            water.begin[row] = cell;
        if (cell >= water.end[row])
            water.end[row] = cell + 1;
    }

    ExplicitStepState explicit_state;
    int ade_sweep_toggle = 1;  // 1: x then y; 2: y then x; alternates every model step

    ChannelLakeExchange channel_lakes;

    // Time-varying boundary values: the type 3 boundary cells, in cell order,
    // and per cell the hint of its series lookup.
    std::vector<int> series_cells;
    std::vector<int> series_hints;

    // The largest Courant number of the kinematic wave over the faces so far,
    // and the elapsed minutes of the step where it was reached.
    double max_courant = 0.0;
    double max_courant_minutes = 0.0;

    // Volumes of the current model step, m3.
    double outlet_volume = 0.0;
    double cleanup_volume = 0.0;  // water added when small negative depths are set to zero
};

}  // namespace torva
