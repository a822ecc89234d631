// The root-zone store of long-term runs: fed by infiltration, emptied by
// actual evapotranspiration and by percolation out of its bottom, which goes
// to the recharge account.
//
// Evapotranspiration meets the potential demand first from the water held on
// the canopy, then from water ponded on the ground, and only then from the
// soil, which gives the remaining demand times a stress factor that falls
// linearly from 1 at field capacity to 0 at the wilting point. Percolation is
// the Brooks-Corey unsaturated conductivity of the store's water content,
// integrated exactly over the step so that a long step cannot overdraw the
// store. Neither takes the store below the wilting point.

#include <algorithm>
#include <cmath>

#include "core/arrays.hpp"
#include "core/clock.hpp"
#include "core/context.hpp"
#include "core/model_state.hpp"
#include "core/parallel.hpp"
#include "soil/infiltration.hpp"

namespace torva {
namespace {

constexpr double kSecondsPerDay = 86400.0;
// Suction at field capacity, m of water (a third of a bar).
constexpr double kFieldCapacitySuction = 3.37;
// Field capacity stays this far above the wilting point.
constexpr double kMinimumAvailableWater = 0.01;

// What a layer of `depth` m holding `water` m gives to a demand of `demand`
// m: the demand times the stress factor of its water content, falling
// linearly from 1 at field capacity to 0 at the wilting point, and never
// more than the water above the wilting point.
double from_stressed_layer(double demand, double water, double depth, double wilting,
                           double field_capacity) {
    const double theta = water / depth;
    const double stress = std::clamp((theta - wilting) / (field_capacity - wilting), 0.0, 1.0);
    return std::clamp(demand * stress, 0.0, std::max(water - wilting * depth, 0.0));
}

}  // namespace

double field_capacity(double porosity, double residual, double pore_index, double capillary_head,
                      double wilting_point) {
    // The bubbling pressure from the wetting front head (Brakensiek's relation
    // between the two for Brooks-Corey soils).
    const double bubbling = capillary_head * (1.0 + 3.0 * pore_index) / (2.0 + 3.0 * pore_index);
    double fc = porosity;
    if (bubbling > 0.0 && bubbling < kFieldCapacitySuction && pore_index > 0.0)
        fc = residual +
             (porosity - residual) * std::pow(bubbling / kFieldCapacitySuction, pore_index);
    return std::clamp(fc, std::min(wilting_point + kMinimumAvailableWater, porosity), porosity);
}

StoreDrainage store_drainage(double conductivity, double porosity, double residual,
                             double pore_index, double floor_content) {
    StoreDrainage d;
    d.residual = residual;
    d.range = porosity - residual;
    d.drains = d.range > 0.0 && pore_index > 0.0 && conductivity > 0.0;
    if (!d.drains)
        return d;
    const double c = 3.0 + 2.0 / pore_index;
    d.exponent = 1.0 - c;
    d.inverse_exponent = 1.0 / (1.0 - c);
    d.rate = (c - 1.0) * conductivity;
    d.floor_saturation = std::clamp((floor_content - residual) / d.range, 0.0, 1.0);
    return d;
}

double percolate(double store, double thickness, const StoreDrainage& d, double dt) {
    if (!d.drains || dt <= 0.0)
        return 0.0;
    const double se0 = std::clamp((store / thickness - d.residual) / d.range, 0.0, 1.0);
    if (se0 <= d.floor_saturation)
        return 0.0;
    // dSe/dt = -Ks Se^c / (D (theta_s - theta_r)), integrated over dt.
    const double se1 = std::pow(std::pow(se0, d.exponent) + d.rate * dt / (thickness * d.range),
                                d.inverse_exponent);
    return (se0 - std::max(se1, d.floor_saturation)) * d.range * thickness;
}

double percolate(double store, double thickness, double conductivity, double porosity,
                 double residual, double pore_index, double floor_content, double dt) {
    return percolate(store, thickness,
                     store_drainage(conductivity, porosity, residual, pore_index, floor_content),
                     dt);
}

bool store_soaks_standing_water(const Model& model) {
    const Soil& soil = model.soil;
    const std::size_t size = static_cast<std::size_t>(model.grid.num_cells) + 1;
    return model.run.long_term && !model.sacramento.on && soil.stored_water.size() == size &&
           soil.drainage.size() == size && soil.potential_et.size() == size;
}

bool prepare_soil_store(Model& model, RunContext& ctx) {
    Soil& soil = model.soil;
    const int n = model.grid.num_cells;
    const std::size_t size = static_cast<std::size_t>(n) + 1;
    if (!allocate(ctx, soil.potential_et, size, "potential_et") ||
        !allocate(ctx, soil.actual_et, size, "actual_et") ||
        !allocate(ctx, soil.recharge, size, "recharge") ||
        !allocate(ctx, soil.field_capacity, size, "field_capacity") ||
        !allocate(ctx, soil.infiltration_taken, size, "infiltration_taken"))
        return false;
    soil.drainage.clear();
    if (soil.stored_water.size() != size || soil.wilting_point.size() != size ||
        soil.pore_index.size() != size)
        return true;  // no store: the infiltration method keeps none
    if (soil.moisture_layer_depth <= 0.0) {
        ctx.print_and_log(
            "Error: the soil moisture depth (SOIL_MOIST_DEPTH) of a long-term run must be greater "
            "than 0; it is %g m\n",
            soil.moisture_layer_depth);
        ctx.error.raise(err::message_printed);
        return false;
    }
    for (int i = 1; i <= n; ++i) {
        const double wp = soil.wilting_point[i];
        if (!(wp >= 0.0 && wp < soil.porosity[i])) {
            ctx.print_and_log(
                "Error: the wilting point %g of grid cell %d must lie from 0 up to its porosity "
                "%g\n",
                wp, i, soil.porosity[i]);
            ctx.error.raise(err::message_printed);
            return false;
        }
        soil.field_capacity[i] = field_capacity(soil.porosity[i], soil.residual_saturation[i],
                                                soil.pore_index[i], soil.capillary_head[i], wp);
    }
    soil.drainage.assign(size, StoreDrainage{});
    for (int i = 1; i <= n; ++i)
        soil.drainage[i] =
            store_drainage(soil.conductivity[i], soil.porosity[i], soil.residual_saturation[i],
                           soil.pore_index[i], soil.wilting_point[i]);
    soil.store_time = model.clock.start_time;
    return true;
}

void soil_moisture_accounting_phase(Model& model, RunContext& ctx) {
    (void)ctx;
    // The Sacramento accounting, when selected, takes the infiltrated water
    // and meets the evapotranspiration demand instead of the store.
    if (!model.run.long_term || model.sacramento.on)
        return;
    Soil& soil = model.soil;
    const int n = model.grid.num_cells;
    const std::size_t size = static_cast<std::size_t>(n) + 1;
    if (soil.stored_water.size() != size || soil.potential_et.size() != size ||
        soil.drainage.size() != size)
        return;
    const double now = model.clock.current_time;
    double dt = (now - soil.store_time) * kSecondsPerDay;
    if (std::fabs(dt - model.run.time_step) < 0.01)
        dt = model.run.time_step;
    if (dt <= 0.0)
        return;
    soil.store_time = now;

    const double thickness = soil.moisture_layer_depth;
    const double* pet = soil.potential_et.data();
    double* cumulative =
        soil.cumulative_depth.size() == size ? soil.cumulative_depth.data() : nullptr;
    double* taken = soil.infiltration_taken.data();
    double* store = soil.stored_water.data();
    double* aet = soil.actual_et.data();
    double* recharge = soil.recharge.data();
    double* ponded = model.overland.depth.data();
    SurfaceParameters& surface = model.surface;
    double* canopy =
        surface.intercepted_depth.size() == size ? surface.intercepted_depth.data() : nullptr;
    const unsigned char* lake = soil.lake_cell.size() == size ? soil.lake_cell.data() : nullptr;
    // While the infiltration method sleeps the store takes in standing water
    // itself, except on frozen ground.
    const bool soaks = soil.store_soaks;
    const double* frozen =
        soil.frozen_ground_index.size() == size ? soil.frozen_ground_index.data() : nullptr;
    const double* factor =
        soil.conductivity_factor.size() == size ? soil.conductivity_factor.data() : nullptr;

    // With a top layer, `top` holds its water and the layer below the rest of the store.
    double* top = soil.top_water.size() == size ? soil.top_water.data() : nullptr;
    const double top_depth = top ? soil.top_layer_depth : 0.0;
    const double lower_depth = thickness - top_depth;

    // The six sums, m over cells: infiltration, evaporation from the canopy,
    // from ponded water and from the soil, percolation, and the standing
    // water the store soaked up itself (part of the infiltration).
    const CellSums<6> sums =
        ordered_cell_sums<CellSums<6>>(1, n, n >= kMinParallelCells, [&](int i, CellSums<6>& s) {
            double& infiltrated_sum = s[0];
            double& canopy_sum = s[1];
            double& ponded_sum = s[2];
            double& soil_sum = s[3];
            double& percolation_sum = s[4];
            double& soaked_sum = s[5];
            const double porosity = soil.porosity[i];
            const double wp = soil.wilting_point[i];
            const double fc = soil.field_capacity[i];
            // Infiltration since the last step joins the store (its top layer first).
            if (cumulative) {
                const double entered = cumulative[i] - taken[i];
                taken[i] = cumulative[i];
                store[i] += entered;
                if (top)
                    top[i] += entered;
                infiltrated_sum += entered;
            }
            // What a full top layer cannot hold moves on to the layer below;
            // water beyond saturation cannot stay in the root zone.
            if (top)
                top[i] = std::min(top[i], porosity * top_depth);
            double percolation = 0.0;
            if (store[i] > porosity * thickness) {
                percolation = store[i] - porosity * thickness;
                store[i] = porosity * thickness;
            }
            if (lake && lake[i]) {
                // The lake's water stands on a flooded cell's soil and its
                // bed closes it: the store keeps its water, neither giving
                // it to the air nor draining, until the lake gives the cell
                // back (a lake of the network loses through its bed as its
                // own seepage).
                aet[i] = 0.0;
                recharge[i] += percolation;
                percolation_sum += percolation;
                return;
            }
            double demand = pet[i] * dt;
            double from_canopy = 0.0;
            if (canopy) {
                from_canopy = std::min(demand, canopy[i] / 1000.0);
                canopy[i] -= from_canopy * 1000.0;
                demand -= from_canopy;
            }
            double from_ponded = std::min(demand, std::max(ponded[i], 0.0));
            double soaked = 0.0;
            if (soaks && ponded[i] > 0.0 && !(frozen && frozen[i] > kFrozenGroundIndex)) {
                // Standing water soaks in at the saturated conductivity
                // as far as the store has room, and evaporates at the
                // potential rate; when it cannot meet both over the
                // interval, the two share it in proportion to their rates.
                const double room = std::max(porosity * thickness - store[i], 0.0);
                const double ks = factor ? soil.conductivity[i] * factor[i] : soil.conductivity[i];
                soaked = std::min(std::max(ks, 0.0) * dt, room);
                if (soaked + demand > ponded[i]) {
                    const double share = ponded[i] / (soaked + demand);
                    from_ponded = std::min(demand * share, ponded[i]);
                    soaked = ponded[i] - from_ponded;
                }
            }
            ponded[i] -= from_ponded;
            demand -= from_ponded;
            if (soaked > 0.0) {
                ponded[i] = std::max(ponded[i] - soaked, 0.0);
                store[i] += soaked;
                if (top)
                    top[i] = std::min(top[i] + soaked, porosity * top_depth);
                if (cumulative) {
                    cumulative[i] += soaked;
                    taken[i] = cumulative[i];
                }
                infiltrated_sum += soaked;
                soaked_sum += soaked;
            }
            double from_soil = 0.0;
            if (top) {
                // The top layer gives first; roots below meet what it cannot.
                const double from_top = from_stressed_layer(demand, top[i], top_depth, wp, fc);
                top[i] -= from_top;
                store[i] -= from_top;
                const double from_lower =
                    from_stressed_layer(demand - from_top, store[i] - top[i], lower_depth, wp, fc);
                store[i] -= from_lower;
                from_soil = from_top + from_lower;
            } else {
                from_soil = from_stressed_layer(demand, store[i], thickness, wp, fc);
                store[i] -= from_soil;
            }
            aet[i] = (from_canopy + from_ponded + from_soil) / dt;
            canopy_sum += from_canopy;
            ponded_sum += from_ponded;
            soil_sum += from_soil;
            const StoreDrainage& drainage = soil.drainage[i];
            if (top) {
                // The top layer drains into the one below as far as that has room.
                const double room = std::max(porosity * lower_depth - (store[i] - top[i]), 0.0);
                top[i] -= std::min(percolate(top[i], top_depth, drainage, dt), room);
                const double drained = percolate(store[i] - top[i], lower_depth, drainage, dt);
                store[i] -= drained;
                percolation += drained;
            } else {
                const double drained = percolate(store[i], thickness, drainage, dt);
                store[i] -= drained;
                percolation += drained;
            }
            recharge[i] += percolation;
            percolation_sum += percolation;
        });
    const double infiltrated_sum = sums[0], canopy_sum = sums[1], ponded_sum = sums[2],
                 soil_sum = sums[3], percolation_sum = sums[4], soaked_sum = sums[5];
    const double area = model.grid.cell_size * model.grid.cell_size;
    for (VolumeTotals* v : {&model.totals.run, &model.totals.event}) {
        v->evaporation += (ponded_sum + soil_sum) * area;
        v->direct_evaporation += ponded_sum * area;
        v->interception_evaporation += canopy_sum * area;
        v->unsaturated_downward_flux += percolation_sum * area;
        v->infiltration += soaked_sum * area;
    }
    soil.period_infiltration += infiltrated_sum * area;
    soil.period_actual_et += (canopy_sum + ponded_sum + soil_sum) * area;
    soil.period_percolation += percolation_sum * area;
    soil.period_seconds += dt;
}

}  // namespace torva
