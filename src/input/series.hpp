#pragma once
// Time series (value against time) and elevation series (value against
// elevation), read from their files into per-simulation lists.

#include <string>
#include <vector>

namespace torva {

struct TimeSeries {
    std::string name;
    std::vector<double> times;  // Julian dates once converted to absolute times
    std::vector<double> values;
    bool relative_times = false;
};

struct ElevationSeries {
    std::string name;
    std::vector<double> elevations;
    std::vector<double> values;
};

struct SeriesLists {
    std::vector<TimeSeries> time_series;
    std::vector<ElevationSeries> elevation_series;
};

struct RunContext;

// The TIME_SERIES_FILE and ELEV_SERIES_FILE cards: read the file at once and
// print how many series it held.
void read_time_series_card(RunContext& ctx, const std::string& file_name);
void read_elevation_series_card(RunContext& ctx, const std::string& file_name);

// Adds the start time to every series given in relative times.
void make_series_times_absolute(RunContext& ctx, double start_time);

}  // namespace torva
