// Water between the streams and the aquifer under them: Darcy flow through
// the stream bed of each channel node over an aquifer cell.
//
//     q = K_bed * P * L * (stage - head) / M_bed
//
// with P the wetted perimeter, L the node's length inside the cell and M_bed
// the bed thickness; below the bottom of the bed the water table no longer
// pulls harder, and the stream loses at the gradient over the bed alone. A
// losing stream gives no more than its node holds, a gaining one takes no
// more than the cell's aquifer holds. A gaining node takes the water as
// lateral inflow; a losing one gives it up after each routing sub-step from
// what it then holds, as a point sink would. The aquifer takes either as a
// source at its next step.

#include <algorithm>
#include <cmath>

#include "channel/routing.hpp"
#include "core/context.hpp"
#include "core/model_state.hpp"

namespace torva {
namespace {

// Wetted perimeter at a depth: the trapezoid's own; for a section of
// breakpoints its top width, as for a wide channel.
double wetted_perimeter(const Channel& ch, RunContext& ctx, int node, int link, double depth) {
    if (ch.table_num(node, link) <= 0)
        return ch.bottom(node, link) +
               2.0 * depth * std::sqrt(1.0 + ch.sslope(node, link) * ch.sslope(node, link));
    SectionProperties p;
    if (!node_from_depth(ch, ctx, node, link, std::max(depth, 0.0), p))
        return 0.0;
    return p.top_width;
}

bool exchanges(AquiferCell c) {
    return c == AquiferCell::active || c == AquiferCell::static_flux;
}

}  // namespace

void exchange_with_aquifer(Model& model, RunContext& ctx, double dt) {
    Channel& ch = model.channel;
    Groundwater& gw = model.groundwater;
    if (!gw.prepared || ch.krb.empty())
        return;
    const double cell_area = model.grid.cell_size * model.grid.cell_size;
    double from_aquifer = 0.0;
    StreamCells& sc = ch.stream;
    std::fill(sc.river_flux.begin(), sc.river_flux.end(), 0.0);
    for (int s = 1; s <= sc.count; ++s) {
        const int cell = sc.cell[s];
        if (!exchanges(gw.cell[cell]))
            continue;
        for (int e = sc.first_entry[s]; e < sc.first_entry[s + 1]; ++e) {
            const int link = sc.link[e];
            const int node = sc.node[e];
            const ChannelLink& l = ch.link[link];
            const double k = ch.krb(node, link);  // m/s
            const double m = ch.mrb(node, link);
            if (!routable(l) || k <= 0.0 || m <= 0.0)
                continue;
            const double length = sc.fraction[e] * l.dx;
            const double stage = ch.yp(node, link);
            const double bed = ch.bel(node, link);
            const double depth = std::max(stage - bed, 0.0);
            const double head = std::max(gw.head[cell], bed - m);
            const double perimeter = wetted_perimeter(ch, ctx, node, link, depth);
            if (ctx.error.pending())
                return;
            const double rate = k * perimeter * length * (stage - head) / m;  // into the aquifer
            if (rate > 0.0) {
                if (depth > 0.0)
                    sc.river_flux[e] = rate;
                continue;
            }
            const double held =
                (gw.porosity[cell] * (gw.head[cell] - gw.bottom[cell]) + gw.river_exchange[cell]) *
                cell_area;
            const double volume = std::min(-rate * dt, std::max(held, 0.0));
            if (volume <= 0.0)
                continue;
            ch.qlat(node, link) += volume / dt * l.inverse_dx;
            gw.river_exchange[cell] -= volume / cell_area;
            from_aquifer += volume;
        }
    }
    gw.volumes.to_river += from_aquifer;
    for (VolumeTotals* t : {&model.totals.run, &model.totals.event})
        t->groundwater_to_river += from_aquifer;
}

void take_bed_losses(Model& model, double dt) {
    Channel& ch = model.channel;
    Groundwater& gw = model.groundwater;
    StreamCells& sc = ch.stream;
    if (!gw.prepared || sc.river_flux.empty())
        return;
    const double cell_area = model.grid.cell_size * model.grid.cell_size;
    double taken = 0.0;
    for (int s = 1; s <= sc.count; ++s) {
        for (int e = sc.first_entry[s]; e < sc.first_entry[s + 1]; ++e) {
            if (sc.river_flux[e] <= 0.0)
                continue;
            const int link = sc.link[e];
            const int node = sc.node[e];
            const double dx = ch.link[link].dx;
            const double held = std::max(ch.area(node, link), 0.0) * dx;
            const double take = std::min(sc.river_flux[e] * dt, held);
            ch.area(node, link) -= take / dx;
            gw.river_exchange[sc.cell[s]] += take / cell_area;
            taken += take;
        }
    }
    gw.volumes.from_river += taken;
    for (VolumeTotals* t : {&model.totals.run, &model.totals.event})
        t->river_to_groundwater += taken;
}

}  // namespace torva
