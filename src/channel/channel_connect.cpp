// The CONNECT cards: which link each link drains into and which links drain
// into its first node, checked so that routing can follow them safely: every
// number names a link, the two directions agree, and every link drains to the
// outlet link without a loop.

#include <vector>

#include "channel/channel_input.hpp"
#include "core/context.hpp"
#include "core/model_state.hpp"

namespace torva {
namespace {

bool too_many_upstream_links(RunContext& ctx, int count) {
    return stop_with(
        ctx, {"Whoa there pardner!  You mean to tell me that you have more than 20",
              "channels flowing into one point?  How can that be?  I reckon that you",
              "or that new-fangled interface your a usin' have made a serious mistake.",
              "OR maybe you are trying to use this here model to simulate the runoff",
              "into the Great Lakes!.  In either case, I ain't gonna let you do it.",
              "Program terminated because the maximum number of upstream dependencies",
              message_text(
                  "in the read_chan_input subroutine was equal to %d, which is, frankly, a", count),
              "reediculous number.  Fifteen yard penalty from the spot of the foul."});
}

bool read_connect_card(RunContext& ctx, const ChannelFile& file, CardLine& c, Channel& ch,
                       std::vector<int>& card_line) {
    int link = 0, downstream = 0, count = 0;
    if (!file.integer(ctx, c, link) || !file.integer(ctx, c, downstream) ||
        !file.integer(ctx, c, count))
        return false;
    if (link < 1 || link > ch.links)
        return file.refuse(
            ctx, c.line,
            message_text("CONNECT names link %d; links are numbered 1 to %d.", link, ch.links));
    if (card_line[link] != 0)
        return file.refuse(ctx, c.line,
                           message_text("link %d has a second CONNECT card (the first is on "
                                        "line %d); each link has exactly one.",
                                        link, card_line[link]));
    card_line[link] = c.line;
    if (downstream < 0 || downstream > ch.links)
        return file.refuse(ctx, c.line,
                           message_text("link %d drains to link %d; links are numbered 1 to %d, "
                                        "and 0 marks the outlet link.",
                                        link, downstream, ch.links));
    if (count < 0 || count > kMaxUpstreamLinks)
        return file.refuse(ctx, c.line,
                           message_text("link %d has %d upstream links.", link, count));
    ChannelLink& l = ch.link[link];
    l.downstream = downstream;
    l.upstream_count = count;
    for (int k = 0; k < count; ++k) {
        int up = 0;
        if (!file.integer(ctx, c, up))
            return false;
        if (up < 1 || up > ch.links || up == link)
            return file.refuse(ctx, c.line,
                               message_text("link %d lists upstream link %d; links are numbered "
                                            "1 to %d, and a link cannot drain into itself.",
                                            link, up, ch.links));
        l.upstream[k] = up;
    }
    return true;
}

bool lists_upstream(const ChannelLink& l, int link) {
    for (int k = 0; k < l.upstream_count; ++k)
        if (l.upstream[k] == link)
            return true;
    return false;
}

// Both directions of every connection agree, and following the downstream
// links from any link reaches the outlet link L within L - 1 steps.
bool check_drainage(RunContext& ctx, const ChannelFile& file, const Channel& ch) {
    const int outlet = ch.links;
    if (ch.link[outlet].downstream != 0)
        return file.refuse_link(ctx, outlet,
                                message_text("the outlet link drains to link %d; the last link "
                                             "is the outlet link and drains to 0.",
                                             ch.link[outlet].downstream));
    for (int link = 1; link <= ch.links; ++link) {
        const ChannelLink& l = ch.link[link];
        if (l.downstream > 0 && !lists_upstream(ch.link[l.downstream], link))
            return file.refuse_link(ctx, link,
                                    message_text("the link drains to link %d, whose CONNECT "
                                                 "card does not list it among its upstream "
                                                 "links.",
                                                 l.downstream));
        for (int k = 0; k < l.upstream_count; ++k) {
            const int up = l.upstream[k];
            if (ch.link[up].downstream != link)
                return file.refuse_link(ctx, link,
                                        message_text("the link lists upstream link %d, whose "
                                                     "CONNECT card drains it to link %d.",
                                                     up, ch.link[up].downstream));
        }
    }
    // A structure fed by several links draws on the water of their last
    // nodes; a lake or another structure has no such node to share.
    for (int link = 1; link <= ch.links; ++link) {
        const ChannelLink& l = ch.link[link];
        if (!l.is(kStructureLink) || l.upstream_count < 2)
            continue;
        for (int k = 0; k < l.upstream_count; ++k) {
            const ChannelLink& u = ch.link[l.upstream[k]];
            if (u.is(kLakeLink) || u.is(kStructureLink))
                return file.refuse_link(
                    ctx, link,
                    message_text("the structure link is fed by %d links, among them %s link %d; "
                                 "a structure fed by a lake or by another structure must have "
                                 "it as its only upstream link.",
                                 l.upstream_count, u.is(kLakeLink) ? "lake" : "structure",
                                 l.upstream[k]));
        }
    }
    for (int link = 1; link < ch.links; ++link) {
        int at = link;
        int steps = 0;
        while (at != outlet && at != 0 && steps < ch.links) {
            at = ch.link[at].downstream;
            ++steps;
        }
        if (at == 0)
            return file.refuse_link(ctx, link,
                                    message_text("the link does not drain to the outlet link %d: "
                                                 "its downstream links end at a link that "
                                                 "drains to 0.",
                                                 outlet));
        if (at != outlet)
            return file.refuse_link(ctx, link,
                                    message_text("the link does not drain to the outlet link %d: "
                                                 "its downstream links run in a loop.",
                                                 outlet));
    }
    return true;
}

}  // namespace

bool connect_count_differs(RunContext& ctx, int links, int cards) {
    return stop_with(ctx,
                     {message_text("Your channel input file contains %d links, and %d "
                                   "CONNECT cards",
                                   links, cards),
                      "These two numbers must be equal.  Therefore, you have a major ",
                      "problem with your channel input file.  TORVA cannot proceed.",
                      "Fifteen yard penalty from the line of scrimmage.", "program terminated."});
}

bool read_connectivity(Model& model, RunContext& ctx, const ChannelFile& file,
                       const LinkCounts& counts) {
    Channel& ch = model.channel;
    if (counts.max_upstream > kMaxUpstreamLinks)
        return too_many_upstream_links(ctx, counts.max_upstream);
    if (counts.connect_cards != ch.links)
        return connect_count_differs(ctx, ch.links, counts.connect_cards);
    std::vector<int> card_line(static_cast<std::size_t>(ch.links) + 1, 0);
    for (std::size_t i = file.body; i < file.lines.size(); ++i) {
        CardLine c = file.card(i);
        if (c.card == ChanCard::connect && !read_connect_card(ctx, file, c, ch, card_line))
            return false;
    }
    return check_drainage(ctx, file, ch);
}

}  // namespace torva
