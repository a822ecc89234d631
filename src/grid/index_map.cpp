// Index maps: the integer maps whose cell values are the ids of a table's rows.

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "core/arrays.hpp"
#include "core/context.hpp"
#include "grid/grid.hpp"
#include "grid/mapping.hpp"
#include "grid/mapping_internal.hpp"
#include "grid/raster.hpp"
#include "grid/raster_library.hpp"
#include "input/numbers.hpp"
#include "input/tokens.hpp"

namespace torva {
namespace mapping_internal {

bool IntegerScanner::next(std::string_view& token) {
    return next_token(token);
}

bool IntegerScanner::next_checked(long& value) {
    std::string_view token;
    if (!next_token(token))
        return false;
    int v = 0;
    const bool read = read_integer(token, v) == NumberFault::none;
    value = v;
    return read;
}

bool IntegerScanner::next_token(std::string_view& token) {
    while (true) {
        while (pos_ < line_.size() && is_number_separator(line_[pos_])) ++pos_;
        if (pos_ < line_.size())
            break;
        if (!reader_.next(line_))
            return false;
        pos_ = 0;
    }
    std::size_t end = pos_;
    while (end < line_.size() && !is_number_separator(line_[end])) ++end;
    token = std::string_view(line_).substr(pos_, end - pos_);
    pos_ = end;
    return true;
}

}  // namespace mapping_internal

using namespace mapping_internal;

namespace {

// Grid-map header: six lines of a word and a number; only rows and columns are used.
bool read_map_header(LineReader& reader, MapHeader& header) {
    std::string line;
    double* bounds[4] = {&header.north, &header.south, &header.east, &header.west};
    for (int i = 0; i < 6; ++i) {
        if (!reader.next(line))
            return false;
        Tokens t(line);
        std::string word;
        t.text(word);
        std::string number;
        t.text(number);
        // A bound that is not a number carries no corner (zeros are none).
        if (i < 4 && read_real(number, *bounds[i]) != NumberFault::none)
            *bounds[i] = 0.0;
        if (i == 4)
            header.rows = static_cast<int>(lenient_long(number));
        if (i == 5)
            header.cols = static_cast<int>(lenient_long(number));
    }
    return true;
}

// The next id of an index map, from its text words or from the values of a
// raster library map; `shown` is what a message prints of it.
class IndexSource {
  public:
    IndexSource(LineReader& reader, const std::vector<double>* raster)
        : scanner_(reader), raster_(raster) {}

    // False at the end of a text map.
    bool next(int& value, NumberFault& fault, bool& no_data, std::string& shown) {
        no_data = false;
        if (raster_) {
            const double v = (*raster_)[index_++];
            no_data = std::isnan(v);
            char text[32];
            std::snprintf(text, sizeof text, "%.17g", v);
            shown = text;
            fault = no_data ? NumberFault::none : read_integer(v, value);
            return true;
        }
        std::string_view token;
        if (!scanner_.next(token))
            return false;
        shown.assign(token);
        fault = read_integer(token, value);
        return true;
    }

  private:
    IntegerScanner scanner_;
    const std::vector<double>* raster_;
    std::size_t index_ = 0;
};

void raise_wrong_shape(RunContext& ctx, const std::string& path, int rows, int cols,
                       const Grid& grid) {
    const int code = rows != grid.rows && cols != grid.cols ? kWrongRowsAndColumns
                     : rows != grid.rows                    ? kWrongRows
                                                            : kWrongColumns;
    ctx.error.raise(code, {.text2 = path});
}

}  // namespace

bool read_index_map(RunContext& ctx, const std::string& path, const Grid& grid, int largest_id,
                    IndexZero zero, std::vector<int>& cell_ids) {
    std::FILE* f = path.empty() ? nullptr : std::fopen(path.c_str(), "r");
    if (!f) {
        ctx.error.raise(kUnableToOpenIndexFile, {.text2 = path});
        return false;
    }
    LineReader reader(f, ctx);
    // A GeoTIFF, NetCDF or other raster of the raster library stands in for the
    // text layout; its shape and cell size are checked as it is read.
    const bool library = is_library_raster(f, true);
    RasterGeoreference geo;
    std::vector<double> raster;
    MapHeader header;
    header.rows = grid.rows;
    header.cols = grid.cols;
    bool ok =
        library ? read_library_grid(ctx, path, grid, geo, raster) : read_map_header(reader, header);
    const int rows = header.rows, cols = header.cols;
    if (!ok) {
        if (!library)
            report_unexpected_end(ctx, path);
    } else if (rows != grid.rows || cols != grid.cols) {
        // Checked before any value is read, so a map of another shape never
        // reaches the grid's arrays.
        raise_wrong_shape(ctx, path, rows, cols, grid);
        ok = false;
    } else if (!(library ? check_georeference(ctx, path, grid, library_corners(geo),
                                              geo.spatial_reference)
                         : check_georeference(ctx, path, grid, header, ""))) {
        ok = false;
    } else {
        ok = allocate(ctx, cell_ids, static_cast<std::size_t>(grid.num_cells) + 1, "index_map");
    }
    std::vector<int> census(ok ? static_cast<std::size_t>(std::max(largest_id, 0)) + 1 : 0, 0);
    IndexSource source(reader, library ? &raster : nullptr);
    std::string shown;
    for (int r = 1; ok && r <= rows; ++r) {
        for (int c = 1; c <= cols; ++c) {
            int read = 0;
            NumberFault fault = NumberFault::none;
            bool no_data = false;
            if (!source.next(read, fault, no_data, shown)) {
                report_unexpected_end(ctx, path);
                ok = false;
                break;
            }
            const int cell = grid.number_at(r, c);
            if (no_data && cell > 0) {
                ctx.print_and_log(
                    "Error: map %s has no value at row %d, column %d, inside the watershed\n",
                    path.c_str(), r, c);
                fail_with_printed_message(ctx);
                ok = false;
                break;
            }
            // Outside the mask any number will do, as a no-data value; words never.
            if (fault == NumberFault::not_a_number || (fault != NumberFault::none && cell > 0)) {
                ctx.print_and_log("Error: in map %s, row %d, column %d: %s %s.\n", path.c_str(), r,
                                  c, shown.c_str(), number_fault_text(fault));
                fail_with_printed_message(ctx);
                ok = false;
                break;
            }
            if (cell <= 0)
                continue;
            const long value = read;
            if (value > largest_id) {
                ctx.error.raise(kIndexIdExceedsTable, {.number1 = r, .number2 = c, .text2 = path});
                ok = false;
                break;
            }
            if (value < 1 && !(value == 0 && zero == IndexZero::means_none)) {
                ctx.print_and_log(
                    "Index ID %ld below 1 inside the watershed mask, file: %s [row %d:col %d]\n",
                    value, path.c_str(), r, c);
                fail_with_printed_message(ctx);
                ok = false;
                break;
            }
            cell_ids[cell] = static_cast<int>(value);
            if (value >= 1)
                ++census[value];
        }
    }
    std::fclose(f);
    if (!ok)
        return false;
    for (std::size_t id = 1; id < census.size(); ++id)
        if (census[id] > 0)
            ctx.print("In map %s category %zu has %d values\n", path.c_str(), id, census[id]);
    return true;
}

}  // namespace torva
