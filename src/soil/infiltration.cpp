// The infiltration phase: its timing, the choice of method, and the accounting
// of what entered the soil; the event start and end of infiltration.

#include "soil/infiltration.hpp"

#include <omp.h>

#include <algorithm>
#include <cmath>

#include "core/arrays.hpp"
#include "core/clock.hpp"
#include "core/context.hpp"
#include "core/model_state.hpp"
#include "soil/richards.hpp"

namespace torva {
namespace {

constexpr double kSecondsPerDay = 86400.0;
// A soil moisture layer thinner than this holds its water over this depth.
constexpr double kMinimumMoistureLayer = 0.01;  // m

bool redistribution(const Model& model) {
    return model.project.infiltration == InfiltrationMethod::redistribution;
}

// Seconds since the previous infiltration step; the nominal interval when the
// clock difference is that interval up to the round-off of Julian dates.
double step_length(const Soil& soil, double now) {
    const double dt = (now - soil.previous_time) * kSecondsPerDay;
    if (std::fabs(dt - soil.interval) < 0.01)
        return soil.interval;
    return dt;
}

// theta_i of a long-term event from the soil moisture store, kept inside
// [theta_r, theta_s] so that the Brooks-Corey relations stay meaningful. The
// wetting front starts at the surface: with a top layer it meets that
// layer's water content.
void initial_moisture_from_store(Model& model, RunContext& ctx) {
    Soil& soil = model.soil;
    const int n = model.grid.num_cells;
    const bool top_layer = soil.top_water.size() == static_cast<std::size_t>(n) + 1;
    const double thickness = top_layer ? soil.top_layer_depth : soil.moisture_layer_depth;
    const std::vector<double>& water = top_layer ? soil.top_water : soil.stored_water;
    for (int i = 1; i <= n; ++i) {
        const double theta_s = soil.porosity[i];
        const double theta_r = soil.residual_saturation[i];
        double& theta_i = soil.moisture[i];
        if (thickness > 1e-16)
            theta_i = water[i] / std::max(thickness, kMinimumMoistureLayer);
        else
            theta_i = theta_s;
        if (!std::isfinite(theta_i) || !std::isfinite(theta_s)) {
            ctx.print("bad initial value of soil moisture cell %d\n", i);
            theta_i = theta_s;
            continue;
        }
        if (theta_r > theta_i) {
            ctx.print("cell: %d  thi: %lf  thr: %lf   phi: %lf\n", i, theta_i, theta_r, theta_s);
            theta_i = theta_r + 0.01;
            ctx.print(
                "Problem initializing inf_redist in main loop, thi<thr at grid cell %d, increasing "
                "it to %lf\n",
                i, theta_i);
        } else if (theta_i > theta_s) {
            ctx.print("cell: %d  thi: %lf  thr: %lf   phi: %lf\n", i, theta_i, theta_r, theta_s);
            theta_i = theta_s - 0.01;
            ctx.print(
                "Problem initializing inf_redist in main loop, thi>phi at grid cell %d, decreasing "
                "it to %lf\n",
                i, theta_i);
        }
    }
}

// The method's per-cell parameters must cover every cell before a step.
bool parameters_ready(const Model& model, RunContext& ctx) {
    const Soil& soil = model.soil;
    const std::size_t size = static_cast<std::size_t>(model.grid.num_cells) + 1;
    bool ready = model.overland.depth.size() >= size;
    switch (model.project.infiltration) {
        case InfiltrationMethod::redistribution:
            ready =
                ready && soil.pore_index.size() >= size && soil.residual_saturation.size() >= size;
            [[fallthrough]];
        case InfiltrationMethod::green_ampt:
            ready = ready && soil.conductivity.size() >= size &&
                    soil.capillary_head.size() >= size && soil.porosity.size() >= size &&
                    soil.moisture.size() >= size;
            break;
        case InfiltrationMethod::layered_soil:
            ready = ready && soil.soil_index.size() >= size;
            break;
        case InfiltrationMethod::richards:
            ready = ready && soil.richards.active() && soil.richards.soil_type.size() >= size &&
                    soil.surface_moisture.size() >= size;
            break;
        default:
            break;
    }
    if (!ready) {
        ctx.print_and_log("Error: the soil parameters of the infiltration method are not set up\n");
        ctx.error.raise(err::message_printed);
    }
    return ready;
}

// Water the soil moisture layer of a cell can take up above its initial
// content, m: the moisture deficit over the soil moisture depth.
double moisture_capacity(const Model& model, int i, double depth) {
    const Soil& soil = model.soil;
    switch (model.project.infiltration) {
        case InfiltrationMethod::green_ampt:
            return soil.moisture[i] * depth;  // plain Green and Ampt keeps the deficit
        case InfiltrationMethod::redistribution:
            return std::max(soil.porosity[i] - soil.moisture[i], 0.0) * depth;
        case InfiltrationMethod::layered_soil: {
            const int type = soil.soil_index[i];
            const SoilLayer& top = soil.layer_table[type].layers[0];
            return std::max(top.porosity - top.initial_moisture, 0.0) * depth;
        }
        default:
            return 0.0;
    }
}

// Where no long-term store runs, the infiltrated water that the soil moisture
// layer cannot hold has left the bottom of the soil: it joins the recharge
// account, from which the groundwater takes it.
void percolate_to_recharge(Model& model) {
    Soil& soil = model.soil;
    const int n = model.grid.num_cells;
    const double depth = model.project.real(Card::SOIL_MOIST_DEPTH);
    double sum = 0.0;
    for (int i = 1; i <= n; ++i) {
        const double below = std::max(soil.cumulative_depth[i] - moisture_capacity(model, i, depth),
                                      soil.percolated_depth[i]);
        const double passed = below - soil.percolated_depth[i];
        if (passed <= 0.0)
            continue;
        soil.percolated_depth[i] = below;
        soil.recharge[i] += passed;
        sum += passed;
    }
    const double volume = sum * model.grid.cell_size * model.grid.cell_size;
    model.totals.run.unsaturated_downward_flux += volume;
    model.totals.event.unsaturated_downward_flux += volume;
}

// Cells whose water table stands at the surface trade water with it: the
// aquifer seeps out through the saturated soil where its head stands above
// the surface water, at Ks over the soil moisture depth times the head
// difference (no more than the soil's pores hold above the surface); else the
// surface water drains into it at Ks. Both go through the recharge account.
void exchange_with_water_table(Model& model, double dt) {
    Soil& soil = model.soil;
    const int n = model.grid.num_cells;
    const double depth = model.project.real(Card::SOIL_MOIST_DEPTH);
    const double area = model.grid.cell_size * model.grid.cell_size;
    double seep_out = 0.0;
    double seep_in = 0.0;
    for (int i = 1; i <= n; ++i) {
        if (soil.water_table_at_surface[i] != 1)
            continue;
        double& h = model.overland.depth[i];
        const double surface_water = model.grid.elevation[i] + h;
        const double excess = soil.water_table[i] - surface_water;
        if (excess > 0.0) {
            // What seeped out since the last groundwater step has not lowered
            // the head yet; it counts against the water above the surface.
            const double held = soil.porosity[i] * excess + std::min(soil.recharge[i], 0.0);
            const double out =
                std::clamp(excess * soil.conductivity[i] / depth * dt, 0.0, std::max(held, 0.0));
            h += out;
            soil.recharge[i] -= out;
            seep_out += out;
        } else {
            const double in = std::min(soil.conductivity[i] * dt, h);
            h -= in;
            soil.recharge[i] += in;
            seep_in += in;
        }
    }
    for (VolumeTotals* t : {&model.totals.run, &model.totals.event}) {
        t->exfiltration += seep_out * area;
        t->infiltration += seep_in * area;
        t->unsaturated_downward_flux += seep_in * area;
    }
}

}  // namespace

double surface_water_content(const Model& model, int cell) {
    const Soil& soil = model.soil;
    const auto at = [cell](const std::vector<double>& v) {
        return cell > 0 && static_cast<std::size_t>(cell) < v.size() ? v[cell] : 0.0;
    };
    switch (model.project.infiltration) {
        case InfiltrationMethod::redistribution:
            return at(soil.surface_moisture);
        case InfiltrationMethod::green_ampt:
            // Plain Green and Ampt keeps the moisture deficit in place of the
            // initial moisture.
            return at(soil.infiltrated_depth) > 0.0 ? at(soil.porosity)
                                                    : at(soil.porosity) - at(soil.moisture);
        default:
            return at(soil.surface_moisture);
    }
}

bool allocate_infiltration_state(Model& model, RunContext& ctx) {
    Soil& soil = model.soil;
    const std::size_t size = static_cast<std::size_t>(model.grid.num_cells) + 1;
    if (!allocate(ctx, soil.infiltrated_depth, size, "inf_depth"))
        return false;
    if (!allocate(ctx, soil.infiltration_rate, size, "inf_rate"))
        return false;
    if (!allocate(ctx, soil.cumulative_depth, size, "cum_inf_depth"))
        return false;
    if (!allocate(ctx, soil.event_depth, size, "event_inf_depth"))
        return false;
    switch (model.project.infiltration) {
        case InfiltrationMethod::redistribution:
            if (!allocate(ctx, soil.front_moisture, size, "theta_0"))
                return false;
            if (!allocate(ctx, soil.surface_moisture, size, "surf_moist"))
                return false;
            if (!allocate(ctx, soil.first_front_depth, size, "first_front_depth"))
                return false;
            if (!allocate(ctx, soil.front_phase, size, "front_phase"))
                return false;
            if (!allocate(ctx, soil.wet_marker, size, "wet_marker"))
                return false;
            if (!allocate(ctx, soil.first_ponding_marker, size, "first_ponding"))
                return false;
            if (!allocate(ctx, soil.no_front_marker, size, "no_front_marker"))
                return false;
            break;
        case InfiltrationMethod::layered_soil:
            if (!allocate(ctx, soil.front_depth, size, "front_depth"))
                return false;
            break;
        case InfiltrationMethod::richards:
            if (!allocate(ctx, soil.surface_moisture, size, "surf_moist"))
                return false;
            for (int i = 1; i < static_cast<int>(size); ++i)
                if (soil.richards.active() && i < static_cast<int>(soil.richards.soil_type.size()))
                    soil.surface_moisture[i] =
                        soil.richards.theta[static_cast<std::size_t>(i) * soil.richards.stride];
            break;
        default:
            break;
    }
    return true;
}

void start_infiltration_event(Model& model, RunContext& ctx) {
    Soil& soil = model.soil;
    const double now = model.clock.current_time;
    soil.interval = model.run.time_step;
    soil.step = 1;
    soil.event_set_up = true;
    soil.store_soaks = false;
    // A step already scheduled after the start (the long-term jump) stands.
    if (soil.next_time < now - kTimeTolerance)
        soil.next_time = now;
    soil.previous_time = soil.next_time - soil.interval / kSecondsPerDay;
    std::fill(soil.event_depth.begin(), soil.event_depth.end(), 0.0);
    if (!redistribution(model))
        return;

    // The store has taken every step's infiltration: its water content is
    // where the new event starts from.
    if (model.run.long_term && !soil.stored_water.empty())
        initial_moisture_from_store(model, ctx);
    std::fill(soil.front_phase.begin(), soil.front_phase.end(), 0);
    std::fill(soil.wet_marker.begin(), soil.wet_marker.end(), 0);
    std::fill(soil.first_ponding_marker.begin(), soil.first_ponding_marker.end(), 0);
    std::fill(soil.no_front_marker.begin(), soil.no_front_marker.end(), 0);
    std::fill(soil.first_front_depth.begin(), soil.first_front_depth.end(), 0.0);
    std::fill(soil.infiltrated_depth.begin(), soil.infiltrated_depth.end(), 0.0);
}

void end_infiltration_event(Model& model, RunContext& ctx) {
    (void)ctx;
    // The store already holds the event's water; the fronts keep
    // redistributing until the next event starts from the store.
    model.soil.step = std::max(model.soil.step, 1);
}

bool skip_infiltration_to_next_event(Model& model, double next_event_start) {
    Soil& soil = model.soil;
    if (!redistribution(model) || soil.water_table_reaches_surface)
        return false;
    const int n = model.grid.num_cells;
    const double* depth = model.overland.depth.data();
    bool surface_water = false;
#pragma omp parallel for schedule(static) if (n > kSerialCells) reduction(|| : surface_water)
    for (int i = 1; i <= n; ++i) surface_water = surface_water || depth[i] > 0.0;
    // Water still standing on the ground soaks into the store while the
    // method sleeps; without a store of its own it cannot sleep.
    if (surface_water && !store_soaks_standing_water(model))
        return false;
    soil.next_time = next_event_start + model.run.time_step_days;
    soil.step = 0;
    soil.store_soaks = true;
    return true;
}

void infiltration_phase(Model& model, RunContext& ctx) {
    const InfiltrationMethod method = model.project.infiltration;
    if (method == InfiltrationMethod::none)
        return;
    Soil& soil = model.soil;
    if (soil.infiltrated_depth.empty() && !allocate_infiltration_state(model, ctx))
        return;
    if (!parameters_ready(model, ctx))
        return;
    if (!soil.event_set_up)
        start_infiltration_event(model, ctx);
    const double now = model.clock.current_time;
    if (now < soil.next_time - kTimeTolerance)
        return;
    const double dt = step_length(soil, now);
    if (dt <= 0.0)
        return;

    switch (method) {
        case InfiltrationMethod::green_ampt:
            plain_green_ampt(model, dt);
            break;
        case InfiltrationMethod::redistribution:
            green_ampt_with_redistribution(model, dt);
            break;
        case InfiltrationMethod::layered_soil:
            layered_green_ampt(model, ctx, dt);
            if (ctx.error.pending())
                return;
            break;
        case InfiltrationMethod::richards:
            richards_infiltration(model, ctx, dt);
            if (ctx.error.pending())
                return;
            break;
        default:
            return;
    }
    // The Richards columns pass their bottom flux to the recharge account themselves.
    if (!soil.recharge.empty() && !model.run.long_term && method != InfiltrationMethod::richards) {
        percolate_to_recharge(model);
        if (soil.water_table_reaches_surface)
            exchange_with_water_table(model, dt);
    }
    soil.previous_time = now;
    soil.next_time = now + soil.interval / kSecondsPerDay;
    ++soil.step;
}

}  // namespace torva
