#pragma once
// The run totals, the event summary and the mass balance.

namespace torva {

struct Model;
struct RunContext;

// Volumes in cubic metres, each added to by the phase that moves the water.
struct VolumeTotals {
    double precipitation = 0.0;
    double interception = 0.0;
    double infiltration = 0.0;
    double outlet_discharge = 0.0;
    double boundary_inflow = 0.0;       // overland boundaries
    double boundary_outflow = 0.0;      // overland boundaries
    double overland_cleanup = 0.0;      // depths clipped to zero
};

struct Totals {
    VolumeTotals run;    // whole run
    VolumeTotals event;  // current event; reset at each event start
    double initial_surface = 0.0;
    double initial_soil = 0.0;
    double event_initial_surface = 0.0;
};

// Writes the run summary and mass balance to the summary file.
void write_run_summary(Model& model, RunContext& ctx);

}  // namespace torva
