#pragma once
// Overland flow between edge-neighbouring cells and out at the outlet: a
// diffusive-wave form of Manning's equation solved by one of three schemes.

#include <vector>

#include "surface/overland_state.hpp"

namespace torva {

struct Model;
struct RunContext;

// Whether the cell loops of a step run on several threads.
inline bool runs_parallel(const Overland& ov, int num_cells) {
    return ov.form == ExecutionForm::parallel && num_cells >= ov.min_parallel_cells;
}

struct Grid;

// The wet spans of the ADE scheme (see Overland::wet_spans). Set up once the
// scheme is known; `cover_every_cell` makes every span its whole row;
// `find_wet_spans` finds the spans of the coming step from the depths;
// `clear_dirty_faces` sets to 0 the face discharges the spans of the last
// step (or every cell) may have left outside the spans of the coming step,
// whose sweeps write their own, and `mark_spans_dirty` records the spans of
// a step that has moved water.
void set_up_wet_spans(Overland& ov, const Grid& g);
int span_rows(const Overland& ov);
void cover_every_cell(Overland& ov);
void find_wet_spans(Overland& ov, const Grid& g, const double* depth, const double* retention,
                    bool parallel);
void clear_dirty_faces(Overland& ov, bool parallel);
void mark_spans_dirty(Overland& ov);
// Inside a parallel region: the rows [first, last) of the calling thread's
// share of the spans. Rows go whole to the thread in whose share of the span
// cells they start, so a storm over a few rows of the grid still keeps every
// thread busy.
void span_rows_of_thread(const Overland& ov, int& first, int& last);

// One pass over the depths of every cell: whether any holds water, the first
// whose depth is not a real number (0 for none), and, for the wet spans, the
// first and last column of each row that holds water above its retention.
// With `within_water`, and the cells that may hold water known, the pass
// reads only those: the caller vouches that every other depth is 0.
struct RowScan {
    bool water_present = false;
    int non_real_cell = 0;
};
RowScan scan_active_rows(Overland& ov, const Grid& g, const double* depth, const double* retention,
                         bool parallel, bool within_water);
// One pass over the depths of every cell, row by row: whether any holds
// water, the first whose depth is not a real number, and the cells that may
// hold water (Overland::water), which are then known.
RowScan scan_water_rows(Overland& ov, const double* depth, bool parallel);
// The spans from the active columns of the rows found by scan_active_rows.
void spans_from_active_rows(Overland& ov, const Grid& g);
// A dry step: the faces the last wet step left are set to 0 and no span is
// left to clear.
void clear_faces_for_dry_step(Overland& ov, int n, bool parallel);
// After a step over the spans: the cells that may hold water are those the
// pass over the depths found and those of the step's spans; `known` false
// (water may have moved elsewhere) forgets them.
void keep_water_after_step(Overland& ov, bool known);

// Computes the bed slopes between neighbouring cells and sets up the overland
// state: it allocates the overland per-cell arrays (keeping a depth array that
// an initial-depth reader has already filled), selects the scheme from the
// OVERTYPE card, and applies the dikes to the faces.
void compute_bed_slopes(Model& model, RunContext& ctx);
// Initial overland depths from the INITIAL_DEPTH map or from an earlier run's
// hot start (OV_INIT_DEPTH, READ_OV_HOTSTART), read before the overland set-up,
// which keeps them. Depths must not be negative.
void read_initial_depths(Model& model, RunContext& ctx);
// At the end of a run, the overland depths to the WRITE_OV_HOTSTART file in the
// grid map layout. A hot start carries the overland depths only.
void write_overland_hotstart(const Model& model, RunContext& ctx);
// Routes the surface water of the step.
void overland_flow_phase(Model& model, RunContext& ctx);
// At the end of a run: one warning when the largest overland Courant number
// showed the time step too long for an accurate hydrograph, with the step
// that would keep it at the limit.
void report_overland_accuracy(const Model& model, RunContext& ctx);
// Whether every drop of water on the ground stands still, so that the next
// steps would move none: no water at all, or (with the ADE scheme) water that
// moves no face because on each face the side whose surface stands higher
// holds no more than its retention (a pond in a hollow whose neighbours all
// stand higher keeps its water however deep), and none at the outlet, which
// passes whatever it holds. A depth that is not a real number never stands
// still.
bool surface_water_stands_still(const Model& model);
// The largest Courant number an accurate run keeps to.
inline constexpr double kAccurateCourant = 1.0;

// The schemes, one model step of `dt` seconds each; they return the volume
// that left through the outlet (m3). A scheme that must stop the run raises
// the error and returns 0.
double route_explicit(Model& model, RunContext& ctx, double dt);
double route_ade(Model& model, RunContext& ctx, double dt);
double route_ade_predictor_corrector(Model& model, RunContext& ctx, double dt);

// Overland boundary conditions and dike low spots.
void update_time_series_boundaries(Model& model, RunContext& ctx);
void apply_overland_boundaries(Model& model, RunContext& ctx, double dt);
void apply_low_spot_flows(Model& model, double dt);

}  // namespace torva
