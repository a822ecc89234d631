// The Richards infiltration step over the watershed: every cell's column in
// parallel, then the accounting of what entered, left and stayed, on one
// thread in cell order so the totals are the same for any thread count.

#include "soil/richards.hpp"

#include <omp.h>

#include <algorithm>
#include <cmath>

#include "core/context.hpp"
#include "core/model_state.hpp"

namespace torva {
namespace {

// Cells the columns leave alone: lakes, and frozen ground in long-term runs.
constexpr double kFrozenGroundIndex = 83.0;

bool column_skipped(const Soil& soil, const Model& model, int cell) {
    if (!soil.lake_cell.empty() && soil.lake_cell[cell])
        return true;
    const std::vector<int>& channel_lake = model.overland.channel_lakes.lake_number;
    if (!channel_lake.empty() && channel_lake[cell] > 0)
        return true;
    return model.run.long_term && !soil.frozen_ground_index.empty() &&
           soil.frozen_ground_index[cell] > kFrozenGroundIndex;
}

}  // namespace

void richards_infiltration(Model& model, RunContext& ctx, double dt) {
    Soil& soil = model.soil;
    RichardsColumns& rc = soil.richards;
    const int n = model.grid.num_cells;
    double* depth = model.overland.depth.data();
    const std::size_t size = static_cast<std::size_t>(n) + 1;
    const bool with_et = rc.root_uptake && soil.potential_et.size() == size;
    const bool with_recharge = soil.recharge.size() == size;
    // The water of the root zones is read by the hourly report of the runs
    // that have potential evapotranspiration, and by nothing else.
    const bool root_zone_reported = soil.potential_et.size() == size;
    // The water table holds the bottom of the columns over active aquifer
    // cells once the groundwater has laid out its heads.
    const Groundwater& gw = model.groundwater;
    const bool water_table = rc.bottom == ColumnBottom::water_table && gw.cell.size() == size &&
                             soil.water_table.size() == size;
    const double* elevation = model.grid.elevation.data();
    double* canopy = model.surface.intercepted_depth.size() == size
                         ? model.surface.intercepted_depth.data()
                         : nullptr;
    // The thread count may have grown since set-up; scratch is sized here,
    // outside the cell loop, never inside it.
    const int threads = std::max(omp_get_max_threads(), 1);
    if (static_cast<int>(rc.scratch.size()) < threads) {
        const RichardsScratch model_scratch = rc.scratch.front();
        rc.scratch.resize(static_cast<std::size_t>(threads), model_scratch);
    }
    std::vector<double>& infiltrated = rc.step_infiltrated;
    std::vector<double>& drained = rc.step_drained;
    std::vector<double>& uptake = rc.step_uptake;

#pragma omp parallel if (n > kSerialCells)
    {
        RichardsScratch& scratch = rc.scratch[static_cast<std::size_t>(omp_get_thread_num())];
#pragma omp for schedule(static)
        for (int i = 1; i <= n; ++i) {
            rc.failed[i] = 0;
            rc.step_canopy_et[i] = rc.step_ponded_et[i] = 0.0;
            rc.step_from_water_table[i] = 0.0;
            if (column_skipped(soil, model, i)) {
                soil.infiltration_rate[i] = 0.0;
                infiltrated[i] = drained[i] = uptake[i] = 0.0;
                if (with_et)
                    soil.actual_et[i] = 0.0;
                rc.step_substeps[i] = rc.step_iterations[i] = rc.step_unsettled[i] = 0;
                rc.step_slow_substeps[i] = 0;
                // How its heads moved before says nothing of when it runs again.
                if (rc.trends[i].known != 0 || rc.trends[i].nodes != 0) {
                    std::fill_n(&rc.trend[2 * static_cast<std::size_t>(i) * rc.stride],
                                2 * rc.stride, 0.0f);
                    rc.trends[i] = HeadTrends{};
                }
                continue;
            }
            const RichardsSoilType& type = rc.types[rc.soil_type[i]];
            const std::size_t at = static_cast<std::size_t>(i) * rc.stride;
            // The whole of the next column is on its way from memory while
            // this one is solved: its heads, water contents and trends (eight
            // doubles or sixteen floats a cache line) and its kept relations
            // (two nodes a line).
            if (i < n) {
                const std::size_t next = at + rc.stride;
                for (std::size_t k = 0; k < rc.stride; k += 8) {
                    __builtin_prefetch(rc.head.data() + next + k);
                    __builtin_prefetch(rc.theta.data() + next + k);
                    __builtin_prefetch(rc.trend.data() + 2 * next + 2 * k);
                    __builtin_prefetch(rc.trend.data() + 2 * next + 2 * k + 8);
                }
                for (std::size_t k = 0; k < rc.stride; k += 2)
                    __builtin_prefetch(rc.relations.data() + next + k);
            }
            ColumnStepInput input;
            input.dt = dt;
            if (with_et) {
                // The demand is met from the canopy's water, then from water
                // standing on the ground; the roots take what is left.
                double demand = std::max(soil.potential_et[i], 0.0) * dt;
                if (canopy) {
                    const double from_canopy = std::min(demand, canopy[i] / 1000.0);
                    canopy[i] -= from_canopy * 1000.0;
                    demand -= from_canopy;
                    rc.step_canopy_et[i] = from_canopy;
                }
                const double from_ponded = std::min(demand, std::max(depth[i], 0.0));
                depth[i] -= from_ponded;
                demand -= from_ponded;
                rc.step_ponded_et[i] = from_ponded;
                input.potential_et = demand / dt;
            }
            input.supply = depth[i];
            if (water_table && gw.cell[i] != AquiferCell::outside) {
                // The bottom face reaches the water table when it lies below
                // the last node's spacing; above that it ends one spacing
                // under the last node, at the hydrostatic pressure there.
                const int last = type.nodes - 1;
                const double reach = type.node_depth[last] + type.node_dz[last];
                const double to_water = elevation[i] - soil.water_table[i];
                input.water_table_bottom = true;
                if (to_water >= reach) {
                    input.bottom_head = 0.0;
                    input.bottom_distance = to_water - type.node_depth[last];
                } else {
                    input.bottom_head = reach - to_water;
                    input.bottom_distance = type.node_dz[last];
                }
                // What the aquifer gained or lost inside the column since the
                // last step is the column's.
                const double held = aquifer_water_in_column(
                    type, to_water, elevation[i] - gw.bottom[i], gw.porosity[i]);
                const double handed = hand_water_table_change_to_column(
                    rc, type, &rc.head[at], &rc.theta[at], held - rc.aquifer_share[i], to_water,
                    gw.porosity[i]);
                rc.aquifer_share[i] += handed;
                rc.step_from_water_table[i] = handed;
                // Water drawn up from the aquifer comes from below the
                // column, and a fixed head never runs out of it.
                if (gw.cell[i] != AquiferCell::fixed_head)
                    input.upward_limit =
                        std::max(gw.stored_water[i] - rc.aquifer_share[i] + gw.river_exchange[i] +
                                     (with_recharge ? soil.recharge[i] : 0.0),
                                 0.0);
            }
            const ColumnStepResult r = advance_column(
                rc, type, &rc.head[at], &rc.theta[at], rc.substep[i], rc.top[i], rc.slow[i],
                rc.trends[i], &rc.trend[2 * at], &rc.relations[at], input, scratch);
            if (r.failed) {
                rc.failed[i] = 1;
                rc.failed_node[i] = r.failed_node;
                rc.failed_time[i] = r.failed_time;
            }
            depth[i] = r.surface_left;
            infiltrated[i] = r.infiltrated;
            soil.infiltrated_depth[i] += r.infiltrated;
            soil.cumulative_depth[i] += r.infiltrated;
            soil.event_depth[i] += r.infiltrated;
            soil.infiltration_rate[i] = r.infiltrated / dt * kMetresPerSecondToCmPerHour;
            soil.surface_moisture[i] = rc.theta[at];
            drained[i] = r.drained;
            uptake[i] = r.uptake;
            if (with_et)
                soil.actual_et[i] = (rc.step_canopy_et[i] + rc.step_ponded_et[i] + r.uptake) / dt;
            if (root_zone_reported)
                rc.root_zone_water[i] = root_zone_water_depth(type, &rc.theta[at]);
            rc.step_substeps[i] = r.substeps;
            rc.step_iterations[i] = r.iterations;
            rc.step_unsettled[i] = r.unsettled;
            rc.step_slow_substeps[i] = r.slow_substeps;
        }
    }

    // Totals in cell order.
    const double area = model.grid.cell_size * model.grid.cell_size;
    double infiltrated_sum = 0.0, drained_sum = 0.0, uptake_sum = 0.0, canopy_sum = 0.0,
           ponded_sum = 0.0, handed_sum = 0.0;
    for (int i = 1; i <= n; ++i) {
        if (rc.failed[i]) {
            const double minutes = model.clock.elapsed_minutes + rc.failed_time[i] / 60.0;
            if (rc.failed_node[i] > 0)
                ctx.print_and_log(
                    "Error: the Richards column of grid cell %d reached a head or water content "
                    "that is not a number at node %d, %.4lf minutes into the run\n",
                    i, rc.failed_node[i], minutes);
            else
                ctx.print_and_log(
                    "Error: the Richards column of grid cell %d would dry below its residual "
                    "water content even in sub-steps of 0.001 s, %.4lf minutes into the run\n",
                    i, minutes);
            ctx.error.raise(err::message_printed);
            return;
        }
        infiltrated_sum += infiltrated[i];
        drained_sum += drained[i];
        uptake_sum += uptake[i];
        canopy_sum += rc.step_canopy_et[i];
        ponded_sum += rc.step_ponded_et[i];
        handed_sum += rc.step_from_water_table[i];
        if (with_recharge)
            soil.recharge[i] += drained[i];
        rc.substeps += rc.step_substeps[i];
        rc.iterations += rc.step_iterations[i];
        rc.unsettled_substeps += rc.step_unsettled[i];
        rc.slow_substeps += rc.step_slow_substeps[i];
        ++rc.column_steps;
    }
    rc.from_water_table += handed_sum * area;
    for (VolumeTotals* v : {&model.totals.run, &model.totals.event}) {
        v->infiltration += infiltrated_sum * area;
        v->unsaturated_downward_flux += drained_sum * area;
        v->evaporation += (uptake_sum + ponded_sum) * area;
        v->direct_evaporation += ponded_sum * area;
        v->interception_evaporation += canopy_sum * area;
    }
    // The hourly report of a long-term run.
    soil.period_infiltration += infiltrated_sum * area;
    soil.period_actual_et += (canopy_sum + ponded_sum + uptake_sum) * area;
    soil.period_percolation += drained_sum * area;
    if (with_et)
        soil.period_seconds += dt;
}

}  // namespace torva

namespace torva {

void report_richards_columns(const Model& model, RunContext& ctx) {
    const RichardsColumns& rc = model.soil.richards;
    if (model.project.infiltration != InfiltrationMethod::richards || !rc.active())
        return;
    const double per_step =
        rc.column_steps > 0 ? static_cast<double>(rc.substeps) / rc.column_steps : 0.0;
    const double per_substep =
        rc.substeps > 0 ? static_cast<double>(rc.iterations) / rc.substeps : 0.0;
    ctx.log(
        "Richards columns: %lld column steps, %lld sub-steps (%.2lf a column step, %lld of them "
        "of slow soil), %.2lf Picard iterations a sub-step, %lld sub-steps unsettled at "
        "RICHARDS_ITER_MAX\n",
        rc.column_steps, rc.substeps, per_step, rc.slow_substeps, per_substep,
        rc.unsettled_substeps);
    if (rc.unsettled_substeps == 0)
        return;
    const char* format =
        "Warning: in %lld of %lld Richards sub-steps a head still changed by more than 0.1 "
        "percent\nwhen RICHARDS_ITER_MAX (%d) iterations were done. The water is kept, but "
        "the heads\nmay be off; a larger RICHARDS_ITER_MAX may avoid it.\n";
    if (!model.run.super_quiet)
        ctx.print(format, rc.unsettled_substeps, rc.substeps, rc.iter_max);
    ctx.log(format, rc.unsettled_substeps, rc.substeps, rc.iter_max);
}

}  // namespace torva
