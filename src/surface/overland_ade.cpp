// The alternating-direction explicit schemes (ADE and its predictor-corrector
// variant). Each sweep works out the discharge of every face of one
// direction, and every cell gathers the discharges of its two faces once the
// faces that read its depth are known. A cell only ever writes its own depth,
// so blocks of cells on different threads never lose an update, and the
// result does not depend on the thread count. Without lakes the two sweeps of
// a sub-step go down the rows together (overland_ade_sweeps.cpp). The lake
// form runs each sweep over the whole grid on one thread and adds the
// exchange with the lake cells of the channel network and of overland lakes.

#include <omp.h>

#include <algorithm>
#include <array>
#include <cmath>

#include "core/context.hpp"
#include "core/model_state.hpp"
#include "core/parallel.hpp"
#include "surface/overland.hpp"
#include "surface/overland_ade_sweeps.hpp"
#include "surface/overland_lake_faces.hpp"
#include "surface/overland_laws.hpp"

namespace torva {
namespace {

namespace law = overland_law;

struct AdeFields {
    const double* elevation;
    const double* depth;
    const double* retention;
    const double* inverse_n;
    const int* lake_number;  // channel lakes; null without them
    const double* lake_surface;
    const int* overland_lake;  // overland lakes; null without them
    const double* overland_lake_level;
    double cell_size;
};

// Whether cell i belongs to a lake of either kind: its depth is its lake's.
template <bool kLakes>
inline bool in_lake(const AdeFields& f, int i) {
    if constexpr (kLakes)
        return (f.lake_number && f.lake_number[i] > 0) ||
               (f.overland_lake && f.overland_lake[i] > 0);
    return false;
}

// A cell as its faces see it: a lake cell shows its lake's level and gives
// water from that level down to its bed, with no retention.
template <bool kLakes>
inline law::AdeCell ade_cell(const AdeFields& f, int i) {
    if constexpr (kLakes) {
        const int lake = f.lake_number ? f.lake_number[i] : 0;
        if (lake > 0) {
            const double surface = f.lake_surface[lake];
            return {surface, surface - f.elevation[i], f.inverse_n[i], surface - f.elevation[i]};
        }
        const int overland_lake = f.overland_lake ? f.overland_lake[i] : 0;
        if (overland_lake > 0) {
            const double surface = f.overland_lake_level[overland_lake];
            return {surface, surface - f.elevation[i], f.inverse_n[i], surface - f.elevation[i]};
        }
    }
    return {f.elevation[i] + f.depth[i], f.depth[i] - f.retention[i], f.inverse_n[i], f.depth[i]};
}

// The land drains into a channel lake across the faces of its cells, and the
// lake gives nothing back that way: it passes its water only through the
// link below it. A discharge positive towards j is kept only when j is the
// lake's cell, a negative one only when i is.
template <bool kLakes>
inline double into_lakes_only(const AdeFields& f, int i, int j, double q) {
    if constexpr (kLakes) {
        if (f.lake_number &&
            ((q > 0.0 && f.lake_number[i] > 0) || (q < 0.0 && f.lake_number[j] > 0)))
            return 0.0;
    }
    return q;
}

// One direction of the grid (see SweepFaces).
using Direction = SweepFaces;

// The law's discharge across the downstream face of cell i (0 where no water
// crosses it), before the levelling limit.
template <bool kLakes>
inline double law_discharge(const AdeFields& f, const Direction& d, int i, double volume_rate) {
    const int j = i > 0 ? d.face_to[i] : 0;
    if (j == 0)
        return 0.0;
    if constexpr (kLakes) {
        if (in_lake<kLakes>(f, i) && in_lake<kLakes>(f, j))
            return 0.0;
    }
    return into_lakes_only<kLakes>(
        f, i, j,
        law::ade_face_discharge(ade_cell<kLakes>(f, i), ade_cell<kLakes>(f, j), f.cell_size,
                                volume_rate));
}

// What cells i and j = face_to[i] pass on through their far faces in the
// direction of a flow of `sign`: the inflow to the giver and the outflow of the
// receiver, from the law.
template <bool kLakes>
inline auto passed_on(const AdeFields& f, const Direction& d, int i, int j, double volume_rate) {
    return [&f, &d, i, j, volume_rate](double sign) {
        return sign * (law_discharge<kLakes>(f, d, d.face_from[i], volume_rate) +
                       law_discharge<kLakes>(f, d, j, volume_rate));
    };
}

// `volume_rate` is the cell area over the sub-step: the face limit in m3/s
// per metre of water.
template <bool kLakes>
inline law::FaceFlow face_flow(const AdeFields& f, const Direction& d, int i, double volume_rate,
                               double sub_step) {
    const int j = d.face_to[i];
    if (j == 0)
        return {0.0, false};
    if constexpr (kLakes) {
        if (in_lake<kLakes>(f, i) && in_lake<kLakes>(f, j))
            return {0.0, false};
    }
    law::FaceFlow flow =
        law::ade_face_flow(ade_cell<kLakes>(f, i), ade_cell<kLakes>(f, j), f.cell_size, volume_rate,
                           sub_step, passed_on<kLakes>(f, d, i, j, volume_rate));
    flow.discharge = into_lakes_only<kLakes>(f, i, j, flow.discharge);
    return flow;
}

// The flows of the downstream faces of cells [begin, end) into d.flux, and
// the number of faces that fail the sub-step (the lake form; without lakes
// the faces go in batches, see ade_sweep_pair).
template <bool kLakes>
int face_flows(const AdeFields& f, const Direction& d, int begin, int end, double volume_rate,
               double sub_step) {
    int failures = 0;
    for (int i = begin; i < end; ++i) {
        const law::FaceFlow flow = face_flow<kLakes>(f, d, i, volume_rate, sub_step);
        d.flux[i] = flow.discharge;
        failures += flow.failed;
    }
    return failures;
}

struct SweepResult {
    int failures = 0;
    double cleanup = 0.0;  // m, summed over cells
};

// One ADE sweep of the lake form, of `sub_step` seconds in one direction over
// every cell, with its stability test: the faces, then the lakes' outflow
// limits on one thread, then the cells. The first sweep of a model step also
// saves the depths it starts from (into `saved`, when given) for a restart,
// and the first sub-step starts the face volumes afresh: neither needs a pass
// of its own. Each row sums its own cleanup, and the rows add up in order.
// Without lakes both sweeps go together (ade_sweep_pair).
SweepResult ade_lake_sweep(Model& model, const AdeFields& f, double* depth, double* saved,
                           const Direction& d, double sub_step, bool first_sub_step) {
    constexpr bool kLakes = true;
    Overland& ov = model.overland;
    const double area = f.cell_size * f.cell_size;
    const double k = sub_step / area;
    const double volume_rate = area / sub_step;
    const int rows = span_rows(ov);
    const int* span_begin = ov.span_begin.data();
    const int* span_end = ov.span_end.data();
    double* row_cleanup = ov.row_cleanup.data();
    int failures = 0;
    for (int r = 1; r <= rows; ++r)
        failures += face_flows<kLakes>(f, d, span_begin[r], span_end[r], volume_rate, sub_step);
    limit_lake_outflow(model, {{d.face_to, d.flux}}, sub_step);
    for (int r = 1; r <= rows; ++r) {
        double cleanup = 0.0;
        for (int i = span_begin[r]; i < span_end[r]; ++i) {
            const double q = d.flux[i];
            d.face_volume[i] = first_sub_step ? q * sub_step : d.face_volume[i] + q * sub_step;
            if (saved)
                saved[i] = depth[i];
            if (in_lake<kLakes>(f, i))
                continue;
            const law::AdeUpdate u =
                law::ade_depth_update(depth[i], (d.flux[d.face_from[i]] - q) * k, sub_step);
            depth[i] = u.depth;
            cleanup += u.cleanup;
            failures += u.failed;
        }
        row_cleanup[r] = cleanup;
    }
    double cleanup = 0.0;
    for (int r = 1; r <= rows; ++r) cleanup += row_cleanup[r];
    return {failures, cleanup};
}

void copy_depths(double* to, const double* from, int n, bool parallel) {
#pragma omp parallel for schedule(static) if (parallel)
    for (int i = 1; i <= n; ++i) to[i] = from[i];
}

// The water a sweep moved across the faces of lake cells goes into (or comes
// out of) the lakes, and a lake that gave water shows the land its lower level
// in the next sweep.
void exchange_with_lakes(Model& model, const Direction& d, double sub_step) {
    add_lake_exchange(model, {d.face_to, d.flux}, sub_step);
    refresh_lake_surfaces(model);
}

// Outlet rule of the ADE schemes: Manning's discharge at the outlet slope for
// `fraction` of the sub-step, never more than the outlet cell holds.
double take_outlet_flow(const Model& model, double* depth, double step, double fraction) {
    const Overland& ov = model.overland;
    const int o = model.grid.outlet_cell;
    if (ov.drains_to_channel || o <= 0 || depth[o] <= 0.0)
        return 0.0;
    const double dx = model.grid.cell_size;
    const double area = dx * dx;
    const double volume =
        fraction * law::manning_outflow_volume(depth[o], 5.0 / 3.0, model.run.outlet_slope,
                                               ov.inverse_n[o], dx, step);
    if (volume <= depth[o] * area) {
        depth[o] -= volume / area;
        return volume;
    }
    const double all = depth[o] * area;
    depth[o] = 0.0;
    return all;
}

AdeFields fields_of(const Model& model, const double* depth) {
    const Overland& ov = model.overland;
    const bool lakes = ov.channel_lakes.present();
    const bool overland_lakes = model.lakes.present();
    return {model.grid.elevation.data(),
            depth,
            model.surface.retention_depth.data(),
            ov.inverse_n.data(),
            lakes ? ov.channel_lakes.lake_number.data() : nullptr,
            lakes ? ov.channel_lakes.water_surface.data() : nullptr,
            overland_lakes ? model.lakes.cell_lake.data() : nullptr,
            overland_lakes ? model.lakes.surface.data() : nullptr,
            model.grid.cell_size};
}

// The faces across the east side of each cell, fed from its west neighbour.
Direction x_direction(Model& model) {
    Overland& ov = model.overland;
    return {ov.face_east.data(),
            model.grid.west_neighbour.data(),
            ov.flux_x.data(),
            ov.discharge_x.data(),
            true,
            ov.row_east_offset.data(),
            ov.row_west_offset.data()};
}

// The faces across the south side of each cell, fed from its north neighbour.
Direction y_direction(Model& model) {
    Overland& ov = model.overland;
    return {ov.face_south.data(),
            model.grid.north_neighbour.data(),
            ov.flux_y.empty() ? ov.flux_x.data() : ov.flux_y.data(),
            ov.discharge_y.data(),
            false,
            ov.row_south_offset.data(),
            ov.row_north_offset.data()};
}

void print_ade_stop(RunContext& ctx) {
    ctx.print("The ADE overland routing time step is getting really small\n");
    ctx.print("less than 1/100 of a second\n");
    ctx.print("Reduce the model time step by a factor of 2 and try again.\n");
    ctx.print("Program stopped.\n");
    ctx.error.raise(err::message_printed);
}

// What one sub-step did: the failing cells, the water added by setting small
// negative depths to zero (m3) and the volume that left at the outlet (m3).
struct SubStepResult {
    int failures = 0;
    double cleanup = 0.0;
    double outflow = 0.0;
};

// The ADE step rule, shared by both ADE schemes: the model step runs as
// sub-steps of the working step, which halves and starts the model step again
// from its first depths whenever a cell fails; a working step below a
// thousandth of a second stops the run. `sub_step(length, first, save)` runs
// one sub-step; `save` asks it to save the depths it starts from.
template <bool kLakes, typename SubStep, typename BeforeRetry>
double ade_step_rule(Model& model, RunContext& ctx, double dt, SubStep&& sub_step,
                     BeforeRetry&& before_retry) {
    Overland& ov = model.overland;
    const int n = model.grid.num_cells;
    const bool parallel = runs_parallel(ov, n);
    // Depths are saved rather than fluxes undone: a failed attempt restarts
    // from the copy the first sub-step made.
    if constexpr (kLakes) {
        ov.channel_lakes.save_volumes();
        model.lakes.save_exchange();
        refresh_lake_surfaces(model);
    }

    double step = dt;
    for (bool first_attempt = true;; first_attempt = false) {
        if (step < 0.001) {
            print_ade_stop(ctx);
            return 0.0;
        }
        if (!first_attempt) {
            before_retry();
            copy_depths(ov.depth.data(), ov.saved_depth.data(), n, parallel);
        }
        SubStepResult total;
        bool failed = false;
        double remaining = dt;
        for (bool first_sub_step = true; remaining > 1e-16; first_sub_step = false) {
            double length = step;
            remaining -= length;
            if (remaining < 0.001) {
                length += remaining;
                remaining = 0.0;
            }
            ++ov.sub_steps;
            const SubStepResult r =
                sub_step(length, first_sub_step, first_attempt && first_sub_step);
            if (r.failures > 0) {
                failed = true;
                break;
            }
            total.cleanup += r.cleanup;
            total.outflow += r.outflow;
        }
        if (!failed) {
            ov.cleanup_volume += total.cleanup;
            return total.outflow;
        }
        step /= 2.0;
        if constexpr (kLakes) {
            ov.channel_lakes.restore_volumes();
            model.lakes.restore_exchange();
            refresh_lake_surfaces(model);
        }
    }
}

template <bool kLakes>
double ade_step(Model& model, RunContext& ctx, double dt) {
    Overland& ov = model.overland;
    const Grid& g = model.grid;
    const int n = g.num_cells;
    const bool parallel = runs_parallel(ov, n);
    // The rows' spans and offsets, before the directions take their arrays.
    if (span_rows(ov) < 1)
        set_up_wet_spans(ov, g);
    double* h = ov.depth.data();
    const AdeFields f = fields_of(model, h);
    const Direction x = x_direction(model);
    const Direction y = y_direction(model);
    const Direction& first = ov.ade_sweep_toggle == 1 ? x : y;
    const Direction& second = ov.ade_sweep_toggle == 1 ? y : x;
    const double area = g.cell_size * g.cell_size;

    // The first attempt at the step works on the wet spans only; it is one
    // sub-step of two sweeps, over which water crosses two faces at most. A
    // retry, with shorter sub-steps, covers every cell.
    bool spans = !kLakes && ov.wet_spans;
    if (spans) {
        find_wet_spans(ov, g, h, f.retention, parallel);
        clear_dirty_faces(ov, parallel);
    } else {
        cover_every_cell(ov);
    }
    const auto cover_all_before_retry = [&] {
        if (!spans)
            return;
        // The failed attempt saved and changed the depths of the spans only.
        const double* saved = ov.saved_depth.data();
        for (int r = 1; r <= span_rows(ov); ++r)
            for (int i = ov.span_begin[r]; i < ov.span_end[r]; ++i) h[i] = saved[i];
        copy_depths(ov.saved_depth.data(), h, n, parallel);
        cover_every_cell(ov);
        ov.all_dirty = true;
        spans = false;
    };

    const double outflow = ade_step_rule<kLakes>(
        model, ctx, dt,
        [&](double length, bool first_sub_step, bool save) {
            SubStepResult r;
            double* saved = save ? ov.saved_depth.data() : nullptr;
            if constexpr (!kLakes) {
                const SweepPair p =
                    ade_sweep_pair(ov, {f.elevation, f.retention, f.inverse_n, f.cell_size}, h,
                                   saved, first, second, length, first_sub_step, parallel);
                if (p.failures > 0) {
                    r.failures = p.failures;
                    return r;
                }
                r.cleanup = (p.first_cleanup + p.second_cleanup) * area;
                r.outflow = take_outlet_flow(model, h, length, 1.0);
                return r;
            }
            const SweepResult a = ade_lake_sweep(model, f, h, saved, first, length, first_sub_step);
            if (a.failures > 0) {
                r.failures = a.failures;
                return r;
            }
            if constexpr (kLakes)
                exchange_with_lakes(model, first, length);
            const SweepResult b =
                ade_lake_sweep(model, f, h, nullptr, second, length, first_sub_step);
            if (b.failures > 0) {
                r.failures = b.failures;
                return r;
            }
            if constexpr (kLakes)
                exchange_with_lakes(model, second, length);
            r.cleanup = (a.cleanup + b.cleanup) * area;
            r.outflow = take_outlet_flow(model, h, length, 1.0);
            return r;
        },
        cover_all_before_retry);
    if (spans)
        mark_spans_dirty(ov);
    return outflow;
}

// One predictor-corrector pass in one direction over a sub-step: the
// predictor moves the face discharges of the current depths, the corrector
// averages them with those of the predicted depths, limited like any face in
// the state they are applied to, and the cells take the average with the ADE
// stability test.
template <bool kLakes>
SubStepResult predictor_corrector_pass(Model& model, const Direction& d, double step,
                                       bool first_sub_step, double* saved) {
    Overland& ov = model.overland;
    const int n = model.grid.num_cells;
    const bool parallel = runs_parallel(ov, n);
    double* h = ov.depth.data();
    double* predicted = ov.predicted_depth.data();
    const AdeFields now = fields_of(model, h);
    const AdeFields ahead = fields_of(model, predicted);
    const double area = model.grid.cell_size * model.grid.cell_size;
    const double k = step / area;
    const double volume_rate = area / step;
    int failures = 0;
    std::array<double, kSumBlocks> cleanup_of{};

#pragma omp parallel if (parallel)
    {
#pragma omp for schedule(static) reduction(+ : failures)
        for (int i = 1; i <= n; ++i) {
            const law::FaceFlow flow = face_flow<kLakes>(now, d, i, volume_rate, step);
            d.flux[i] = flow.discharge;
            failures += flow.failed;
        }
#pragma omp for schedule(static)
        for (int i = 1; i <= n; ++i) {
            if (saved)
                saved[i] = h[i];
            predicted[i] = h[i];
            if (in_lake<kLakes>(now, i))
                continue;
            predicted[i] += (d.flux[d.face_from[i]] - d.flux[i]) * k;
        }
#pragma omp single
        take_outlet_flow(model, predicted, step, 0.5);
        // Each face averages its own two discharges, so the update is in place.
#pragma omp for schedule(static)
        for (int i = 1; i <= n; ++i) {
            const int j = d.face_to[i];
            if (j == 0)
                continue;
            const double mean =
                0.5 * (d.flux[i] + face_flow<kLakes>(ahead, d, i, volume_rate, step).discharge);
            d.flux[i] = law::limit_face_discharge(mean, ade_cell<kLakes>(now, i),
                                                  ade_cell<kLakes>(now, j), volume_rate,
                                                  passed_on<kLakes>(now, d, i, j, volume_rate));
        }
        if constexpr (kLakes) {
            // The lake form runs on one thread.
#pragma omp single
            limit_lake_outflow(model, {{d.face_to, d.flux}}, step);
        }
#pragma omp for schedule(static) reduction(+ : failures)
        for (int b = 0; b < kSumBlocks; ++b) {
            const CellBlock block = cell_block(1, n, b);
            double cleanup = 0.0;
            for (int i = block.begin; i < block.end; ++i) {
                d.face_volume[i] =
                    first_sub_step ? d.flux[i] * step : d.face_volume[i] + d.flux[i] * step;
                if (in_lake<kLakes>(now, i))
                    continue;
                const law::AdeUpdate u =
                    law::ade_depth_update(h[i], (d.flux[d.face_from[i]] - d.flux[i]) * k, step);
                h[i] = u.depth;
                cleanup += u.cleanup;
                failures += u.failed;
            }
            cleanup_of[b] = cleanup;
        }
    }
    const double cleanup = sum_in_order(cleanup_of);
    SubStepResult r;
    r.failures = failures;
    if (failures > 0)
        return r;
    r.cleanup = cleanup * area;
    if constexpr (kLakes)
        exchange_with_lakes(model, d, step);
    r.outflow = take_outlet_flow(model, h, step, 0.5);
    return r;
}

template <bool kLakes>
double predictor_corrector_step(Model& model, RunContext& ctx, double dt) {
    Overland& ov = model.overland;
    const Grid& g = model.grid;
    const Direction x = x_direction(model);
    const Direction y = y_direction(model);
    // The reverse of the ADE order.
    const Direction& first = ov.ade_sweep_toggle == 1 ? y : x;
    const Direction& second = ov.ade_sweep_toggle == 1 ? x : y;
    const double outflow = ade_step_rule<kLakes>(
        model, ctx, dt,
        [&](double length, bool first_sub_step, bool save) {
            double* saved = save ? ov.saved_depth.data() : nullptr;
            SubStepResult a =
                predictor_corrector_pass<kLakes>(model, first, length, first_sub_step, saved);
            if (a.failures > 0)
                return a;
            const SubStepResult b =
                predictor_corrector_pass<kLakes>(model, second, length, first_sub_step, nullptr);
            if (b.failures > 0)
                return b;
            a.cleanup += b.cleanup;
            a.outflow += b.outflow;
            return a;
        },
        [] {});
    if (ctx.error.pending())
        return 0.0;
    const int n = g.num_cells;
    const double inverse_dt = 1.0 / dt;
#pragma omp parallel for schedule(static) if (runs_parallel(ov, n))
    for (int i = 1; i <= n; ++i) {
        ov.discharge_x[i] *= inverse_dt;
        ov.discharge_y[i] *= inverse_dt;
    }
    return outflow;
}

// Lakes of either kind exchange water with the cells around them.
bool lakes_present(const Model& model) {
    return model.overland.channel_lakes.present() || model.lakes.present();
}

}  // namespace

double route_ade(Model& model, RunContext& ctx, double dt) {
    Overland& ov = model.overland;
    const bool lakes = lakes_present(model);
    // Lake cells need the discharges of both directions after the sweeps; a
    // lake set up after the overland arrays gets its second array once.
    if (lakes && ov.flux_y.size() != ov.flux_x.size())
        ov.flux_y.assign(ov.flux_x.size(), 0.0);
    double outflow = lakes ? ade_step<true>(model, ctx, dt) : ade_step<false>(model, ctx, dt);
    if (!ctx.error.pending() && model.project.given(Card::LOWSPOT_FILE))
        apply_low_spot_flows(model, dt);
    return outflow;
}

double route_ade_predictor_corrector(Model& model, RunContext& ctx, double dt) {
    double outflow = lakes_present(model) ? predictor_corrector_step<true>(model, ctx, dt)
                                          : predictor_corrector_step<false>(model, ctx, dt);
    if (!ctx.error.pending() && model.project.given(Card::LOWSPOT_FILE))
        apply_low_spot_flows(model, dt);
    return outflow;
}

}  // namespace torva
