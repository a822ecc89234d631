// The lakes of the channel network: their water-surface elevations, bed
// seepage, the grid cells each may flood, and the cells under water at the
// start.

#include <algorithm>
#include <string>
#include <utility>

#include "channel/channel_input.hpp"
#include "channel/channel_lake_pool.hpp"
#include "core/context.hpp"
#include "core/model_state.hpp"

namespace torva {
namespace {

constexpr double kFloodedBelow = 0.001;  // m under the initial water surface
constexpr int kMinGiven = 1, kInitialGiven = 2, kMaxGiven = 4;

bool is_lake_card(ChanCard c) {
    return c == ChanCard::mlake || c == ChanCard::minwse || c == ChanCard::initwse ||
           c == ChanCard::maxwse || c == ChanCard::numpts;
}

// The k row and column pairs that follow a NUMPTS card, ten pairs a line; the
// line index moves to the last line read.
bool read_search_cells(RunContext& ctx, const ChannelFile& file, CardLine& c, std::size_t& i,
                       ChannelLake& lake, int lake_number) {
    int count = 0;
    if (!file.integer(ctx, c, count))
        return false;
    if (count < 0)
        return file.refuse(ctx, c.line,
                           message_text("NUMPTS %d: a lake cannot search fewer than "
                                        "0 cells.",
                                        count));
    std::vector<int> numbers;
    while (numbers.size() < 2 * static_cast<std::size_t>(count)) {
        if (++i >= file.lines.size())
            return file.refuse(ctx, c.line,
                               message_text("lake %d searches %d cells, but the file ends after "
                                            "%zu of them.",
                                            lake_number, count, numbers.size() / 2));
        Tokens pairs(file.lines[i]);
        CardLine line{ChanCard::numpts, "NUMPTS", pairs, static_cast<int>(i) + 1};
        while (!line.args.empty() && numbers.size() < 2 * static_cast<std::size_t>(count)) {
            int value = 0;
            if (!file.integer(ctx, line, value))
                return false;
            numbers.push_back(value);
        }
    }
    lake.search_rows.clear();
    lake.search_cols.clear();
    for (std::size_t k = 0; k < numbers.size(); k += 2) {
        lake.search_rows.push_back(numbers[k]);
        lake.search_cols.push_back(numbers[k + 1]);
    }
    return true;
}

// The lake's hypsometry: its search-list cells by ascending ground, each
// cell in one lake's list once. Cells more than 1 mm below the initial water
// surface start flooded.
bool flood_initial_cells(Model& model, RunContext& ctx, const ChannelFile& file, int number,
                         std::vector<int>& listed_by) {
    Channel& ch = model.channel;
    ChannelLake& lake = ch.lakes[number - 1];
    const Grid& grid = model.grid;
    lake.cells.clear();
    for (std::size_t k = 0; k < lake.search_rows.size(); ++k) {
        const int row = lake.search_rows[k], col = lake.search_cols[k];
        const int cell = grid.number_or_zero(row, col);
        if (cell == 0)
            return file.refuse_link(ctx, lake.link,
                                    message_text("lake %d may flood the cell at row %d, column "
                                                 "%d, which lies outside the watershed mask.",
                                                 number, row, col));
        if (listed_by[cell] == number)
            return file.refuse_link(
                ctx, lake.link,
                message_text("lake %d lists the cell at row %d, column %d twice; each cell "
                             "counts once in its area.",
                             number, row, col));
        if (listed_by[cell] != 0)
            return file.refuse_link(
                ctx, lake.link,
                message_text("the cell at row %d, column %d lies in the search lists of lakes %d "
                             "and %d; a cell can hold the water of one lake only.",
                             row, col, listed_by[cell], number));
        listed_by[cell] = number;
        lake.cells.push_back(cell);
    }
    set_lake_hypsometry(lake, grid);
    lake.flooded_cells = 0;
    for (const int cell : lake.cells)
        if (lake.initial_elevation - grid.elevation[cell] > kFloodedBelow) {
            ++lake.flooded_cells;
            ch.cell_lake[cell] = number;
            ch.pct_flooded[cell] = 1.0;
        }
    return true;
}

// What a level pool needs to be simulated at all: its three water surfaces,
// rising in order, cells to spread over, a bed that can seep, and a channel
// below it to pass its outflow.
bool check_lake(const Model& model, RunContext& ctx, const ChannelFile& file, int number) {
    const Channel& ch = model.channel;
    const ChannelLake& lake = ch.lakes[number - 1];
    const auto refuse = [&](const std::string& what) {
        return file.refuse_link(ctx, lake.link, message_text("lake %d ", number) + what);
    };
    for (const auto& [bit, word] :
         {std::pair{kMinGiven, "MINWSE"}, std::pair{kInitialGiven, "INITWSE"},
          std::pair{kMaxGiven, "MAXWSE"}})
        if ((lake.levels_given & bit) == 0)
            return refuse(
                message_text("has no %s card; a lake needs its minimum, initial and "
                             "maximum water surfaces (MINWSE, INITWSE, MAXWSE).",
                             word));
    if (lake.min_elevation > lake.initial_elevation || lake.initial_elevation > lake.max_elevation)
        return refuse(message_text(
            "has MINWSE %.3f, INITWSE %.3f and MAXWSE %.3f; the water surfaces rise in this "
            "order (MINWSE <= INITWSE <= MAXWSE).",
            lake.min_elevation, lake.initial_elevation, lake.max_elevation));
    if (lake.search_rows.empty())
        return refuse(
            "has no cells to spread over: give NUMPTS and the row and column of each "
            "cell it may flood, from which its volume finds its water surface.");
    if (lake.losses && !(lake.bed_thickness > 0.0))
        return refuse(message_text("has MLAKE %g; the thickness of its bed lies above 0 m.",
                                   lake.bed_thickness));
    if (lake.link == ch.links)
        return refuse(
            "is the outlet link; a lake passes its water on through a channel or a "
            "structure below it.");
    if (ch.link[ch.link[lake.link].downstream].is(kLakeLink))
        return refuse(
            message_text("drains straight into lake link %d; a channel or a structure "
                         "between them passes the water of one to the other.",
                         ch.link[lake.link].downstream));
    return true;
}

}  // namespace

bool read_channel_lakes(Model& model, RunContext& ctx, const ChannelFile& file) {
    Channel& ch = model.channel;
    int link = 0;
    for (std::size_t i = file.body; i < file.lines.size(); ++i) {
        CardLine c = file.card(i);
        if (c.card == ChanCard::link) {
            link = c.args.integer();
            continue;
        }
        if (!is_lake_card(c.card))
            continue;
        if (link == 0 || !ch.link[link].is(kLakeLink))
            return file.refuse(ctx, c.line,
                               message_text("the %s card describes a lake, and link %d is not "
                                            "one.",
                                            card_name(c).c_str(), link));
        const int number = ch.link[link].lake;
        ChannelLake& lake = ch.lakes[number - 1];
        bool read = true;
        switch (c.card) {
            case ChanCard::mlake:
                read = file.real(ctx, c, lake.bed_thickness);
                lake.losses = true;
                break;
            case ChanCard::minwse:
                read = file.real(ctx, c, lake.min_elevation);
                lake.levels_given |= kMinGiven;
                break;
            case ChanCard::initwse:
                read = file.real(ctx, c, lake.initial_elevation);
                lake.levels_given |= kInitialGiven;
                break;
            case ChanCard::maxwse:
                read = file.real(ctx, c, lake.max_elevation);
                lake.levels_given |= kMaxGiven;
                break;
            default:
                read = read_search_cells(ctx, file, c, i, lake, number);
                break;
        }
        if (!read)
            return false;
    }

    if (ch.lakes.empty())
        return true;
    const std::size_t cells = static_cast<std::size_t>(model.grid.num_cells) + 1;
    ch.cell_lake.assign(cells, 0);
    ch.pct_flooded.assign(cells, 0.0);
    // The overland flow meets the lakes at their cells' faces, in cell order.
    model.overland.channel_lakes.lake_number.assign(cells, 0);
    const bool console = !model.run.quiet && !model.run.super_quiet;
    std::vector<int> listed_by(cells, 0);
    for (int number = 1; number <= static_cast<int>(ch.lakes.size()); ++number) {
        if (!check_lake(model, ctx, file, number) ||
            !flood_initial_cells(model, ctx, file, number, listed_by))
            return false;
        const ChannelLake& lake = ch.lakes[number - 1];
        if (!console)
            continue;
        ctx.print("Minimum Water Surface Elevation Lake #%d: %.2lf\n", number, lake.min_elevation);
        ctx.print("Initial Water Surface Elevation Lake #%d: %.2lf\n", number,
                  lake.initial_elevation);
        ctx.print("Maximum Water Surface Elevation Lake #%d: %.2lf\n", number, lake.max_elevation);
        ctx.print("number of coords for lake #%d's search order: %zu\n", number,
                  lake.search_rows.size());
        if (lake.losses)
            ctx.print("Simulating Lake Losses for Lake #%d, Bed Thickness: %.1lf m\n", number,
                      lake.bed_thickness);
    }
    return true;
}

}  // namespace torva
