// Fuzz target for the raster map reader: the first part of the input is read
// as a grid map in every mode (full grid, real per cell with and without
// replacement values, integer per cell with its census) over grids of several
// shapes, and what was read is written back in the three output layouts. The
// second part, after the file separator, is read as a low spot file over a
// 3 x 3 grid with dikes and goes through the connectivity checks.
//
//   fuzz/run.sh 120   (builds every target with clang, ASan and UBSan)

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "core/context.hpp"
#include "core/model_state.hpp"
#include "fuzz_support.hpp"
#include "grid/grid.hpp"
#include "grid/lowspots.hpp"
#include "grid/raster.hpp"

namespace {

using namespace torva;

// A grid whose mask is drawn row by row, north first: '#' inside.
Grid grid_from_mask(const std::vector<std::string>& rows) {
    Grid grid;
    grid.rows = static_cast<int>(rows.size());
    grid.cols = static_cast<int>(rows[0].size());
    grid.cell_size = 10.0;
    grid.cell_number.assign(static_cast<std::size_t>(grid.rows + 2) * (grid.cols + 2), 0);
    grid.cell_row.assign(1, 0);
    grid.cell_col.assign(1, 0);
    for (int r = 1; r <= grid.rows; ++r)
        for (int c = 1; c <= grid.cols; ++c)
            if (rows[r - 1][c - 1] == '#') {
                grid.number_at(r, c) = ++grid.num_cells;
                grid.cell_row.push_back(r);
                grid.cell_col.push_back(c);
            }
    return grid;
}

// The map is read from memory: the readers take any open file, and a file on
// disk would spend the fuzzing time in the file system.
std::FILE* open_map(std::string& text) {
    return fmemopen(text.data(), text.size(), "rb");
}

void read_map_every_way(RunContext& ctx, std::string& text, Grid grid) {
    std::vector<double> real(grid.num_cells + 1);
    std::vector<int> integer(grid.num_cells + 1);

    std::FILE* file = open_map(text);
    ctx.error.clear();
    const bool real_read = read_real_map(ctx, file, "map.asc", grid, real);
    std::fclose(file);

    file = open_map(text);
    ctx.error.clear();
    read_integer_map(ctx, file, "map.asc", grid, integer);
    std::fclose(file);

    // Replacement values in the rows of a real map.
    ctx.replacement.parameters.assign(1, ReplacementParameter{});
    ctx.replacement.parameters[0].tag = "[V]";
    ctx.replacement.parameters[0].format = "%.3lf";
    ctx.replacement.parameters[0].real_value = 12.5;
    ctx.replacement.active = true;
    file = open_map(text);
    ctx.error.clear();
    read_real_map(ctx, file, "map.asc", grid, real);
    std::fclose(file);
    ctx.replacement.active = false;
    ctx.replacement.parameters.clear();

    // The mask itself, into a copy of the cell-number grid.
    std::vector<int> full = grid.cell_number;
    file = open_map(text);
    ctx.error.clear();
    read_full_grid_map(ctx, file, "map.asc", grid, full);
    std::fclose(file);

    if (real_read) {
        std::FILE* out = fuzz::null_console();
        write_grid_map(out, grid, real);
        write_exchange_grid(out, grid, real);
        write_cell_number_map(out, grid);
        write_dataset_step(out, 1.0, grid, real, DatasetEncoding::text);
        write_dataset_step(out, 1.0, grid, real, DatasetEncoding::binary);
    }
}

// Cells 1 2 3 / 4 5 6 / 7 8 9 with dikes around the middle cell.
void check_low_spot_file(RunContext& ctx, const std::string& text) {
    fuzz::write_file("spots.txt", text);
    Model model;
    model.grid = grid_from_mask({"###", "###", "###"});
    Grid& g = model.grid;
    g.elevation = {0, 10, 11, 12, 13, 14, 15, 16, 17, 18};
    g.dike_sides = {0, 0, 4, 0, 2, 15, 8, 0, 1, 0};
    model.project[Card::DIKE_MAP].given = true;
    model.project[Card::LOWSPOT_FILE].given = true;
    model.project[Card::LOWSPOT_FILE].text = "spots.txt";
    ctx.error.clear();
    read_low_spots(model, ctx);
    if (ctx.error.pending())
        return;
    allocate_grid_arrays(model, ctx);
    build_connectivity(model, ctx);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::enter_scratch_folder();
    std::vector<std::string> parts = fuzz::split_input(data, size, 2);

    RunContext ctx;
    ctx.out = fuzz::null_console();
    ctx.err = fuzz::null_console();
    read_map_every_way(ctx, parts[0], grid_from_mask({"#"}));
    read_map_every_way(ctx, parts[0], grid_from_mask({"##.#", "#..#", "####"}));
    read_map_every_way(ctx, parts[0], grid_from_mask({".....", ".###.", ".#.#.", ".###."}));
    check_low_spot_file(ctx, parts[1]);
    return 0;
}
