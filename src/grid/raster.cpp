#include "grid/raster.hpp"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <string>

#include "core/arrays.hpp"
#include "core/context.hpp"
#include "core/errors.hpp"
#include "core/output_files.hpp"
#include "grid/grid.hpp"
#include "grid/raster_library.hpp"
#include "input/numbers.hpp"
#include "input/replace.hpp"

namespace torva {
namespace {

// Blanks, tabs and commas separate map values; a carriage return left by a
// map written on another system separates as well, so it never turns the last
// value of a row into a non-number.
inline bool is_map_separator(char c) {
    return c == ' ' || c == '\t' || c == ',' || c == '\n' || c == '\r';
}

// Whole lines of an open file, read in large blocks. A map row is one line,
// however long: a row longer than any fixed buffer is never cut into two rows,
// which would shift every later row of the map.
class LineSource {
  public:
    explicit LineSource(std::FILE* file) : file_(file), block_(kBlockSize) {}

    // The next line without its newline; valid until the next call. False at
    // the end of the file.
    bool next(std::string_view& line) {
        joined_.clear();
        bool partial = false;
        while (true) {
            if (pos_ == end_ && !refill()) {
                if (!partial)
                    return false;
                line = joined_;
                return true;
            }
            const char* start = block_.data() + pos_;
            const std::size_t available = end_ - pos_;
            const void* newline = std::memchr(start, '\n', available);
            if (newline) {
                const std::size_t n = static_cast<const char*>(newline) - start;
                pos_ += n + 1;
                if (!partial) {
                    line = std::string_view(start, n);
                } else {
                    joined_.append(start, n);
                    line = joined_;
                }
                return true;
            }
            joined_.append(start, available);
            partial = true;
            pos_ = end_;
        }
    }

  private:
    static constexpr std::size_t kBlockSize = 1 << 16;

    bool refill() {
        pos_ = 0;
        end_ = std::fread(block_.data(), 1, block_.size(), file_);
        return end_ > 0;
    }

    std::FILE* file_;
    std::vector<char> block_;
    std::size_t pos_ = 0;
    std::size_t end_ = 0;
    std::string joined_;
};

// Tokens that may run on over line breaks: the header, and integer maps, in
// which line breaks carry no meaning.
class TokenStream {
  public:
    explicit TokenStream(LineSource& lines) : lines_(lines) {}

    // The next token, at most max_width characters of it (the rest stays for
    // the next call, as a width-limited word read does). False at the end of
    // the file.
    bool next(std::string_view& token, std::size_t max_width = std::string_view::npos) {
        while (true) {
            std::size_t i = 0;
            while (i < rest_.size() && is_map_separator(rest_[i])) ++i;
            rest_.remove_prefix(i);
            if (!rest_.empty())
                break;
            if (!lines_.next(rest_))
                return false;
        }
        std::size_t n = 0;
        while (n < rest_.size() && n < max_width && !is_map_separator(rest_[n])) ++n;
        token = rest_.substr(0, n);
        rest_.remove_prefix(n);
        return true;
    }

    // Drops what is left of the current line.
    void end_line() { rest_ = {}; }

  private:
    LineSource& lines_;
    std::string_view rest_;
};

// Prints the message of a failed read and raises the fatal error whose message
// has been printed; the caller's check ends the run.
template <typename... Args>
bool fail(RunContext& ctx, const char* format, Args... args) {
    ctx.print(format, args...);
    ctx.error.raise(err::message_printed);
    return false;
}

bool unexpected_end(RunContext& ctx, const std::string& path) {
    return fail(ctx, "Unexpected end of file in file: %s\n", path.c_str());
}

// A value that is not a number, or not one a map may hold, stops the read
// naming its place, so that it never enters the model as a zero.
bool bad_value(RunContext& ctx, const std::string& path, int row, int col, std::string_view token,
               NumberFault fault) {
    const std::string shown(token);
    return fail(ctx, "Error: in map %s, row %d, column %d: %s %s.\n", path.c_str(), row, col,
                shown.c_str(), number_fault_text(fault));
}

// The six header lines: a keyword of the given width, whose text is not
// compared with anything, then the value. The order alone gives the meaning.
bool read_header(RunContext& ctx, TokenStream& tokens, const std::string& path, MapHeader& header) {
    constexpr std::size_t kWidths[6] = {6, 6, 5, 5, 5, 5};
    double* bounds[4] = {&header.north, &header.south, &header.east, &header.west};
    std::string_view token;
    for (int i = 0; i < 6; ++i) {
        if (!tokens.next(token, kWidths[i]))
            return unexpected_end(ctx, path);
        if (!tokens.next(token))
            return unexpected_end(ctx, path);
        const NumberFault fault = i < 4 ? read_real(token, *bounds[i])
                                        : read_integer(token, i == 4 ? header.rows : header.cols);
        if (fault != NumberFault::none) {
            const std::string shown(token);
            return fail(ctx, "Error: in map %s, header line %d: %s %s.\n", path.c_str(), i + 1,
                        shown.c_str(), number_fault_text(fault));
        }
    }
    tokens.end_line();
    return true;
}

// Compares a map's rows and columns with the grid's.
bool check_shape(RunContext& ctx, const std::string& path, int rows, int cols, const Grid& grid) {
    const bool rows_differ = rows != grid.rows;
    const bool cols_differ = cols != grid.cols;
    if (!rows_differ && !cols_differ)
        return true;
    const char* what = rows_differ && cols_differ ? "rows and columns"
                       : rows_differ              ? "rows"
                                                  : "columns";
    const char* cards = rows_differ && cols_differ ? "ROWS and COLS"
                        : rows_differ              ? "ROWS"
                                                   : "COLS";
    ctx.print("Incorrect number of %s in map: %s\n", what, path.c_str());
    return fail(ctx,
                "  The map has %d rows and %d columns; the grid has %d rows and %d columns. "
                "Change %s in the project file, or give the map the grid's size.\n",
                rows, cols, grid.rows, grid.cols, cards);
}

// Stores the georeference and compares the header's size with the grid's.
bool take_header(RunContext& ctx, TokenStream& tokens, const std::string& path, Grid& grid) {
    MapHeader header;
    if (!read_header(ctx, tokens, path, header))
        return false;
    return check_shape(ctx, path, header.rows, header.cols, grid) &&
           take_georeference(ctx, path, grid, header, "");
}

void warn_if_all_zero(RunContext& ctx, bool any_nonzero, const std::string& path) {
    if (!any_nonzero)
        ctx.print("Warning: Map contains only zero values. Map: %s\n", path.c_str());
}

// A map with more rows than its header gives was most likely meant for
// another grid; the rows beyond are not read.
void warn_if_rows_beyond(RunContext& ctx, LineSource& lines, const std::string& path, int rows) {
    std::string_view line;
    while (lines.next(line)) {
        for (char c : line) {
            if (!is_map_separator(c)) {
                ctx.print(
                    "Warning: map %s has more rows than the %d its header gives; the rows after "
                    "row %d are not read.\n",
                    path.c_str(), rows, rows);
                return;
            }
        }
    }
}

bool grid_is_shaped(const Grid& grid) {
    return grid.rows >= 0 && grid.cols >= 0 &&
           grid.cell_number.size() ==
               static_cast<std::size_t>(grid.rows + 2) * static_cast<std::size_t>(grid.cols + 2);
}

// The running cell number of a per-cell read never passes the array's end,
// even when the array was made for fewer cells than the mask holds.
bool fits_cells(const Grid& grid, std::size_t entries) {
    return entries >= static_cast<std::size_t>(grid.num_cells) + 1;
}

// The header of a per-cell map, and a grid set up to place `entries` values by cell.
bool take_header_for_cells(RunContext& ctx, TokenStream& tokens, const std::string& path,
                           Grid& grid, std::size_t entries) {
    if (!take_header(ctx, tokens, path, grid))
        return false;
    if (!grid_is_shaped(grid) || !fits_cells(grid, entries))
        return fail(ctx, "Error: the grid for map %s is not set up\n", path.c_str());
    return true;
}

void report_census(RunContext& ctx, const std::string& path, const std::vector<int>& census,
                   int uncounted) {
    for (int category = 1; category <= kCensusCategories; ++category)
        if (census[category] > 0)
            ctx.print("In map %s category %d has %d values\n", path.c_str(), category,
                      census[category]);
    if (uncounted > 0)
        ctx.print("Warning: In map %s %d values lie outside the categories 0 to %d.\n",
                  path.c_str(), uncounted, kCensusCategories);
}

enum class MapMode { full_grid, real, integer };

bool bad_library_value(RunContext& ctx, const std::string& path, int row, int col, double v,
                       NumberFault fault) {
    char shown[32];
    std::snprintf(shown, sizeof shown, "%.17g", v);
    return bad_value(ctx, path, row, col, shown, fault);
}

// A map in a raster library format (GeoTIFF, NetCDF...) with the checks and
// messages of the text layout. The georeference comes from the file; no-data
// cells may lie outside the mask only.
bool read_library_map(RunContext& ctx, const std::string& path, Grid& grid, MapMode mode,
                      std::vector<int>* full, std::vector<double>* real,
                      std::vector<int>* integer) {
    const std::size_t width = static_cast<std::size_t>(grid.cols) + 2;
    const std::size_t entries = mode == MapMode::real      ? real->size()
                                : mode == MapMode::integer ? integer->size()
                                                           : 0;
    if (!grid_is_shaped(grid) ||
        (mode == MapMode::full_grid && full->size() != grid.cell_number.size()) ||
        (mode != MapMode::full_grid && !fits_cells(grid, entries)))
        return fail(ctx, "Error: the grid for map %s is not set up\n", path.c_str());
    RasterGeoreference geo;
    std::vector<double> values;
    if (!read_library_grid(ctx, path, grid, geo, values))
        return false;
    if (!take_georeference(ctx, path, grid, library_corners(geo), geo.spatial_reference))
        return false;
    std::vector<int> census(mode == MapMode::integer ? kCensusCategories + 1 : 0, 0);
    int uncounted = 0, zero_cells = 0;
    bool any_nonzero = false;
    std::size_t cell = 0;
    for (int r = 1; r <= grid.rows; ++r) {
        for (int c = 1; c <= grid.cols; ++c) {
            const double v = values[static_cast<std::size_t>(r - 1) * grid.cols + (c - 1)];
            const bool missing = std::isnan(v);
            any_nonzero |= !missing && v != 0.0;
            const bool inside = mode == MapMode::full_grid || grid.cell_number[r * width + c] != 0;
            if (missing && inside && mode != MapMode::full_grid)
                return fail(
                    ctx, "Error: map %s has no value at row %d, column %d, inside the watershed\n",
                    path.c_str(), r, c);
            if (missing || !inside)
                continue;
            if (mode == MapMode::real) {
                (*real)[++cell] = v;
                zero_cells += v == 0.0;
                continue;
            }
            int value = 0;
            const NumberFault fault = read_integer(v, value);
            if (fault != NumberFault::none)
                return bad_library_value(ctx, path, r, c, v, fault);
            if (mode == MapMode::full_grid) {
                (*full)[r * width + c] = value;
                continue;
            }
            (*integer)[++cell] = value;
            if (value >= 0 && value <= kCensusCategories)
                ++census[value];
            else
                ++uncounted;
        }
    }
    if (mode == MapMode::integer)
        report_census(ctx, path, census, uncounted);
    warn_if_all_zero(ctx, any_nonzero, path);
    if (zero_cells > 0)
        ctx.print("Warning: Map contains %d cells with zero values. Map: %s\n", zero_cells,
                  path.c_str());
    return true;
}

}  // namespace

bool read_library_grid(RunContext& ctx, const std::string& path, const Grid& grid,
                       RasterGeoreference& geo, std::vector<double>& values) {
    if (!read_library_raster(ctx, path, geo, nullptr) ||
        !check_shape(ctx, path, geo.rows, geo.cols, grid))
        return false;
    if (std::fabs(geo.cell_size - grid.cell_size) > 1e-9 * std::max(1.0, grid.cell_size))
        return fail(ctx,
                    "Incorrect cell size %lf in map: %s (GRIDSIZE is %lf)\n"
                    "  Change GRIDSIZE in the project file to %g, or resample the map to cells "
                    "of %g m.\n",
                    geo.cell_size, path.c_str(), grid.cell_size, geo.cell_size, grid.cell_size);
    if (!allocate(ctx, values, static_cast<std::size_t>(geo.rows) * geo.cols, "map_values") ||
        !read_library_raster(ctx, path, geo, &values))
        return false;
    return true;
}

bool read_full_grid_map(RunContext& ctx, std::FILE* file, std::string_view path_view, Grid& grid,
                        std::vector<int>& full_grid) {
    const std::string path(path_view);
    if (is_library_raster(file, true))
        return read_library_map(ctx, path, grid, MapMode::full_grid, &full_grid, nullptr, nullptr);
    LineSource lines(file);
    TokenStream tokens(lines);
    if (!take_header(ctx, tokens, path, grid))
        return false;
    const std::size_t width = static_cast<std::size_t>(grid.cols) + 2;
    if (grid.rows < 0 || grid.cols < 0 ||
        full_grid.size() != (static_cast<std::size_t>(grid.rows) + 2) * width)
        return fail(ctx, "Error: the grid for map %s is not set up\n", path.c_str());

    bool any_nonzero = false;
    std::string_view token;
    for (int r = 1; r <= grid.rows; ++r) {
        int* row = full_grid.data() + r * width;
        for (int c = 1; c <= grid.cols; ++c) {
            if (!tokens.next(token))
                return unexpected_end(ctx, path);
            const NumberFault fault = read_integer(token, row[c]);
            if (fault != NumberFault::none)
                return bad_value(ctx, path, r, c, token, fault);
            any_nonzero |= row[c] != 0;
        }
    }
    warn_if_all_zero(ctx, any_nonzero, path);
    return true;
}

bool read_real_map(RunContext& ctx, std::FILE* file, std::string_view path_view, Grid& grid,
                   std::vector<double>& values, std::string* following) {
    const std::string path(path_view);
    if (is_library_raster(file, true))
        return read_library_map(ctx, path, grid, MapMode::real, nullptr, &values, nullptr);
    LineSource lines(file);
    TokenStream tokens(lines);
    if (!take_header_for_cells(ctx, tokens, path, grid, values.size()))
        return false;

    const std::size_t width = static_cast<std::size_t>(grid.cols) + 2;
    const std::size_t last_cell = values.size() - 1;
    bool any_nonzero = false;
    int zero_cells = 0;
    std::size_t cell = 0;
    std::string substituted;
    std::string_view line;
    for (int r = 1; r <= grid.rows; ++r) {
        if (!lines.next(line))
            return unexpected_end(ctx, path);
        if (ctx.replacement.active) {
            substituted.assign(line);
            substitute_tags(ctx, substituted, std::max<std::size_t>(19999, substituted.size()));
            if (ctx.error.pending())
                return false;
            line = substituted;
        }
        const int* mask_row = grid.cell_number.data() + r * width;
        const char* p = line.data();
        const char* const end = p + line.size();
        for (int c = 1; c <= grid.cols; ++c) {
            while (p < end && is_map_separator(*p)) ++p;
            const char* token_end = p;
            while (token_end < end && !is_map_separator(*token_end)) ++token_end;
            if (p == token_end)
                return fail(ctx,
                            "Error: in map %s, row %d, column %d: the value is missing; the row "
                            "holds %d values where the header gives %d columns.\n",
                            path.c_str(), r, c, c - 1, grid.cols);
            const std::string_view token(p, static_cast<std::size_t>(token_end - p));
            double value = 0.0;
            const NumberFault fault = read_real(token, value);
            // Cells outside the mask are never used: their no-data words may be
            // anything that is not garbage.
            if (fault == NumberFault::not_a_number ||
                (fault != NumberFault::none && mask_row[c] != 0))
                return bad_value(ctx, path, r, c, token, fault);
            p = token_end;
            any_nonzero |= value != 0.0;
            if (mask_row[c] != 0 && cell < last_cell) {
                values[++cell] = value;
                if (value == 0.0)
                    ++zero_cells;
            }
        }
    }
    if (following) {
        following->clear();
        for (std::string_view rest; lines.next(rest);) following->append(rest).push_back('\n');
    } else {
        warn_if_rows_beyond(ctx, lines, path, grid.rows);
    }
    warn_if_all_zero(ctx, any_nonzero, path);
    if (zero_cells > 0)
        ctx.print("Warning: Map contains %d cells with zero values. Map: %s\n", zero_cells,
                  path.c_str());
    return true;
}

bool read_integer_map(RunContext& ctx, std::FILE* file, std::string_view path_view, Grid& grid,
                      std::vector<int>& values) {
    const std::string path(path_view);
    if (is_library_raster(file, true))
        return read_library_map(ctx, path, grid, MapMode::integer, nullptr, nullptr, &values);
    LineSource lines(file);
    TokenStream tokens(lines);
    if (!take_header_for_cells(ctx, tokens, path, grid, values.size()))
        return false;

    const std::size_t width = static_cast<std::size_t>(grid.cols) + 2;
    const std::size_t last_cell = values.size() - 1;
    // Values 0 to 10000 are counted; others are stored but cannot be counted.
    std::vector<int> census(kCensusCategories + 1, 0);
    int uncounted = 0;
    bool any_nonzero = false;
    std::size_t cell = 0;
    std::string_view token;
    for (int r = 1; r <= grid.rows; ++r) {
        const int* mask_row = grid.cell_number.data() + r * width;
        for (int c = 1; c <= grid.cols; ++c) {
            if (!tokens.next(token))
                return unexpected_end(ctx, path);
            int value = 0;
            const NumberFault fault = read_integer(token, value);
            if (fault == NumberFault::not_a_number ||
                (fault != NumberFault::none && mask_row[c] != 0))
                return bad_value(ctx, path, r, c, token, fault);
            any_nonzero |= value != 0;
            if (mask_row[c] == 0 || cell >= last_cell)
                continue;
            values[++cell] = value;
            if (value >= 0 && value <= kCensusCategories)
                ++census[value];
            else
                ++uncounted;
        }
    }
    report_census(ctx, path, census, uncounted);
    warn_if_all_zero(ctx, any_nonzero, path);
    return true;
}

MapHeader library_corners(const RasterGeoreference& geo) {
    MapHeader corners;
    corners.north = geo.north;
    corners.west = geo.west;
    corners.south = geo.north - geo.rows * geo.cell_size;
    corners.east = geo.west + geo.cols * geo.cell_size;
    corners.rows = geo.rows;
    corners.cols = geo.cols;
    return corners;
}

bool check_georeference(RunContext& ctx, const std::string& path, const Grid& grid,
                        const MapHeader& corners, const std::string& spatial_reference) {
    // A text header of zeros carries no corners.
    const bool has_corners =
        corners.north != 0.0 || corners.south != 0.0 || corners.east != 0.0 || corners.west != 0.0;
    const double tolerance = 0.5 * grid.cell_size;
    if (has_corners && !grid.georeference_map.empty() &&
        (std::fabs(corners.west - grid.west) > tolerance ||
         std::fabs(corners.south - grid.south) > tolerance ||
         std::fabs(corners.east - grid.east) > tolerance ||
         std::fabs(corners.north - grid.north) > tolerance))
        return fail(ctx,
                    "Error: map %s lies elsewhere than map %s, whose corners are the grid's: its "
                    "corners are west %.3f, south %.3f, east %.3f, north %.3f, the grid's west "
                    "%.3f, south %.3f, east %.3f, north %.3f (more than half a cell apart). Give "
                    "every map the corners of the watershed mask.\n",
                    path.c_str(), grid.georeference_map.c_str(), corners.west, corners.south,
                    corners.east, corners.north, grid.west, grid.south, grid.east, grid.north);
    if (!spatial_reference.empty() && !grid.spatial_reference.empty() &&
        !same_spatial_reference(spatial_reference, grid.spatial_reference))
        return fail(ctx,
                    "Error: map %s has the spatial reference %s, but map %s, which gave the grid "
                    "its spatial reference, has %s. Reproject it to the grid's (gdalwarp "
                    "-t_srs).\n",
                    path.c_str(), spatial_reference_name(spatial_reference).c_str(),
                    grid.spatial_reference_map.c_str(),
                    spatial_reference_name(grid.spatial_reference).c_str());
    return true;
}

bool take_georeference(RunContext& ctx, const std::string& path, Grid& grid,
                       const MapHeader& corners, const std::string& spatial_reference) {
    if (!check_georeference(ctx, path, grid, corners, spatial_reference))
        return false;
    if (grid.georeference_map.empty()) {
        grid.north = corners.north;
        grid.south = corners.south;
        grid.east = corners.east;
        grid.west = corners.west;
        grid.georeference_map = path;
    }
    if (grid.spatial_reference.empty() && !spatial_reference.empty()) {
        grid.spatial_reference = spatial_reference;
        grid.spatial_reference_map = path;
    }
    return true;
}

}  // namespace torva
