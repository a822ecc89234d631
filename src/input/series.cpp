#include "input/series.hpp"

#include <algorithm>
#include <climits>
#include <cmath>

#include "core/context.hpp"
#include "core/parallel.hpp"
#include "input/tokens.hpp"

namespace torva {
namespace {

bool starts_with_word(const std::string& line, const char* word) {
    return line.compare(0, std::char_traits<char>::length(word), word) == 0;
}

// The interval [k, k+1] that holds x; a zero-width interval gives its left value.
double interpolate(const std::vector<double>& x, const std::vector<double>& y, std::size_t k,
                   double at) {
    const double width = x[k + 1] - x[k];
    const double w = width > 0.0 ? (at - x[k]) / width : 0.0;
    return (1.0 - w) * y[k] + w * y[k + 1];
}

enum class Lookup { found, missing, empty, not_increasing };

// Shared by the messaging lookups and the parallel lookup by index, which must
// not print from inside its loop.
Lookup look_up_time(const TimeSeries* series, double t, int& hint, double& value) {
    value = 0.0;
    if (!series)
        return Lookup::missing;
    const std::vector<double>& times = series->times;
    const std::vector<double>& values = series->values;
    const std::size_t n = times.size();
    if (n == 0)
        return Lookup::empty;
    if (n == 1 || t <= times[0]) {
        value = values[0];
        return Lookup::found;
    }
    if (t >= times[n - 1]) {
        value = values[n - 1];
        return Lookup::found;
    }
    auto holds = [&](std::size_t k) { return times[k] <= t && t <= times[k + 1]; };
    const bool hint_usable =
        series->increasing && hint > 0 && static_cast<std::size_t>(hint) < n - 1;
    const std::size_t start = hint_usable ? static_cast<std::size_t>(hint) : 0;
    std::size_t k = start;
    while (k < n - 1 && !holds(k)) ++k;
    if (k == n - 1 && start > 0) {
        k = 0;
        while (k < n - 1 && !holds(k)) ++k;
    }
    if (k == n - 1)
        return Lookup::not_increasing;
    // A time on an entry (or on repeated entries) also lies in the intervals
    // before; step back to the first, so that the hint never changes the value.
    while (k > 0 && times[k] == t) --k;
    hint = static_cast<int>(k);
    value = interpolate(times, values, k, t);
    return Lookup::found;
}

double look_up_elevation(RunContext& ctx, const ElevationSeries* series, double x, bool stepped) {
    if (!series) {
        ctx.print(
            "Error: attempting to extract a value from an elevation series that does not exist.\n");
        ctx.error.raise(err::message_printed);
        return 0.0;
    }
    const std::vector<double>& xs = series->elevations;
    const std::vector<double>& ys = series->values;
    const std::size_t n = xs.size();
    if (n == 0) {
        ctx.print(
            "Error: attempting to extract a value from an elevation series [%s] with no entries.\n",
            series->name.c_str());
        ctx.error.raise(err::message_printed);
        return 0.0;
    }
    if (n == 1 || x <= xs[0])
        return ys[0];
    if (x >= xs[n - 1])
        return ys[n - 1];
    for (std::size_t k = 0; k + 1 < n; ++k)
        if (xs[k] <= x && x <= xs[k + 1])
            return stepped ? ys[k] : interpolate(xs, ys, k, x);
    ctx.print("Error: something is really messed up with your elevation series [%s].\n",
              series->name.c_str());
    return 0.0;
}

void report_time_lookup(RunContext& ctx, Lookup status, const TimeSeries* series) {
    switch (status) {
        case Lookup::found:
            break;
        case Lookup::missing:
            ctx.print(
                "Error: attempting to extract a value from a time series that does not exist.\n");
            ctx.error.raise(err::message_printed);
            break;
        case Lookup::empty:
            ctx.print(
                "Error: attempting to extract a value from a time series [%s] with no entries.\n",
                series->name.c_str());
            ctx.error.raise(err::message_printed);
            break;
        case Lookup::not_increasing:
            ctx.print("Error: something is really messed up with your time series [%s].\n",
                      series->name.c_str());
            break;
    }
}

// The parts of a series between its header and its end line. Each kind
// supplies how one data line reads.
struct SeriesFileFormat {
    const char* header;
    const char* end;
    const char* kind;         // in messages
    const char* entry_words;  // what a data line holds, in messages
    bool mode_line;           // a time-mode line follows the name line
};

constexpr SeriesFileFormat kTimeSeriesFile{"TORVA_TS", "END_TS", "time series",
                                           "year month day hour minute value", true};
constexpr SeriesFileFormat kElevationSeriesFile{"TORVA_ES", "END_ES", "elevation series",
                                                "elevation value", false};

bool read_next_or_report(RunContext& ctx, LineReader& reader, std::string& line,
                         const SeriesFileFormat& format, const std::string& name,
                         const std::string& file_name) {
    if (reader.next(line))
        return true;
    ctx.print("Error: the %s [%s] in file %s ends without its %s line\n", format.kind, name.c_str(),
              file_name.c_str(), format.end);
    ctx.error.raise(err::message_printed);
    return false;
}

void report_bad_entry(RunContext& ctx, const SeriesFileFormat& format, const std::string& name,
                      const std::string& file_name, int line_number, const std::string& line) {
    ctx.print("Error: line %d of file %s is no entry (%s) of the %s [%s]:\n%s\n", line_number,
              file_name.c_str(), format.entry_words, format.kind, name.c_str(), line.c_str());
    ctx.error.raise(err::message_printed);
}

}  // namespace

double series_entry_time(int year, int month, int day, int hour, int minute, bool relative) {
    // Gregorian day count with divisions truncated toward zero, as the series
    // files of the host program are written; 64-bit so that no entry overflows.
    long long seconds = 60LL * minute + 3600LL * hour;
    const long long a = month < 3 ? 1 : 0;
    const long long y = static_cast<long long>(year) - a;
    const long long c = y / 100;
    const long long m = month < 3 ? month + 9LL : month - 3LL;
    long long julian_day =
        (146097 * c) / 4 + (153 * m + 2) / 5 + day + (1461 * (y - 100 * c)) / 4 + 1721119;
    if (seconds < 43200) {
        julian_day -= 1;
        seconds += 43200;
    } else {
        seconds -= 43200;
    }
    const double time = static_cast<double>(julian_day) + static_cast<double>(seconds) / 86400.0;
    return relative ? time - 1721028.5 : time;
}

namespace {

// Reads every series of a file: its header line, its name line, the time-mode
// line where the kind has one (given to `mode`), then one entry per line up to
// the end line (each given to `entry`, which says whether it read as one).
// Each complete series goes to `store`. Returns the number of series stored;
// a series cut short or an unreadable entry stops the reading with a message.
template <class Series, class Mode, class Entry, class Store>
int read_series_blocks(RunContext& ctx, std::FILE* file, const std::string& file_name,
                       const SeriesFileFormat& format, Mode mode, Entry entry, Store store) {
    LineReader reader(file, ctx);
    std::string line;
    int count = 0;
    while (reader.next(line)) {
        if (!starts_with_word(line, format.header))
            continue;
        Series series;
        if (!read_next_or_report(ctx, reader, line, format, series.name, file_name))
            return count;
        Tokens(line).text(series.name);
        if (format.mode_line) {
            if (!read_next_or_report(ctx, reader, line, format, series.name, file_name))
                return count;
            mode(series, line);
        }
        while (true) {
            if (!read_next_or_report(ctx, reader, line, format, series.name, file_name))
                return count;
            if (starts_with_word(line, format.end))
                break;
            if (!entry(series, line)) {
                report_bad_entry(ctx, format, series.name, file_name, reader.line_number(), line);
                return count;
            }
        }
        store(std::move(series));
        ++count;
    }
    return count;
}

}  // namespace

int read_time_series_file(RunContext& ctx, std::FILE* file, const std::string& file_name) {
    return read_series_blocks<TimeSeries>(
        ctx, file, file_name, kTimeSeriesFile,
        [](TimeSeries& series, const std::string& line) {
            series.relative_times = starts_with_word(line, "RELATIVE");
        },
        [](TimeSeries& series, const std::string& line) {
            Tokens entry(line);
            int year, month, day, hour, minute;
            double value;
            if (!(entry.integer(year) && entry.integer(month) && entry.integer(day) &&
                  entry.integer(hour) && entry.integer(minute) && entry.real(value) &&
                  std::isfinite(value)))
                return false;
            series.times.push_back(
                series_entry_time(year, month, day, hour, minute, series.relative_times));
            series.values.push_back(value);
            return true;
        },
        [&ctx](TimeSeries&& series) {
            for (std::size_t k = 1; k < series.times.size(); ++k)
                if (!(series.times[k - 1] <= series.times[k]))
                    series.increasing = false;
            ctx.print("Read time series %s\n", series.name.c_str());
            ctx.series.time_series.push_back(std::move(series));
        });
}

int read_elevation_series_file(RunContext& ctx, std::FILE* file, const std::string& file_name) {
    return read_series_blocks<ElevationSeries>(
        ctx, file, file_name, kElevationSeriesFile, [](ElevationSeries&, const std::string&) {},
        [](ElevationSeries& series, const std::string& line) {
            Tokens entry(line);
            double x, y;
            if (!(entry.real(x) && entry.real(y) && std::isfinite(x) && std::isfinite(y)))
                return false;
            series.elevations.push_back(x);
            series.values.push_back(y);
            return true;
        },
        [&ctx](ElevationSeries&& series) {
            ctx.series.elevation_series.push_back(std::move(series));
        });
}

void read_time_series_card(RunContext& ctx, const std::string& file_name) {
    std::FILE* file = std::fopen(file_name.c_str(), "r");
    if (!file) {
        ctx.print("Error: Time series file not found [%s]\n", file_name.c_str());
        return;
    }
    ctx.series.files.emplace_back("TIME_SERIES_FILE", file_name);
    const int count = read_time_series_file(ctx, file, file_name);
    std::fclose(file);
    ctx.print("%d time series read from file %s\n", count, file_name.c_str());
}

void read_elevation_series_card(RunContext& ctx, const std::string& file_name) {
    std::FILE* file = std::fopen(file_name.c_str(), "r");
    if (!file) {
        ctx.print("Error: Elevation series file not found [%s]\n", file_name.c_str());
        return;
    }
    ctx.series.files.emplace_back("ELEV_SERIES_FILE", file_name);
    const int count = read_elevation_series_file(ctx, file, file_name);
    std::fclose(file);
    ctx.print("%d elevation series read from file %s\n", count, file_name.c_str());
}

void make_series_times_absolute(RunContext& ctx, double start_time) {
    for (TimeSeries& ts : ctx.series.time_series) {
        if (!ts.relative_times)
            continue;
        for (double& t : ts.times) t += start_time;
        ts.relative_times = false;
    }
}

const TimeSeries* find_time_series(const SeriesLists& lists, std::string_view name) {
    for (const TimeSeries& ts : lists.time_series)
        if (ts.name == name)
            return &ts;
    return nullptr;
}

int time_series_position(const SeriesLists& lists, std::string_view name) {
    for (std::size_t k = 0; k < lists.time_series.size(); ++k)
        if (lists.time_series[k].name == name)
            return static_cast<int>(k);
    return -1;
}

const ElevationSeries* find_elevation_series(const SeriesLists& lists, std::string_view name) {
    for (const ElevationSeries& es : lists.elevation_series)
        if (es.name == name)
            return &es;
    return nullptr;
}

double elevation_series_value(RunContext& ctx, const ElevationSeries* series, double x) {
    return look_up_elevation(ctx, series, x, false);
}

double elevation_series_step_value(RunContext& ctx, const ElevationSeries* series, double x) {
    return look_up_elevation(ctx, series, x, true);
}

double time_series_value(RunContext& ctx, const TimeSeries* series, double t, int& hint) {
    double value = 0.0;
    report_time_lookup(ctx, look_up_time(series, t, hint, value), series);
    return value;
}

namespace {

const TimeSeriesIndexEntry* index_entry(const TimeSeriesIndexTable& table, double stored_id) {
    if (!(stored_id > INT_MIN - 1.0 && stored_id < INT_MAX + 1.0))
        return nullptr;
    const int id = static_cast<int>(stored_id);
    for (const TimeSeriesIndexEntry& e : table)
        if (e.id == id)
            return &e;
    return nullptr;
}

const TimeSeries* series_of(const SeriesLists& lists, const TimeSeriesIndexEntry& entry) {
    if (entry.series < 0 || static_cast<std::size_t>(entry.series) >= lists.time_series.size())
        return nullptr;
    return &lists.time_series[entry.series];
}

}  // namespace

namespace {

// The lookup shared by both forms: cells[k] for k < count names the cell (or,
// without a list, cell k + 1). Each kind of failure remembers its first cell;
// the messages are printed after the loop, once, in cell order.
void look_up_cells(RunContext& ctx, const TimeSeriesIndexTable& table,
                   const std::vector<double>& cell_index, const int* cells, int count, double t,
                   std::vector<double>& cell_value, std::vector<int>& cell_hint) {
    const SeriesLists& lists = ctx.series;
    int unknown_cell = INT_MAX;
    int failed_cell = INT_MAX;
    int messed_up_cell = INT_MAX;
#pragma omp parallel for schedule(static) \
    reduction(min                         \
              : unknown_cell, failed_cell, messed_up_cell) if (count >= kMinParallelCells)
    for (int k = 0; k < count; ++k) {
        const int cell = cells ? cells[k] : k + 1;
        cell_value[cell] = 0.0;
        const TimeSeriesIndexEntry* entry = index_entry(table, cell_index[cell]);
        if (!entry) {
            unknown_cell = std::min(unknown_cell, cell);
            continue;
        }
        double value = 0.0;
        const Lookup status = look_up_time(series_of(lists, *entry), t, cell_hint[cell], value);
        if (status == Lookup::missing || status == Lookup::empty)
            failed_cell = std::min(failed_cell, cell);
        if (status == Lookup::not_increasing)
            messed_up_cell = std::min(messed_up_cell, cell);
        cell_value[cell] = value;
    }

    if (unknown_cell < failed_cell) {
        const double stored = cell_index[unknown_cell];
        const int id =
            stored > INT_MIN - 1.0 && stored < INT_MAX + 1.0 ? static_cast<int>(stored) : 0;
        ctx.print(
            "Error: attempting to extract a value from an unknown time series in the time series "
            "table.    Check the mapping table file (.cmt). The specified time series index is %d, "
            "but the \nindex is not found in the time series index table.\n",
            id);
        ctx.error.raise(err::message_printed);
    } else if (failed_cell != INT_MAX) {
        const TimeSeries* series = series_of(lists, *index_entry(table, cell_index[failed_cell]));
        report_time_lookup(ctx, series ? Lookup::empty : Lookup::missing, series);
    }
    if (messed_up_cell != INT_MAX) {
        const TimeSeries* series =
            series_of(lists, *index_entry(table, cell_index[messed_up_cell]));
        report_time_lookup(ctx, Lookup::not_increasing, series);
    }
}

}  // namespace

void time_series_values_by_index(RunContext& ctx, const TimeSeriesIndexTable& table,
                                 const std::vector<double>& cell_index, int cell_count, double t,
                                 std::vector<double>& cell_value, std::vector<int>& cell_hint) {
    look_up_cells(ctx, table, cell_index, nullptr, cell_count, t, cell_value, cell_hint);
}

void time_series_values_by_index(RunContext& ctx, const TimeSeriesIndexTable& table,
                                 const std::vector<double>& cell_index,
                                 const std::vector<int>& cells, double t,
                                 std::vector<double>& cell_value, std::vector<int>& cell_hint) {
    look_up_cells(ctx, table, cell_index, cells.data(), static_cast<int>(cells.size()), t,
                  cell_value, cell_hint);
}

}  // namespace torva
