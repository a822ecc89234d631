#pragma once
// The precipitation input file: events of gauge records (or of radar file
// names), read one event at a time.

#include <cstdio>
#include <string>
#include <vector>

namespace torva {

struct RunContext;

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

// Result of reading one event.
enum class EventRead { ok = 1, none = 0, unexpected_end = -1 };

// Reads the next event from the open file. `events_seen` counts the EVENT words
// met so far in this pass through the file (it is raised here). Format errors
// print their lines, raise 4000 and give EventRead::none, as does the end of the
// file before another EVENT; an end of file inside the event gives
// EventRead::unexpected_end.
EventRead read_precip_event(std::FILE* file, RunContext& ctx, PrecipEvent& event, int& events_seen);

// Turns the raw gauge values into intensities in mm/h: afterwards value(g, k) is
// the intensity from stamp k to stamp k + 1.
void convert_to_intensities(PrecipEvent& event, RunContext& ctx);

}  // namespace torva
