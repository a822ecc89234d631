#include "meteo/radar.hpp"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <initializer_list>
#include <string>

#include "core/arrays.hpp"
#include "core/context.hpp"
#include "core/file_names.hpp"
#include "core/model_state.hpp"
#include "grid/raster_library.hpp"
#include "input/replace.hpp"

namespace torva {
namespace {

constexpr double kMillimetresPerInch = 25.4;
constexpr double kLargestIntensity = 100.0;  // mm/h
constexpr int kRadarMappingError = 102;

template <typename... Args>
bool stop(RunContext& ctx, const char* format, Args... args) {
    ctx.print(format, args...);
    ctx.error.raise(err::message_printed);
    return false;
}

bool is_blank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == ',';
}

// The file named for a record, without the blanks and quotes around it.
std::string radar_file_name(const std::string& listed) {
    std::size_t first = 0;
    std::size_t last = listed.size();
    while (first < last && is_blank(listed[first])) ++first;
    while (last > first && is_blank(listed[last - 1])) --last;
    return strip_quotes(std::string_view(listed).substr(first, last - first));
}

bool read_whole_file(const std::string& path, std::string& text) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file)
        return false;
    text.clear();
    char block[1 << 16];
    std::size_t n;
    while ((n = std::fread(block, 1, sizeof block, file)) > 0) text.append(block, n);
    const bool read = !std::ferror(file);
    std::fclose(file);
    return read;
}

// A number from the front of text[pos..); false when none stands there or it
// is not a real number.
bool next_number(const std::string& text, std::size_t& pos, double& value) {
    while (pos < text.size() && is_blank(text[pos])) ++pos;
    const char* first = text.data() + pos;
    const char* last = text.data() + text.size();
    if (first < last && *first == '+')
        ++first;
    const auto result = std::from_chars(first, last, value);
    if (result.ec != std::errc{} || !std::isfinite(value))
        return false;
    pos = result.ptr - text.data();
    return pos >= text.size() || is_blank(text[pos]);
}

// The six header lines of a text radar file: a keyword, skipped, then the
// value; replacement tags are resolved in each line. `pos` ends after them.
bool read_text_header(RunContext& ctx, const std::string& text, std::size_t& pos,
                      RadarHeader& header) {
    double value[6];
    std::string line;
    for (int i = 0; i < 6; ++i) {
        if (pos >= text.size())
            return false;
        const std::size_t end = std::min(text.find('\n', pos), text.size());
        line.assign(text, pos, end - pos);
        pos = end + 1;
        if (ctx.replacement.active) {
            substitute_tags(ctx, line, 19999);
            if (ctx.error.pending())
                return false;
        }
        std::size_t at = 0;
        while (at < line.size() && is_blank(line[at])) ++at;
        while (at < line.size() && !is_blank(line[at])) ++at;
        if (!next_number(line, at, value[i]))
            return false;
    }
    header = {};
    if (value[0] != std::floor(value[0]) || value[1] != std::floor(value[1]) || value[0] > 1e9 ||
        value[1] > 1e9)
        return false;
    header.cols = static_cast<int>(value[0]);
    header.rows = static_cast<int>(value[1]);
    header.west = value[2];
    header.south = value[3];
    header.cell_size = value[4];
    header.no_data = value[5];
    return true;
}

bool header_is_sound(const RadarHeader& h) {
    return h.cols > 0 && h.rows > 0 && h.cell_size > 0.0 && std::isfinite(h.cell_size) &&
           std::isfinite(h.west) && std::isfinite(h.south) && std::isfinite(h.north());
}

// Reads a radar file: its header and, when `values` holds as many entries as
// the header's rows times columns, its values, row by row from the north-west.
enum class RadarRead { ok, unreadable_header, unreadable_values };

bool unit_is(const std::string& unit, std::initializer_list<const char*> words) {
    std::string lower = unit;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (const char* word : words)
        if (lower == word)
            return true;
    return false;
}

// Whether a GeoTIFF or NetCDF radar file is in millimetres per hour: its
// band's unit tag says so, or, when it has none, the RADAR_UNITS card does.
// A rate's unit is never guessed: a file with neither, or with a unit that is
// not a rain rate, stops the run.
bool radar_unit_known(RunContext& ctx, const std::string& path, const std::string& unit,
                      RadarUnits card, bool& millimetres) {
    if (unit_is(unit,
                {"mm/h", "mm/hr", "mm h-1", "mm hr-1", "mm h**-1", "mm/hour", "kg m-2 h-1"})) {
        millimetres = true;
        return true;
    }
    if (unit_is(unit, {"in/h", "in/hr", "in h-1", "in hr-1", "inch/h", "inches/h", "in/hour"})) {
        millimetres = false;
        return true;
    }
    if (!unit.empty())
        return stop(ctx,
                    "Error: radar file %s gives its unit as \"%s\", which is not a rain rate TORVA "
                    "knows (mm/h or in/h)\n",
                    path.c_str(), unit.c_str());
    if (card == RadarUnits::not_given)
        return stop(ctx,
                    "Error: radar file %s carries no unit; tag its band (gdal_edit.py -units "
                    "mm/h) or give the card RADAR_UNITS MM_PER_HOUR or RADAR_UNITS IN_PER_HOUR\n",
                    path.c_str());
    millimetres = card == RadarUnits::millimetres_per_hour;
    return true;
}

// A GeoTIFF or NetCDF radar file, read through the raster library: time
// slice `time` (0 for a file of one), in the unit of its tag or of the
// RADAR_UNITS card; a value that is not a number is no data.
RadarRead read_library_radar_file(RunContext& ctx, const std::string& path, int time,
                                  RadarUnits card, RadarHeader& header,
                                  std::vector<double>* values) {
    RasterGeoreference geo;
    if (!read_library_raster_band(ctx, path, time, geo, nullptr))
        return RadarRead::unreadable_header;
    header = {};
    header.cols = geo.cols;
    header.rows = geo.rows;
    header.west = geo.west;
    header.south = geo.north - geo.rows * geo.cell_size;
    header.cell_size = geo.cell_size;
    header.has_no_data = geo.has_no_data;
    header.no_data = geo.no_data;
    header.spatial_reference = geo.spatial_reference;
    header.times = geo.bands;
    if (!radar_unit_known(ctx, path, geo.unit, card, header.millimetres))
        return RadarRead::unreadable_header;
    if (!header_is_sound(header))
        return RadarRead::unreadable_header;
    if (!values || values->size() != static_cast<std::size_t>(header.rows) * header.cols)
        return RadarRead::ok;
    return read_library_raster_band(ctx, path, time, geo, values) ? RadarRead::ok
                                                                  : RadarRead::unreadable_values;
}

bool is_library_radar_file(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file)
        return false;
    const bool library = is_library_raster(file, false);
    std::fclose(file);
    return library;
}

// Text radar files are in inches per hour, as their layout has always been,
// unless the RADAR_UNITS card says millimetres.
RadarRead read_radar_file(RunContext& ctx, RadarGrid& radar, const std::string& path, int time,
                          RadarUnits card, RadarHeader& header, std::vector<double>* values) {
    if (is_library_radar_file(path))
        return read_library_radar_file(ctx, path, time, card, header, values);
    if (!read_whole_file(path, radar.text))
        return RadarRead::unreadable_header;
    std::size_t pos = 0;
    if (!read_text_header(ctx, radar.text, pos, header) || !header_is_sound(header))
        return RadarRead::unreadable_header;
    header.millimetres = card == RadarUnits::millimetres_per_hour;
    if (!values || values->size() != static_cast<std::size_t>(header.rows) * header.cols)
        return RadarRead::ok;
    for (double& v : *values)
        if (!next_number(radar.text, pos, v))
            return RadarRead::unreadable_values;
    return RadarRead::ok;
}

// The time slice a record takes from a radar file of several times (a NetCDF
// file with a time axis): the k-th record that names the file takes its k-th
// time. 0 for a file named once, which must then hold one grid.
int time_of_record(const PrecipEvent& event, int record) {
    const std::string name = radar_file_name(event.radar_files[record]);
    int earlier = 0, named = 0;
    for (std::size_t j = 1; j < event.radar_files.size(); ++j) {
        if (radar_file_name(event.radar_files[j]) != name)
            continue;
        ++named;
        if (static_cast<int>(j) <= record)
            ++earlier;
    }
    return named > 1 ? earlier : 0;
}

// The radar cell that holds each watershed cell's centre. A centre outside
// the radar grid, on any of its four sides, stops the run.
bool map_cells(Model& model, RunContext& ctx, const std::string& path) {
    const Grid& grid = model.grid;
    RadarGrid& radar = model.precip.radar;
    const RadarHeader& h = radar.header;
    const double dx = grid.cell_size;
    for (int i = 1; i <= grid.num_cells; ++i) {
        const int row = grid.cell_row[i];
        const int col = grid.cell_col[i];
        const double x = grid.west + (col - 1) * dx + 0.5 * dx;
        const double y = grid.north - 0.5 * dx - (row - 1) * dx;
        const double radar_row = std::floor((h.north() - y) / h.cell_size);
        const double radar_col = std::floor((x - h.west) / h.cell_size);
        if (!(radar_row >= 0.0 && radar_row <= h.rows - 1 && radar_col >= 0.0 &&
              radar_col <= h.cols - 1)) {
            const auto shown = [](double v) {
                return static_cast<int>(std::clamp(v, -2147483647.0, 2147483647.0));
            };
            ctx.print("Error!! p_I=%d, p_J=%d\n", shown(radar_row), shown(radar_col));
            ctx.print("Watershed cell %d (row %d, column %d) lies outside the radar grid of %s\n",
                      i, row, col, path.c_str());
            ctx.error.raise(kRadarMappingError);
            return false;
        }
        radar.cell_index[i] = h.cols * static_cast<int>(radar_row) + static_cast<int>(radar_col);
    }
    radar.mapped = true;
    return true;
}

// A new radar event: the header of its first file sizes the grid and maps the cells.
bool start_radar_event(Model& model, RunContext& ctx) {
    Precipitation& p = model.precip;
    RadarGrid& radar = p.radar;
    radar.mapped = false;
    const std::string path = radar_file_name(p.event.radar_files[1]);
    RadarHeader header;
    if (read_radar_file(ctx, radar, path, time_of_record(p.event, 1), model.project.radar_units,
                        header, nullptr) != RadarRead::ok) {
        if (!ctx.error.pending())
            stop(ctx, "Error: unable to read radar header in file %s\n", path.c_str());
        return false;
    }
    const Grid& grid = model.grid;
    if (!header.spatial_reference.empty() && !grid.spatial_reference.empty() &&
        !same_spatial_reference(header.spatial_reference, grid.spatial_reference))
        return stop(ctx,
                    "Error: radar file %s has the spatial reference %s, but the grid (map %s) has "
                    "%s; reproject it to the grid's (gdalwarp -t_srs)\n",
                    path.c_str(), spatial_reference_name(header.spatial_reference).c_str(),
                    grid.spatial_reference_map.c_str(),
                    spatial_reference_name(grid.spatial_reference).c_str());
    radar.header = header;
    const std::size_t count = static_cast<std::size_t>(header.rows) * header.cols;
    const std::size_t cells = static_cast<std::size_t>(model.grid.num_cells) + 1;
    if (radar.values.size() != count && !allocate(ctx, radar.values, count, "radar_precip"))
        return false;
    if (radar.raw.size() != count && !allocate(ctx, radar.raw, count, "radar_precip_read"))
        return false;
    if (radar.cell_index.size() != cells && !allocate(ctx, radar.cell_index, cells, "radar_index"))
        return false;
    return map_cells(model, ctx, path);
}

// Reads the grid of a record into mm/h: no-data becomes 0, inches become
// millimetres, and anything above 100 mm/h is reset to 100. A file that does
// not match the event's first grid, or holds values that cannot be read,
// stops the run before any of its values is used.
bool read_radar_grid(RunContext& ctx, RadarGrid& radar, const std::string& path, int time,
                     RadarUnits card) {
    ctx.print("Reading radar precip file %s.\n", path.c_str());
    RadarHeader header;
    const RadarRead read = read_radar_file(ctx, radar, path, time, card, header, &radar.raw);
    if (ctx.error.pending())
        return false;
    if (read == RadarRead::unreadable_header)
        return stop(ctx, "Error: unable to read radar header in file %s\n", path.c_str());
    const RadarHeader& first = radar.header;
    if (header.cols != first.cols || header.rows != first.rows)
        return stop(ctx,
                    "Error: radar precip file %s has %d columns and %d rows, but the first radar "
                    "file of the event has %d and %d\n",
                    path.c_str(), header.cols, header.rows, first.cols, first.rows);
    // The cells were mapped to the first file's grid: a file that lies
    // elsewhere would rain on the wrong cells.
    const double tolerance = 1e-3 * first.cell_size;
    if (std::fabs(header.west - first.west) > tolerance ||
        std::fabs(header.south - first.south) > tolerance ||
        std::fabs(header.cell_size - first.cell_size) > tolerance)
        return stop(ctx,
                    "Error: radar precip file %s lies at west %.3f, south %.3f with cells of "
                    "%g, but the first radar file of the event at west %.3f, south %.3f with "
                    "cells of %g\n",
                    path.c_str(), header.west, header.south, header.cell_size, first.west,
                    first.south, first.cell_size);
    if (!header.spatial_reference.empty() && !first.spatial_reference.empty() &&
        !same_spatial_reference(header.spatial_reference, first.spatial_reference))
        return stop(ctx,
                    "Error: radar precip file %s has the spatial reference %s, but the first "
                    "radar file of the event has %s\n",
                    path.c_str(), spatial_reference_name(header.spatial_reference).c_str(),
                    spatial_reference_name(first.spatial_reference).c_str());
    if (read == RadarRead::unreadable_values)
        return stop(ctx, "Error in reading radar precip file %s\n", path.c_str());
    const double to_mm = header.millimetres ? 1.0 : kMillimetresPerInch;
    double peak = 0.0;
    for (std::size_t k = 0; k < radar.raw.size(); ++k) {
        const double read = radar.raw[k];
        double value = 0.0;
        const bool no_data =
            std::isnan(read) || (header.has_no_data && std::fabs(read - header.no_data) < 0.01);
        // A negative intensity is no measurement of rain: a file that holds
        // one is wrong, and running on with it as dry would hide that.
        if (!no_data && read < 0.0)
            return stop(ctx,
                        "Error: radar precip file %s, row %d, column %d: the rain intensity %g is "
                        "negative; rain cannot be negative (mark cells without a measurement with "
                        "the file's no-data value).\n",
                        path.c_str(), static_cast<int>(k / header.cols) + 1,
                        static_cast<int>(k % header.cols) + 1, read);
        if (!no_data && read > 0.0)
            value = read * to_mm;
        if (value > kLargestIntensity) {
            ctx.print(
                "Warning: really big precip value (%lf) in cell (%d,%d) from radar rainfall.\n "
                "resetting value to 100.0\n",
                value, static_cast<int>(k / header.cols), static_cast<int>(k % header.cols));
            value = kLargestIntensity;
        }
        radar.values[k] = value;
        peak = std::max(peak, value);
    }
    ctx.print("Peak rainfall rate read: %lf mm/hr\n", peak);
    return true;
}

// Every watershed cell takes the intensity of its radar cell.
void apply_radar_grid(Model& model, RunContext& ctx) {
    const RadarGrid& radar = model.precip.radar;
    std::vector<double>& rate = model.precip.rain_rate;
    ++model.precip.rate_changes;
    double peak = 0.0;
    for (int i = 1; i <= model.grid.num_cells; ++i) {
        rate[i] = std::max(0.0, radar.values[radar.cell_index[i]]);
        peak = std::max(peak, rate[i]);
    }
    ctx.print("Peak rainfall applied to watershed: %lf mm/hr\n", peak);
}

}  // namespace

void radar_phase(Model& model, RunContext& ctx) {
    Precipitation& p = model.precip;
    if (p.source != PrecipSource::gauge_file || !p.event.file_list)
        return;
    if (p.event_began && !start_radar_event(model, ctx))
        return;
    const int due = p.radar_record_due;
    if (due <= 0 || !p.radar.mapped)
        return;
    if (static_cast<std::size_t>(due + 1) >= p.event.radar_files.size())
        return;
    if (!read_radar_grid(ctx, p.radar, radar_file_name(p.event.radar_files[due + 1]),
                         time_of_record(p.event, due + 1), model.project.radar_units))
        return;
    apply_radar_grid(model, ctx);
}

}  // namespace torva
