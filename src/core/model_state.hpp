#pragma once
// The Model state: everything one simulation holds, grouped per process. The
// run driver creates it, passes it to every phase and frees it at the end. It
// names each process's state through that process's *_state.hpp header, which
// holds plain data only, so no process code comes in with it.

#include <string>

#include "calibration/calibration_state.hpp"
#include "channel/channel_state.hpp"
#include "channel/routing_state.hpp"
#include "core/clock.hpp"
#include "grid/grid_state.hpp"
#include "grid/mapping_state.hpp"
#include "groundwater/groundwater_state.hpp"
#include "input/project_state.hpp"
#include "lakes/lakes_state.hpp"
#include "meteo/hydromet_state.hpp"
#include "meteo/precip_state.hpp"
#include "output/analyzers_state.hpp"
#include "output/hydrograph_state.hpp"
#include "output/maps_state.hpp"
#include "output/summary_state.hpp"
#include "soil/sacramento_state.hpp"
#include "soil/soil_state.hpp"
#include "surface/overland_state.hpp"
#include "surface/roughness_state.hpp"

namespace torva {

// Settings of the run derived from the cards once the project file is read.
struct RunSettings {
    double time_step = 0.0;            // seconds
    double time_step_days = 0.0;       // days
    double max_time_step = 0.0;        // seconds; below 0.01 means none
    double hydrograph_interval = 0.0;  // minutes
    int hydrograph_steps = 0;          // steps between hydrograph rows
    int map_interval = 0;              // minutes
    int map_steps = 0;                 // steps between map outputs
    int outlet_row = 0;
    int outlet_col = 0;
    int outlet_cell = 0;
    double outlet_slope = 0.0;
    int total_time = 0;  // minutes after the start of the event
    bool long_term = false;
    bool host_event_mode = false;
    bool has_end_time = false;
    double end_time = 0.0;  // Julian date
    double event_min_q = 0.1;
    bool quiet = false;
    bool super_quiet = false;
    bool english_units = false;  // QOUT_CFS
    bool strict_julian = false;
    bool stream_info = false;
    int flush_interval = 0;  // FLUSH_BUFFER n; 0 for none
};

// The model clock and the calendar form of the current time.
struct ModelClock {
    int step_counter = 0;  // calls of the step-start phase
    int step_index = 0;    // 0 on the first step
    // Steps a long-term run passed over in strides through dry spells; the
    // rest of the step index was worked phase by phase.
    int strided_steps = 0;
    int hydrograph_counter = 0;
    int map_counter = 0;
    double start_time = 0.0;    // Julian date
    double current_time = 0.0;  // Julian date
    double elapsed_minutes = 0.0;
    CalendarTime calendar;
    int whole_seconds = 0;
    int day_of_year = 0;
    // Seconds of evapotranspiration a step of `time_step` s accounts for. The
    // first step holds the start time itself: no time has passed over which
    // land or water could evaporate (the soil store counts it so), and a lake
    // that evaporated a step then would outrun the hour's potential rate.
    double evaporation_seconds(double time_step) const { return step_index > 0 ? time_step : 0.0; }
};

// The outlet discharge and its peak so far.
struct OutletRecord {
    double discharge = 0.0;  // m3/s
    double peak = 0.0;
    int peak_year = 0, peak_month = 0, peak_day = 0, peak_hour = 0, peak_minute = 0;
    int peak_step = 0;
};

struct Model {
    std::string project_file;
    bool calibration = false;
    CalibrationResults* calibration_results = nullptr;
    bool running = false;

    ProjectSettings project;
    RunSettings run;
    ModelClock clock;
    OutletRecord outlet;
    int progress_lines = 0;  // progress lines since the last flush

    // Events of the precipitation input.
    int event_number = 1;
    int number_of_events = 0;
    bool event_ended = false;
    // The end of the simulated period of a single-event run (Julian date),
    // set when the event starts.
    double period_end = 0.0;
    // When the next progress line is due, kept by the overland flow phase or,
    // when channels are routed, by the channel routing phase.
    double next_print_time = 0.0;

    Grid grid;
    MappingTables tables;
    Precipitation precip;
    Hydromet hydromet;
    Overland overland;
    SurfaceParameters surface;
    Soil soil;
    Sacramento sacramento;
    Groundwater groundwater;
    Lakes lakes;
    Channel channel;
    ChannelRouter router;
    Outputs output;
    MapOutputs maps;
    Totals totals;
    Analyzers analyzers;
};

}  // namespace torva
