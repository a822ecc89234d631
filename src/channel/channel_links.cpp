// The header and the link cards of the channel input file, the summary of
// the network they describe, and the node arrays sized from them.

#include <algorithm>
#include <cctype>

#include "channel/channel_input.hpp"
#include "core/arrays.hpp"
#include "core/context.hpp"
#include "core/errors.hpp"
#include "core/model_state.hpp"

namespace torva {
namespace {

constexpr double kLeastManningsN = 1e-8;

bool is_header_card(ChanCard c) {
    return c == ChanCard::alpha || c == ChanCard::beta || c == ChanCard::theta ||
           c == ChanCard::links || c == ChanCard::maxnodes;
}

// Cards that change the current link and so need one.
bool needs_link(ChanCard c) {
    switch (c) {
        case ChanCard::type_word:
        case ChanCard::erode:
        case ChanCard::subsurface:
        case ChanCard::nodes:
        case ChanCard::dx:
        case ChanCard::mannings_n:
        case ChanCard::max_erosion:
        case ChanCard::k_river:
        case ChanCard::m_river:
        case ChanCard::dispersion_coeff:
        case ChanCard::decay_coeff:
        case ChanCard::lake:
        case ChanCard::structure:
        case ChanCard::numstructs:
        case ChanCard::structtype:
        case ChanCard::npairs:
        case ChanCard::pointsource:
        case ChanCard::pumpto:
            return true;
        default:
            return false;
    }
}

int count_connect_cards(const ChannelFile& file) {
    int n = 0;
    for (std::size_t i = file.body; i < file.lines.size(); ++i)
        if (file.card(i).card == ChanCard::connect)
            ++n;
    return n;
}

template <typename T>
bool allocate_nodes(RunContext& ctx, NodeArray<T>& array, int rows, int links, const char* name,
                    T value = T{}) {
    return allocate_with(ctx, name, [&] { array.assign(rows, links, value); });
}

}  // namespace

bool read_channel_header(Model& model, RunContext& ctx, ChannelFile& file) {
    Channel& ch = model.channel;
    std::string first;
    if (file.lines.empty() || !Tokens(file.lines[0]).text(first) || first.size() < 10 ||
        !std::equal(first.begin(), first.begin() + 10, "torva_chan", [](char a, char b) {
            return std::tolower(static_cast<unsigned char>(a)) == b;
        }))
        return stop_with(ctx, {message_text("Error: The channel input file %s does not begin with "
                                            "TORVA_CHAN.",
                                            file.path.c_str()),
                               "Its first line must be the word TORVA_CHAN, followed by the "
                               "header cards ALPHA, BETA, THETA, LINKS and MAXNODES.",
                               "Program terminated in read_chan_input."});
    int met = 0;
    std::size_t i = 1;
    for (; i < file.lines.size() && met < 5; ++i) {
        CardLine c = file.card(i);
        if (!is_header_card(c.card))
            continue;
        bool read = true;
        switch (c.card) {
            case ChanCard::alpha:
                read = file.real(ctx, c, ch.alpha);
                break;
            case ChanCard::beta:
                read = file.real(ctx, c, ch.beta);
                break;
            case ChanCard::theta:
                read = file.real(ctx, c, ch.theta);
                break;
            case ChanCard::links:
                read = file.integer(ctx, c, ch.links);
                break;
            default:
                read = file.integer(ctx, c, ch.max_nodes);
                break;
        }
        if (!read)
            return false;
        ++met;
    }
    if (met < 5)
        return stop_with(
            ctx, {"Premature end-of-file in the channel input file.",
                  "The channel input file does not contain all the required parameter cards.",
                  "These include: ALPHA, BETA, THETA, DX, LINKS, and MAXNODES.",
                  "Repair your channel input file and try again.  These cards must appear at",
                  "The beginning of the file before and COORD or LINK cards.",
                  "Program terminated in read_chan_input."});
    file.body = i;
    if (ch.links < 1 || ch.max_nodes < 1)
        return file.refuse(ctx, static_cast<int>(i),
                           message_text("the header gives %d links of at most %d nodes; a "
                                        "network needs at least one link of one node.",
                                        ch.links, ch.max_nodes));
    // Every link needs a CONNECT card of its own: a count beyond the file's
    // lines cannot be right, and would size the arrays for nothing.
    if (static_cast<std::size_t>(ch.links) > file.lines.size())
        return connect_count_differs(ctx, ch.links, count_connect_cards(file));
    return true;
}

bool read_link_cards(Model& model, RunContext& ctx, const ChannelFile& file, LinkCounts& counts) {
    Channel& ch = model.channel;
    ch.link.assign(static_cast<std::size_t>(ch.links) + 1, ChannelLink{});
    counts = LinkCounts{};
    counts.tables.assign(static_cast<std::size_t>(ch.links) + 1, 0);
    std::vector<int> most_pairs(static_cast<std::size_t>(ch.links) + 1, 0);
    int lakes = 0;
    int current = 0;
    for (std::size_t i = file.body; i < file.lines.size(); ++i) {
        CardLine c = file.card(i);
        if (c.card == ChanCard::connect) {
            ++counts.connect_cards;
            c.args.integer();
            c.args.integer();
            counts.max_upstream = std::max(counts.max_upstream, c.args.integer());
            continue;
        }
        if (c.card == ChanCard::link) {
            if (!file.integer(ctx, c, current))
                return false;
            if (current < 1 || current > ch.links)
                return file.refuse(ctx, c.line,
                                   message_text("LINK %d names no link of the network: links "
                                                "are numbered 1 to %d.",
                                                current, ch.links));
            continue;
        }
        if (!needs_link(c.card))
            continue;
        if (current == 0)
            return file.refuse(ctx, c.line,
                               "the " + card_name(c) + " card comes before any LINK card.");
        ChannelLink& l = ch.link[current];
        bool read = true;
        switch (c.card) {
            case ChanCard::type_word:
                l.type = c.link_type;
                break;
            case ChanCard::erode:
                if (!l.is(kErodibleLink))
                    l.type += kErodibleLink;
                break;
            case ChanCard::subsurface:
                if (!l.is(kSubsurfaceLink))
                    l.type += kSubsurfaceLink;
                break;
            case ChanCard::nodes:
                read = file.integer(ctx, c, l.nodes);
                break;
            case ChanCard::dx:
                read = file.real(ctx, c, l.dx);
                break;
            case ChanCard::mannings_n:
                read = file.real(ctx, c, l.mannings_n);
                break;
            case ChanCard::max_erosion:
                read = file.real(ctx, c, l.max_erosion);
                break;
            case ChanCard::k_river:
                read = file.real(ctx, c, l.bed_conductivity);
                if (!l.groundwater)
                    ++counts.groundwater_links;
                l.groundwater = true;
                break;
            case ChanCard::m_river:
                read = file.real(ctx, c, l.bed_thickness);
                break;
            case ChanCard::dispersion_coeff:
                read = file.real(ctx, c, l.dispersion);
                break;
            case ChanCard::decay_coeff:
                read = file.real(ctx, c, l.decay);
                break;
            case ChanCard::lake:
                l.type = kLakeLink;
                if (l.lake == 0)
                    l.lake = ++lakes;
                break;
            case ChanCard::structure:
                l.type = kStructureLink;
                break;
            case ChanCard::numstructs:
                read = file.integer(ctx, c, l.structures_declared);
                break;
            case ChanCard::structtype: {
                std::string kind;
                c.args.text(kind);
                if (structure_kind_number(kind) > 0)
                    ++counts.structure_elements;
                break;
            }
            case ChanCard::npairs: {
                int pairs = 0;
                read = file.integer(ctx, c, pairs);
                ++counts.tables[current];
                most_pairs[current] = std::max(most_pairs[current], pairs);
                break;
            }
            case ChanCard::pointsource:
                ++counts.point_sources;
                break;
            case ChanCard::pumpto:
                ++counts.pumps;
                break;
            default:
                break;
        }
        if (!read)
            return false;
    }

    ch.lakes.assign(static_cast<std::size_t>(lakes), ChannelLake{});
    for (int link = 1; link <= ch.links; ++link) {
        ChannelLink& l = ch.link[link];
        counts.structures_declared += l.structures_declared;
        if (l.is(kLakeLink))
            ch.lakes[l.lake - 1].link = link;
        if (l.is(kBreakpointLink))
            counts.max_pairs = std::max(counts.max_pairs, most_pairs[link]);
        if (l.is(kStructureLink))
            l.nodes = 2;
        const bool channel_link = !l.is(kLakeLink) && !l.is(kStructureLink);
        if (channel_link && l.mannings_n < kLeastManningsN)
            return stop_with(ctx,
                             {message_text("Error encountered when reading the channel "
                                           "input file, link %d:",
                                           link),
                              message_text("    Manning's Roughness is %5.3lf", l.mannings_n)});
        l.inverse_n = l.mannings_n > 0.0 ? 1.0 / l.mannings_n : 0.0;
    }
    if (counts.structures_declared != counts.structure_elements)
        return stop_with(
            ctx, {message_text("\nThe sum of NUMSTRUCTS arguments is %d, while the total number",
                               counts.structures_declared),
                  "of hydraulic structure element cards (e.g. WEIR, ROUND_CULVERT,",
                  message_text("etc.) is %d.  This inconstency is intolerable.  Check your "
                               "channel",
                               counts.structure_elements),
                  "input file.  Program terminated."});
    for (int link = 1; link <= ch.links; ++link) {
        const ChannelLink& l = ch.link[link];
        if ((l.type & (kTrapezoidLink | kBreakpointLink | kLakeLink | kStructureLink)) == 0)
            return file.refuse_link(ctx, link,
                                    "the link has no type. Give it one of TRAPEZOID, BREAKPOINT, "
                                    "LAKE or STRUCTURE, or their subsurface and erodible forms.");
        if (l.nodes < 1 || l.nodes > std::max(ch.max_nodes, 2))
            return file.refuse_link(ctx, link,
                                    message_text("the link has %d nodes; MAXNODES allows 1 to %d.",
                                                 l.nodes, ch.max_nodes));
    }
    return true;
}

bool allocate_node_arrays(Model& model, RunContext& ctx) {
    Channel& ch = model.channel;
    // Rows for the longest link: MAXNODES only bounds it.
    int rows = 0;
    for (int link = 1; link <= ch.links; ++link) rows = std::max(rows, ch.link[link].nodes);
    const int l = ch.links;
    struct Named {
        NodeArray<double>* array;
        const char* name;
    };
    const Named reals[] = {{&ch.yp_max_flood, "yp_max_flood"},
                           {&ch.yp, "yp"},
                           {&ch.qp, "qp"},
                           {&ch.froude, "Fr"},
                           {&ch.qp_vol, "qp_vol"},
                           {&ch.qp_vol_sed, "qp_vol_sed"},
                           {&ch.bottom, "bottom"},
                           {&ch.bankfull_dep, "bankfull_dep"},
                           {&ch.bel, "bel"},
                           {&ch.sslope, "sslope"},
                           {&ch.max_eros, "max_eros"},
                           {&ch.krb, "Krb"},
                           {&ch.mrb, "Mrb"},
                           {&ch.depth, "chan_depth"},
                           {&ch.area, "area"},
                           {&ch.area_old, "area_old"},
                           {&ch.topw, "topw"},
                           {&ch.conv, "conv"},
                           {&ch.qlat, "qlat"}};
    for (const Named& n : reals)
        if (!allocate_nodes(ctx, *n.array, rows, l, n.name))
            return false;
    return allocate_nodes(ctx, ch.got_xsec, rows, l, "got_xsec") &&
           allocate_nodes(ctx, ch.table_num, rows, l, "table_num") &&
           allocate_nodes(ctx, ch.point_source, rows, l, "point_source", -1) &&
           allocate_nodes(ctx, ch.pump, rows, l, "pump", -1);
}

void print_channel_summary(Model& model, RunContext& ctx, const LinkCounts& counts) {
    const Channel& ch = model.channel;
    int trapezoid = 0, trapezoid_subsurface = 0, trapezoid_erodible = 0;
    int breakpoint = 0, breakpoint_subsurface = 0, breakpoint_erodible = 0, most_tables = 0;
    int lake = 0, structure = 0, subsurface = 0;
    for (int link = 1; link <= ch.links; ++link) {
        const ChannelLink& l = ch.link[link];
        if (l.is(kTrapezoidLink)) {
            ++trapezoid;
            trapezoid_subsurface += l.is(kSubsurfaceLink);
            trapezoid_erodible += l.is(kErodibleLink);
        }
        if (l.is(kBreakpointLink)) {
            ++breakpoint;
            breakpoint_subsurface += l.is(kSubsurfaceLink);
            breakpoint_erodible += l.is(kErodibleLink);
            most_tables = std::max(most_tables, counts.tables[link]);
        }
        lake += l.is(kLakeLink);
        structure += l.is(kStructureLink);
        subsurface += l.is(kSubsurfaceLink);
    }
    if (!model.run.quiet && !model.run.super_quiet) {
        ctx.print("\n\nChannel input data:\n");
        ctx.print("  max. number of u.s. dependencies:      %d\n", counts.max_upstream);
        ctx.print("  number of trapezoidal links:           %d\n", trapezoid);
        ctx.print("    num w/ subsurface attribute:           %d\n", trapezoid_subsurface);
        ctx.print("    num w/ erodible attribute:             %d\n", trapezoid_erodible);
        ctx.print("  number of breakpoint links:            %d\n", breakpoint);
        ctx.print("    num w/ subsurface attribute:           %d\n", breakpoint_subsurface);
        ctx.print("    num w/ erodible attribute:             %d\n", breakpoint_erodible);
        ctx.print("    max number of xsec in any bp link:     %d\n", most_tables);
        ctx.print("    max number of xsec pairs:              %d\n", counts.max_pairs);
        ctx.print("  number of lake links:                  %d\n", lake);
        ctx.print("  number of hydraulic structure links:   %d\n", structure);
        ctx.print("    total no. of hydr. structure elements: %d\n", counts.structure_elements);
        ctx.print("  number of groundwater links:           %d\n", counts.groundwater_links);
    }
    if (counts.groundwater_links != subsurface) {
        ctx.print(
            " ===> Error: the number of specified subsurface links does not match the number of "
            "subsurface \n");
        ctx.print(
            "parameters. Check your subsurface links to ensure that they specify the bed "
            "concuctivity and thickness\n");
    }
}

}  // namespace torva
