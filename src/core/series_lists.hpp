#pragma once
// The time series (value against time) and elevation series (value against
// elevation) of one simulation, as read from their files.

#include <deque>
#include <string>
#include <vector>

namespace torva {

struct TimeSeries {
    std::string name;
    std::vector<double> times;  // days; Julian dates once made absolute
    std::vector<double> values;
    bool relative_times = false;
    // Times never decrease, so a lookup may start at a remembered interval and
    // find the same interval as a scan from the first.
    bool increasing = true;
};

struct ElevationSeries {
    std::string name;
    std::vector<double> elevations;
    std::vector<double> values;
};

// The series of one simulation in file order. A deque, so that references
// taken by cards and tables stay valid when a later file adds series.
struct SeriesLists {
    std::deque<TimeSeries> time_series;
    std::deque<ElevationSeries> elevation_series;
    // Every series file read, with its card, so that no output is written
    // over one of several TIME_SERIES_FILE or ELEV_SERIES_FILE cards' files.
    std::vector<std::pair<std::string, std::string>> files;  // card word, file name
};

// The mapping table's time series index table: cells name a series by its id.
// A position rather than a pointer, so that a copied context keeps its table.
struct TimeSeriesIndexEntry {
    int id = 0;
    int series = -1;  // position in SeriesLists::time_series; -1 when not found
};
using TimeSeriesIndexTable = std::vector<TimeSeriesIndexEntry>;

}  // namespace torva
