#pragma once
// The run and event totals of one simulation: every volume a phase moves, and
// the storages the balances start from.

namespace torva {

// Volumes in cubic metres, each added to by the phase that moves the water.
struct VolumeTotals {
    double precipitation = 0.0;  // rain on the grid before interception (rain to overland)
    double interception = 0.0;   // held on the canopy
    double infiltration = 0.0;
    double outlet_discharge = 0.0;
    double boundary_inflow = 0.0;         // gained from overland head boundaries
    double boundary_outflow = 0.0;        // lost to overland head boundaries
    double slope_boundary_outflow = 0.0;  // lost to overland slope (free outflow) boundaries
    double overland_cleanup = 0.0;        // depths clipped to zero

    // Evapotranspiration and snow.
    double evaporation = 0.0;               // all evapotranspiration
    double direct_evaporation = 0.0;        // from surface water
    double deeper_layer_evaporation = 0.0;  // below the single soil moisture layer
    // Evaporated from the canopy's store; the water left the balance already
    // as interception, so it is reported, not subtracted again.
    double interception_evaporation = 0.0;
    double snowfall = 0.0;  // precipitation that went to the snow store
    double snowmelt = 0.0;  // from the snow store onto the ground

    // Soil and groundwater.
    double exfiltration = 0.0;               // from the soil back onto the surface
    double unsaturated_downward_flux = 0.0;  // out of the bottom of the unsaturated zone
    double groundwater_recharge = 0.0;       // recharge inputs to groundwater
    double groundwater_pumping = 0.0;
    double groundwater_boundary_flux = 0.0;  // groundwater gained across its boundaries
    double deep_leakage = 0.0;               // leakage to the deep aquifer
    double deep_recharge = 0.0;  // recharge to deep groundwater (soil moisture accounting)

    // Point sources and sinks.
    double overland_point_sources = 0.0;
    double channel_point_sources = 0.0;
    double lake_point_sources = 0.0;
    double lake_point_sinks = 0.0;
    double stream_point_sinks = 0.0;

    // Channels.
    double channel_lateral_inflow = 0.0;  // grid to channel exchange
    // The part of it the soil moisture accounting gave the channels.
    double accounting_channel_inflow = 0.0;
    double river_to_groundwater = 0.0;
    double groundwater_to_river = 0.0;
    // Two further inflows that enter the event balance with channel routing.
    double further_inflow_1 = 0.0;
    double further_inflow_2 = 0.0;

    // Perennial lakes of the channel network.
    double lake_precipitation = 0.0;
    double lake_inflow = 0.0;
    double lake_outflow = 0.0;
    double lake_evaporation = 0.0;
    double lake_to_groundwater = 0.0;  // seepage through the beds of the lakes
    double groundwater_to_lake = 0.0;
    double lake_takeover = 0.0;  // channel water of the links the lakes took over
    double lake_release = 0.0;   // lake water given to the links they gave back

    // Overland lakes. Their inflow holds the rain on them, the overland flow
    // into them and the water of the cells they flood.
    double overland_lake_precipitation = 0.0;
    double overland_lake_inflow = 0.0;
    double overland_lake_outflow = 0.0;
    double overland_lake_evaporation = 0.0;
};

// Water held in each store at one moment, m3.
struct Storages {
    double surface = 0.0;  // overland water outside lakes
    double overland_lakes = 0.0;
    double channels = 0.0;
    double soil = 0.0;
    double groundwater = 0.0;
    double snow = 0.0;  // liquid equivalent
    double perennial_lakes = 0.0;
};

// The processes whose storages and lines enter the balance, decided once
// from the cards when the initial storages are recorded.
struct BalanceOptions {
    bool channels = false;                  // explicit channel routing
    bool groundwater = false;               // the saturated zone is simulated
    bool single_layer_soil = false;         // soil moisture kept over the Green-Ampt soil depth
    bool soil_columns = false;              // Richards columns hold the soil water
    bool soil_moisture_accounting = false;  // Sacramento
    bool perennial_lakes = false;
    bool overland_lakes = false;
    bool stream_groundwater_exchange = false;
    bool groundwater_feeds_rivers = false;
    bool lake_groundwater_exchange = false;
    bool overland_boundaries = false;
    bool interception = false;
};

// Results of the run balance.
struct BalanceResults {
    double overall_error = 0.0;            // percent
    double surface_error = 0.0;            // percent
    double soil_moisture_error = 0.0;      // percent, single-layer option
    double overland_lake_residual = 0.0;   // m3
    double perennial_lake_residual = 0.0;  // m3
};

// The event mass conservation error E = (I - O) / I and its sums, m3.
struct EventBalance {
    double error = 0.0;   // ratio; -1 when no rain fell
    double input = 0.0;   // mass input + original mass
    double output = 0.0;  // mass output + final mass
    bool no_rain = false;
};

struct Totals {
    VolumeTotals run;    // whole run
    VolumeTotals event;  // current event; reset at each event start
    double initial_surface = 0.0;
    double initial_soil = 0.0;
    double event_initial_surface = 0.0;

    double initial_channels = 0.0;
    double initial_groundwater = 0.0;
    double initial_perennial_lakes = 0.0;
    double initial_overland_lakes = 0.0;
    bool initial_recorded = false;

    // Storages when the current event began.
    double event_initial_channels = 0.0;
    double event_initial_snow = 0.0;
    double event_initial_lakes = 0.0;
    double event_initial_overland_lakes = 0.0;

    Storages final_storage;  // at the end of the run
    Storages event_final;    // at the end of the last event closed
    BalanceOptions options;
    BalanceResults balance;
    EventBalance event_balance;
    int events_summarised = 0;

    // The initial storages of the run as one record.
    Storages initial() const {
        Storages s;
        s.surface = initial_surface;
        s.overland_lakes = initial_overland_lakes;
        s.channels = initial_channels;
        s.soil = initial_soil;
        s.groundwater = initial_groundwater;
        s.perennial_lakes = initial_perennial_lakes;
        return s;
    }
};

}  // namespace torva
