// The channel network's outputs: hydrograph and depth locations, one row per
// output step, and the link/node files, one row block per output step.

#include "output/channel_output.hpp"

#include <string>

#include "channel/routing.hpp"
#include "core/clock.hpp"
#include "core/context.hpp"
#include "core/file_names.hpp"
#include "core/model_state.hpp"
#include "core/output_files.hpp"
#include "output/hydrograph.hpp"

namespace torva {
namespace {

bool routed(const Model& model) {
    return model.project.channel_routing == ChannelRouting::explicit_routing && model.channel.read;
}

// Stops the run after a write to an output file failed.
void write_failed(RunContext& ctx, const char* first_line, const std::string& path) {
    ctx.print("%s", first_line);
    ctx.print("The file %s could not be written (is the disk full or the folder gone?).\n",
              path.c_str());
    ctx.error.raise(err::message_printed);
}

// One location row: the time value, then the figure at every location.
bool write_location_row(const Model& model, OutputFile& file, const NodeFigure& figure) {
    std::FILE* f = file.get();
    bool ok = model.run.long_term ? std::fprintf(f, "%16.8lf ", long_term_time(model, 0, 0)) >= 0
                                  : std::fprintf(f, "%14.8lf ", model.clock.elapsed_minutes) >= 0;
    for (const LinkNodeLocation& loc : model.output.hydrograph_locations)
        ok = ok && std::fprintf(f, "%12.6lf ", figure(loc.node, loc.link)) >= 0;
    return ok && std::fprintf(f, "\n") >= 0;
}

// The water surface a structure holds back: that of the last node of its
// upstream link, or of the lake above it.
double structure_head(const Channel& ch, int link) {
    const ChannelLink& s = ch.link[link];
    if (s.upstream_count < 1)
        return ch.yp(1, link);
    const int up = s.upstream[0];
    if (ch.link[up].is(kLakeLink))
        return lake_water_surface(ch, up);
    return ch.yp(ch.link[up].nodes, up);
}

// A host gets the discharge and depth at every hydrograph location with each
// outlet row, whether or not the project writes them to a file.
void keep_locations_for_host(const Model& model, HostLink& host, const NodeFigure& discharge,
                             const NodeFigure& depth) {
    const std::vector<LinkNodeLocation>& locations = model.output.hydrograph_locations;
    if (host.locations.size() != locations.size()) {
        host.locations.clear();
        for (const LinkNodeLocation& loc : locations)
            host.locations.emplace_back(loc.link, loc.node);
    }
    for (const LinkNodeLocation& loc : locations) {
        host.location_discharge.push_back(discharge(loc.node, loc.link));
        host.location_depth.push_back(depth(loc.node, loc.link));
    }
}

}  // namespace

void check_channel_locations(Model& model, RunContext& ctx) {
    const Channel& ch = model.channel;
    const std::vector<LinkNodeLocation>& locations = model.output.hydrograph_locations;
    if (!ch.read)
        return;
    for (std::size_t k = 0; k < locations.size(); ++k) {
        const auto [link, node] = locations[k];
        const std::string file = strip_quotes(model.project.text(Card::IN_HYD_LOCATION));
        if (link < 1 || link > ch.links) {
            ctx.print_and_log(
                "Error: location file %s (card IN_HYD_LOCATION), entry %zu: link %d is not a link "
                "of the channel network, whose links are 1 to %d; give a link and one of its "
                "nodes.\n",
                file.c_str(), k + 1, link, ch.links);
            ctx.error.raise(err::message_printed);
            return;
        }
        if (node < 1 || node > ch.link[link].nodes) {
            ctx.print_and_log(
                "Error: location file %s (card IN_HYD_LOCATION), entry %zu: node %d is not a node "
                "of link %d, whose nodes are 1 to %d; give a link and one of its nodes.\n",
                file.c_str(), k + 1, node, link, ch.link[link].nodes);
            ctx.error.raise(err::message_printed);
            return;
        }
    }
}

bool write_link_node_header(std::FILE* file, const char* first_line, int num_links,
                            int minutes_between_rows, int num_rows, const CalendarTime& start) {
    return std::fputs(first_line, file) >= 0 &&
           std::fprintf(file, "NUM_LINKS     %d\n", num_links) >= 0 &&
           std::fprintf(file, "TIME_STEP     %d\n", minutes_between_rows) >= 0 &&
           std::fprintf(file, "NUM_TS        %d\n", num_rows) >= 0 &&
           std::fprintf(file, "START_TIME    %2d %2d %4d %2d %2d %2d\n", start.day, start.month,
                        start.year, start.hour, start.minute, 0) >= 0;
}

bool write_link_node_rows(LinkNodeFile& out, const Channel& ch, const NodeFigure& node_value,
                          const LinkFigure& own, const std::vector<int>* shown_nodes) {
    std::FILE* f = out.file.get();
    const bool value_file = out.mode == LinkNodeMode::value;
    bool ok = std::fprintf(f, "TS    %d\n", out.rows_written) >= 0;
    for (int link = 1; link <= ch.links && ok; ++link) {
        const ChannelLink& l = ch.link[link];
        // A lake gives its own value in the difference and ratio files, a
        // structure in the value files; each is missing in the others.
        if (l.is(kLakeLink))
            ok &= value_file ? std::fprintf(f, "0  -999.999   ") >= 0
                             : std::fprintf(f, "-1 %6.5lf   ", own(link)) >= 0;
        if (l.is(kStructureLink))
            ok &= value_file ? std::fprintf(f, "-2  %6.5lf   ", own(link)) >= 0
                             : std::fprintf(f, "0  -999.999   ") >= 0;
        // Links of a kind with nodes (bit 16 is one no link of this version has).
        if (l.is(kTrapezoidLink | kBreakpointLink | 16)) {
            const int nodes = l.nodes;
            const int shown = shown_nodes ? (*shown_nodes)[link] : nodes;
            ok &= std::fprintf(f, "%d   ", nodes) >= 0;
            for (int node = 1; node <= nodes && ok; ++node)
                ok &= node > shown ? std::fprintf(f, "0  -999.999   ") >= 0
                                   : std::fprintf(f, "1  %6.5lf   ", node_value(node, link)) >= 0;
        }
        ok &= std::fprintf(f, "\n") >= 0;
    }
    ok &= std::fprintf(f, "\n") >= 0;
    ++out.rows_written;
    return ok;
}

void write_link_node_headers(Model& model, RunContext& ctx) {
    Outputs& o = model.output;
    const ProjectSettings& p = model.project;
    CalendarTime start;
    start.year = p.integer(Card::START_DATE, 0);
    start.month = p.integer(Card::START_DATE, 1);
    start.day = p.integer(Card::START_DATE, 2);
    start.hour = p.integer(Card::START_TIME, 0);
    start.minute = p.integer(Card::START_TIME, 1);
    const int minutes = static_cast<int>(model.run.hydrograph_steps * model.run.time_step / 60.0);
    const int rows = minutes > 0 ? p.integer(Card::TOT_TIME) / minutes : 0;
    for (LinkNodeFile* f : {&o.channel_depth, &o.channel_discharge, &o.channel_stage,
                            &o.channel_velocity, &o.flood_stream, &o.channel_sed_flux}) {
        if (f->file && !write_link_node_header(f->file.get(), f->first_line, model.channel.links,
                                               minutes, rows, start))
            return write_failed(ctx, "Error writing to link/node file...\n", f->file.path());
    }
}

void write_channel_outputs(Model& model, RunContext& ctx) {
    if (!routed(model))
        return;
    Outputs& o = model.output;
    const Channel& ch = model.channel;
    const double to_output_units = model.run.english_units ? kCfsPerCms : 1.0;
    const NodeFigure discharge = [&](int j, int k) { return ch.qp(j, k) * to_output_units; };
    const NodeFigure depth = [&](int j, int k) { return ch.yp(j, k) - ch.bel(j, k); };

    if (ctx.host)
        keep_locations_for_host(model, *ctx.host, discharge, depth);
    if (o.hydrograph_location_file &&
        !write_location_row(model, o.hydrograph_location_file, discharge))
        return write_failed(ctx, "Error writing to the hydrograph location file.\n",
                            o.hydrograph_location_file.path());
    if (o.depth_location_file && !write_location_row(model, o.depth_location_file, depth))
        return write_failed(ctx, "Error writing to the depth location file.\n",
                            o.depth_location_file.path());

    // A lake's own value is its water surface, a structure's the discharge it
    // passes (discharge file) or the water surface it holds back (stage file).
    const LinkFigure lake_surface = [&](int k) {
        return ch.link[k].is(kLakeLink) ? lake_water_surface(ch, k) : 0.0;
    };
    const LinkFigure standing_water = [](int) { return 0.0; };
    const LinkFigure structure_flow = [&](int k) {
        return ch.link[k].is(kStructureLink) ? ch.qp(1, k) * to_output_units : 0.0;
    };
    const LinkFigure held_back = [&](int k) {
        return ch.link[k].is(kStructureLink) ? structure_head(ch, k) : 0.0;
    };
    struct Block {
        LinkNodeFile& file;
        NodeFigure value;
        const LinkFigure& own;
    };
    const Block blocks[] = {
        {o.channel_depth, depth, lake_surface},
        {o.channel_discharge, discharge, structure_flow},
        {o.channel_stage, [&](int j, int k) { return ch.yp(j, k); }, held_back},
        {o.channel_velocity,
         [&](int j, int k) { return ch.area(j, k) > 1e-7 ? ch.qp(j, k) / ch.area(j, k) : 0.0; },
         standing_water},
        {o.flood_stream, [&](int j, int k) { return ch.yp_max_flood(j, k) - ch.bel(j, k); },
         lake_surface},
    };
    for (const Block& b : blocks)
        if (b.file.file && !write_link_node_rows(b.file, ch, b.value, b.own))
            return write_failed(ctx, "Error writing to link/node file...\n", b.file.file.path());
}

void print_stream_extremes(const Model& model, RunContext& ctx) {
    if (!routed(model))
        return;
    const Channel& ch = model.channel;
    struct Extreme {
        double value;
        int node = 0, link = 0;
        void take(double v, int j, int k, bool larger) {
            if (larger ? v > value : v < value) {
                value = v;
                node = j;
                link = k;
            }
        }
    };
    Extreme deepest{-5000.0}, shallowest{5000.0}, largest{-5000.0}, smallest{5000.0};
    for (int k = 1; k <= ch.links; ++k) {
        if (!routable(ch.link[k]))
            continue;
        for (int j = 1; j <= ch.link[k].nodes; ++j) {
            const double depth = ch.yp(j, k) - ch.bel(j, k);
            deepest.take(depth, j, k, true);
            shallowest.take(depth, j, k, false);
            largest.take(ch.qp(j, k), j, k, true);
            smallest.take(ch.qp(j, k), j, k, false);
        }
    }
    ctx.print("    ==> Max Yp (N %d, L %d) = %lf\n", deepest.node, deepest.link, deepest.value);
    ctx.print("    ==> Min Yp (N %d, L %d) = %lf\n", shallowest.node, shallowest.link,
              shallowest.value);
    ctx.print("    ==> Max Qp (N %d, L %d) = %lf\n", largest.node, largest.link, largest.value);
    ctx.print("    ==> Min Qp (N %d, L %d) = %lf\n", smallest.node, smallest.link, smallest.value);
}

bool location_discharge_above(const Model& model, double discharge) {
    if (!routed(model))
        return false;
    for (const LinkNodeLocation& loc : model.output.hydrograph_locations)
        if (model.channel.qp(loc.node, loc.link) > discharge)
            return true;
    return false;
}

}  // namespace torva
