// The lakes of the channel network: their water-surface elevations, bed
// seepage, the grid cells each may flood, and the cells under water at the
// start.

#include <string>

#include "channel/channel_input.hpp"
#include "core/context.hpp"
#include "core/model_state.hpp"

namespace torva {
namespace {

constexpr double kFloodedBelow = 0.001;  // m under the initial water surface

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

// Cells of the search list more than 1 mm below the initial water surface
// start flooded.
bool flood_initial_cells(Model& model, RunContext& ctx, const ChannelFile& file, int number) {
    Channel& ch = model.channel;
    ChannelLake& lake = ch.lakes[number - 1];
    const Grid& grid = model.grid;
    lake.flooded_cells = 0;
    lake.initial_volume = 0.0;
    for (std::size_t k = 0; k < lake.search_rows.size(); ++k) {
        const int row = lake.search_rows[k], col = lake.search_cols[k];
        const int cell = grid.number_or_zero(row, col);
        if (cell == 0)
            return file.refuse_link(ctx, lake.link,
                                    message_text("lake %d may flood the cell at row %d, column "
                                                 "%d, which lies outside the watershed mask.",
                                                 number, row, col));
        const double depth = lake.initial_elevation - grid.elevation[cell];
        if (depth > kFloodedBelow) {
            ++lake.flooded_cells;
            lake.initial_volume += depth * grid.cell_size * grid.cell_size;
            ch.cell_lake[cell] = number;
            ch.pct_flooded[cell] = 1.0;
        }
    }
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
                break;
            case ChanCard::initwse:
                read = file.real(ctx, c, lake.initial_elevation);
                break;
            case ChanCard::maxwse:
                read = file.real(ctx, c, lake.max_elevation);
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
    const bool console = !model.run.quiet && !model.run.super_quiet;
    for (int number = 1; number <= static_cast<int>(ch.lakes.size()); ++number) {
        if (!flood_initial_cells(model, ctx, file, number))
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
