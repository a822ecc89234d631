// The implicit step of the water table: storage coefficients, sub-steps, the
// finite-difference system of the Dupuit flow equation and its solution by
// line successive over-relaxation inside the outer iteration for the
// transmissivity.
//
// Per active cell c over a sub-step dt, with a_cn the conductance to each
// neighbour n:
//     (S/dt + sum a_cn) h_c - sum a_cn h_n = S/dt h_c,start + source_c
// so that a positive source (recharge, injection, inflow) raises the head.
//
// Lines are swept in two colours (odd lines, then even lines): the lines of
// one colour do not touch each other, so they are solved in parallel and the
// heads come out the same for any number of threads.

#include <omp.h>

#include <algorithm>
#include <cmath>

#include "core/context.hpp"
#include "core/model_state.hpp"
#include "groundwater/groundwater.hpp"

namespace torva {
namespace {

// A cell whose head falls to the aquifer bottom keeps this saturated
// thickness, so that it stays in the system and can fill again.
constexpr double kMinimumThickness = 0.001;  // m
// The outer iteration ends when no head moved more than this.
constexpr double kOuterTolerance = 0.001;  // m
constexpr int kOuterWarning = 50;
constexpr int kOuterLimit = 1000;
// Sweeps of one solve beyond this mean the solver does not converge.
constexpr int kSweepLimit = 10000;
// Sub-steps are not halved below this length.
constexpr double kShortestSubStep = 1.0;  // s
constexpr int kLayersPerSubStep = 2;

double transmissivity(const Groundwater& gw, int i) {
    return std::max(gw.head[i] - gw.bottom[i], kMinimumThickness) * gw.conductivity[i];
}

// Harmonic mean of the two transmissivities over the distance of the cell
// centres, per unit area of the cell: 1/s.
double conductance(double t_cell, double t_next, double width) {
    return 2.0 * t_cell * t_next / ((t_next + t_cell) * width) / width;
}

bool takes_part(AquiferCell c) {
    return c != AquiferCell::outside;
}

// The storage coefficient of each cell at the start of a sub-step. With
// redistribution the soil above the water table holds the soil's porosity
// within the soil moisture depth, and water above the surface is open water.
void set_storage(Model& model, RunContext& ctx) {
    Groundwater& gw = model.groundwater;
    const int n = model.grid.num_cells;
    const bool soil_layer = gw.redistribution && model.soil.porosity.size() == gw.head.size();
    int problem = 0;
    for (int i = 1; i <= n; ++i) {
        double s = gw.porosity[i];
        if (soil_layer) {
            const double depth_to_water = model.grid.elevation[i] - gw.head[i];
            if (depth_to_water <= 0.0)
                s = 1.0;
            else if (depth_to_water <= gw.soil_moisture_depth)
                s = model.soil.porosity[i];
        }
        if (!(s > 0.0)) {
            s = gw.porosity[i];
            ++problem;
        }
        gw.storage[i] = s;
    }
    if (problem)
        ctx.print("there is a problem with groundwater storage term\n");
}

// The conductances of every cell to its four neighbours from the current
// heads; 0 towards a missing neighbour or one outside the aquifer. A
// non-finite head stops the run (the first such cell is reported).
bool assemble_conductances(Model& model, RunContext& ctx) {
    Groundwater& gw = model.groundwater;
    const Grid& g = model.grid;
    const int n = g.num_cells;
    const double w = g.cell_size;
    int bad_cell = n + 1;
#pragma omp parallel for schedule(static) reduction(min : bad_cell)
    for (int i = 1; i <= n; ++i) {
        if (!std::isfinite(gw.head[i]))
            bad_cell = std::min(bad_cell, i);
        double a[4] = {0.0, 0.0, 0.0, 0.0};
        if (gw.cell[i] != AquiferCell::outside && gw.cell[i] != AquiferCell::fixed_head) {
            const double t = transmissivity(gw, i);
            const int next[4] = {g.east_neighbour[i], g.south_neighbour[i], g.west_neighbour[i],
                                 g.north_neighbour[i]};
            for (int k = 0; k < 4; ++k)
                if (next[k] > 0 && takes_part(gw.cell[next[k]]))
                    a[k] = conductance(t, transmissivity(gw, next[k]), w);
        }
        gw.to_east[i] = a[0];
        gw.to_south[i] = a[1];
        gw.to_west[i] = a[2];
        gw.to_north[i] = a[3];
    }
    if (bad_cell <= n) {
        ctx.print("elevgw NaN in main()- point 7, grid cell %d\n", bad_cell);
        ctx.error.raise(err::message_printed);
        return false;
    }
    return true;
}

// Diagonal and right-hand side of the sub-step; fixed heads and cells outside
// the aquifer solve to the head they hold.
void assemble_system(Groundwater& gw, int n, double dt) {
#pragma omp parallel for schedule(static)
    for (int i = 1; i <= n; ++i) {
        if (gw.cell[i] == AquiferCell::outside || gw.cell[i] == AquiferCell::fixed_head) {
            gw.diagonal[i] = 1.0;
            gw.rhs[i] = gw.head[i];
            continue;
        }
        const double s_dt = gw.storage[i] / dt;
        gw.diagonal[i] = gw.to_east[i] + gw.to_south[i] + gw.to_west[i] + gw.to_north[i] + s_dt;
        gw.rhs[i] = s_dt * gw.head_start[i] + gw.source[i];
    }
}

// Solves one line of m cells by the Thomas algorithm: cell(k) is the k-th
// cell, before(i) and after(i) a cell's own conductances to the previous and
// the next cell of the line (a fixed head has none, while its neighbour has
// one to it), across(i) the terms of the neighbouring lines at their current
// heads. Relaxed heads are written back; returns the largest
// |h_solved - h_old|.
template <class Cell, class Before, class After, class Across>
double solve_line(Groundwater& gw, int m, double* scratch, Cell cell, Before before, After after,
                  Across across) {
    double* c_prime = scratch;
    double* b_prime = scratch + m;
    for (int k = 0; k < m; ++k) {
        const int i = cell(k);
        const double lower = k > 0 ? -before(i) : 0.0;
        const double upper = k + 1 < m ? -after(i) : 0.0;
        const double b = gw.rhs[i] + across(i);
        const double den = gw.diagonal[i] - (k > 0 ? lower * c_prime[k - 1] : 0.0);
        c_prime[k] = upper / den;
        b_prime[k] = (b - (k > 0 ? lower * b_prime[k - 1] : 0.0)) / den;
    }
    const double omega = gw.relaxation;
    double change = 0.0;
    double x = 0.0;
    for (int k = m - 1; k >= 0; --k) {
        x = b_prime[k] - (k + 1 < m ? c_prime[k] * x : 0.0);
        const int i = cell(k);
        const double old = gw.head[i];
        change = std::max(change, std::fabs(x - old));
        gw.head[i] = old + omega * (x - old);
        // The next cell up the line takes the solved (not the relaxed) value,
        // as the elimination assumed.
    }
    return change;
}

// One colour of lines, rows or columns: the cells of line l are
// cells[start[l]] .. cells[start[l + 1] - 1] in order, and each is tied to the
// lines beside it by its conductances across.
template <bool Rows>
double sweep_lines(Model& model, int colour) {
    Groundwater& gw = model.groundwater;
    const Grid& g = model.grid;
    const int lines = Rows ? g.rows : g.cols;
    const int* start = Rows ? gw.row_start.data() : gw.column_start.data();
    const int* along = gw.column_cells.data();
    const double* before = Rows ? gw.to_west.data() : gw.to_north.data();
    const double* after = Rows ? gw.to_east.data() : gw.to_south.data();
    const double* side_a = Rows ? gw.to_north.data() : gw.to_west.data();
    const double* side_b = Rows ? gw.to_south.data() : gw.to_east.data();
    const int* next_a = Rows ? g.north_neighbour.data() : g.west_neighbour.data();
    const int* next_b = Rows ? g.south_neighbour.data() : g.east_neighbour.data();
    const double* head = gw.head.data();
    double change = 0.0;
    const int threads = std::min(gw.scratch_threads, omp_get_max_threads());
#pragma omp parallel for schedule(static) num_threads(threads) reduction(max : change)
    for (int l = 1 + colour; l <= lines; l += 2) {
        const int first = start[l];
        const int m = start[l + 1] - first;
        if (m <= 0)
            continue;
        double* scratch = gw.line_scratch.data() +
                          static_cast<std::size_t>(omp_get_thread_num()) * gw.scratch_stride;
        // Rows are runs of cell numbers; columns are listed in column_cells.
        const auto cell = [first, along](int k) { return Rows ? first + k : along[first + k]; };
        const double line_change = solve_line(
            gw, m, scratch, cell, [before](int i) { return before[i]; },
            [after](int i) { return after[i]; },
            [=](int i) { return side_a[i] * head[next_a[i]] + side_b[i] * head[next_b[i]]; });
        change = std::max(change, line_change);
    }
    return change;
}

// Whole sweeps until no line moves a head by the tolerance or more; false
// with the error raised when the sweeps do not settle.
bool line_sor(Model& model, RunContext& ctx, long long& sweeps) {
    Groundwater& gw = model.groundwater;
    for (int count = 1;; ++count) {
        double change = 0.0;
        if (gw.direction != SweepDirection::columns)
            change = std::max(sweep_lines<true>(model, 0), sweep_lines<true>(model, 1));
        if (gw.direction != SweepDirection::rows)
            change = std::max({change, sweep_lines<false>(model, 0), sweep_lines<false>(model, 1)});
        ++sweeps;
        if (change < gw.tolerance)
            return true;
        if (count >= kSweepLimit) {
            ctx.print(
                "Error: the groundwater line solver did not converge in %d sweeps in groundwater "
                "step %lld (largest change of head %g m, GW_LSOR_CON %g m).\n",
                kSweepLimit, gw.volumes.steps + 1, change, gw.tolerance);
            ctx.error.raise(err::message_printed);
            return false;
        }
    }
}

// Largest number of soil layers the water table of any active cell would
// cross in dt if it moved at its present rate.
int layers_crossed(const Model& model, double dt) {
    const Groundwater& gw = model.groundwater;
    const Grid& g = model.grid;
    const int n = g.num_cells;
    const double layer = gw.layer_depth;
    int most = 0;
#pragma omp parallel for schedule(static) reduction(max : most)
    for (int i = 1; i <= n; ++i) {
        if (gw.cell[i] == AquiferCell::outside || gw.cell[i] == AquiferCell::fixed_head)
            continue;
        const double h = gw.head[i];
        const double flow = gw.to_east[i] * (gw.head[g.east_neighbour[i]] - h) +
                            gw.to_south[i] * (gw.head[g.south_neighbour[i]] - h) +
                            gw.to_west[i] * (gw.head[g.west_neighbour[i]] - h) +
                            gw.to_north[i] * (gw.head[g.north_neighbour[i]] - h);
        const double rise = (flow + gw.source[i]) * dt / gw.storage[i];
        const double before = std::floor((g.elevation[i] - h) / layer);
        const double after = std::floor((g.elevation[i] - h - rise) / layer);
        const double crossed = std::fabs(after - before);
        most = std::max(most, crossed > 1e9 ? 1000000000 : static_cast<int>(crossed));
    }
    return most;
}

// What the heads of fixed-head cells gave to (positive) or took from their
// active neighbours over dt, m3.
double head_boundary_volume(const Model& model, double dt) {
    const Groundwater& gw = model.groundwater;
    const Grid& g = model.grid;
    double rate = 0.0;
    for (int i = 1; i <= g.num_cells; ++i) {
        if (gw.cell[i] == AquiferCell::outside || gw.cell[i] == AquiferCell::fixed_head)
            continue;
        const int next[4] = {g.east_neighbour[i], g.south_neighbour[i], g.west_neighbour[i],
                             g.north_neighbour[i]};
        const double a[4] = {gw.to_east[i], gw.to_south[i], gw.to_west[i], gw.to_north[i]};
        for (int k = 0; k < 4; ++k)
            if (next[k] > 0 && gw.cell[next[k]] == AquiferCell::fixed_head)
                rate += a[k] * (gw.head[next[k]] - gw.head[i]);
    }
    return rate * g.cell_size * g.cell_size * dt;
}

// One sub-step: the outer iteration for the transmissivity around the line
// solver; then the water the aquifer gained and what the fixed heads gave.
bool sub_step(Model& model, RunContext& ctx, double dt) {
    Groundwater& gw = model.groundwater;
    const int n = model.grid.num_cells;
    std::copy(gw.head.begin(), gw.head.end(), gw.head_start.begin());
    int iteration = 2;
    for (;; ++iteration) {
        std::copy(gw.head.begin(), gw.head.end(), gw.head_previous.begin());
        if (!assemble_conductances(model, ctx))
            return false;
        assemble_system(gw, n, dt);
        if (!line_sor(model, ctx, gw.volumes.sweeps))
            return false;
        ++gw.volumes.outer_iterations;
        ++gw.last_outer_iterations;
        double change = 0.0;
        for (int i = 1; i <= n; ++i)
            change = std::max(change, std::fabs(gw.head[i] - gw.head_previous[i]));
        if (change <= kOuterTolerance)
            break;
        if (iteration >= kOuterWarning)
            ctx.print("GW IS NOT CONVERGING \n");
        if (iteration > kOuterLimit) {
            ctx.print("Error: Non-convergence in the groundwater after 1000 tries.\n");
            ctx.error.raise(err::message_printed);
            return false;
        }
    }
    for (int i = 1; i <= n; ++i) {
        if (!std::isfinite(gw.head[i])) {
            ctx.print(
                "A non-real value for the groudwater head was detected for in cell %d after "
                "running the groundwater flow routine.\n",
                i);
            ctx.error.raise(err::message_printed);
            return false;
        }
        if (gw.cell[i] != AquiferCell::outside && gw.cell[i] != AquiferCell::fixed_head)
            gw.stored_water[i] += gw.storage[i] * (gw.head[i] - gw.head_start[i]);
    }
    // The conductances of the last pass are the ones the heads solve.
    gw.volumes.head_boundary += head_boundary_volume(model, dt);
    return true;
}

}  // namespace

bool advance_groundwater(Model& model, RunContext& ctx, double dt) {
    Groundwater& gw = model.groundwater;
    gw.last_sub_steps = 0;
    gw.last_outer_iterations = 0;
    const long long sweeps_before = gw.volumes.sweeps;
    double left = dt;
    // The sub-step only ever shrinks within a step: once halved, the rest of
    // the step goes in sub-steps of that length.
    double sub_length = dt;
    while (left > 0.0) {
        set_storage(model, ctx);
        if (!assemble_conductances(model, ctx))
            return false;
        // Where the storage coefficient changes with the depth to water, halve
        // the sub-step while the water table would cross more soil layers
        // than the coefficient can follow; elsewhere it never changes.
        while (gw.redistribution && sub_length / 2.0 >= kShortestSubStep &&
               layers_crossed(model, std::min(sub_length, left)) > kLayersPerSubStep)
            sub_length /= 2.0;
        double sub = std::min(sub_length, left);
        // A remainder within round-off of the sub-step is taken with it.
        if (left - sub < 1e-9 * dt)
            sub = left;
        if (!sub_step(model, ctx, sub))
            return false;
        ++gw.last_sub_steps;
        ++gw.volumes.sub_steps;
        left -= sub;
    }
    gw.last_sweeps = gw.volumes.sweeps - sweeps_before;
    return true;
}

}  // namespace torva
