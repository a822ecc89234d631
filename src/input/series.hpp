#pragma once
// Time series (value against time) and elevation series (value against
// elevation), read from their files into per-simulation lists, and the lookups
// that boundary conditions and structures make in them.

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "core/series_lists.hpp"

namespace torva {

struct RunContext;

// The TIME_SERIES_FILE and ELEV_SERIES_FILE cards: read the file at once and
// print how many series it held. A file that cannot be opened prints its
// message and the run goes on; a series without its end line or with a data
// line that does not read stops the run (code 4000 after the message).
void read_time_series_card(RunContext& ctx, const std::string& file_name);
void read_elevation_series_card(RunContext& ctx, const std::string& file_name);

// Reads every series of an open file and appends them to the lists; returns
// how many were read. file_name is only used in messages.
int read_time_series_file(RunContext& ctx, std::FILE* file, const std::string& file_name);
int read_elevation_series_file(RunContext& ctx, std::FILE* file, const std::string& file_name);

// Adds the start time to every series given in relative times.
void make_series_times_absolute(RunContext& ctx, double start_time);

// Days of a calendar entry of a series file: the Julian date, or for a
// relative series the Julian date less 1721028.5, so that year 0, month 0,
// day d, hour h, minute m give d + h/24 + m/1440.
double series_entry_time(int year, int month, int day, int hour, int minute, bool relative);

const TimeSeries* find_time_series(const SeriesLists& lists, std::string_view name);
// Position of the first time series of that name in the list; -1 for none.
int time_series_position(const SeriesLists& lists, std::string_view name);
const ElevationSeries* find_elevation_series(const SeriesLists& lists, std::string_view name);

// Value at x, interpolated between the surrounding entries (rating curves,
// withdrawal curves); the end values hold beyond the ends. A missing or empty
// series is a fatal error (code 4000 after the message), result 0.
double elevation_series_value(RunContext& ctx, const ElevationSeries* series, double x);
// As above, but the value at the left end of the interval (rule curves).
double elevation_series_step_value(RunContext& ctx, const ElevationSeries* series, double x);

// Value at time t (days, in the series' reference). hint is the caller's own
// remembered interval: a lookup starts there and leaves the interval it found,
// but its result never depends on it, so every caller that runs concurrently
// keeps a hint of its own.
double time_series_value(RunContext& ctx, const TimeSeries* series, double t, int& hint);

// For cells 1..cell_count: the value at time t of the series whose table id
// equals the integer part of cell_index[cell], the first entry of that id.
// Cells run in parallel (below kMinParallelCells on one thread), each writing
// only its own value and hint (cell_value and cell_hint have cell_count + 1
// entries). An id missing from the table is fatal and gives the cell 0, as is
// an entry whose series does not exist.
void time_series_values_by_index(RunContext& ctx, const TimeSeriesIndexTable& table,
                                 const std::vector<double>& cell_index, int cell_count, double t,
                                 std::vector<double>& cell_value, std::vector<int>& cell_hint);
// The same lookup for the listed cells only (overland boundaries of the time
// series kind); the values and hints of other cells are left alone.
void time_series_values_by_index(RunContext& ctx, const TimeSeriesIndexTable& table,
                                 const std::vector<double>& cell_index,
                                 const std::vector<int>& cells, double t,
                                 std::vector<double>& cell_value, std::vector<int>& cell_hint);

}  // namespace torva
