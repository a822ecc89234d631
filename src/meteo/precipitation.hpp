#pragma once
// Precipitation from gauges or uniform rain, spread over the cells each step.

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "meteo/precip_file.hpp"

namespace torva {

struct Model;
struct RunContext;

enum class PrecipSource { uniform, gauge_file };
enum class SpreadMethod { inverse_distance = 0, thiessen = 1 };

// Where the rain of the run stands.
enum class PrecipStatus {
    no_event = 0,        // the next event may be read when its start time comes
    raining = 1,         // an event's rain (or the uniform rain) is in progress
    file_exhausted = 2,  // no further event was found in the file
    finished = 3,        // rain over after the file ran out, or uniform rain over
};

// Year, month, day and hour of a moment, as the hydrometeorological data span
// is given; events of a long-term run must start inside that span.
struct DateHour {
    int year = 0, month = 0, day = 0, hour = 0;
};

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

struct Precipitation {
    PrecipSource source = PrecipSource::uniform;
    SpreadMethod method = SpreadMethod::inverse_distance;
    double uniform_intensity = 0.0;  // mm/h
    double uniform_duration = 0.0;   // minutes

    std::string file_name;
    std::unique_ptr<std::FILE, FileCloser> file;
    int events_seen = 0;  // EVENT words met in the current pass through the file

    // The current event, as read and then turned into intensities.
    PrecipEvent event;

    int events_in_file = 0;
    int events_read = 0;              // event counter
    std::vector<double> event_start;  // Julian date of each event's first record, 1-based
    std::vector<RecordStamp> event_start_date;
    double event_start_time = 0.0;  // current event, Julian dates
    double event_end_time = 0.0;
    RecordStamp event_date;  // first record of the current event
    int record_index = 0;    // record whose interval comes next
    double next_switch = 0.0;
    double last_switch = 0.0;
    int application_count = 0;  // uniform rain: steps with rain so far, from 1

    // Per-cell rain intensity of the step, mm/h (N + 1 entries), and the rain
    // part of it when snow is simulated.
    std::vector<double> rain_rate;
    std::vector<double> rain_part;
    // Nearest gauge of every cell; built per event under Thiessen spreading.
    std::vector<int> nearest_gauge;

    bool raining = false;
    PrecipStatus status = PrecipStatus::no_event;
    // Set on the step an event begins (cleared on the next), so that the event
    // start phases of the other processes see it.
    bool event_began = false;
    // An event has begun and its end processing has not run yet.
    bool event_open = false;
    // Record of a radar file-list event whose grid is due at this step (0 for
    // none); the radar phase reads the file named for it.
    int radar_record_due = 0;

    // Span of the hydrometeorological data of a long-term run, set by its
    // start-up scan; events are checked against it when known.
    bool hydromet_span_known = false;
    DateHour hydromet_first, hydromet_last;

    // For the event summary.
    int rain_steps = 0;
    double rain_began_minutes = -1.0;  // elapsed minutes at the first rain
};

// Scans the precipitation input and counts its events, or sets up uniform rain;
// sets the start time of the simulation.
void prepare_precipitation(Model& model, RunContext& ctx);
// Checks the precipitation and start-date settings and starts the clock.
void check_precipitation_settings(Model& model, RunContext& ctx);
// Starts the next event when its time has come, then brings the cell
// intensities up to the model time.
void precipitation_phase(Model& model, RunContext& ctx);
// Adds the step's rain, less interception, to every cell's water depth.
void apply_rainfall_phase(Model& model, RunContext& ctx);

// True once no further rain will come: the file has run out or every event to
// simulate has been read and has rained.
bool no_further_precipitation(const Model& model);

// The start of an event of a long-term run must lie inside the span of the
// hydrometeorological data. Prints the failure lines and returns false otherwise.
bool event_within_hydromet_span(RunContext& ctx, int event_number, const DateHour& start,
                                const DateHour& first, const DateHour& last);

}  // namespace torva
