// The explicit overland scheme with its adaptive step. Both sweeps of a
// sub-step read the same depths: the face discharges are kept per face and
// every cell gathers its four faces after both sweeps, so a cell only ever
// writes its own depth and threads never lose an update. The lake form runs
// the same sweeps in cell order and exchanges water with the lake cells.

#include <cmath>

#include "core/context.hpp"
#include "core/model_state.hpp"
#include "surface/overland.hpp"
#include "surface/overland_lake_faces.hpp"
#include "surface/overland_laws.hpp"

namespace torva {
namespace {

namespace law = overland_law;

struct ExplicitSweep {
    char name;             // 'x' or 'y', for the messages
    const int* face_to;    // neighbour across the east or south face, 0 for none
    const int* face_from;  // neighbour across the west or north face, 0 for none
    const double* bed_slope;
    double* unit_discharge;  // m2/s per face
};

struct SweepContext {
    // In the lake form, the depths and retentions as the faces see them: a
    // lake cell shows its lake's depth over its ground and no retention.
    const double* depth;
    const double* retention;
    const double* inverse_n;
    const int* lake_number;    // null without channel lakes
    const int* overland_lake;  // null without overland lakes
    double* outflow;           // depth each cell gives over its faces in the sub-step, m
    double cell_size;
    int n;
};

// Whether cell i belongs to a lake of either kind: its water is its lake's.
inline bool in_lake(const SweepContext& c, int i) {
    return (c.lake_number && c.lake_number[i] > 0) || (c.overland_lake && c.overland_lake[i] > 0);
}

// Prints the failing face the way the modeller has always read it.
void print_face_failure(RunContext& ctx, char name, const law::ExplicitFaceTest& t, double q,
                        double step, int cell) {
    switch (t.check) {
        case law::FaceCheck::celerity:
            ctx.print("  ]%c:_U_%2.4lf H%2.4lf Q:%4.2lf dt:%4.2lf j:%d\n", name, t.courant,
                      t.change, q, step, cell);
            ctx.print("    -> Cell Exceded Celerity Check\n");
            break;
        case law::FaceCheck::height_change:
            ctx.print("  ]%c:U%2.4lf _H_%2.4lf Q:%4.2lf dt:%4.2lf j:%d\n", name, t.courant,
                      t.change, q, step, cell);
            ctx.print("    -> Cell Exceeded Max Height Change\n");
            break;
        case law::FaceCheck::outflow:
            ctx.print("  ]%c: h+dh < 0.00   (h+dh=%lf)  j:%d\n", name, t.donor_after, cell);
            ctx.print("    -> Outflow Exceeded Water Depth\n");
            break;
        case law::FaceCheck::passed:
            break;
    }
}

// The law's discharge of the face from cell i to j.
inline double law_discharge(const SweepContext& c, const ExplicitSweep& s, int i, int j) {
    return law::explicit_unit_discharge(c.depth[i], c.depth[j], c.retention[i], c.inverse_n[i],
                                        s.bed_slope[i], c.cell_size);
}

// The law's discharge of the face across the downstream side of cell i held
// to the levelling volume alone (0 where no water crosses it).
inline double levelled(const SweepContext& c, const ExplicitSweep& s, int i, double depth_rate) {
    const int j = i > 0 ? s.face_to[i] : 0;
    if (j == 0)
        return 0.0;
    return law::explicit_face_limit(law_discharge(c, s, i, j), c.depth[i], c.depth[j],
                                    c.retention[i], c.retention[j], s.bed_slope[i], c.cell_size,
                                    depth_rate, law::nothing_passed_on);
}

// The law's discharge held to the face limit, with what the two cells pass on
// along the sweep's direction.
inline double limited(const SweepContext& c, const ExplicitSweep& s, int i, int j, double q,
                      double depth_rate) {
    auto passed_on = [&](double sign) {
        return sign * (levelled(c, s, s.face_from[i], depth_rate) + levelled(c, s, j, depth_rate));
    };
    return law::explicit_face_limit(q, c.depth[i], c.depth[j], c.retention[i], c.retention[j],
                                    s.bed_slope[i], c.cell_size, depth_rate, passed_on);
}

// The depth cell i gives over the two faces of the sweep's direction.
inline double given_over(const ExplicitSweep& s, const int* face_from, int i, double k) {
    const double east = s.unit_discharge[i];
    const double west = s.unit_discharge[face_from[i]];
    return ((east > 0.0 ? east : 0.0) - (west < 0.0 ? west : 0.0)) * k;
}

// One sweep over all faces of a direction, then the outflow check of every
// cell over the faces of the sweeps so far; returns the number of failures.
int parallel_sweep(const SweepContext& c, const ExplicitSweep& s, double step, bool first_sweep,
                   bool parallel) {
    const double depth_rate = c.cell_size / step;
    const double k = step / c.cell_size;
    int failures = 0;
#pragma omp parallel if (parallel)
    {
#pragma omp for schedule(static) reduction(+ : failures)
        for (int i = 1; i <= c.n; ++i) {
            const int j = s.face_to[i];
            double q = 0.0;
            if (j != 0) {
                q = law_discharge(c, s, i, j);
                if (q != 0.0 &&
                    law::explicit_face_test(q, step, c.cell_size).check != law::FaceCheck::passed)
                    ++failures;
                q = limited(c, s, i, j, q, depth_rate);
            }
            s.unit_discharge[i] = q;
        }
#pragma omp for schedule(static) reduction(+ : failures)
        for (int i = 1; i <= c.n; ++i) {
            const double given = given_over(s, s.face_from, i, k);
            c.outflow[i] = first_sweep ? given : c.outflow[i] + given;
            failures += law::outflow_exceeds_depth(c.depth[i], c.outflow[i]);
        }
    }
    return failures;
}

// The law's discharge of a face between a lake cell and an ordinary cell. The
// water surfaces decide which cell gives, and the giver's depth above its
// retention and its roughness drive the flow (a lake cell gives from its
// lake's level, with no retention). A lake of the channel network passes its
// water only through the link below it: the land drains into it, it gives
// nothing back across its cells' faces.
inline double lake_face_discharge(const SweepContext& c, const ExplicitSweep& s, int i, int j) {
    const double drop = s.bed_slope[i] * c.cell_size - (c.depth[j] - c.depth[i]);
    double q;
    if (drop >= 0.0)
        q = law::explicit_unit_discharge(c.depth[i], c.depth[j], c.retention[i], c.inverse_n[i],
                                         s.bed_slope[i], c.cell_size);
    else
        q = -law::explicit_unit_discharge(c.depth[j], c.depth[i], c.retention[j], c.inverse_n[j],
                                          -s.bed_slope[i], c.cell_size);
    if (c.lake_number && ((q > 0.0 && c.lake_number[i] > 0) || (q < 0.0 && c.lake_number[j] > 0)))
        return 0.0;
    return q;
}

// The same sweep in cell order, naming every failing face and cell. A face
// between two lake cells carries nothing; a lake cell's outflow is the
// lake's, which the lake limit holds to what the lake holds.
int serial_sweep(const SweepContext& c, const ExplicitSweep& s, double step, bool first_sweep,
                 RunContext& ctx, bool quiet, bool& newline_printed) {
    const double depth_rate = c.cell_size / step;
    const double k = step / c.cell_size;
    int failures = 0;
    auto report = [&](const law::ExplicitFaceTest& t, double q, int cell) {
        ++failures;
        if (quiet || in_lake(c, cell))
            return;
        if (!newline_printed)
            ctx.print("\n");
        newline_printed = true;
        print_face_failure(ctx, s.name, t, q, step, cell);
    };
    for (int i = 1; i <= c.n; ++i) {
        const int j = s.face_to[i];
        double q = 0.0;
        const bool lake_i = in_lake(c, i);
        const bool lake_j = j != 0 && in_lake(c, j);
        if (j != 0 && !(lake_i && lake_j)) {
            q = lake_i || lake_j ? lake_face_discharge(c, s, i, j) : law_discharge(c, s, i, j);
            const law::ExplicitFaceTest t = law::explicit_face_test(q, step, c.cell_size);
            if (q != 0.0 && t.check != law::FaceCheck::passed)
                report(t, q, i);
            if (q != 0.0)
                q = limited(c, s, i, j, q, depth_rate);
        }
        s.unit_discharge[i] = q;
    }
    for (int i = 1; i <= c.n; ++i) {
        const double given = given_over(s, s.face_from, i, k);
        c.outflow[i] = first_sweep ? given : c.outflow[i] + given;
        if (!in_lake(c, i) && law::outflow_exceeds_depth(c.depth[i], c.outflow[i]))
            report({law::FaceCheck::outflow, 0.0, 0.0, c.depth[i] - c.outflow[i]}, 0.0, i);
    }
    return failures;
}

// A cell that would give more than it holds above its retention (within the
// outflow check's tolerance, or where failures are no longer acted on) gives
// what it holds, shared over its outflowing faces in proportion: no depth
// turns negative. Each face is scaled only by its giving cell, so no two
// threads write one face.
void share_out_overdrawn_cells(const SweepContext& c, const ExplicitSweep& x,
                               const ExplicitSweep& y, bool parallel) {
#pragma omp parallel for schedule(static) if (parallel)
    for (int i = 1; i <= c.n; ++i) {
        const double content = c.depth[i] - c.retention[i];
        if (c.outflow[i] <= content || c.outflow[i] <= 0.0 || in_lake(c, i))
            continue;
        const double share = content > 0.0 ? content / c.outflow[i] : 0.0;
        for (const ExplicitSweep* s : {&x, &y}) {
            double* q = s->unit_discharge;
            if (q[i] > 0.0)
                q[i] *= share;
            const int from = s->face_from[i];
            if (from != 0 && q[from] < 0.0)
                q[from] *= share;
        }
    }
}

// Every cell takes what its four faces brought in the sub-step; a lake cell's
// water is its lake's.
void apply_face_changes(Overland& ov, const Grid& g, const SweepContext& c, double step,
                        bool parallel) {
    double* h = ov.depth.data();
    const double* qx = ov.flux_x.data();
    const double* qy = ov.flux_y.data();
    const int* west = g.west_neighbour.data();
    const int* north = g.north_neighbour.data();
    const double k = step / g.cell_size;
    const int n = g.num_cells;
    if (c.lake_number || c.overland_lake) {
        for (int i = 1; i <= n; ++i)
            if (!in_lake(c, i))
                h[i] += (qx[west[i]] - qx[i] + qy[north[i]] - qy[i]) * k;
        return;
    }
#pragma omp parallel for schedule(static) if (parallel)
    for (int i = 1; i <= n; ++i) h[i] += (qx[west[i]] - qx[i] + qy[north[i]] - qy[i]) * k;
}

// The lake form's view of the cells for the coming sub-step.
void view_lake_cells(const Model& model, double* depth, double* retention) {
    const Overland& ov = model.overland;
    const double* h = ov.depth.data();
    const double* r = model.surface.retention_depth.data();
    const double* z = model.grid.elevation.data();
    const int* channel_lake =
        ov.channel_lakes.present() ? ov.channel_lakes.lake_number.data() : nullptr;
    const int* overland_lake = model.lakes.present() ? model.lakes.cell_lake.data() : nullptr;
    for (int i = 1; i <= model.grid.num_cells; ++i) {
        const int lake = channel_lake ? channel_lake[i] : 0;
        const int pond = overland_lake ? overland_lake[i] : 0;
        if (lake > 0) {
            depth[i] = ov.channel_lakes.water_surface[lake] - z[i];
            retention[i] = 0.0;
        } else if (pond > 0) {
            depth[i] = model.lakes.surface[pond] - z[i];
            retention[i] = 0.0;
        } else {
            depth[i] = h[i];
            retention[i] = r[i];
        }
    }
}

void copy_depths(double* to, const double* from, int n, bool parallel) {
#pragma omp parallel for schedule(static) if (parallel)
    for (int i = 1; i <= n; ++i) to[i] = from[i];
}

}  // namespace

double route_explicit(Model& model, RunContext& ctx, double dt) {
    Overland& ov = model.overland;
    ExplicitStepState& st = ov.explicit_state;
    const Grid& g = model.grid;
    const int n = g.num_cells;
    const bool parallel = runs_parallel(ov, n);
    const bool quiet = model.run.quiet || model.run.super_quiet;

    double step;
    if (st.reduced_steps_left == 0) {
        step = dt;
        if (st.reduced_in_force) {
            st.reduced_in_force = false;
            if (!quiet)
                ctx.print("Resetting time step to %4.2lf for overland flow...\n", dt);
        }
    } else {
        step = st.reduced_step;
        --st.reduced_steps_left;
        st.reduced_in_force = true;
    }

    double* h = ov.depth.data();
    copy_depths(ov.saved_depth.data(), h, n, parallel);
    const bool channel_lakes = ov.channel_lakes.present();
    const bool overland_lakes = model.lakes.present();
    const bool lakes = channel_lakes || overland_lakes;
    // Lakes set up after the overland arrays get their view arrays once.
    if (lakes && ov.lake_view_depth.size() != ov.depth.size()) {
        ov.lake_view_depth.assign(ov.depth.size(), 0.0);
        ov.lake_view_retention.assign(ov.depth.size(), 0.0);
    }
    const SweepContext c{
        lakes ? ov.lake_view_depth.data() : h,
        lakes ? ov.lake_view_retention.data() : model.surface.retention_depth.data(),
        ov.inverse_n.data(),
        channel_lakes ? ov.channel_lakes.lake_number.data() : nullptr,
        overland_lakes ? model.lakes.cell_lake.data() : nullptr,
        ov.cell_outflow.data(),
        g.cell_size,
        n};
    // A restarted step gives the lakes back what its failed sub-steps moved.
    if (lakes) {
        ov.channel_lakes.save_volumes();
        model.lakes.save_exchange();
        refresh_lake_surfaces(model);
    }
    const ExplicitSweep x{'x', ov.face_east.data(), g.west_neighbour.data(), ov.bed_slope_x.data(),
                          ov.flux_x.data()};
    const ExplicitSweep y{'y', ov.face_south.data(), g.north_neighbour.data(),
                          ov.bed_slope_y.data(), ov.flux_y.data()};
    const ExplicitSweep& first = st.sweep_toggle == 0 ? x : y;
    const ExplicitSweep& second = st.sweep_toggle == 0 ? y : x;
    st.sweep_toggle ^= 1;

    int reductions = 0;
    bool no_more_reductions = false;
    bool newline_printed = false;
    double elapsed = 0.0;
    while (true) {
        if (lakes)
            view_lake_cells(model, ov.lake_view_depth.data(), ov.lake_view_retention.data());
        bool restart = false;
        for (const ExplicitSweep* s : {&first, &second}) {
            const bool first_sweep = s == &first;
            const int failures =
                ov.form == ExecutionForm::parallel
                    ? parallel_sweep(c, *s, step, first_sweep, parallel)
                    : serial_sweep(c, *s, step, first_sweep, ctx, quiet, newline_printed);
            if (failures == 0 || no_more_reductions)
                continue;
            if (step <= 0.005) {
                no_more_reductions = true;
            } else if (reductions < 5) {
                step /= 3.0;
                ++reductions;
                if (!quiet)
                    ctx.print(" *Changing overland time step to %4.2lf seconds...\n", step);
                st.reduced_step = step;
                st.reduced_steps_left = 4;
                restart = true;
                break;
            } else {
                if (!quiet)
                    ctx.print(
                        " *Time step to small to divide, continuing with current time step\n");
                no_more_reductions = true;
            }
        }
        if (restart) {
            // The model step starts again from its first depths.
            elapsed = 0.0;
            copy_depths(h, ov.saved_depth.data(), n, parallel);
            if (lakes) {
                ov.channel_lakes.restore_volumes();
                model.lakes.restore_exchange();
                refresh_lake_surfaces(model);
            }
            continue;
        }
        share_out_overdrawn_cells(c, x, y, parallel);
        if (lakes) {
            const double volume_per_flux = g.cell_size * step;
            limit_lake_outflow(model,
                               {{x.face_to, x.unit_discharge}, {y.face_to, y.unit_discharge}},
                               volume_per_flux);
            add_lake_exchange(model, {x.face_to, x.unit_discharge}, volume_per_flux);
            add_lake_exchange(model, {y.face_to, y.unit_discharge}, volume_per_flux);
            refresh_lake_surfaces(model);
        }
        apply_face_changes(ov, g, c, step, parallel);
        elapsed += step;
        if (elapsed > dt || std::fabs(elapsed - dt) < 0.0001)
            break;
    }

    if (model.project.given(Card::LOWSPOT_FILE))
        apply_low_spot_flows(model, dt);

    double outflow = 0.0;
    const int o = g.outlet_cell;
    if (!ov.drains_to_channel && o > 0 && h[o] > 0.0) {
        const double area = g.cell_size * g.cell_size;
        // The outlet gives at most what it holds, so its depth never turns negative.
        outflow = law::manning_outflow_volume(h[o], law::kOutletExponent, model.run.outlet_slope,
                                              ov.inverse_n[o], g.cell_size, dt);
        if (outflow < h[o] * area) {
            h[o] -= outflow / area;
        } else {
            outflow = h[o] * area;
            h[o] = 0.0;
        }
    }

#pragma omp parallel for schedule(static) if (parallel)
    for (int i = 1; i <= n; ++i) {
        ov.discharge_x[i] = ov.flux_x[i] * g.cell_size;
        ov.discharge_y[i] = ov.flux_y[i] * g.cell_size;
    }
    return outflow;
}

}  // namespace torva
