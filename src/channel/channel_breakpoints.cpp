// The break-point cross-section tables of the channel input file: NPAIRS
// starts a table at the current node, NUM_INTERP gives its number of depth
// levels and each X1 card one station/elevation pair. Tables in links of
// other kinds are not read.

#include <vector>

#include "channel/channel_input.hpp"
#include "channel/section_tables.hpp"
#include "core/context.hpp"
#include "core/model_state.hpp"

namespace torva {
namespace {

struct TableCursor {
    int link = 0;
    int node = 0;
    int table = -1;  // the link's table of the last NPAIRS card; -1 before one
};

bool read_table_card(RunContext& ctx, const ChannelFile& file, CardLine& c,
                     std::vector<FileSection>& in_link, TableCursor& at, int& tables) {
    if (c.card == ChanCard::npairs) {
        if (at.node == 0)
            return file.refuse(ctx, c.line,
                               message_text("the NPAIRS card comes before any NODE card of link "
                                            "%d.",
                                            at.link));
        FileSection s;
        s.number = ++tables;
        s.node = at.node;
        if (!file.integer(ctx, c, s.pairs_declared))
            return false;
        in_link.push_back(std::move(s));
        at.table = static_cast<int>(in_link.size()) - 1;
        return true;
    }
    if (at.table < 0)
        return file.refuse(ctx, c.line,
                           message_text("the %s card comes before any NPAIRS card of link %d.",
                                        card_name(c).c_str(), at.link));
    FileSection& s = in_link[static_cast<std::size_t>(at.table)];
    if (c.card == ChanCard::num_interp)
        return file.integer(ctx, c, s.levels);
    double station = 0.0, elevation = 0.0;
    if (!file.real(ctx, c, station) || !file.real(ctx, c, elevation))
        return false;
    if (static_cast<int>(s.station.size()) >= s.pairs_declared)
        return stop_with(ctx, {"\n\nError: There are more X1 cards than the NPAIRS card "
                               "specifies ",
                               message_text("for table %d in link %d.", s.number, at.link)});
    s.station.push_back(station);
    s.elevation.push_back(elevation);
    return true;
}

}  // namespace

bool read_breakpoint_sections(Model& model, RunContext& ctx, const ChannelFile& file) {
    Channel& ch = model.channel;
    std::vector<std::vector<FileSection>> sections(static_cast<std::size_t>(ch.links) + 1);
    TableCursor at;
    int tables = 0;
    for (std::size_t i = file.body; i < file.lines.size(); ++i) {
        CardLine c = file.card(i);
        if (c.card == ChanCard::link) {
            // Its number was checked by the link pass.
            at = TableCursor{c.args.integer(), 0, -1};
            continue;
        }
        if (c.card == ChanCard::node) {
            at.node = c.args.integer();
            continue;
        }
        const bool table_card =
            c.card == ChanCard::npairs || c.card == ChanCard::num_interp || c.card == ChanCard::x1;
        if (!table_card || at.link == 0 || !ch.link[at.link].is(kBreakpointLink))
            continue;
        if (!read_table_card(ctx, file, c, sections[at.link], at, tables))
            return false;
    }

    bool any_breakpoint = false;
    bool levels_given = false;
    for (int link = 1; link <= ch.links; ++link) {
        if (!ch.link[link].is(kBreakpointLink))
            continue;
        any_breakpoint = true;
        if (sections[link].empty())
            return stop_with(ctx, {message_text("Error: Break-point cross-section not found for "
                                                "link %d.",
                                                link)});
        for (const FileSection& s : sections[link]) {
            if (static_cast<int>(s.station.size()) < s.pairs_declared)
                return stop_with(ctx, {"\n\nError: There are fewer X1 cards than the NPAIRS "
                                       "card specifies ",
                                       message_text("for table %d in link %d.", s.number, link)});
            levels_given = levels_given || s.levels != 0;
        }
    }
    if (!any_breakpoint)
        return true;
    if (!levels_given)
        return stop_with(ctx, {"Error: the number of interpolation points has not been "
                               "specifiedfor any table. Each break-point cross-section table "
                               "should have a NUM_INTERP ### card below the NPAIRS card"});
    channel_progress(model, ctx, "Reading and interpolating break-point cross-sections ");
    for (int link = 1; link <= ch.links; ++link) {
        if (!ch.link[link].is(kBreakpointLink))
            continue;
        if (!assign_link_sections(ch, ctx, link, std::move(sections[link])))
            return false;
        channel_progress(model, ctx, ".");
    }
    channel_progress(model, ctx, "\n");
    return true;
}

}  // namespace torva
