// The lake map and the lake input data file of the overland lakes.

#include <strings.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "core/arrays.hpp"
#include "core/context.hpp"
#include "core/file_names.hpp"
#include "core/model_state.hpp"
#include "core/progress.hpp"
#include "grid/raster.hpp"
#include "input/tokens.hpp"
#include "lakes/overland_lake.hpp"

namespace torva {
namespace {

bool fail(RunContext& ctx) {
    ctx.error.raise(err::message_printed);
    return false;
}

struct LakeCard {
    int line = 0;
    int number = 0;
    double elevation = 0.0;
    double volume = 0.0;
    NumberFault number_fault = NumberFault::none;
    NumberFault elevation_fault = NumberFault::none;
};

// The LAKE cards of the file, after its file word. A card starts with the
// word LAKE, in any case; every other line is a note, so a note may begin
// with "lakes" or "Lakeside" without being taken for a card. `notes` counts
// the notes whose first word begins with those letters, for the message of a
// file whose cards do not match the map.
bool read_lake_cards(RunContext& ctx, std::FILE* file, std::vector<LakeCard>& cards, int& notes) {
    LineReader reader(file, ctx);
    std::string line, word;
    bool header = false;
    while (reader.next(line)) {
        if (ctx.error.pending())
            return false;
        Tokens tokens(line);
        if (!header) {
            if (!tokens.text(word))
                continue;
            if (strcasecmp(word.c_str(), "TORVA_OVERLAND_LAKE_FILE") != 0)
                break;
            header = true;
            continue;
        }
        word.clear();
        if (!tokens.text(word) || strcasecmp(word.c_str(), "LAKE") != 0) {
            if (strncasecmp(word.c_str(), "LAKE", 4) == 0)
                ++notes;
            continue;
        }
        LakeCard card;
        card.line = reader.line_number();
        card.number_fault = tokens.read(card.number);
        card.elevation_fault = tokens.read(card.elevation);
        if (tokens.read(card.volume) != NumberFault::none)
            card.volume = 0.0;  // not kept: the volume comes from the map
        cards.push_back(card);
    }
    if (ctx.error.pending())
        return false;
    if (!header) {
        ctx.print_error("The overland lake input data file doesn't start with\n");
        ctx.print_error(" TORVA_OVERLAND_LAKE_FILE card.\n");
        ctx.print_error("The file format is invalid.  Program terminated.\n");
        return fail(ctx);
    }
    return true;
}

// Each card names one lake of the map, once, with a real elevation.
bool check_lake_cards(RunContext& ctx, const std::string& path, const std::vector<LakeCard>& cards,
                      int lakes, int notes) {
    const auto explain_notes = [&] {
        if (notes > 0)
            ctx.print_error(
                "(%d %s of %s %s with a word such as lakes, read as notes: a card "
                "begins with the word LAKE.)\n",
                notes, notes == 1 ? "line" : "lines", path.c_str(),
                notes == 1 ? "begins" : "begin");
    };
    if (cards.empty()) {
        ctx.print_error("Premature end-of-file in the overland lake input data file.\n");
        ctx.print_error("No LAKE cards encountered before end of file.\n");
        explain_notes();
        ctx.print_error("Program terminated.\n");
        return fail(ctx);
    }
    if (static_cast<int>(cards.size()) != lakes) {
        ctx.print_error("Incorrect number of LAKE cards in the overland lake input data file.\n");
        ctx.print_error("Expected %d LAKE cards, read %d\n", lakes, static_cast<int>(cards.size()));
        explain_notes();
        ctx.print_error("Program terminated.\n");
        return fail(ctx);
    }
    std::vector<int> line_of(static_cast<std::size_t>(lakes) + 1, 0);
    for (const LakeCard& c : cards) {
        if (c.number_fault != NumberFault::none || c.number < 1 || c.number > lakes) {
            ctx.print_error(
                "Error: the LAKE card on line %d of the overland lake input data file %s names "
                "no lake of the lake map: give a lake number from 1 to %d.\n",
                c.line, path.c_str(), lakes);
            return fail(ctx);
        }
        if (line_of[c.number] != 0) {
            ctx.print_error(
                "Error: lake %d has two LAKE cards in the overland lake input data file %s, on "
                "lines %d and %d.\n",
                c.number, path.c_str(), line_of[c.number], c.line);
            return fail(ctx);
        }
        line_of[c.number] = c.line;
        if (c.elevation_fault != NumberFault::none) {
            ctx.print_error(
                "Error: the initial water-surface elevation of lake %d on line %d of the overland "
                "lake input data file %s is not a real number.\n",
                c.number, c.line, path.c_str());
            return fail(ctx);
        }
    }
    return true;
}

bool read_lake_map(Model& model, RunContext& ctx, const std::string& path) {
    progress(model, ctx, "reading overland lake map from file: %s\n", path.c_str());
    const std::size_t size = static_cast<std::size_t>(model.grid.num_cells) + 1;
    if (!allocate(ctx, model.lakes.cell_lake, size, "olake_number"))
        return false;
    std::FILE* file = std::fopen(path.c_str(), "r");
    if (!file) {
        ctx.error.raise(err::open_file, {.text1 = "overland lake map", .text2 = path});
        return false;
    }
    const bool ok = read_integer_map(ctx, file, path, model.grid, model.lakes.cell_lake);
    std::fclose(file);
    if (!ok)
        return false;
    const Grid& g = model.grid;
    for (int i = 1; i <= g.num_cells; ++i) {
        if (model.lakes.cell_lake[i] >= 0)
            continue;
        ctx.print_error(
            "Error: the overland lake map %s gives grid cell %d (row %d, column %d) the lake "
            "number %d: lake numbers are 0 (no lake) or from 1 up.\n",
            path.c_str(), i, g.cell_row[i], g.cell_col[i], model.lakes.cell_lake[i]);
        return fail(ctx);
    }
    return true;
}

// Cells where no lake may stand: water leaves the grid there (the outlet and
// the overland boundaries) or the channel network owns it (stream cells and
// the cells of its lakes).
void mark_barred_cells(Model& model) {
    Lakes& lakes = model.lakes;
    const int n = model.grid.num_cells;
    const std::size_t size = static_cast<std::size_t>(n) + 1;
    lakes.barred.assign(size, 0);
    if (model.grid.outlet_cell > 0)
        lakes.barred[model.grid.outlet_cell] = 1;
    const std::vector<int>& boundary = model.tables.ov_boundary.type;
    if (boundary.size() == size)
        for (int i = 1; i <= n; ++i)
            if (boundary[i] != 0)
                lakes.barred[i] = 1;
    const StreamCells& stream = model.channel.stream;
    for (int s = 1; s <= stream.count && static_cast<std::size_t>(s) < stream.cell.size(); ++s)
        if (stream.cell[s] > 0 && stream.cell[s] <= n)
            lakes.barred[stream.cell[s]] = 1;
    const std::vector<int>& channel_lake = model.overland.channel_lakes.lake_number;
    if (channel_lake.size() == size)
        for (int i = 1; i <= n; ++i)
            if (channel_lake[i] > 0)
                lakes.barred[i] = 1;
    // A lake of the channel network may flood any cell of its search list.
    for (const ChannelLake& lake : model.channel.lakes)
        for (std::size_t k = 0; k < lake.search_rows.size() && k < lake.search_cols.size(); ++k) {
            const int cell = model.grid.number_or_zero(lake.search_rows[k], lake.search_cols[k]);
            if (cell > 0)
                lakes.barred[cell] = 1;
        }
}

const char* barred_reason(const Model& model, int cell) {
    if (cell == model.grid.outlet_cell)
        return "the outlet cell";
    const std::vector<int>& boundary = model.tables.ov_boundary.type;
    if (static_cast<std::size_t>(cell) < boundary.size() && boundary[cell] != 0)
        return "an overland boundary cell";
    const StreamCells& stream = model.channel.stream;
    for (int s = 1; s <= stream.count && static_cast<std::size_t>(s) < stream.cell.size(); ++s)
        if (stream.cell[s] == cell)
            return "a stream cell";
    return "a cell a lake of the channel network may flood";
}

// Every lake cell counts and holds (initial level - ground) of water.
bool fill_lakes(Model& model, RunContext& ctx, const std::vector<LakeCard>& cards) {
    Lakes& lakes = model.lakes;
    const Grid& g = model.grid;
    const int L = lakes.count;
    const std::size_t per_lake = static_cast<std::size_t>(L) + 1;
    lakes.level.assign(per_lake, 0.0);
    lakes.initial_level.assign(per_lake, 0.0);
    lakes.volume.assign(per_lake, 0.0);
    lakes.pending.assign(per_lake, 0.0);
    lakes.saved_pending.assign(per_lake, 0.0);
    lakes.surface.assign(per_lake, 0.0);
    lakes.drawn.assign(per_lake, 0.0);
    lakes.ground_sum.assign(per_lake, 0.0);
    lakes.cells.assign(per_lake, 0);
    lakes.members.assign(per_lake, {});
    for (const LakeCard& c : cards) {
        lakes.initial_level[c.number] = c.elevation;
        lakes.level[c.number] = c.elevation;
        progress(model, ctx, "%d   Elev: %.2lf   Volume: %.2lf\n", c.number, c.elevation, c.volume);
    }
    const double area = g.cell_size * g.cell_size;
    for (int i = 1; i <= g.num_cells; ++i) {
        const int k = lakes.cell_lake[i];
        if (k == 0)
            continue;
        if (lakes.barred[i]) {
            ctx.print_error(
                "Error: grid cell %d (row %d, column %d) of overland lake %d is %s, where no "
                "overland lake can stand.  Check your lake map.  Program terminated.\n",
                i, g.cell_row[i], g.cell_col[i], k, barred_reason(model, i));
            return fail(ctx);
        }
        if (g.elevation[i] > lakes.initial_level[k]) {
            ctx.print_error(
                "There is a lake cell in lake %d that is above the initial lake water surface\n",
                k);
            ctx.print_error(
                "elevation in that lake, which is specified as %f.  This situation is not\n",
                lakes.initial_level[k]);
            ctx.print_error("physically realistic.  Check your lake map.  Program terminated.\n");
            return fail(ctx);
        }
        ++lakes.cells[k];
        lakes.ground_sum[k] += g.elevation[i];
        lakes.volume[k] += (lakes.initial_level[k] - g.elevation[i]) * area;
        lakes.members[k].push_back(i);
    }
    for (int k = 1; k <= L; ++k) {
        if (lakes.cells[k] > 0)
            continue;
        ctx.print_error(
            "Error: overland lake %d has no cell in the overland lake map, though lake %d has; "
            "number the lakes of the map from 1 without gaps.\n",
            k, L);
        return fail(ctx);
    }
    return true;
}

// One lake of a hot start's section.
struct HotLake {
    double volume = 0.0;
    std::vector<int> cells;
};

// "LAKE k volume level n" and n cells as row and column. False after the
// message.
bool read_hot_lake(Model& model, RunContext& ctx, Tokens& t, int ordinal, std::vector<HotLake>& hot,
                   std::vector<int>& taken_by) {
    const std::string& path = model.lakes.hot_start_path;
    const Grid& g = model.grid;
    std::string word;
    int k = 0, n = 0;
    double volume = 0.0, level = 0.0;
    if (!t.text(word) || word != "LAKE" || !t.integer(k) || !t.real(volume) || !t.real(level) ||
        !t.integer(n) || k < 1 || k >= static_cast<int>(hot.size()) || !(volume >= 0.0) || n < 1 ||
        n > g.num_cells) {
        ctx.print_error(
            "Error: lake card %d of the overland hot start %s cannot be read: it needs LAKE, the "
            "lake's number, its volume of 0 m3 or more, its level and the number of its cells, "
            "then its cells as row and column.\n",
            ordinal, path.c_str());
        return fail(ctx);
    }
    if (!hot[k].cells.empty()) {
        ctx.print_error("Error: the overland hot start %s gives lake %d twice.\n", path.c_str(), k);
        return fail(ctx);
    }
    hot[k].volume = volume;
    for (int m = 0; m < n; ++m) {
        int row = 0, col = 0;
        if (!t.integer(row) || !t.integer(col)) {
            ctx.print_error(
                "Error: the overland hot start %s lists %d cells of lake %d but gives %d.\n",
                path.c_str(), n, k, m);
            return fail(ctx);
        }
        const int cell = g.number_or_zero(row, col);
        const char* reason = nullptr;
        if (cell == 0)
            reason = "which lies outside the watershed";
        else if (model.lakes.barred[cell])
            reason = barred_reason(model, cell);
        else if (taken_by[cell] != 0)
            reason = "which another lake of the file (or this one) holds already";
        if (reason) {
            ctx.print_error(
                "Error: the overland hot start %s puts lake %d on the cell at row %d, column %d, "
                "%s.\n",
                path.c_str(), k, row, col, reason);
            return fail(ctx);
        }
        taken_by[cell] = k;
        hot[k].cells.push_back(cell);
    }
    return true;
}

}  // namespace

bool take_lake_hot_start(Model& model, RunContext& ctx) {
    Lakes& lakes = model.lakes;
    if (lakes.hot_start.empty())
        return true;
    const Grid& g = model.grid;
    Tokens t(lakes.hot_start);
    std::string word;
    int count = 0;
    if (!t.text(word) || !t.integer(count) || count != lakes.count) {
        ctx.print_error(
            "Error: the overland hot start %s carries %d overland lakes, but the lake map has %d: "
            "a hot start continues the lakes of the run that wrote it.\n",
            lakes.hot_start_path.c_str(), count, lakes.count);
        return fail(ctx);
    }
    std::vector<HotLake> hot(static_cast<std::size_t>(count) + 1);
    std::vector<int> taken_by(static_cast<std::size_t>(g.num_cells) + 1, 0);
    for (int read = 0; read < count; ++read)
        if (!read_hot_lake(model, ctx, t, read + 1, hot, taken_by))
            return false;
    // The lakes stand where the hot start left them; their cells' depths
    // in its map were their water, which the volumes hold.
    const double area = g.cell_size * g.cell_size;
    std::vector<double>& depth = model.overland.depth;
    for (int i = 1; i <= g.num_cells; ++i) lakes.cell_lake[i] = 0;
    for (int k = 1; k <= count; ++k) {
        lakes.members[k] = hot[k].cells;
        lakes.cells[k] = static_cast<int>(hot[k].cells.size());
        lakes.volume[k] = hot[k].volume;
        double ground_sum = 0.0;
        for (const int cell : hot[k].cells) {
            lakes.cell_lake[cell] = k;
            ground_sum += g.elevation[cell];
            if (static_cast<std::size_t>(cell) < depth.size())
                depth[cell] = 0.0;
        }
        lakes.ground_sum[k] = ground_sum;
        lakes.level[k] = (lakes.volume[k] / area + ground_sum) / lakes.cells[k];
    }
    lakes.hot_start.clear();
    return true;
}

bool read_overland_lakes(Model& model, RunContext& ctx) {
    const ProjectSettings& p = model.project;
    for (const auto& [given, missing] :
         {std::pair{Card::OVERLAND_LAKE_MAP, Card::OVERLAND_LAKE_FILE},
          std::pair{Card::OVERLAND_LAKE_FILE, Card::OVERLAND_LAKE_MAP}}) {
        if (p.given(given) && !p.given(missing)) {
            ctx.print_error(
                "Error: the project file gives the %s card but no %s card: overland lakes need "
                "both the lake map and the lake input data file.\n",
                card_name(given).c_str(), card_name(missing).c_str());
            return fail(ctx);
        }
    }
    const std::string map_path = strip_quotes(p.text(Card::OVERLAND_LAKE_MAP));
    const std::string file_path = strip_quotes(p.text(Card::OVERLAND_LAKE_FILE));
    if (!read_lake_map(model, ctx, map_path))
        return false;
    Lakes& lakes = model.lakes;
    lakes.count = 0;
    for (int i = 1; i <= model.grid.num_cells; ++i)
        if (lakes.cell_lake[i] > lakes.count)
            lakes.count = lakes.cell_lake[i];

    std::FILE* file = std::fopen(file_path.c_str(), "r");
    if (!file) {
        ctx.error.raise(err::open_file, {.text1 = "overland lake input data", .text2 = file_path});
        return false;
    }
    std::vector<LakeCard> cards;
    int notes = 0;
    const bool read = read_lake_cards(ctx, file, cards, notes);
    std::fclose(file);
    if (!read || !check_lake_cards(ctx, file_path, cards, lakes.count, notes))
        return false;
    mark_barred_cells(model);
    return fill_lakes(model, ctx, cards);
}

}  // namespace torva
