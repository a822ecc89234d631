// Storages and the balances of the run and of each event.

#include <cstddef>

#include "core/model_state.hpp"
#include "output/summary.hpp"
#include "soil/richards.hpp"
#include "soil/sacramento.hpp"

namespace torva {
namespace {

// Water held on the grid: overland depth times cell area, leaving out the
// cells of lakes, whose water the lakes count.
double surface_storage(const Model& model) {
    const int n = model.grid.num_cells;
    const std::vector<double>& h = model.overland.depth;
    if (n <= 0 || h.size() != static_cast<std::size_t>(n) + 1)
        return 0.0;
    const std::vector<int>& channel_lake = model.overland.channel_lakes.lake_number;
    const std::vector<unsigned char>& lake_cell = model.soil.lake_cell;
    const bool skip_channel_lakes = channel_lake.size() == h.size();
    const bool skip_lake_cells = lake_cell.size() == h.size();
    // Summed in cell order on one thread: the storages are taken a few times a
    // run, and a fixed order gives the same figures whatever the thread count.
    double depth_sum = 0.0;
    for (int i = 1; i <= n; ++i) {
        if (skip_channel_lakes && channel_lake[i] > 0)
            continue;
        if (skip_lake_cells && lake_cell[i])
            continue;
        depth_sum += h[i];
    }
    const double area = model.grid.cell_size * model.grid.cell_size;
    return depth_sum * area;
}

// Soil water over the Green and Ampt soil depth, kept between events by the
// single-layer soil moisture option (water depth per cell, m).
double single_layer_soil_storage(const Model& model) {
    const int n = model.grid.num_cells;
    const std::vector<double>& stored = model.soil.stored_water;
    if (n <= 0 || stored.size() != static_cast<std::size_t>(n) + 1)
        return 0.0;
    double depth_sum = 0.0;
    for (int i = 1; i <= n; ++i) depth_sum += stored[i];
    return depth_sum * model.grid.cell_size * model.grid.cell_size;
}

// Water held by the Richards columns (water depth per cell, m).
double soil_column_storage(const Model& model) {
    const int n = model.grid.num_cells;
    const RichardsColumns& rc = model.soil.richards;
    if (n <= 0 || rc.soil_type.size() != static_cast<std::size_t>(n) + 1)
        return 0.0;
    return columns_water_depth(rc, n) * model.grid.cell_size * model.grid.cell_size;
}

// What the soil has passed down and the groundwater not yet taken.
double recharge_not_taken(const Model& model) {
    const int n = model.grid.num_cells;
    const std::vector<double>& recharge = model.soil.recharge;
    if (n <= 0 || recharge.size() != static_cast<std::size_t>(n) + 1)
        return 0.0;
    double depth_sum = 0.0;
    for (int i = 1; i <= n; ++i) depth_sum += recharge[i];
    return depth_sum * model.grid.cell_size * model.grid.cell_size;
}

// With groundwater, the soil holds what infiltrated and has not yet passed
// below the soil moisture depth, and the recharge account the groundwater
// has not yet taken.
double soil_above_water_table(const Model& model) {
    const int n = model.grid.num_cells;
    const Soil& soil = model.soil;
    const std::size_t size = static_cast<std::size_t>(n) + 1;
    if (n <= 0 || soil.recharge.size() != size || soil.percolated_depth.size() != size)
        return 0.0;
    const bool infiltrated = soil.cumulative_depth.size() == size;
    double depth_sum = 0.0;
    for (int i = 1; i <= n; ++i)
        depth_sum += (infiltrated ? soil.cumulative_depth[i] : 0.0) - soil.percolated_depth[i] +
                     soil.recharge[i];
    return depth_sum * model.grid.cell_size * model.grid.cell_size;
}

// Water the aquifer holds: what it held at the start plus every storage
// change of its sub-steps, so that the change of storage is the one the
// flow equation balanced.
double aquifer_storage(const Model& model) {
    const Groundwater& gw = model.groundwater;
    const int n = model.grid.num_cells;
    if (!gw.prepared || gw.stored_water.size() != static_cast<std::size_t>(n) + 1)
        return 0.0;
    // Water the stream beds exchanged since the aquifer's last step is the
    // aquifer's already.
    double depth_sum = 0.0;
    for (int i = 1; i <= n; ++i) depth_sum += gw.stored_water[i] + gw.river_exchange[i];
    // Columns standing on the water table hold the aquifer's water above
    // their bottoms among their own.
    const std::vector<double>& in_columns = model.soil.richards.aquifer_share;
    if (model.totals.options.soil_columns && in_columns.size() == gw.stored_water.size())
        for (int i = 1; i <= n; ++i) depth_sum -= in_columns[i];
    return depth_sum * model.grid.cell_size * model.grid.cell_size;
}

// Water in the channels: flow area times node spacing over the nodes that
// carry water of their own (lakes and structures keep none).
double channel_storage(const Model& model) {
    const Channel& ch = model.channel;
    if (!ch.read || ch.area.empty())
        return 0.0;
    double volume = 0.0;
    for (int link = 1; link <= ch.links; ++link) {
        const ChannelLink& l = ch.link[link];
        if (l.is(kLakeLink) || l.is(kStructureLink) || l.is(kTakenByLakeLink))
            continue;
        double area_sum = 0.0;
        for (int j = 1; j <= l.nodes; ++j) area_sum += ch.area(j, link);
        volume += area_sum * l.dx;
    }
    return volume;
}

// Water the overland lakes hold over their cells, with what the phases
// have moved into them since the last lake update.
double overland_lake_water(const Model& model) {
    const Lakes& lakes = model.lakes;
    double volume = 0.0;
    for (int k = 1; k <= lakes.count; ++k) volume += lakes.volume[k] + lakes.pending[k];
    return volume;
}

BalanceOptions decide_options(const Model& model) {
    const ProjectSettings& p = model.project;
    BalanceOptions o;
    o.channels = p.channel_routing == ChannelRouting::explicit_routing;
    o.groundwater = p.given(Card::GW_SIMULATION);
    o.soil_moisture_accounting = p.given(Card::SACRAMENTO);
    o.single_layer_soil = model.run.long_term &&
                          p.infiltration == InfiltrationMethod::redistribution &&
                          !o.soil_moisture_accounting;
    o.soil_columns = p.infiltration == InfiltrationMethod::richards;
    o.perennial_lakes = model.overland.channel_lakes.present();
    o.overland_lakes = p.given(Card::OVERLAND_LAKE_MAP);
    o.stream_groundwater_exchange = o.groundwater && o.channels;
    o.groundwater_feeds_rivers = o.stream_groundwater_exchange;
    o.lake_groundwater_exchange = o.groundwater && o.perennial_lakes;
    o.overland_boundaries = p.given(Card::OV_BOUNDARY);
    o.interception = model.surface.interception;
    return o;
}

// Water that left the grid surface across specified boundaries, less what
// they brought in.
double boundary_term(const VolumeTotals& v) {
    return v.slope_boundary_outflow + v.boundary_outflow - v.boundary_inflow;
}

}  // namespace

Storages measure_storages(const Model& model) {
    Storages s;
    s.surface = surface_storage(model);
    if (model.totals.options.single_layer_soil)
        s.soil = single_layer_soil_storage(model);
    if (model.totals.options.soil_columns)
        s.soil = soil_column_storage(model);
    if (model.totals.options.channels)
        s.channels = channel_storage(model);
    if (model.totals.options.soil_moisture_accounting) {
        // The accounting's tension water is the soil's, its free water the
        // groundwater's.
        s.soil = sacramento_tension_volume(model);
        s.groundwater = sacramento_free_volume(model);
    }
    if (model.totals.options.groundwater) {
        s.soil += model.totals.options.soil_columns ? recharge_not_taken(model)
                                                    : soil_above_water_table(model);
        s.groundwater = aquifer_storage(model);
    }
    const std::vector<double>& swe = model.hydromet.snow_water_equivalent;
    if (swe.size() == static_cast<std::size_t>(model.grid.num_cells) + 1) {
        double depth_sum = 0.0;
        for (int i = 1; i <= model.grid.num_cells; ++i) depth_sum += swe[i];
        s.snow = depth_sum * model.grid.cell_size * model.grid.cell_size;
    }
    s.overland_lakes = overland_lake_water(model);
    // The lakes of the channel network hold their level pools.
    for (const ChannelLake& lake : model.channel.lakes) s.perennial_lakes += lake.volume;
    return s;
}

void record_initial_storages(Model& model) {
    Totals& t = model.totals;
    t.options = decide_options(model);
    const Storages s = measure_storages(model);
    t.initial_surface = s.surface;
    t.initial_soil = s.soil;
    t.initial_channels = s.channels;
    t.initial_groundwater = s.groundwater;
    t.initial_perennial_lakes = s.perennial_lakes;
    t.initial_overland_lakes = s.overland_lakes;
    t.initial_recorded = true;
    t.event_initial_surface = s.surface;
    t.event_initial_channels = s.channels;
    t.event_initial_snow = s.snow;
    t.event_initial_lakes = s.perennial_lakes;
    t.event_initial_overland_lakes = s.overland_lakes;
}

void start_event_accounting(Model& model) {
    Totals& t = model.totals;
    t.event = VolumeTotals{};
    const Storages s = measure_storages(model);
    t.event_initial_surface = s.surface;
    t.event_initial_channels = s.channels;
    t.event_initial_snow = s.snow;
    t.event_initial_lakes = s.perennial_lakes;
    t.event_initial_overland_lakes = s.overland_lakes;
}

BalanceResults compute_run_balance(const Totals& totals, const Storages& initial,
                                   const Storages& final_storage) {
    const VolumeTotals& v = totals.run;
    const BalanceOptions& o = totals.options;
    const Storages& fin = final_storage;
    const double boundaries = boundary_term(v);
    BalanceResults r;

    // What the lakes of the channel network take in and give up beside the
    // network's own flows.
    const double lakes_in = v.lake_precipitation + v.lake_point_sources + v.groundwater_to_lake;
    const double lakes_out = v.lake_evaporation + v.lake_to_groundwater + v.lake_point_sinks;
    if (o.soil_moisture_accounting) {
        const double v_init = initial.soil + initial.surface + initial.channels +
                              initial.groundwater + initial.perennial_lakes +
                              initial.overland_lakes;
        const double v_final = fin.surface + fin.channels + fin.soil + fin.groundwater + fin.snow +
                               fin.perennial_lakes + fin.overland_lakes;
        // Positive when water was lost, as without the accounting. Deep
        // recharge leaves the watershed below ground and intercepted water on
        // the canopy; riparian evapotranspiration is part of the evaporation.
        const double denominator = v.precipitation + v_init;
        if (denominator != 0.0)
            r.overall_error =
                -100.0 *
                ((v_final - v_init - v.precipitation) + v.evaporation + v.interception +
                 v.deep_recharge + v.outlet_discharge - v.groundwater_boundary_flux -
                 v.overland_point_sources - v.channel_point_sources + v.stream_point_sinks -
                 lakes_in + lakes_out) /
                denominator;
        // The surface and channels also receive the accounting's channel
        // inflow; overland lakes are water on the surface like any other.
        if (v.precipitation > 0.0)
            r.surface_error =
                100.0 *
                ((v.precipitation + initial.surface + initial.channels +
                  (v.groundwater_to_river - v.river_to_groundwater) + v.overland_point_sources +
                  v.channel_point_sources + v.accounting_channel_inflow + initial.perennial_lakes +
                  initial.overland_lakes + lakes_in) -
                 (v.outlet_discharge + v.direct_evaporation + v.interception + v.infiltration +
                  fin.channels + fin.snow + fin.surface + v.stream_point_sinks +
                  fin.perennial_lakes + fin.overland_lakes + lakes_out)) /
                v.precipitation;
    } else {
        // Overland lakes are water on the surface like any other.
        const double v_init = initial.soil + initial.surface + initial.channels +
                              initial.groundwater + initial.perennial_lakes +
                              initial.overland_lakes;
        const double v_final = fin.surface + fin.channels + fin.soil + fin.groundwater + fin.snow +
                               fin.perennial_lakes + fin.overland_lakes;
        // Channel point sources bring water in like any other source.
        // Rain on the lakes and their point sources come in beside the rain
        // to the overland; their sinks and bed seepage leave.
        double in = v.precipitation + v.groundwater_boundary_flux + v.overland_point_sources +
                    v.channel_point_sources + v.groundwater_to_lake + v.lake_precipitation +
                    v.lake_point_sources;
        // Intercepted water stays on the canopy: it has left the grid's water
        // as surely as evaporated water has.
        double out = v.evaporation + v.interception + v.outlet_discharge + boundaries +
                     v.lake_to_groundwater + v.lake_evaporation + v.stream_point_sinks +
                     v.lake_point_sinks;
        if (!o.groundwater) {
            // Without a soil store the infiltrated water has left the balance;
            // with one, only what drains out of its bottom has.
            out += (o.single_layer_soil || o.soil_columns ? v.unsaturated_downward_flux
                                                          : v.infiltration) +
                   v.river_to_groundwater;
            in += v.groundwater_to_river;
        } else {
            // What leaves the bottom of the soil waits in the recharge
            // account, which the soil storage holds, until the aquifer takes
            // it: none of it leaves the balance on the way. The lakes'
            // exchange with the aquifer stays inside too.
            out += v.deep_leakage + v.groundwater_pumping - v.lake_to_groundwater;
            in -= v.groundwater_to_lake;
        }
        const double total = v_init + in;
        if (total > 0.0)
            r.overall_error = 100.0 * (total - (v_final + out)) / total;

        const double s_in = v.precipitation + v.groundwater_to_river + v.groundwater_to_lake +
                            v.exfiltration + v.overland_point_sources + v.channel_point_sources +
                            v.lake_precipitation + v.lake_point_sources;
        const double s_final =
            fin.snow + fin.channels + fin.surface + fin.perennial_lakes + fin.overland_lakes;
        const double s_out = v.lake_to_groundwater + v.river_to_groundwater + v.direct_evaporation +
                             v.interception + v.outlet_discharge + v.infiltration + boundaries +
                             v.lake_evaporation + v.stream_point_sinks + v.lake_point_sinks;
        if (s_in > 0.0)
            r.surface_error = 100.0 *
                              ((initial.perennial_lakes + initial.overland_lakes + initial.surface +
                                initial.channels + s_in) -
                               (s_out + s_final)) /
                              (s_final + s_in);
    }

    if (o.single_layer_soil && initial.soil > 0.0)
        r.soil_moisture_error =
            100.0 *
            ((v.infiltration + initial.soil - fin.soil) -
             (v.evaporation - v.direct_evaporation - v.deeper_layer_evaporation) -
             v.unsaturated_downward_flux) /
            (v.infiltration + initial.soil);
    r.overland_lake_residual = initial.overland_lakes + v.overland_lake_inflow -
                               fin.overland_lakes - v.overland_lake_outflow -
                               v.overland_lake_evaporation;
    // Everything a lake of the network gained less everything it gave, against
    // the change of what the lakes hold.
    r.perennial_lake_residual = v.lake_inflow + v.lake_precipitation + v.lake_point_sources +
                                v.groundwater_to_lake + v.lake_takeover - v.lake_outflow -
                                v.lake_point_sinks - v.lake_to_groundwater - v.lake_release -
                                fin.perennial_lakes + initial.perennial_lakes - v.lake_evaporation;
    return r;
}

EventBalance compute_event_balance(const Totals& totals, const Storages& event_final) {
    const VolumeTotals& v = totals.event;
    const Storages& fin = event_final;
    EventBalance e;
    double rainfall = v.precipitation;
    const double lakes_before = totals.event_initial_overland_lakes;
    const double lakes_after = fin.overland_lakes;
    if (totals.options.channels) {
        rainfall += v.lake_precipitation;
        e.input = v.precipitation + v.lake_precipitation + v.further_inflow_1 + v.further_inflow_2 +
                  v.exfiltration + totals.event_initial_channels + totals.event_initial_surface +
                  v.groundwater_to_river + v.groundwater_to_lake + totals.event_initial_lakes +
                  totals.event_initial_snow + v.overland_point_sources + v.boundary_inflow +
                  v.lake_point_sources + v.channel_point_sources + v.accounting_channel_inflow +
                  lakes_before;
        e.output = v.infiltration + v.interception + fin.surface + fin.channels +
                   v.outlet_discharge + v.direct_evaporation + fin.snow + fin.perennial_lakes +
                   v.river_to_groundwater + v.lake_to_groundwater + v.boundary_outflow +
                   v.slope_boundary_outflow + v.lake_point_sinks + v.stream_point_sinks +
                   v.lake_evaporation + lakes_after;
    } else {
        e.input = totals.event_initial_surface + v.precipitation + v.exfiltration +
                  totals.event_initial_snow + v.overland_point_sources + v.boundary_inflow +
                  lakes_before;
        e.output = v.infiltration + v.interception + fin.surface + v.outlet_discharge +
                   v.direct_evaporation + fin.snow + v.boundary_outflow + v.slope_boundary_outflow +
                   lakes_after;
    }
    // Without rain the ratio has no meaning (and without any input no
    // denominator); -1 marks it.
    e.no_rain = rainfall <= 0.0 || e.input <= 0.0;
    e.error = e.no_rain ? -1.0 : (e.input - e.output) / e.input;
    return e;
}

}  // namespace torva
