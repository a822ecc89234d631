// Initial overland depths and the overland hot start. A run may start with
// water on the surface, from a map of depths (INITIAL_DEPTH) or from the depths
// an earlier run left (OV_INIT_DEPTH or READ_OV_HOTSTART, written there by
// WRITE_OV_HOTSTART). The water counts as initial surface storage in both
// balances, since the storages are measured after the depths are read.
//
// With overland lakes the hot start carries them too: the depth map gives each
// lake cell its lake's depth (so a reader that knows no lakes still finds
// every cubic metre), and a section after the map gives each lake its volume,
// level and cells, which the lake set-up takes in place of the lake map's
// extent and the lake file's level.

#include <cmath>
#include <cstdio>
#include <string>

#include "core/arrays.hpp"
#include "core/context.hpp"
#include "core/model_state.hpp"
#include "core/output_files.hpp"
#include "grid/raster.hpp"
#include "input/tokens.hpp"
#include "surface/overland.hpp"

namespace torva {
namespace {

// The word that opens the lakes' section after the depth map.
constexpr const char* kLakeSectionWord = "TORVA_OVERLAND_LAKES";

void stop(RunContext& ctx) {
    ctx.error.raise(err::message_printed);
}

// The row and column of a cell, found in the cell-number grid (the per-cell
// row and column arrays are filled later, with the connectivity).
void position_of(const Grid& g, int cell, int& row, int& col) {
    for (row = 1; row <= g.rows; ++row)
        for (col = 1; col <= g.cols; ++col)
            if (g.number_at(row, col) == cell)
                return;
    row = col = 0;
}

// What follows the depth map of a hot start: the lakes' section, or nothing.
void keep_lake_section(Model& model, RunContext& ctx, const std::string& path,
                       const std::string& following) {
    Tokens tokens(following);
    std::string word;
    if (!tokens.text(word))
        return;
    if (word != kLakeSectionWord) {
        ctx.print(
            "Warning: map %s has more rows than the %d its header gives; the rows after row %d "
            "are not read.\n",
            path.c_str(), model.grid.rows, model.grid.rows);
        return;
    }
    if (model.project.given(Card::OVERLAND_LAKE_MAP)) {
        model.lakes.hot_start = following;
        model.lakes.hot_start_path = path;
        return;
    }
    ctx.print_and_log(
        "Note: the overland hot start %s carries overland lakes, and this run has none "
        "(no OVERLAND_LAKE_MAP): their water stands on their cells as overland depth.\n",
        path.c_str());
}

// The lakes' section of a hot start: for each lake its volume and level, with
// every digit, and its cells as row and column, ten pairs a line, in the
// order they joined it.
void write_lake_section(std::FILE* file, const Model& model) {
    const Lakes& lakes = model.lakes;
    const Grid& g = model.grid;
    std::fprintf(file, "%s %d\n", kLakeSectionWord, lakes.count);
    for (int k = 1; k <= lakes.count; ++k) {
        const std::vector<int>& members = lakes.members[k];
        std::fprintf(file, "LAKE %d %.17g %.17g %zu\n", k, lakes.volume[k], lakes.level[k],
                     members.size());
        for (std::size_t m = 0; m < members.size(); ++m)
            std::fprintf(file, "%d %d%c", g.cell_row[members[m]], g.cell_col[members[m]],
                         m % 10 == 9 || m + 1 == members.size() ? '\n' : ' ');
    }
}

}  // namespace

void read_initial_depths(Model& model, RunContext& ctx) {
    const ProjectSettings& cards = model.project;
    const bool map = cards.given(Card::INITIAL_DEPTH);
    const bool hot_start = cards.given(Card::OV_INIT_DEPTH);
    if (!map && !hot_start)
        return;
    if (map && hot_start) {
        ctx.print(
            "Error: both INITIAL_DEPTH and OV_INIT_DEPTH (READ_OV_HOTSTART) give the initial "
            "overland depths.  Give only one of them.\n");
        stop(ctx);
        return;
    }
    const Card card = map ? Card::INITIAL_DEPTH : Card::OV_INIT_DEPTH;
    const std::string path = strip_quotes(cards.text(card));
    const char* progress = map ? "reading initial overland depths from file: %s\n"
                               : "reading overland hot start depths from file: %s\n";
    if (!model.run.quiet && !model.run.super_quiet)
        ctx.print(progress, path.c_str());
    ctx.log(progress, path.c_str());

    Grid& g = model.grid;
    std::vector<double>& depth = model.overland.depth;
    if (!allocate(ctx, depth, static_cast<std::size_t>(g.num_cells) + 1, "ov_depth"))
        return;
    std::FILE* file = std::fopen(path.c_str(), "r");
    if (!file) {
        ctx.error.raise(err::open_file,
                        {.text1 = map ? "initial depth map" : "overland hot start", .text2 = path});
        return;
    }
    std::string following;
    const bool read = read_real_map(ctx, file, path, g, depth, hot_start ? &following : nullptr);
    std::fclose(file);
    if (!read)
        return;
    if (hot_start)
        keep_lake_section(model, ctx, path, following);
    for (int i = 1; i <= g.num_cells; ++i) {
        if (depth[i] >= 0.0 && std::isfinite(depth[i]))
            continue;
        int row = 0, col = 0;
        position_of(g, i, row, col);
        ctx.print(
            "Error: the initial overland depth of grid cell %d (row %d, column %d) in %s is %g m; "
            "depths cannot be negative.\n",
            i, row, col, path.c_str(), depth[i]);
        stop(ctx);
        return;
    }
}

void write_overland_hotstart(const Model& model, RunContext& ctx) {
    if (!model.project.given(Card::WRITE_OV_HOTSTART))
        return;
    const std::string& name = model.project.text(Card::WRITE_OV_HOTSTART);
    OutputFile file = open_output_file(ctx, name, Numbering::numbered);
    if (!file) {
        raise_open_failure(ctx, file);
        return;
    }
    // Every digit of the depths is kept, so that a run started from the file
    // starts from exactly the water this run ended with.
    const Lakes& lakes = model.lakes;
    if (!lakes.present()) {
        write_grid_map_exact(file.get(), model.grid, model.overland.depth);
    } else {
        // A lake cell's water is its lake's, standing at the lake's level.
        std::vector<double> depth = model.overland.depth;
        for (int i = 1; i <= model.grid.num_cells; ++i)
            if (lakes.cell_lake[i] > 0)
                depth[i] = lakes.level[lakes.cell_lake[i]] - model.grid.elevation[i];
        write_grid_map_exact(file.get(), model.grid, depth);
        write_lake_section(file.get(), model);
    }
    if (!file.close()) {
        ctx.print("Error: could not write the overland hot start file %s: %s\n",
                  file.path().c_str(), file.failure().c_str());
        stop(ctx);
    }
}

}  // namespace torva
