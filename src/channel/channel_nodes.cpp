// The node cards of the channel input file (bed elevations, trapezoid
// parameters, per-node erosion limits, and the structure, pump and point
// source cards that belong to a node), and the cross-section each trapezoidal
// link takes from its XSEC node.

#include <cmath>

#include "channel/channel_input.hpp"
#include "core/context.hpp"
#include "core/model_state.hpp"

namespace torva {
namespace {

bool needs_node(ChanCard c) {
    return c == ChanCard::elev || c == ChanCard::xsec || c == ChanCard::bottom_width ||
           c == ChanCard::bankfull_depth || c == ChanCard::side_slope;
}

bool is_structure_card(ChanCard c) {
    return c == ChanCard::structtype || c == ChanCard::structure_parameter ||
           c == ChanCard::pointsource || c == ChanCard::pumpto;
}

}  // namespace

bool read_node_cards(Model& model, RunContext& ctx, const ChannelFile& file) {
    Channel& ch = model.channel;
    NodeCursor at;
    for (std::size_t i = file.body; i < file.lines.size(); ++i) {
        CardLine c = file.card(i);
        if (c.card == ChanCard::link) {
            // Its number was checked by the link pass.
            at = NodeCursor{c.args.integer(), 0, 0};
            continue;
        }
        const bool node_card = c.card == ChanCard::node || needs_node(c.card);
        if (!node_card && !is_structure_card(c.card) && c.card != ChanCard::max_erosion)
            continue;
        if (at.link == 0)
            return file.refuse(ctx, c.line,
                               "the " + card_name(c) + " card comes before any LINK card.");
        if (c.card == ChanCard::node) {
            if (!file.integer(ctx, c, at.node))
                return false;
            const int nodes = ch.link[at.link].nodes;
            if (at.node < 1 || at.node > nodes)
                return file.refuse(ctx, c.line,
                                   message_text("NODE %d is not a node of link %d, whose nodes "
                                                "are numbered 1 to %d.",
                                                at.node, at.link, nodes));
            continue;
        }
        if (is_structure_card(c.card)) {
            if (!read_structure_card(model, ctx, file, c, at))
                return false;
            continue;
        }
        if (c.card == ChanCard::max_erosion) {
            // The link's value was read by the link pass; after a NODE card it
            // is that node's own limit as well.
            double value = 0.0;
            if (at.node > 0 && file.real(ctx, c, value))
                ch.max_eros(at.node, at.link) = value;
            if (ctx.error.pending())
                return false;
            continue;
        }
        if (at.node == 0)
            return file.refuse(ctx, c.line,
                               message_text("the %s card comes before any NODE card of link %d.",
                                            card_name(c).c_str(), at.link));
        if (c.card == ChanCard::xsec) {
            ch.got_xsec(at.node, at.link) = ch.link[at.link].type;
            continue;
        }
        double value = 0.0;
        if (!file.real(ctx, c, value))
            return false;
        switch (c.card) {
            case ChanCard::elev:
                ch.bel(at.node, at.link) = value;
                break;
            case ChanCard::bottom_width:
                ch.bottom(at.node, at.link) = value;
                break;
            case ChanCard::bankfull_depth:
                ch.bankfull_dep(at.node, at.link) = value;
                break;
            default:
                ch.sslope(at.node, at.link) = value;
                break;
        }
    }
    return true;
}

bool copy_trapezoid_sections(Model& model, RunContext& ctx) {
    Channel& ch = model.channel;
    for (int link = 1; link <= ch.links; ++link) {
        ChannelLink& l = ch.link[link];
        l.inverse_dx = l.dx > 0.0 ? 1.0 / l.dx : 0.0;
        if (!l.is(kTrapezoidLink))
            continue;
        // The last node that carries the link's cross-section gives it to all.
        int source = 0;
        for (int node = 1; node <= l.nodes; ++node)
            if (ch.got_xsec(node, link) == l.type)
                source = node;
        if (source == 0)
            return stop_with(ctx, {message_text("Error: Cross section parameters not found for "
                                                "link %d.",
                                                link)});
        const double b = ch.bottom(source, link);
        const double z = ch.sslope(source, link);
        const double bankfull = ch.bankfull_dep(source, link);
        // Vertical banks need a bed to hold water: without one the section has
        // no area at any depth.
        if (b < 0.0 || z < 0.0 || bankfull < 0.0 || (b == 0.0 && z == 0.0))
            return stop_with(
                ctx, {message_text("Error: The trapezoidal cross-section of link %d, node %d has "
                                   "bottom width %g m, side slope %g and bankfull depth %g m.",
                                   link, source, b, z, bankfull),
                      "None may be negative, and a section with vertical banks (side slope 0) "
                      "needs a bottom width above 0."});
        for (int node = 1; node <= l.nodes; ++node) {
            ch.bottom(node, link) = b;
            ch.sslope(node, link) = z;
            ch.bankfull_dep(node, link) = bankfull;
            if (l.is(kErodibleLink))
                ch.max_eros(node, link) = ch.max_eros(source, link);
        }
    }
    return true;
}

}  // namespace torva
