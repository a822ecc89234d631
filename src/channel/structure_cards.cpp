// The STRUCTTYPE cards and the parameters of structure elements, the PUMPTO
// and POINTSOURCE cards: each names the series that drives it, found among
// the series files read before the channel input file.

#include <array>
#include <cctype>

#include "channel/channel_input.hpp"
#include "core/context.hpp"
#include "core/errors.hpp"
#include "core/model_state.hpp"

namespace torva {
namespace {

constexpr std::array<std::string_view, 8> kKindWords{
    "weir",         "sag_weir",     "round_culvert",     "oval_culvert",
    "rect_culvert", "rating_curve", "scheduled_release", "rule_curve"};

int elevation_series_position(const SeriesLists& lists, std::string_view name) {
    for (std::size_t k = 0; k < lists.elevation_series.size(); ++k)
        if (lists.elevation_series[k].name == name)
            return static_cast<int>(k);
    return -1;
}

int time_series_at(const SeriesLists& lists, std::string_view name) {
    for (std::size_t k = 0; k < lists.time_series.size(); ++k)
        if (lists.time_series[k].name == name)
            return static_cast<int>(k);
    return -1;
}

bool series_not_found(RunContext& ctx, const char* kind, const std::string& name, const char* card,
                      int link, int node) {
    return stop_with(ctx, {message_text("Error: The %s \"%s\" of the %s card at link %d, node %d "
                                        "is not found. Make sure that the %s",
                                        kind, name.c_str(), card, link, node, kind),
                           " file is in the project file before the channel input file and "
                           "that the series is defined."});
}

// Raises the error of a rating curve, scheduled release or rule curve without
// its series name (first code) or whose series is not found (second code).
bool read_structure_series(RunContext& ctx, CardLine& c, StructureKind kind,
                           StructureElement& element) {
    const bool time_series = kind == StructureKind::scheduled_release;
    const int missing = kind == StructureKind::rating_curve ? 85 : time_series ? 87 : 89;
    std::string name;
    if (!c.args.text(name) || name.empty()) {
        ctx.error.raise(missing);
        return false;
    }
    const SeriesLists& lists = ctx.series;
    if (time_series)
        element.time_series = time_series_at(lists, name);
    else
        element.elevation_series = elevation_series_position(lists, name);
    if (element.time_series < 0 && element.elevation_series < 0) {
        ctx.error.raise(missing + 1);
        return false;
    }
    return true;
}

bool read_structtype(Model& model, RunContext& ctx, const ChannelFile& file, CardLine& c,
                     NodeCursor& at) {
    Channel& ch = model.channel;
    std::string word;
    c.args.text(word);
    const int kind = structure_kind_number(word);
    if (kind == 0)
        return file.refuse(ctx, c.line,
                           "STRUCTTYPE " + word +
                               " is no structure kind: weir, sag_weir, round_culvert, "
                               "oval_culvert, rect_culvert, rating_curve, scheduled_release or "
                               "rule_curve.");
    StructureElement element;
    element.kind = static_cast<StructureKind>(kind);
    if (kind >= 6 && !read_structure_series(ctx, c, element.kind, element))
        return false;
    ch.structures.push_back(element);
    at.structure = static_cast<int>(ch.structures.size());
    ChannelLink& l = ch.link[at.link];
    l.first_structure = std::min(l.first_structure, at.structure);
    l.last_structure = std::max(l.last_structure, at.structure);
    return true;
}

bool read_structure_parameter(Model& model, RunContext& ctx, const ChannelFile& file, CardLine& c,
                              const NodeCursor& at) {
    if (at.structure == 0)
        return file.refuse(ctx, c.line,
                           message_text("the %s card comes before any STRUCTTYPE card of link "
                                        "%d.",
                                        card_name(c).c_str(), at.link));
    double value = 0.0;
    if (!file.real(ctx, c, value))
        return false;
    StructureElement& e = model.channel.structures[at.structure - 1];
    switch (c.field) {
        case StructureField::length:
            e.length = value;
            break;
        case StructureField::upstream_invert:
            e.up_invert = value;
            break;
        case StructureField::downstream_invert:
            e.down_invert = value;
            break;
        case StructureField::slope:
            e.slope = value;
            break;
        case StructureField::forward_coefficient:
            e.coeff_forward = value;
            break;
        case StructureField::reverse_coefficient:
            e.coeff_reverse = value;
            break;
        case StructureField::first_size:
            e.size1 = value;
            break;
        case StructureField::second_size:
            e.size2 = value;
            break;
        case StructureField::crest_low_location:
            e.crest_low_loc = value;
            break;
        case StructureField::roughness:
            e.roughness = value;
            break;
    }
    return true;
}

bool read_point_source(Model& model, RunContext& ctx, const ChannelFile& file, CardLine& c,
                       const NodeCursor& at) {
    Channel& ch = model.channel;
    // The inflow of a lake enters at its first node.
    const int node = ch.link[at.link].is(kLakeLink) ? 1 : at.node;
    if (node == 0)
        return file.refuse(ctx, c.line,
                           message_text("the POINTSOURCE card comes before any NODE card of "
                                        "link %d.",
                                        at.link));
    std::string name;
    if (!c.args.text(name) || name.empty())
        return file.refuse(ctx, c.line, "the POINTSOURCE card needs the name of a time series.");
    const int series = time_series_at(ctx.series, name);
    if (series < 0)
        return series_not_found(ctx, "time series", name, "POINTSOURCE", at.link, node);
    ch.point_source(node, at.link) = series;
    return true;
}

bool read_pump(Model& model, RunContext& ctx, const ChannelFile& file, CardLine& c,
               const NodeCursor& at) {
    Channel& ch = model.channel;
    if (at.node == 0)
        return file.refuse(
            ctx, c.line,
            message_text("the PUMPTO card comes before any NODE card of link %d.", at.link));
    Pump pump;
    pump.link = at.link;
    pump.node = at.node;
    if (!file.integer(ctx, c, pump.destination_link) ||
        !file.integer(ctx, c, pump.destination_node))
        return false;
    std::string flow, name;
    c.args.text(flow);
    c.args.text(name);
    if (flow.rfind("ELEV", 0) == 0)
        pump.flow = PumpFlow::elevation_series;
    else if (flow.rfind("TS", 0) == 0)
        pump.flow = PumpFlow::time_series;
    else
        return stop_with(ctx, {"\n\nError in the channel input file: Flow type for pump is "
                               "incorrectly",
                               message_text("defined for link %d. Must be ELEV or TS.", at.link)});
    if (ch.link[at.link].type == kTrapezoidLink)
        pump.destination_node = 1;
    const int to = pump.destination_link;
    if (to < 1 || to > ch.links || pump.destination_node < 1 ||
        pump.destination_node > ch.link[to].nodes)
        return file.refuse(ctx, c.line,
                           message_text("the pump pumps to node %d of link %d, which the "
                                        "network does not have.",
                                        pump.destination_node, to));
    // A structure at the outlet has no link below it to deliver to: the
    // pumped water would be lost.
    const int below = ch.link[to].downstream;
    if (ch.link[to].is(kStructureLink) && below == 0)
        return file.refuse(ctx, c.line,
                           message_text("the pump at node %d of link %d pumps into structure "
                                        "link %d, which has no link below it to take "
                                        "the water. Pump into a channel link or a lake.",
                                        at.node, at.link, to));
    const bool by_elevation = pump.flow == PumpFlow::elevation_series;
    pump.series = by_elevation ? elevation_series_position(ctx.series, name)
                               : time_series_at(ctx.series, name);
    if (pump.series < 0)
        return series_not_found(ctx, by_elevation ? "elevation series" : "time series", name,
                                "PUMPTO", at.link, at.node);
    ch.pump(at.node, at.link) = static_cast<int>(ch.pumps.size());
    ch.pumps.push_back(pump);
    return true;
}

}  // namespace

int structure_kind_number(std::string_view word) {
    for (std::size_t k = 0; k < kKindWords.size(); ++k) {
        const std::string_view kind = kKindWords[k];
        if (word.size() < kind.size())
            continue;
        bool same = true;
        for (std::size_t i = 0; i < kind.size() && same; ++i)
            same = std::tolower(static_cast<unsigned char>(word[i])) == kind[i];
        if (same)
            return static_cast<int>(k) + 1;
    }
    return 0;
}

bool read_structure_card(Model& model, RunContext& ctx, const ChannelFile& file, CardLine& c,
                         NodeCursor& at) {
    switch (c.card) {
        case ChanCard::structtype:
            return read_structtype(model, ctx, file, c, at);
        case ChanCard::structure_parameter:
            return read_structure_parameter(model, ctx, file, c, at);
        case ChanCard::pointsource:
            return read_point_source(model, ctx, file, c, at);
        case ChanCard::pumpto:
            return read_pump(model, ctx, file, c, at);
        default:
            return true;
    }
}

}  // namespace torva
