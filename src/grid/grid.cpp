#include "grid/grid.hpp"

#include <cmath>
#include <cstdio>
#include <string>

#include "core/arrays.hpp"
#include "core/context.hpp"
#include "core/model_state.hpp"
#include "core/output_files.hpp"
#include "grid/lowspots.hpp"
#include "grid/raster.hpp"
#include "input/tokens.hpp"

namespace torva {
namespace {

// Set-up progress lines: on the console unless the run is silenced, and always
// in the summary file.
template <typename... Args>
void progress(const Model& model, RunContext& ctx, const char* format, Args... args) {
    if (model.run.super_quiet)
        ctx.log(format, args...);
    else
        ctx.print_and_log(format, args...);
}

// Opens an input map named by a card; a map that cannot be opened raises the
// open-file error with the kind of map.
std::FILE* open_map(RunContext& ctx, const std::string& path, const char* kind, Card card) {
    if (path.empty()) {
        ctx.print("\nError: the project file gives no %s card; name the %s map there.\n",
                  card_name(card).c_str(), kind);
        ctx.error.raise(err::message_printed);
        return nullptr;
    }
    std::FILE* file = std::fopen(path.c_str(), "r");
    if (!file)
        ctx.error.raise(err::open_file, {.text1 = kind, .text2 = path});
    return file;
}

// The cell size of the GRIDSIZE card against the one the mask header implies,
// compared in whole tenths of a metre, both truncated towards zero: 30.0 and
// 30.09 agree, 29.99 and 30.0 do not.
bool cell_size_agrees(RunContext& ctx, double card_size, double map_size, const char* direction) {
    const auto tenths = [](double metres) { return std::trunc((metres + 0.001) * 10.0); };
    if (tenths(card_size) == tenths(map_size))
        return true;
    ctx.print("\nThe grid size specified in the project file: %7.4f m differs from\n", card_size);
    ctx.print("the %s dimension of the raster grid cells %7.4f m as calculated\n", direction,
              map_size);
    ctx.print("from the WATERSHED_MASK header.  Check your data to make sure they agree.\n");
    ctx.print("(The grid size is the GRIDSIZE card.)\n");
    ctx.print("TORVA terminating.\n\n");
    ctx.error.raise(err::message_printed);
    return false;
}

// Cells inside the mask (any non-zero value) are numbered 1 to N row by row
// from the north-west; every other position holds 0.
void number_cells(Grid& grid) {
    int n = 0;
    for (int& entry : grid.cell_number)
        if (entry != 0)
            entry = ++n;
    grid.num_cells = n;
}

bool read_watershed_mask(Model& model, RunContext& ctx) {
    const ProjectSettings& p = model.project;
    Grid& grid = model.grid;
    const std::string path = strip_quotes(p.text(Card::WATERSHED_MASK));
    progress(model, ctx, "reading watershed mask from file: %s\n", path.c_str());
    std::FILE* file = open_map(ctx, path, "watershed mask", Card::WATERSHED_MASK);
    if (!file)
        return false;
    const bool read = read_full_grid_map(ctx, file, path, grid, grid.cell_number);
    std::fclose(file);
    if (!read)
        return false;

    if (!cell_size_agrees(ctx, grid.cell_size, (grid.north - grid.south) / grid.rows,
                          "north-south") ||
        !cell_size_agrees(ctx, grid.cell_size, (grid.east - grid.west) / grid.cols, "east-west"))
        return false;

    number_cells(grid);
    const std::size_t entries = static_cast<std::size_t>(grid.num_cells) + 1;
    if (!allocate(ctx, grid.cell_row, entries, "cell_row") ||
        !allocate(ctx, grid.cell_col, entries, "cell_col"))
        return false;
    for (int r = 1; r <= grid.rows; ++r)
        for (int c = 1; c <= grid.cols; ++c)
            if (const int cell = grid.number_at(r, c)) {
                grid.cell_row[cell] = r;
                grid.cell_col[cell] = c;
            }

    progress(model, ctx, "number of grid cells in watershed: %d\n", grid.num_cells);
    grid.area = grid.cell_size * grid.cell_size * grid.num_cells;
    return true;
}

// Raster tools write -9999 (or -9999.99) where they have no elevation. No land
// lies that deep, and a cell at such a height would drain the whole watershed
// into itself: a cell of the mask without an elevation stops the run.
bool elevations_are_real(RunContext& ctx, const Grid& grid, const std::string& path) {
    constexpr double kNoDataAtOrBelow = -9999.0;
    for (int cell = 1; cell <= grid.num_cells; ++cell) {
        const double z = grid.elevation[cell];
        if (std::isfinite(z) && z > kNoDataAtOrBelow)
            continue;
        ctx.print(
            "Error: in map %s, row %d, column %d: grid cell %d inside the watershed mask has the "
            "no-data elevation %g; give it an elevation or take it out of the WATERSHED_MASK "
            "map.\n",
            path.c_str(), grid.cell_row[cell], grid.cell_col[cell], cell, z);
        ctx.error.raise(err::message_printed);
        return false;
    }
    return true;
}

bool on_mask_edge(const Grid& grid, int cell) {
    const int r = grid.cell_row[cell];
    const int c = grid.cell_col[cell];
    return grid.number_or_zero(r - 1, c) == 0 || grid.number_or_zero(r + 1, c) == 0 ||
           grid.number_or_zero(r, c - 1) == 0 || grid.number_or_zero(r, c + 1) == 0;
}

// Water leaves the grid only through the outlet cell, over its open side: an
// outlet with the mask all around it drains nothing but its own hollow, and
// the rest of the watershed ponds without a word. Said at once, with the cell
// where the water would leave.
void warn_of_inner_outlet(Model& model, RunContext& ctx) {
    const Grid& grid = model.grid;
    if (on_mask_edge(grid, grid.outlet_cell))
        return;
    int lowest = 0;
    for (int cell = 1; cell <= grid.num_cells; ++cell)
        if (on_mask_edge(grid, cell) &&
            (lowest == 0 || grid.elevation[cell] < grid.elevation[lowest]))
            lowest = cell;
    ctx.print_and_log(
        "Warning: the outlet (OUTROW %d, OUTCOL %d) is not on the edge of the watershed mask; "
        "water leaves the watershed only there, so the cells around it keep their water.\n",
        model.project.integer(Card::OUTROW), model.project.integer(Card::OUTCOL));
    if (lowest > 0)
        ctx.print_and_log(
            "  The lowest cell on the edge of the mask is row %d, column %d (elevation %.2f m); "
            "give it with OUTROW and OUTCOL.\n",
            grid.cell_row[lowest], grid.cell_col[lowest], grid.elevation[lowest]);
}

bool read_elevation_and_outlet(Model& model, RunContext& ctx) {
    const ProjectSettings& p = model.project;
    Grid& grid = model.grid;
    if (!allocate(ctx, grid.elevation, static_cast<std::size_t>(grid.num_cells) + 1, "elevation"))
        return false;
    const std::string path = strip_quotes(p.text(Card::ELEVATION));
    progress(model, ctx, "reading elevation map from file: %s\n", path.c_str());
    std::FILE* file = open_map(ctx, path, "elevation", Card::ELEVATION);
    if (!file)
        return false;
    const bool read = read_real_map(ctx, file, path, grid, grid.elevation);
    std::fclose(file);
    if (!read || !elevations_are_real(ctx, grid, path))
        return false;
    grid.spatial_reference = grid.map_spatial_reference;

    grid.outlet_cell = grid.number_or_zero(p.integer(Card::OUTROW), p.integer(Card::OUTCOL));
    // With explicit channel routing the water leaves through the channel
    // network, so the outlet position may lie outside the mask.
    const bool channel_outlet = p.channel_routing == ChannelRouting::explicit_routing;
    if (grid.outlet_cell == 0 && !channel_outlet) {
        ctx.print("\nThe outlet row and column you specified in the project file are not\n");
        ctx.print("inside the watershed mask.  Check the outlet row and column again, and\n");
        ctx.print("make sure they are correctly specified in the project file using the\n");
        ctx.print("OUTROW and OUTCOL project file cards.  TORVA terminating.\n\n");
        ctx.error.raise(err::message_printed);
        return false;
    }
    progress(model, ctx, "outlet is in grid cell: %d\n", grid.outlet_cell);
    if (grid.outlet_cell > 0 && !channel_outlet)
        warn_of_inner_outlet(model, ctx);
    return true;
}

bool read_dike_map(Model& model, RunContext& ctx) {
    Grid& grid = model.grid;
    const std::string path = strip_quotes(model.project.text(Card::DIKE_MAP));
    progress(model, ctx, "reading overland flow dike map from file: %s\n", path.c_str());
    std::FILE* file = path.empty() ? nullptr : std::fopen(path.c_str(), "r");
    if (!file) {
        ctx.print("Can't open input dike mask file named: %s\n", path.c_str());
        ctx.error.raise(err::message_printed);
        return false;
    }
    bool read =
        allocate(ctx, grid.dike_sides, static_cast<std::size_t>(grid.num_cells) + 1, "dike_sides");
    if (read)
        read = read_integer_map(ctx, file, path, grid, grid.dike_sides);
    std::fclose(file);
    return read;
}

}  // namespace

// The cell numbers for the host. A mask map that cannot be opened is only
// said; one opened but not written in full stops the run.
void write_mask_map(const Model& model, RunContext& ctx) {
    OutputFile file = open_output_file(ctx, "maskmap", Numbering::numbered);
    if (!file) {
        ctx.print("Error: unable to open mask map file for writing\n");
        return;
    }
    write_cell_number_map(file.get(), model.grid);
    close_output(ctx, file);
}

void read_grid_maps(Model& model, RunContext& ctx) {
    const ProjectSettings& p = model.project;
    Grid& grid = model.grid;
    grid.rows = p.integer(Card::ROWS);
    grid.cols = p.integer(Card::COLS);
    grid.cell_size = p.real(Card::GRIDSIZE);
    if (grid.rows <= 0 || grid.cols <= 0) {
        ctx.print(
            "Error: the ROWS and COLS cards must give the numbers of rows and columns of\n"
            "the grid; they read %d and %d.\n",
            grid.rows, grid.cols);
        ctx.error.raise(err::message_printed);
        return;
    }
    const std::size_t positions =
        (static_cast<std::size_t>(grid.rows) + 2) * (static_cast<std::size_t>(grid.cols) + 2);
    if (!allocate(ctx, grid.cell_number, positions, "mask"))
        return;

    if (!read_watershed_mask(model, ctx))
        return;
    if (!read_elevation_and_outlet(model, ctx))
        return;
    if (p.given(Card::DIKE_MAP)) {
        if (!read_dike_map(model, ctx))
            return;
        if (p.given(Card::LOWSPOT_FILE))
            read_low_spots(model, ctx);
    }
}

void allocate_grid_arrays(Model& model, RunContext& ctx) {
    Grid& grid = model.grid;
    const std::size_t entries = static_cast<std::size_t>(grid.num_cells) + 1;
    if (!allocate(ctx, grid.east_neighbour, entries, "east_neighbour") ||
        !allocate(ctx, grid.south_neighbour, entries, "south_neighbour") ||
        !allocate(ctx, grid.west_neighbour, entries, "west_neighbour") ||
        !allocate(ctx, grid.north_neighbour, entries, "north_neighbour"))
        return;
    // Without a dike map every side is open; the array exists all the same so
    // that the overland schemes can ask any cell.
    if (grid.dike_sides.size() != entries)
        allocate(ctx, grid.dike_sides, entries, "dike_sides");
}

void build_connectivity(Model& model, RunContext& ctx) {
    Grid& grid = model.grid;
    ctx.print("building cell to cell connectivity information\n");
    if (grid.east_neighbour.size() != static_cast<std::size_t>(grid.num_cells) + 1) {
        allocate_grid_arrays(model, ctx);
        if (ctx.error.pending())
            return;
    }
    for (int cell = 1; cell <= grid.num_cells; ++cell) {
        const int r = grid.cell_row[cell];
        const int c = grid.cell_col[cell];
        grid.east_neighbour[cell] = c < grid.cols ? grid.number_at(r, c + 1) : 0;
        grid.west_neighbour[cell] = c > 1 ? grid.number_at(r, c - 1) : 0;
        grid.south_neighbour[cell] = r < grid.rows ? grid.number_at(r + 1, c) : 0;
        grid.north_neighbour[cell] = r > 1 ? grid.number_at(r - 1, c) : 0;
    }
    if (model.project.given(Card::DIKE_MAP) && !grid.low_spots.empty())
        check_low_spots(model, ctx);
}

void compute_watershed_area(Model& model, RunContext& ctx) {
    (void)ctx;
    Grid& grid = model.grid;
    // Every cell of the mask enters the surface water balance.
    grid.area = grid.cell_size * grid.cell_size * grid.num_cells;
}

}  // namespace torva
