// The groundwater phase: when its step is due it gathers the sources of the
// aquifer (the soil's recharge account, static fluxes, wells, leakage),
// advances the water table, and counts every volume it moved.

#include "groundwater/groundwater.hpp"

#include <algorithm>
#include <cmath>

#include "core/clock.hpp"
#include "core/context.hpp"
#include "core/model_state.hpp"
#include "input/series.hpp"

namespace torva {
namespace {

constexpr double kSecondsPerDay = 86400.0;

bool simulated_head(AquiferCell c) {
    return c == AquiferCell::active || c == AquiferCell::static_flux;
}

// Volumes of one step, m3, before they join the run totals.
struct StepVolumes {
    double recharge = 0.0;
    double static_flux = 0.0;
    double pumping = 0.0;
    double leakage = 0.0;
    double lost_to_fixed_heads = 0.0;
};

// The source term of every cell for a step of dt seconds, m/s. The soil's
// recharge account is taken whole; wells and leakage take no more than the
// cell's aquifer holds above its bottom.
StepVolumes gather_sources(Model& model, RunContext& ctx, double dt) {
    Groundwater& gw = model.groundwater;
    Soil& soil = model.soil;
    const int n = model.grid.num_cells;
    const double area = model.grid.cell_size * model.grid.cell_size;
    StepVolumes v;
    std::vector<double>& source = gw.source;
    for (int i = 1; i <= n; ++i) {
        source[i] = 0.0;
        const AquiferCell c = gw.cell[i];
        if (c == AquiferCell::outside)
            continue;  // the soil keeps what it passed down where no aquifer lies
        const double recharge = soil.recharge[i];
        soil.recharge[i] = 0.0;
        v.recharge += recharge * area;
        if (c == AquiferCell::fixed_head) {
            // The fixed head carries it away at once.
            v.lost_to_fixed_heads += recharge * area;
            continue;
        }
        source[i] = recharge / dt + gw.static_flux[i] + gw.river_exchange[i] / dt;
        gw.river_exchange[i] = 0.0;
        v.static_flux += gw.static_flux[i] * dt * area;
    }
    // Withdrawals are bounded by the water above the bottom of the cell.
    const auto available = [&](int i) {
        return std::max(gw.porosity[i] * (gw.head[i] - gw.bottom[i]), 0.0) / dt + source[i];
    };
    if (gw.leakage_rate > 0.0) {
        for (int i = 1; i <= n; ++i) {
            if (!simulated_head(gw.cell[i]))
                continue;
            const double leak = std::clamp(gw.leakage_rate, 0.0, std::max(available(i), 0.0));
            source[i] -= leak;
            v.leakage += leak * dt * area;
        }
    }
    const double now = model.clock.current_time;
    for (Well& w : gw.wells) {
        double rate = w.rate;  // m3/day
        if (w.series >= 0 && static_cast<std::size_t>(w.series) < ctx.series.time_series.size())
            rate = time_series_value(ctx, &ctx.series.time_series[w.series], now, w.series_hint);
        double q = rate / kSecondsPerDay / area;  // m/s into the aquifer
        if (q < 0.0)
            q = -std::min(-q, std::max(available(w.cell), 0.0));
        source[w.cell] += q;
        v.pumping -= q * dt * area;
    }
    return v;
}

void add_to_totals(Model& model, const StepVolumes& v, double head_boundary) {
    Groundwater& gw = model.groundwater;
    gw.volumes.recharge += v.recharge;
    gw.volumes.static_flux += v.static_flux;
    gw.volumes.pumping += v.pumping;
    gw.volumes.leakage += v.leakage;
    gw.volumes.head_boundary -= v.lost_to_fixed_heads;
    const double boundary = head_boundary - v.lost_to_fixed_heads + v.static_flux;
    for (VolumeTotals* t : {&model.totals.run, &model.totals.event}) {
        t->groundwater_recharge += v.recharge;
        t->groundwater_pumping += v.pumping;
        t->deep_leakage += v.leakage;
        t->groundwater_boundary_flux += boundary;
    }
}

}  // namespace

void mark_water_table_at_surface(Model& model) {
    const Groundwater& gw = model.groundwater;
    Soil& soil = model.soil;
    const int n = model.grid.num_cells;
    bool any = false;
    for (int i = 1; i <= n; ++i) {
        const bool at_surface =
            gw.cell[i] != AquiferCell::outside && gw.head[i] >= model.grid.elevation[i];
        soil.water_table_at_surface[i] = at_surface ? 1 : 0;
        any = any || at_surface;
    }
    soil.water_table_reaches_surface = any;
}

void groundwater_phase(Model& model, RunContext& ctx) {
    Groundwater& gw = model.groundwater;
    if (!gw.simulated || !gw.prepared)
        return;
    const double now = model.clock.current_time;
    if (!time_reached(now, gw.next_time) && now < gw.next_time)
        return;
    const double dt = (now - gw.previous_time) * kSecondsPerDay;
    if (!(dt > 0.0))
        return;
    const StepVolumes v = gather_sources(model, ctx, dt);
    const double boundary_before = gw.volumes.head_boundary;
    if (!advance_groundwater(model, ctx, dt))
        return;
    add_to_totals(model, v, gw.volumes.head_boundary - boundary_before);
    ++gw.volumes.steps;
    model.soil.water_table = gw.head;
    mark_water_table_at_surface(model);
    gw.previous_time = now;
    gw.next_time = now + gw.time_step / kSecondsPerDay;
}

}  // namespace torva
