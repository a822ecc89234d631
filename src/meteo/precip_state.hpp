#pragma once
// The rain of one simulation: the precipitation input, the current event and the
// per-cell intensities of the step.

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "core/row_spans.hpp"
#include "meteo/radar_state.hpp"

namespace torva {

// The data word of an event's records; one word per event.
enum class PrecipDataType { none, radar, gages, rates, accum };

// The time-stamp table holds 2000 entries, entry 0 unused.
inline constexpr int kMaxPrecipRecords = 1999;

struct RecordStamp {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0;
};

struct PrecipEvent {
    std::string title;  // the rest of the EVENT line, at most 255 characters
    int gauge_count = 0;
    int record_count = 0;
    PrecipDataType type = PrecipDataType::none;
    bool file_list = false;  // records name radar grids instead of gauge values

    std::vector<double> gauge_x;  // easting, 1..gauge_count
    std::vector<double> gauge_y;  // northing
    // Gauge values, one contiguous row of gauge_count + 1 entries per record
    // (records 0..record_count + 1), so a record is spread from one block.
    std::vector<double> values;
    std::vector<RecordStamp> stamps;       // 1..record_count
    std::vector<double> stamp_time;        // Julian date of each stamp, 1..record_count + 1
    std::vector<std::string> radar_files;  // 1..record_count + 1 in the file-list layout

    double& value(int gauge, int record) { return values[record * (gauge_count + 1) + gauge]; }
    double value(int gauge, int record) const { return values[record * (gauge_count + 1) + gauge]; }
    const double* record_values(int record) const {
        return values.data() + record * (gauge_count + 1);
    }
};

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
    // Counts the changes of rain_rate: every phase that writes it adds one.
    int rate_changes = 0;
    // The cells whose rain_rate is not 0 (found again when rate_changes has
    // moved on from `rain_cells_of`), and those whose rate passing the canopy
    // the last step's interception may have left above 0.
    RowSpans rain_cells;
    int rain_cells_of = -1;
    RowSpans canopy_cells;
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
    RadarGrid radar;

    // Span of the hydrometeorological data of a long-term run, set by its
    // start-up scan; events are checked against it when known.
    bool hydromet_span_known = false;
    DateHour hydromet_first, hydromet_last;

    // For the event summary.
    int rain_steps = 0;
    double rain_began_minutes = -1.0;  // elapsed minutes at the first rain
};

}  // namespace torva
