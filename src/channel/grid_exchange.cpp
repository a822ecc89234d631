// Water between the grid and the channels: overland water spills over the
// bank into the channel as over a weir, or, where the channel stands above
// the ground, flows as a shallow Manning stream between them; with
// OVERBANK_FLOW a channel above its banks floods its cells.

#include <algorithm>
#include <cmath>

#include "channel/routing.hpp"
#include "core/context.hpp"
#include "core/model_state.hpp"

namespace torva {

double submergence_factor(double ratio) {
    static constexpr double kRatio[] = {0.0, 0.1, 0.2, 0.3, 0.4, 0.5, 0.6, 0.76, 0.8, 0.95, 1.0};
    static constexpr double kFactor[] = {1.0, 1.0, 1.0, 1.0, 1.0, 1.0, 1.0, 1.0, 0.947, 0.75, 0.0};
    constexpr int kCount = 11;
    if (ratio < 1e-7)
        return 1.0;
    if (ratio > 1.0 - 1e-7)
        return 0.0;
    for (int i = 0; i < kCount; ++i)
        if (std::fabs(ratio - kRatio[i]) <= 0.0001)
            return kFactor[i];
    for (int i = 1; i < kCount; ++i)
        if (ratio < kRatio[i])
            return kFactor[i - 1] + (kFactor[i] - kFactor[i - 1]) * (ratio - kRatio[i - 1]) /
                                        (kRatio[i] - kRatio[i - 1]);
    return 0.0;
}

namespace {

constexpr double kWeirCoefficient = 3.40978982734;  // (2/3) 0.577 sqrt(2g) * 2 banks

double weir_flow(double length, double head, double factor) {
    return kWeirCoefficient * length * std::pow(head, 1.5) * factor;
}

// Shallow flow between the cell and the channel over the width of the cell.
double manning_flow(double inverse_n, double flow_depth, double drop, double width, double length) {
    return inverse_n * std::pow(flow_depth, 5.0 / 3.0) * std::sqrt(std::fabs(drop) / width) *
           length;
}

// The soil moisture accounting's channel inflow of this step reaches each
// entry's node by the entry's weight; returns the volume delivered.
double deliver_accounting_inflow(Model& model, double dt) {
    Channel& ch = model.channel;
    const StreamCells& sc = ch.stream;
    const double rate = model.sacramento.step_rate;
    if (!(rate > 0.0))
        return 0.0;
    double volume = 0.0;
    for (std::size_t e = 0; e < sc.sac_weight.size(); ++e) {
        if (sc.sac_weight[e] <= 0.0)
            continue;
        const double q = rate * sc.sac_weight[e];
        ch.qlat(sc.node[e], sc.link[e]) += q * ch.link[sc.link[e]].inverse_dx;
        volume += q * dt;
    }
    model.totals.run.accounting_channel_inflow += volume;
    model.totals.event.accounting_channel_inflow += volume;
    return volume;
}

}  // namespace

double exchange_with_grid(Model& model, RunContext& ctx, double dt) {
    Channel& ch = model.channel;
    const ChannelRouter& r = model.router;
    std::vector<double>& depth = model.overland.depth;
    const std::vector<double>& ground = model.grid.elevation;
    const double width = model.grid.cell_size;
    const double cell_area = width * width;
    std::fill(ch.qlat.storage().begin(), ch.qlat.storage().end(), 0.0);
    double moved = model.sacramento.on ? deliver_accounting_inflow(model, dt) : 0.0;
    const StreamCells& sc = ch.stream;
    for (int s = 1; s <= sc.count; ++s) {
        const int cell = sc.cell[s];
        if (!ch.cell_lake.empty() && ch.cell_lake[cell] > 0)
            continue;
        for (int e = sc.first_entry[s]; e < sc.first_entry[s + 1]; ++e) {
            const int link = sc.link[e];
            const int node = sc.node[e];
            const ChannelLink& l = ch.link[link];
            if (!routable(l))
                continue;
            const double length = sc.fraction[e] * l.dx;
            const double h = depth[cell];
            const double z_g = ground[cell];
            const double bed = ch.bel(node, link);
            const double h_ov = z_g + h;
            const double h_ch = ch.yp(node, link);
            const double h_bank = bed + ch.bankfull_dep(node, link);
            const double inverse_n = model.overland.inverse_n[cell];

            double q = 0.0;     // positive from the cell into the channel
            double head = 0.0;  // of a flow from the channel onto the cell
            if (!r.overbank_flow || h_ch <= z_g || z_g <= bed) {
                if (r.overland_backwater && bed < z_g && z_g < h_ch)
                    q = h_ch <= h_ov ? manning_flow(inverse_n, h, h_ch - h_ov, width, length) : 0.0;
                else
                    q = weir_flow(length, h, 1.0);
            } else if (h_ov < h_bank && h_bank < h_ch) {
                head = h_ch - h_bank;
                q = -weir_flow(length, head, submergence_factor(0.0));
            } else if (h_bank < h_ov && h_ov < h_ch) {
                head = h_ch - h_ov;
                q = -manning_flow(inverse_n, 0.5 * (h + (h_ch - z_g)), head, width, length);
            } else {
                q = manning_flow(inverse_n, h, h_ch - h_ov, width, length);
            }

            if (q > 0.0) {
                // The cell gives what it holds, and an overdraw empties it exactly.
                if (h * cell_area - q * dt < 1e-16) {
                    q = h * cell_area / dt;
                    depth[cell] = 0.0;
                } else {
                    depth[cell] = h - q * dt / cell_area;
                }
            } else if (q < 0.0) {
                // The channel gives at most a hundredth of its water above the
                // level it falls towards in one step, so that a flood wave onto
                // the grid stays smooth.
                SectionProperties top;
                SectionProperties low;
                if (!node_from_depth(ch, ctx, node, link, h_ch - bed, top) ||
                    !node_from_depth(ch, ctx, node, link, h_ch - head - bed, low))
                    return moved;
                const double above = (top.area - low.area) * length;
                double volume = std::min(-q * dt, 0.01 * above);
                // Where the cell would then stand above the channel, the
                // excess goes back, so that the two do not cross.
                SectionProperties after;
                if (!node_from_area(ch, ctx, node, link,
                                    ch.area(node, link) - volume * l.inverse_dx, after))
                    return moved;
                const double cell_level = z_g + h + volume / cell_area;
                const double channel_level = bed + after.depth;
                if (cell_level > channel_level)
                    volume = std::max(0.0, volume - (cell_level - channel_level) * cell_area);
                depth[cell] = h + volume / cell_area;
                if (model.overland.water.known)
                    model.overland.mark_wet(model.grid.cell_row[cell], cell);
                q = -volume / dt;
            }
            // The channel takes or gives this water through qlat alone.
            ch.qlat(node, link) += q * l.inverse_dx;
            moved += q * dt;
        }
    }
    return moved;
}

}  // namespace torva
