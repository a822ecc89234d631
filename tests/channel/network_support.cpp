#include "channel/network_support.hpp"

#include <algorithm>

#include "channel/channel.hpp"
#include "channel/channel_lake_pool.hpp"
#include "channel/cross_section.hpp"
#include "core/context.hpp"

namespace torva::test {

std::unique_ptr<Model> make_network(const std::vector<LinkSpec>& links, double step) {
    auto model = std::make_unique<Model>();
    model->project.channel_routing = ChannelRouting::explicit_routing;
    model->run.time_step = step;
    model->run.time_step_days = step / 86400.0;
    Channel& ch = model->channel;
    ch.links = static_cast<int>(links.size());
    ch.max_nodes = 2;
    for (const LinkSpec& s : links) ch.max_nodes = std::max(ch.max_nodes, s.nodes);
    for (NodeArray<double>* a :
         {&ch.bel, &ch.yp, &ch.depth, &ch.qp, &ch.froude, &ch.qp_vol, &ch.qp_vol_sed, &ch.area,
          &ch.area_old, &ch.topw, &ch.conv, &ch.bottom, &ch.bankfull_dep, &ch.sslope, &ch.max_eros,
          &ch.krb, &ch.mrb, &ch.yp_max_flood, &ch.qlat})
        a->assign(ch.max_nodes, ch.links);
    ch.got_xsec.assign(ch.max_nodes, ch.links, 0);
    ch.table_num.assign(ch.max_nodes, ch.links, 0);
    ch.point_source.assign(ch.max_nodes, ch.links, -1);
    ch.pump.assign(ch.max_nodes, ch.links, -1);
    ch.link.assign(links.size() + 1, ChannelLink{});
    for (int k = 1; k <= ch.links; ++k) {
        const LinkSpec& s = links[k - 1];
        ChannelLink& l = ch.link[k];
        l.type = s.type;
        l.nodes = (s.type & kStructureLink) ? 2 : s.nodes;
        l.dx = s.dx;
        l.inverse_dx = 1.0 / s.dx;
        l.mannings_n = s.n;
        l.inverse_n = 1.0 / s.n;
        l.downstream = s.downstream;
        l.upstream_count = static_cast<int>(s.upstream.size());
        std::copy(s.upstream.begin(), s.upstream.end(), l.upstream.begin());
        for (int j = 1; j <= l.nodes; ++j) {
            ch.bel(j, k) = s.top_bed - s.slope * s.dx * (j - 1);
            ch.depth(j, k) = s.depth;
            ch.yp(j, k) = ch.bel(j, k) + s.depth;
            ch.bottom(j, k) = s.bottom;
            ch.sslope(j, k) = s.side;
            ch.bankfull_dep(j, k) = s.bankfull;
        }
    }
    ch.stream.first_entry.assign(2, 0);
    ch.read = true;
    return model;
}

StructureElement weir(double crest, double length) {
    StructureElement e;
    e.kind = StructureKind::weir;
    e.up_invert = crest;
    e.length = length;
    e.coeff_forward = e.coeff_reverse = 1.0;
    return e;
}

void add_structure(Model& model, int link, const StructureElement& element) {
    Channel& ch = model.channel;
    ch.structures.push_back(element);
    ch.link[link].first_structure = ch.link[link].last_structure =
        static_cast<int>(ch.structures.size());
}

void add_point_source(Model& model, RunContext& ctx, int link, double q) {
    ctx.series.time_series.push_back({"source", {0.0, 1e9}, {q, q}});
    model.channel.point_source(1, link) = static_cast<int>(ctx.series.time_series.size()) - 1;
}

void add_lake(Model& model, int link, const std::vector<double>& ground, double cell_size,
              double min, double initial, double max) {
    Grid& grid = model.grid;
    grid.num_cells = static_cast<int>(ground.size());
    grid.cell_size = cell_size;
    grid.elevation.assign(1, 0.0);
    grid.elevation.insert(grid.elevation.end(), ground.begin(), ground.end());
    Channel& ch = model.channel;
    ch.link[link].lake = static_cast<int>(ch.lakes.size()) + 1;
    ChannelLake lake{
        .link = link, .min_elevation = min, .initial_elevation = initial, .max_elevation = max};
    for (int cell = 1; cell <= grid.num_cells; ++cell) lake.cells.push_back(cell);
    set_lake_hypsometry(lake, grid);
    ch.lakes.push_back(lake);
}

void run_channel_steps(Model& model, RunContext& ctx, int steps) {
    for (int k = 0; k < steps && !ctx.error.pending(); ++k) {
        model.clock.current_time = k * model.run.time_step_days;
        channel_routing_phase(model, ctx);
    }
}

double stored_in_channels(const Model& model) {
    const Channel& ch = model.channel;
    double volume = 0.0;
    for (int k = 1; k <= ch.links; ++k) {
        const ChannelLink& l = ch.link[k];
        if (l.is(kStructureLink) || l.is(kLakeLink))
            continue;
        for (int j = 1; j <= l.nodes; ++j) volume += ch.area(j, k) * l.dx;
    }
    return volume;
}

double channel_balance_error(const Model& model, double stored_before) {
    const VolumeTotals& v = model.totals.run;
    const double gained = stored_in_channels(model) - stored_before;
    return (gained - v.channel_point_sources + v.stream_point_sinks - v.channel_lateral_inflow -
            v.boundary_inflow + v.boundary_outflow + v.outlet_discharge) /
           std::max(1.0, v.channel_point_sources);
}

}  // namespace torva::test
