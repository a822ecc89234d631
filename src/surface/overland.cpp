#include "surface/overland.hpp"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <string>
#include <utility>

#include "core/arrays.hpp"
#include "core/context.hpp"
#include "core/model_state.hpp"
#include "core/parallel.hpp"
#include "core/progress.hpp"
#include "input/series.hpp"
#include "surface/overland_laws.hpp"

namespace torva {
namespace {

namespace law = overland_law;

// OVERTYPE: a number or one of the scheme words; false for anything else.
bool parse_scheme(const std::string& text, OverlandScheme& scheme) {
    std::string word;
    for (char c : text) word += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (word.empty()) {
        scheme = OverlandScheme::ade;
        return true;
    }
    if (word == "explicit" || word == "1") {
        scheme = OverlandScheme::explicit_scheme;
    } else if (word == "ade" || word == "2") {
        scheme = OverlandScheme::ade;
    } else if (word == "ade-pc" || word == "3") {
        scheme = OverlandScheme::ade_predictor_corrector;
    } else {
        return false;
    }
    return true;
}

// Only the arrays the run's scheme uses: memory per cell decides how large a
// grid fits, and every array a step streams costs time.
bool allocate_overland_arrays(Overland& ov, RunContext& ctx, std::size_t n, bool slopes,
                              bool lakes) {
    // A depth array filled by an initial-depth reader is kept.
    if (ov.depth.size() != n && !allocate(ctx, ov.depth, n, "ov_depth"))
        return false;
    const bool explicit_scheme = ov.scheme == OverlandScheme::explicit_scheme;
    return (!slopes || (allocate(ctx, ov.bed_slope_x, n, "slope_x") &&
                        allocate(ctx, ov.bed_slope_y, n, "slope_y"))) &&
           allocate(ctx, ov.discharge_x, n, "ov_discharge_x") &&
           allocate(ctx, ov.discharge_y, n, "ov_discharge_y") &&
           allocate(ctx, ov.face_east, n, "face_east") &&
           allocate(ctx, ov.face_south, n, "face_south") &&
           allocate(ctx, ov.saved_depth, n, "saved_depth") &&
           (ov.scheme != OverlandScheme::ade_predictor_corrector ||
            allocate(ctx, ov.predicted_depth, n, "predicted_depth")) &&
           (!explicit_scheme || allocate(ctx, ov.cell_outflow, n, "cell_outflow")) &&
           (!explicit_scheme || !lakes ||
            (allocate(ctx, ov.lake_view_depth, n, "lake_view_depth") &&
             allocate(ctx, ov.lake_view_retention, n, "lake_view_retention"))) &&
           allocate(ctx, ov.flux_x, n, "flux_x") &&
           ((!explicit_scheme && !ov.channel_lakes.present()) ||
            allocate(ctx, ov.flux_y, n, "flux_y")) &&
           (!ov.track_max_depth || allocate(ctx, ov.max_depth, n, "max_depth"));
}

// Lists the type 3 boundary cells, whose water surface follows a series of
// the TIME_SERIES_INDEX list.
void link_boundary_series(Model& model) {
    Overland& ov = model.overland;
    const OverlandBoundaryCells& b = model.tables.ov_boundary;
    const int n = model.grid.num_cells;
    ov.series_cells.clear();
    for (int i = 1; i <= n && static_cast<std::size_t>(i) < b.type.size(); ++i)
        if (b.type[i] == 3)
            ov.series_cells.push_back(i);
    ov.series_hints.assign(static_cast<std::size_t>(n) + 1, 0);
}

// Whether any cell holds water, and the first cell whose depth is not a number.
struct DepthScan {
    bool water_present = false;
    int non_real_cell = 0;
};

DepthScan scan_depths(const Model& model) {
    const Overland& ov = model.overland;
    const int n = model.grid.num_cells;
    const double* h = ov.depth.data();
    const int* lake = ov.channel_lakes.present() ? ov.channel_lakes.lake_number.data() : nullptr;
    // An overland lake is always wet: its cells hold their water in the lake,
    // which may give it to the cells around it.
    const int* overland_lake = model.lakes.present() ? model.lakes.cell_lake.data() : nullptr;
    int wet = overland_lake ? 1 : 0;
    int first_bad = n + 1;
#pragma omp parallel for schedule(static) reduction(+ : wet) reduction(min : first_bad) \
    if (runs_parallel(ov, n))
    for (int i = 1; i <= n; ++i) {
        if ((lake && lake[i] > 0) || (overland_lake && overland_lake[i] > 0))
            continue;
        if (std::isnan(h[i]) || std::isinf(h[i])) {
            if (i < first_bad)
                first_bad = i;
        } else if (h[i] > 1e-16) {
            ++wet;
        }
    }
    return {wet > 0, first_bad <= n ? first_bad : 0};
}

bool stop_on_non_real_depth(RunContext& ctx, const DepthScan& scan, const char* after) {
    if (scan.non_real_cell == 0)
        return false;
    ctx.print("A non-real overland flow water depth has been detected in cell %d after %s.\n",
              scan.non_real_cell, after);
    ctx.error.raise(err::message_printed);
    return true;
}

void add_to_totals(Model& model, double VolumeTotals::*field, double volume) {
    model.totals.run.*field += volume;
    model.totals.event.*field += volume;
}

}  // namespace

void compute_bed_slopes(Model& model, RunContext& ctx) {
    Grid& g = model.grid;
    Overland& ov = model.overland;
    const int n = g.num_cells;
    if (n <= 0)
        return;
    const std::size_t size = static_cast<std::size_t>(n) + 1;

    if (!parse_scheme(model.project.text(Card::OVERTYPE), ov.scheme)) {
        ctx.print("Error: unknown overland flow scheme in the OVERTYPE card: %s\n",
                  model.project.text(Card::OVERTYPE).c_str());
        ctx.print("Use explicit (1), ade (2) or ade-pc (3).\n");
        ctx.error.raise(err::message_printed);
        return;
    }
    ov.drains_to_channel = model.project.channel_routing == ChannelRouting::explicit_routing;
    ov.track_max_depth = model.project.given(Card::FLOOD_GRID);
    if (ov.channel_lakes.present())
        ov.form = ExecutionForm::serial;
    const bool slopes = ov.scheme == OverlandScheme::explicit_scheme || model.run.long_term;
    // Overland lakes are set up after the overland arrays; lakes of the
    // channel network before them.
    const bool lakes = ov.channel_lakes.present() || model.project.given(Card::OVERLAND_LAKE_MAP);
    if (!allocate_overland_arrays(ov, ctx, size, slopes, lakes))
        return;

    SurfaceParameters& s = model.surface;
    // Without a retention source every cell holds back nothing.
    if (s.retention_depth.size() != size &&
        !allocate(ctx, s.retention_depth, size, "retention_depth"))
        return;
    if (s.manning_n.size() != size) {
        ctx.print("Error: the overland roughness (Manning n) of the cells is not known.\n");
        ctx.error.raise(err::message_printed);
        return;
    }

    const double dx = g.cell_size;
    const bool dikes = g.dike_sides.size() == size;
    for (int i = 1; i <= n; ++i) {
        const int east = g.east_neighbour[i];
        const int south = g.south_neighbour[i];
        if (slopes) {
            ov.bed_slope_x[i] =
                east ? (g.elevation[i] - g.elevation[east]) / dx : ov.bed_slope_x[i - 1];
            ov.bed_slope_y[i] = south ? (g.elevation[i] - g.elevation[south]) / dx
                                      : ov.bed_slope_y[g.north_neighbour[i]];
        }
        ov.face_east[i] = (dikes && (g.dike_sides[i] & kEastSide)) ? 0 : east;
        ov.face_south[i] = (dikes && (g.dike_sides[i] & kSouthSide)) ? 0 : south;
    }
    // The schemes use 1 / n; the n of the cells is not needed after set-up,
    // so its array becomes that of 1 / n.
    ov.inverse_n = std::move(s.manning_n);
    s.manning_n = std::vector<double>();
    ov.inverse_n[0] = 0.0;
    for (int i = 1; i <= n; ++i) ov.inverse_n[i] = 1.0 / ov.inverse_n[i];
    if (ov.track_max_depth)
        for (int i = 1; i <= n; ++i) ov.max_depth[i] = ov.depth[i];
    if (model.project.given(Card::OV_BOUNDARY))
        link_boundary_series(model);
    set_up_wet_spans(ov, g);
    ov.set_up = true;
}

void update_time_series_boundaries(Model& model, RunContext& ctx) {
    Overland& ov = model.overland;
    OverlandBoundaryCells& b = model.tables.ov_boundary;
    const std::size_t size = static_cast<std::size_t>(model.grid.num_cells) + 1;
    if (ov.series_cells.empty() || b.value.size() != size || b.index.size() != size)
        return;
    time_series_values_by_index(ctx, model.tables.time_series_index, b.index, ov.series_cells,
                                model.clock.current_time, b.value, ov.series_hints);
}

void apply_overland_boundaries(Model& model, RunContext& ctx, double dt) {
    (void)ctx;
    const OverlandBoundaryCells& b = model.tables.ov_boundary;
    const Grid& g = model.grid;
    const int n = g.num_cells;
    if (b.type.size() != static_cast<std::size_t>(n) + 1)
        return;
    double* h = model.overland.depth.data();
    const double* inverse_n = model.overland.inverse_n.data();
    const double dx = g.cell_size;
    const double area = dx * dx;
    // Outflow down the slope, inflow and outflow at a fixed head, m3 over cells.
    const CellSums<3> sums = ordered_cell_sums<CellSums<3>>(
        1, n, runs_parallel(model.overland, n), [&](int i, CellSums<3>& s) {
            double& slope_out = s[0];
            double& head_in = s[1];
            double& head_out = s[2];
            const int type = b.type[i];
            if (type == 1) {
                const int open_sides = (g.east_neighbour[i] == 0) + (g.south_neighbour[i] == 0) +
                                       (g.west_neighbour[i] == 0) + (g.north_neighbour[i] == 0);
                if (open_sides == 0)
                    return;
                const double dd = law::manning_outflow_volume(h[i], law::kOutletExponent,
                                                              b.value[i], inverse_n[i], dx, dt) /
                                  area;
                if (open_sides * dd <= h[i]) {
                    h[i] -= dd;
                    slope_out += dd * area;
                } else {
                    slope_out += h[i] * area;
                    h[i] = 0.0;
                }
            } else if (type == 2 || type == 3) {
                double target = b.value[i] - g.elevation[i];
                if (target < 0.0)
                    target = 0.0;
                const double volume = (target - h[i]) * area;
                if (volume > 0.0)
                    head_in += volume;
                else
                    head_out -= volume;
                h[i] = target;
            }
        });
    const double slope_out = sums[0], head_in = sums[1], head_out = sums[2];
    add_to_totals(model, &VolumeTotals::slope_boundary_outflow, slope_out);
    add_to_totals(model, &VolumeTotals::boundary_inflow, head_in);
    add_to_totals(model, &VolumeTotals::boundary_outflow, head_out);
}

namespace {

// One side of a dike low spot: a cell, or the overland lake it belongs to.
struct LowSpotSide {
    int cell;
    int lake;        // overland lake of the cell, 0 for none
    double surface;  // water surface, m
    double content;  // depth it can give, m
};

LowSpotSide low_spot_side(const Model& model, int cell) {
    const Lakes& lakes = model.lakes;
    const double z = model.grid.elevation[cell];
    const int lake = lakes.present() ? lakes.cell_lake[cell] : 0;
    if (lake > 0) {
        // A lake gives from its level over the cell, and no more than it holds.
        const double area = model.grid.cell_size * model.grid.cell_size;
        const double surface = lakes.surface[lake];
        return {cell, lake, surface, std::min(surface - z, lakes.available(lake) / area)};
    }
    const double h = model.overland.depth[cell];
    return {cell, 0, z + h, h - model.surface.retention_depth[cell]};
}

// Adds a depth change over one cell's area to the cell, or to its lake.
void move_over_low_spot(Model& model, const LowSpotSide& side, double depth_change) {
    if (side.lake == 0) {
        model.overland.depth[side.cell] += depth_change;
        return;
    }
    Lakes& lakes = model.lakes;
    const double volume = depth_change * model.grid.cell_size * model.grid.cell_size;
    lakes.pending[side.lake] += volume;
    if (volume > 0.0)
        lakes.flows.inflow += volume;
    else
        lakes.flows.outflow -= volume;
}

}  // namespace

// The dike low spots pass water from the higher water surface to the lower
// one like a broad-crested weir; an overland lake's side shows its level.
void apply_low_spot_flows(Model& model, double dt) {
    Grid& g = model.grid;
    const double dx = g.cell_size;
    for (LowSpot& spot : g.low_spots) {
        const int cell = g.number_or_zero(spot.row, spot.col);
        spot.flow = 0.0;
        if (cell == 0)
            continue;
        int other = 0;
        switch (spot.side) {
            case kNorthSide:
                other = g.north_neighbour[cell];
                break;
            case kEastSide:
                other = g.east_neighbour[cell];
                break;
            case kSouthSide:
                other = g.south_neighbour[cell];
                break;
            case kWestSide:
                other = g.west_neighbour[cell];
                break;
            default:
                break;
        }
        if (other == 0)
            continue;
        const LowSpotSide a = low_spot_side(model, cell);
        const LowSpotSide b = low_spot_side(model, other);
        if (a.lake > 0 && b.lake > 0)
            continue;
        const double higher = a.surface > b.surface ? a.surface : b.surface;
        if (std::fabs(a.surface - b.surface) <= 0.001 || spot.elevation >= higher)
            continue;
        const double q = law::low_spot_discharge(higher - spot.elevation, spot.fraction, dx);
        spot.flow = q;
        const LowSpotSide& from = a.surface > b.surface ? a : b;
        const LowSpotSide& to = a.surface > b.surface ? b : a;
        // The weir levels the two surfaces at most, and gives no more than the
        // higher cell holds above its retention.
        const double cap = std::min(0.5 * std::fabs(a.surface - b.surface), from.content);
        double dd = q * dt / (dx * dx);
        if (dd > cap)
            dd = cap > 0.0 ? cap : 0.0;
        move_over_low_spot(model, from, -dd);
        move_over_low_spot(model, to, dd);
    }
}

namespace {

// The Courant number of the faces of cell i: the kinematic wave moves at 5/3
// of the flow velocity under Manning's law, and the velocity of a face is its
// discharge over the wetted width times the deeper of its two cells. Faces
// with less than a millimetre of water carry no wave worth the name.
inline double cell_courant_number(const double* h, const double* qx, const double* qy,
                                  const int* east, const int* south, int i, double factor) {
    constexpr double kLeastDepth = 0.001;  // m
    double largest = 0.0;
    const double hx = std::max(h[i], h[east[i]]);
    const double hy = std::max(h[i], h[south[i]]);
    if (hx > kLeastDepth)
        largest = std::max(largest, std::fabs(qx[i]) / hx * factor);
    if (hy > kLeastDepth)
        largest = std::max(largest, std::fabs(qy[i]) / hy * factor);
    return largest;
}

// The largest Courant number of the step over every cell. A maximum over the
// cells does not depend on how the threads split them.
double largest_courant_number(const Model& model, double dt) {
    const Overland& ov = model.overland;
    const int n = model.grid.num_cells;
    const double dx = model.grid.cell_size;
    const double* h = ov.depth.data();
    const double* qx = ov.discharge_x.data();
    const double* qy = ov.discharge_y.data();
    const int* east = ov.face_east.data();
    const int* south = ov.face_south.data();
    const double factor = 5.0 / 3.0 * dt / (dx * dx);
    double largest = 0.0;
#pragma omp parallel for schedule(static) reduction(max : largest) if (runs_parallel(ov, n))
    for (int i = 1; i <= n; ++i)
        largest = std::max(largest, cell_courant_number(h, qx, qy, east, south, i, factor));
    return largest;
}

// The end of an ADE step on the wet spans, in one pass over them: the face
// volumes become discharges, the largest Courant number is found, and the
// depths the step changed are tested. Outside the spans the discharges are 0
// and the depths as the test before the step found them; the outlet cell may
// lie outside them.
struct SpanStepEnd {
    double courant = 0.0;
    int non_real_cell = 0;
};

SpanStepEnd finish_span_step(Model& model, double dt) {
    Overland& ov = model.overland;
    const int n = model.grid.num_cells;
    const double dx = model.grid.cell_size;
    double* h = ov.depth.data();
    double* qx = ov.discharge_x.data();
    double* qy = ov.discharge_y.data();
    const int* east = ov.face_east.data();
    const int* south = ov.face_south.data();
    const int* span_begin = ov.span_begin.data();
    const int* span_end = ov.span_end.data();
    const double inverse_dt = 1.0 / dt;
    const double factor = 5.0 / 3.0 * dt / (dx * dx);
    double largest = 0.0;
    int first_bad = n + 1;
    // The threads share the span cells, not the rows: a storm over some rows
    // only would leave all of the work to one thread.
#pragma omp parallel if (runs_parallel(ov, n)) reduction(max : largest) reduction(min : first_bad)
    {
        int first = 1, last = 1;
        span_rows_of_thread(ov, first, last);
        for (int r = first; r < last; ++r)
            for (int i = span_begin[r]; i < span_end[r]; ++i) {
                qx[i] *= inverse_dt;
                qy[i] *= inverse_dt;
                if (!std::isfinite(h[i]))
                    first_bad = std::min(first_bad, i);
                largest = std::max(largest, cell_courant_number(h, qx, qy, east, south, i, factor));
            }
    }
    const int o = model.grid.outlet_cell;
    if (o > 0 && o <= n && !std::isfinite(h[o]))
        first_bad = std::min(first_bad, o);
    return {largest, first_bad <= n ? first_bad : 0};
}

// Whether every cell outside the cells known to hold water (Overland::water)
// is dry at the start of the overland phase. The last step's phases keep
// them; of the phases since the rain, those of long-term runs (snowmelt, the
// soil stores), the infiltration methods other than plain Green and Ampt
// (exfiltration), a water table at the surface (seepage) and the overland
// boundaries can put water on a dry cell without saying so, and the phase
// then reads every depth.
bool water_stays_where_known(const Model& model) {
    const Overland& ov = model.overland;
    const InfiltrationMethod method = model.project.infiltration;
    return ov.water.known && ov.water.rows() == span_rows(ov) && !model.run.long_term &&
           (method == InfiltrationMethod::none || method == InfiltrationMethod::green_ampt) &&
           !model.soil.water_table_reaches_surface && !model.project.given(Card::OV_BOUNDARY) &&
           !model.lakes.present() && !ov.channel_lakes.present();
}

void track_courant_number(Model& model, double courant) {
    Overland& ov = model.overland;
    if (courant > ov.max_courant) {
        ov.max_courant = courant;
        ov.max_courant_minutes = model.clock.elapsed_minutes;
    }
}

}  // namespace

bool surface_water_stands_still(const Model& model) {
    const Grid& g = model.grid;
    const int n = g.num_cells;
    const std::vector<double>& depth = model.overland.depth;
    if (n <= 0 || depth.size() != static_cast<std::size_t>(n) + 1)
        return false;
    const double* h = depth.data();
    const bool ade = model.overland.scheme != OverlandScheme::explicit_scheme;
    const std::vector<double>& retention = model.surface.retention_depth;
    const bool faces_known =
        ade && retention.size() == depth.size() && g.east_neighbour.size() == depth.size() &&
        g.south_neighbour.size() == depth.size() && g.elevation.size() == depth.size();
    const int outlet = g.outlet_cell;
    if (outlet > 0 && outlet <= n && h[outlet] != 0.0)
        return false;
    const double* r = retention.data();
    const double* z = g.elevation.data();
    const int* east = g.east_neighbour.data();
    const int* south = g.south_neighbour.data();
    // A face moves water when the cell on its higher side holds water above
    // its retention.
    const auto face_still = [&](int i, int j) {
        if (j <= 0)
            return true;
        const double si = z[i] + h[i];
        const double sj = z[j] + h[j];
        if (si > sj)
            return !(h[i] > r[i]);
        if (sj > si)
            return !(h[j] > r[j]);
        return true;
    };
    bool still = true;
#pragma omp parallel for schedule(static) if (n >= kMinParallelCells) reduction(&& : still)
    for (int i = 1; i <= n; ++i) {
        const double hi = h[i];
        if (!std::isfinite(hi) || hi < 0.0) {
            still = false;
            continue;
        }
        if (hi == 0.0 && (!faces_known || (h[east[i]] == 0.0 && h[south[i]] == 0.0)))
            continue;
        if (!faces_known || !face_still(i, east[i]) || !face_still(i, south[i]))
            still = false;
    }
    return still;
}

void report_overland_accuracy(const Model& model, RunContext& ctx) {
    const Overland& ov = model.overland;
    if (!ov.set_up || ov.max_courant <= kAccurateCourant)
        return;
    const double dt = model.run.time_step;
    // The longest step of whole tenths of a second that keeps the number at the limit.
    const double shorter = std::floor(dt * kAccurateCourant / ov.max_courant * 10.0) / 10.0;
    ctx.print_and_log(
        "Warning: the overland Courant number reached %.2f (elapsed time %.2f minutes), above "
        "%.1f: the time step of %g s is too long for an accurate hydrograph. A TIMESTEP of %g s "
        "or less keeps it below %.1f.\n",
        ov.max_courant, ov.max_courant_minutes, kAccurateCourant, dt, shorter > 0.0 ? shorter : 0.1,
        kAccurateCourant);
}

void overland_flow_phase(Model& model, RunContext& ctx) {
    Overland& ov = model.overland;
    if (!ov.set_up)
        return;
    const int n = model.grid.num_cells;
    const double dt = model.run.time_step;
    ov.outlet_volume = 0.0;
    ov.cleanup_volume = 0.0;

    if (model.project.given(Card::OV_BOUNDARY)) {
        update_time_series_boundaries(model, ctx);
        if (ctx.error.pending())
            return;
        apply_overland_boundaries(model, ctx, dt);
    }

    // The ADE scheme without lakes works on the wet spans: one pass finds
    // them and tests the depths, and the end of the step sweeps them only.
    const bool spans = ov.scheme == OverlandScheme::ade && ov.wet_spans && span_rows(ov) >= 1 &&
                       !ov.channel_lakes.present() && !model.lakes.present();
    const bool parallel = runs_parallel(ov, n);
    // Without lakes a pass over every depth also notes the cells that hold
    // water, for the next step's rain phases.
    const bool water_by_rows = !ov.channel_lakes.present() && !model.lakes.present() &&
                               span_rows(ov) >= 1 && ov.water.rows() == span_rows(ov);
    const auto scan_every_depth = [&] {
        if (!water_by_rows)
            return scan_depths(model);
        const RowScan rows = scan_water_rows(ov, ov.depth.data(), parallel);
        return DepthScan{rows.water_present, rows.non_real_cell};
    };
    DepthScan scan;
    const bool within_water = spans && water_stays_where_known(model);
    ov.water.known = false;
    if (spans) {
        const RowScan rows =
            scan_active_rows(ov, model.grid, ov.depth.data(), model.surface.retention_depth.data(),
                             parallel, within_water);
        scan = {rows.water_present, rows.non_real_cell};
    } else {
        scan = scan_every_depth();
    }
    if (stop_on_non_real_depth(ctx, scan,
                               "applying overland boundary conditions and overland pumping"))
        return;

    ov.dry = !scan.water_present;
    double outflow = 0.0;
    // A dry grid moves no water and changes no depth: its faces are set to 0
    // once, and nothing is tested again.
    bool test_all_depths = false;
    int non_real_in_spans = 0;
    if (scan.water_present) {
        ov.faces_clear = false;
        switch (ov.scheme) {
            case OverlandScheme::explicit_scheme:
                outflow = route_explicit(model, ctx, dt);
                break;
            case OverlandScheme::ade:
                outflow = route_ade(model, ctx, dt);
                break;
            case OverlandScheme::ade_predictor_corrector:
                outflow = route_ade_predictor_corrector(model, ctx, dt);
                break;
        }
        if (ctx.error.pending())
            return;
        if (spans) {
            const SpanStepEnd end = finish_span_step(model, dt);
            track_courant_number(model, end.courant);
            non_real_in_spans = end.non_real_cell;
            // The low spots pass water between cells anywhere on the grid.
            test_all_depths = model.project.given(Card::LOWSPOT_FILE);
            keep_water_after_step(ov, !test_all_depths);
        } else {
            if (ov.scheme == OverlandScheme::ade) {
                // The ADE sweeps add up the face volumes of their sub-steps.
                const double inverse_dt = 1.0 / dt;
#pragma omp parallel for schedule(static) if (parallel)
                for (int i = 1; i <= n; ++i) {
                    ov.discharge_x[i] *= inverse_dt;
                    ov.discharge_y[i] *= inverse_dt;
                }
            }
            track_courant_number(model, largest_courant_number(model, dt));
            test_all_depths = true;
            ov.water.known = false;
        }
    } else if (spans) {
        clear_faces_for_dry_step(ov, n, parallel);
        keep_water_after_step(ov, true);
    } else if (!ov.faces_clear) {
        for (int i = 1; i <= n; ++i) ov.discharge_x[i] = ov.discharge_y[i] = 0.0;
        ov.faces_clear = true;
    }

    if (ov.track_max_depth) {
        double* top = ov.max_depth.data();
        const double* h = ov.depth.data();
        const bool parallel_cells = runs_parallel(ov, n);
        if (ov.water.known && ov.water.rows() == span_rows(ov)) {
            // A cell that holds no water has nothing to raise its maximum.
            const int* begin = ov.water.begin.data();
            const int* end = ov.water.end.data();
#pragma omp parallel for schedule(static) if (parallel_cells)
            for (int r = 1; r <= ov.water.rows(); ++r)
                for (int i = begin[r]; i < end[r]; ++i)
                    if (h[i] > top[i])
                        top[i] = h[i];
        } else {
#pragma omp parallel for schedule(static) if (parallel_cells)
            for (int i = 1; i <= n; ++i)
                if (h[i] > top[i])
                    top[i] = h[i];
        }
    }
    ov.ade_sweep_toggle = ov.ade_sweep_toggle == 1 ? 2 : 1;

    add_to_totals(model, &VolumeTotals::overland_cleanup, ov.cleanup_volume);
    if (!ov.drains_to_channel) {
        add_to_totals(model, &VolumeTotals::outlet_discharge, outflow);
        model.outlet.discharge = outflow / dt;
        advance_print_time(model);
    }

    if (test_all_depths)
        scan = scan_every_depth();
    else
        scan = {true, non_real_in_spans};
    stop_on_non_real_depth(ctx, scan, "overland flow routing");
}

}  // namespace torva
