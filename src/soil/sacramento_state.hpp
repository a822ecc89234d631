#pragma once
// Sacramento soil moisture accounting: one set of stores for the watershed,
// in millimetres over the pervious area (the additional-impervious store over
// its own area), with its parameters and the run's totals.

#include <string>

namespace torva {

struct SacramentoParameters {
    // Capacities, mm.
    double uztwm = 0.0;  // upper-zone tension water
    double uzfwm = 0.0;  // upper-zone free water
    double lztwm = 0.0;  // lower-zone tension water
    double lzfsm = 0.0;  // lower-zone supplementary free water
    double lzfpm = 0.0;  // lower-zone primary free water
    // Daily depletion fractions, in (0, 1].
    double uzk = 0.0;   // interflow from upper free water
    double lzsk = 0.0;  // baseflow from supplementary free water
    double lzpk = 0.0;  // baseflow from primary free water
    // Area fractions.
    double pctim = 0.0;  // permanently impervious
    double adimp = 0.0;  // additional impervious when the tension water is full
    double riva = 0.0;   // riparian vegetation
    // Percolation demand: the most percolation exceeds the saturated rate by
    // the factor zperc, and rexp shapes how it falls as the lower zone fills.
    double zperc = 0.0;
    double rexp = 0.0;
    double pfree = 0.0;  // share of percolation going straight to free water
    double side = 0.0;   // deep recharge to channel baseflow ratio
    double rserv = 0.0;  // share of lower free water unavailable to tension water

    double pervious() const { return 1.0 - pctim - adimp; }
};

struct SacramentoStores {
    double uztwc = 0.0;
    double uzfwc = 0.0;
    double lztwc = 0.0;
    double lzfsc = 0.0;
    double lzfpc = 0.0;
    double adimc = 0.0;  // capacity uztwm + lztwm
};

// What one accounting interval moved, mm over the watershed area.
struct SacramentoFlows {
    double input = 0.0;   // P
    double demand = 0.0;  // E, the potential evapotranspiration
    // Evapotranspiration: from upper tension (e1), upper free (e2) and lower
    // tension water (e3), all three over the pervious area; riparian (e4);
    // from the additional impervious area (e5).
    double et_upper_tension = 0.0;
    double et_upper_free = 0.0;
    double et_lower_tension = 0.0;
    double et_riparian = 0.0;
    double et_impervious = 0.0;
    double evapotranspiration = 0.0;  // the sum of the five
    // Channel inflow and its parts.
    double impervious_runoff = 0.0;  // from the permanently impervious area
    double direct_runoff = 0.0;      // from the additional impervious area
    double surface_runoff = 0.0;
    double interflow = 0.0;
    double baseflow = 0.0;          // channel part of primary and supplementary baseflow
    double primary_overflow = 0.0;  // what no lower store could hold
    double channel_inflow = 0.0;    // the sum, less riparian evapotranspiration
    double deep_recharge = 0.0;     // the baseflow that leaves the watershed below ground
    double percolation = 0.0;       // upper to lower zone, over the pervious area
    // Storage before and after (mm over the watershed) and what the interval
    // leaves unexplained: before + input - evapotranspiration - channel
    // inflow - deep recharge - after.
    double storage_before = 0.0;
    double storage_after = 0.0;
    double residual = 0.0;
    int increments = 0;
    // Increments whose lower-zone deficiency ratio came out below zero by
    // rounding and was taken as zero.
    int deficiency_clamped = 0;
};

// The run's Sacramento accounting (off unless the card selects it). It takes
// the water infiltrated into the grid and the potential evapotranspiration
// over each weather hour, advances the stores once per hour, and hands the
// hour's channel inflow to the channel steps of the next hour.
struct Sacramento {
    bool on = false;
    std::string file;         // the parameter file
    std::string weight_file;  // stream-cell weights; empty for weights by channel length
    SacramentoParameters par;
    SacramentoStores stores;
    SacramentoStores initial;

    // The hour being gathered: infiltrated water and evapotranspiration
    // demand, m3, and the Julian date at which the hour ends.
    double hour_input = 0.0;
    double hour_demand = 0.0;
    double hour_end = 0.0;
    // Channel inflow the accounting has produced and the channels have not
    // yet received, m3; the rate at which the current hour delivers it, and
    // the rate the channels receive in the current step, m3/s.
    double undelivered = 0.0;
    double hour_rate = 0.0;
    double step_rate = 0.0;
    double hour_channel_inflow = 0.0;  // of the last hour accounted, mm

    // Run totals, mm over the watershed.
    double input = 0.0;
    double demand = 0.0;
    double evapotranspiration = 0.0;
    double channel_inflow = 0.0;
    double deep_recharge = 0.0;
    double residual = 0.0;  // the sum of every interval's residual
    long long intervals = 0;
    long long deficiency_clamped = 0;
};

}  // namespace torva
