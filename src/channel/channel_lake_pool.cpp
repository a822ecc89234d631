// The level pool of each lake of the channel network. A lake holds one water
// surface; its volume is spread over the cells of its search list whose
// ground lies below that surface, so the surface of a volume follows from the
// cells' ground elevations flooded in ascending order. Every cubic metre that
// enters or leaves a lake passes through one of the functions here and is
// added to the run's lake totals.

#include "channel/channel_lake_pool.hpp"

#include <cmath>

#include "channel/routing.hpp"
#include "channel/structures.hpp"
#include "core/context.hpp"
#include "core/model_state.hpp"
#include "input/series.hpp"

namespace torva {
namespace {

constexpr double kFloodedBelow = 0.001;  // m: a cell this far under the surface is flooded

void add_to_totals(Model& model, double VolumeTotals::*field, double volume) {
    model.totals.run.*field += volume;
    model.totals.event.*field += volume;
}

// The water surface follows the volume; the overland faces of the lake's
// cells see the same surface.
void set_water_surface(Model& model, int number) {
    ChannelLake& lake = model.channel.lakes[number - 1];
    lake.water_surface = lake_level_of(lake, lake.volume);
    std::vector<double>& surface = model.overland.channel_lakes.water_surface;
    if (static_cast<std::size_t>(number) < surface.size())
        surface[number] = lake.water_surface;
}

void mark_cell(Model& model, int cell, int number) {
    model.channel.cell_lake[cell] = number;
    model.channel.pct_flooded[cell] = number > 0 ? 1.0 : 0.0;
    std::vector<int>& overland = model.overland.channel_lakes.lake_number;
    if (static_cast<std::size_t>(cell) < overland.size())
        overland[cell] = number;
    // Rain on a lake is the lake's: the soil under it takes none of it.
    std::vector<unsigned char>& soil = model.soil.lake_cell;
    if (static_cast<std::size_t>(cell) < soil.size())
        soil[cell] = number > 0 ? 1 : 0;
}

// A point source's discharge over dt into the lake, or a sink's out of it
// (what the lake holds above MINWSE, no more).
void add_point_source(Model& model, RunContext& ctx, ChannelLake& lake, int series, int& hint,
                      double dt) {
    if (series < 0 || static_cast<std::size_t>(series) >= ctx.series.time_series.size())
        return;
    const double q =
        time_series_value(ctx, &ctx.series.time_series[series], model.clock.current_time, hint);
    if (q >= 0.0) {
        lake.volume += q * dt;
        add_to_totals(model, &VolumeTotals::lake_point_sources, q * dt);
    } else {
        const double taken = std::min(-q * dt, lake_available(lake));
        lake.volume -= taken;
        add_to_totals(model, &VolumeTotals::lake_point_sinks, taken);
    }
}

// Seepage through the bed of each flooded cell, Darcy's law over the bed
// thickness M: q = K (h - h_below) / M per square metre, h the lake's water
// surface, K the lake link's K_RIVER or, without it, the saturated
// conductivity of the cell's soil. Where an aquifer is simulated h_below is
// its water table, no lower than the bottom of the bed, and the water goes
// into the aquifer (or, under a water table above the lake, comes out of it,
// no more than the aquifer holds there); elsewhere it is the bottom of the
// bed, and the seepage leaves the model.
void seep_through_bed(Model& model, ChannelLake& lake, double dt) {
    const Channel& ch = model.channel;
    Groundwater& gw = model.groundwater;
    const std::size_t size = static_cast<std::size_t>(model.grid.num_cells) + 1;
    const bool aquifer = gw.prepared && gw.head.size() == size && gw.river_exchange.size() == size;
    const double link_k = ch.link[lake.link].bed_conductivity;
    const double m = lake.bed_thickness;
    double lost = 0.0, gained = 0.0;
    for (std::size_t c = 0; c < lake.cells.size(); ++c) {
        const int cell = lake.cells[c];
        const double ground = lake.ground[c];
        if (lake.water_surface - ground <= 0.0)
            break;
        const double k = link_k > 0.0 ? link_k : model.soil.conductivity[cell];
        const bool exchanges = aquifer && (gw.cell[cell] == AquiferCell::active ||
                                           gw.cell[cell] == AquiferCell::static_flux);
        const double below = exchanges ? std::max(gw.head[cell], ground - m) : ground - m;
        const double volume = k * (lake.water_surface - below) / m * lake.cell_area * dt;
        if (volume > 0.0) {
            const double seeped = std::min(volume, std::max(lake.volume, 0.0));
            lake.volume -= seeped;
            lost += seeped;
            if (exchanges)
                gw.river_exchange[cell] += seeped / lake.cell_area;
        } else if (exchanges && volume < 0.0) {
            const double held =
                (gw.porosity[cell] * (gw.head[cell] - gw.bottom[cell]) + gw.river_exchange[cell]) *
                lake.cell_area;
            const double given = std::min(-volume, std::max(held, 0.0));
            lake.volume += given;
            gained += given;
            gw.river_exchange[cell] -= given / lake.cell_area;
        }
    }
    if (aquifer) {
        gw.volumes.from_river += lost;
        gw.volumes.to_river += gained;
    }
    add_to_totals(model, &VolumeTotals::lake_to_groundwater, lost);
    add_to_totals(model, &VolumeTotals::groundwater_to_lake, gained);
}

// Whether every node of `link` lies under lake `number`: its bed under the
// water surface and every cell it runs through flooded by the lake.
bool drowned(const Channel& ch, int link, int number) {
    const ChannelLink& l = ch.link[link];
    const ChannelLake& lake = ch.lakes[number - 1];
    for (int j = 1; j <= l.nodes; ++j)
        if (!(ch.bel(j, link) < lake.water_surface - kFloodedBelow))
            return false;
    for (int k = ch.link_entry_first[link]; k < ch.link_entry_first[link + 1]; ++k) {
        if (ch.cell_lake[ch.link_entries[k]] != number)
            return false;
    }
    return true;
}

// A channel link whose nodes all lie under the lake it drains into joins the
// lake: its water becomes lake water and routing leaves it alone.
void take_over(Model& model, int link, int number) {
    Channel& ch = model.channel;
    ChannelRouter& r = model.router;
    ChannelLink& l = ch.link[link];
    ChannelLake& lake = ch.lakes[number - 1];
    double volume = 0.0;
    for (int j = 1; j <= l.nodes; ++j) {
        volume += std::max(ch.area(j, link), 0.0) * l.dx;
        ch.area(j, link) = 0.0;
        ch.qp(j, link) = r.qp_last(j, link) = r.qp_iter(j, link) = 0.0;
    }
    l.type |= kTakenByLakeLink;
    l.lake = number;
    lake.volume += volume;
    add_to_totals(model, &VolumeTotals::lake_takeover, volume);
}

// A link given back by a falling lake starts with the lake's water surface
// over its bed, taken from the lake; a lake too low to fill it gives it back
// dry. False after a fatal message.
bool release(Model& model, RunContext& ctx, int link, int number) {
    Channel& ch = model.channel;
    ChannelLink& l = ch.link[link];
    ChannelLake& lake = ch.lakes[number - 1];
    l.type &= ~kTakenByLakeLink;
    l.lake = 0;
    double volume = 0.0;
    for (int j = 1; j <= l.nodes; ++j) {
        SectionProperties p;
        if (!node_from_depth(ch, ctx, j, link, std::max(lake.water_surface - ch.bel(j, link), 0.0),
                             p))
            return false;
        ch.area(j, link) = p.area;
        volume += p.area * l.dx;
    }
    const bool filled = volume <= lake.volume;
    if (!filled)
        for (int j = 1; j <= l.nodes; ++j) ch.area(j, link) = 0.0;
    if (filled) {
        lake.volume -= volume;
        add_to_totals(model, &VolumeTotals::lake_release, volume);
    }
    return true;
}

// The links each lake holds after its surface moved: a lake gives back first
// the links that no longer lie under it, and with them every taken link
// above them (the lake cannot reach past a channel it gave back); then it
// takes the links draining into it whose nodes it now covers. Repeated
// until nothing changes, at most once per link and direction.
bool take_and_release_links(Model& model, RunContext& ctx) {
    Channel& ch = model.channel;
    bool changed = true;
    bool any = false;
    for (int round = 0; changed && round <= 2 * ch.links; ++round) {
        any = any || round > 0;
        changed = false;
        for (int link = 1; link <= ch.links; ++link) {
            const ChannelLink& l = ch.link[link];
            if (!l.is(kTakenByLakeLink))
                continue;
            const int number = l.lake;
            const ChannelLink& below = ch.link[l.downstream];
            const bool still_in_lake = below.is(kLakeLink) || below.is(kTakenByLakeLink);
            if (still_in_lake && drowned(ch, link, number))
                continue;
            if (!release(model, ctx, link, number))
                return false;
            set_water_surface(model, number);
            changed = true;
        }
        if (changed)
            continue;
        for (int link = 1; link <= ch.links; ++link) {
            const ChannelLink& l = ch.link[link];
            if (!routable(l) || l.downstream == 0)
                continue;
            const ChannelLink& below = ch.link[l.downstream];
            if (!below.is(kLakeLink) && !below.is(kTakenByLakeLink))
                continue;
            const int number = below.lake;
            if (!drowned(ch, link, number))
                continue;
            take_over(model, link, number);
            set_water_surface(model, number);
            changed = true;
        }
    }
    // The nodes taken or given back get their depths from their new areas.
    return !any || sections_from_area(ch, ctx);
}

// The grid cells of each link's stream-cell entries, by link, for `drowned`.
void index_entries_by_link(Channel& ch) {
    const StreamCells& sc = ch.stream;
    ch.link_entry_first.assign(static_cast<std::size_t>(ch.links) + 2, 0);
    for (int s = 1; s <= sc.count; ++s)
        for (int e = sc.first_entry[s]; e < sc.first_entry[s + 1]; ++e)
            if (sc.link[e] >= 1 && sc.link[e] <= ch.links)
                ++ch.link_entry_first[sc.link[e] + 1];
    for (int k = 1; k <= ch.links + 1; ++k) ch.link_entry_first[k] += ch.link_entry_first[k - 1];
    ch.link_entries.assign(static_cast<std::size_t>(ch.link_entry_first[ch.links + 1]), 0);
    std::vector<int> next(ch.link_entry_first.begin(), ch.link_entry_first.end());
    for (int s = 1; s <= sc.count; ++s)
        for (int e = sc.first_entry[s]; e < sc.first_entry[s + 1]; ++e)
            if (sc.link[e] >= 1 && sc.link[e] <= ch.links)
                ch.link_entries[next[sc.link[e]]++] = sc.cell[s];
}

}  // namespace

void set_lake_hypsometry(ChannelLake& lake, const Grid& grid) {
    std::stable_sort(lake.cells.begin(), lake.cells.end(),
                     [&](int a, int b) { return grid.elevation[a] < grid.elevation[b]; });
    lake.ground.clear();
    lake.ground_sum.assign(1, 0.0);
    for (const int cell : lake.cells) {
        lake.ground.push_back(grid.elevation[cell]);
        lake.ground_sum.push_back(lake.ground_sum.back() + grid.elevation[cell]);
    }
    lake.cell_area = grid.cell_size * grid.cell_size;
    lake.volume = lake_volume_at(lake, lake.initial_elevation);
    lake.initial_volume = lake.volume;
    lake.water_surface = lake.initial_elevation;
    lake.min_volume = lake_volume_at(lake, lake.min_elevation);
    lake.rim_volume = lake_volume_at(lake, lake.max_elevation);
}

double lake_volume_at(const ChannelLake& lake, double level) {
    const auto below = std::lower_bound(lake.ground.begin(), lake.ground.end(), level);
    const std::size_t k = static_cast<std::size_t>(below - lake.ground.begin());
    return lake.cell_area * (static_cast<double>(k) * level - lake.ground_sum[k]);
}

double lake_level_of(const ChannelLake& lake, double volume) {
    const std::size_t n = lake.ground.size();
    if (n == 0)
        return -HUGE_VAL;
    if (!(volume > 0.0))
        return lake.ground[0];
    const double depth_sum = volume / lake.cell_area;  // m over one cell
    // The most cells m whose surface at the m-th ground holds no more than
    // the volume: the surface then lies between the m-th and the next ground.
    std::size_t low = 1, high = n;  // m lies in [low, high]
    while (low < high) {
        const std::size_t mid = (low + high + 1) / 2;
        const double held =
            static_cast<double>(mid - 1) * lake.ground[mid - 1] - lake.ground_sum[mid - 1];
        if (held <= depth_sum)
            low = mid;
        else
            high = mid - 1;
    }
    return (depth_sum + lake.ground_sum[low]) / static_cast<double>(low);
}

ChannelLake* lake_holding(Channel& ch, int link) {
    if (link < 1 || link > ch.links)
        return nullptr;
    const ChannelLink& l = ch.link[link];
    if (!l.is(kLakeLink) && !l.is(kTakenByLakeLink))
        return nullptr;
    if (l.lake < 1 || l.lake > static_cast<int>(ch.lakes.size()))
        return nullptr;
    return &ch.lakes[l.lake - 1];
}

const ChannelLake* lake_holding(const Channel& ch, int link) {
    return lake_holding(const_cast<Channel&>(ch), link);
}

double lake_spill(const Channel& ch, const ChannelLake& lake, double dt) {
    const int below = ch.link[lake.link].downstream;
    if (below < 1 || lake.rim_length <= 0.0)
        return 0.0;
    const double tail = ch.yp(1, below);
    const double q =
        weir_discharge(1.0, 1.0, lake.rim_length, lake.max_elevation, lake.water_surface, tail);
    if (!(q > 0.0))
        return 0.0;
    return std::min(q,
                    std::max(0.0, lake.volume - std::max(lake.rim_volume, lake.min_volume)) / dt);
}

bool prepare_lake_pools(Model& model, RunContext& ctx) {
    Channel& ch = model.channel;
    if (ch.lakes.empty())
        return true;
    index_entries_by_link(ch);
    const int n = model.grid.num_cells;
    const std::size_t size = static_cast<std::size_t>(n) + 1;
    ChannelLakeExchange& exchange = model.overland.channel_lakes;
    const std::size_t per_lake = ch.lakes.size() + 1;
    exchange.water_surface.assign(per_lake, 0.0);
    exchange.net_inflow.assign(per_lake, 0.0);
    exchange.overland_inflow.assign(per_lake, 0.0);
    exchange.overland_outflow.assign(per_lake, 0.0);
    exchange.save_volumes();
    if (model.soil.lake_cell.size() != size)
        model.soil.lake_cell.assign(size, 0);
    if (ch.cell_lake.size() != size) {
        ch.cell_lake.assign(size, 0);
        ch.pct_flooded.assign(size, 0.0);
    }
    if (exchange.lake_number.size() != size)
        exchange.lake_number.assign(size, 0);
    std::vector<double>& depth = model.overland.depth;
    model.overland.water.known = false;
    const bool depths = depth.size() == size;
    const bool soil_conductivity = model.soil.conductivity.size() == size;
    for (int number = 1; number <= static_cast<int>(ch.lakes.size()); ++number) {
        ChannelLake& lake = ch.lakes[number - 1];
        if (lake.losses && !(ch.link[lake.link].bed_conductivity > 0.0) && !soil_conductivity) {
            ctx.print(
                "Error: lake %d seeps through its bed (MLAKE), but neither its link %d gives a "
                "bed conductivity\n(K_RIVER, m/s) nor do the cells under it have a soil "
                "conductivity (infiltration).\nGive K_RIVER on the lake link.  Program "
                "terminated.\n",
                number, lake.link);
            ctx.error.raise(err::message_printed);
            return false;
        }
        const ChannelLink& below = ch.link[ch.link[lake.link].downstream];
        if (ch.link[lake.link].downstream > 0 && !below.is(kStructureLink)) {
            // The spill fills the first section of the channel below to its
            // bank tops (a break-point section to the top of its table).
            const int down = ch.link[lake.link].downstream;
            double top = ch.bankfull_dep(1, down);
            const int t = ch.table_num(1, down);
            if (!below.is(kTrapezoidLink) && t >= 1 && t <= ch.sections.count())
                top = ch.sections.tables[t].levels * ch.sections.tables[t].dy;
            SectionProperties p;
            if (!node_from_depth(ch, ctx, 1, down, top, p))
                return false;
            lake.rim_length = std::max(p.top_width, ch.bottom(1, down));
        }
        for (std::size_t k = 0; k < lake.cells.size(); ++k) {
            const int cell = lake.cells[k];
            const bool flooded = lake.water_surface - lake.ground[k] > kFloodedBelow;
            mark_cell(model, cell, flooded ? number : 0);
            // Water standing on a flooded cell at the start is lake water.
            if (depths && ch.cell_lake[cell] == number) {
                lake.volume += depth[cell] * lake.cell_area;
                depth[cell] = 0.0;
            }
        }
        set_water_surface(model, number);
    }
    return true;
}

void lake_step_before_routing(Model& model, RunContext& ctx, double dt) {
    Channel& ch = model.channel;
    ChannelRouter& r = model.router;
    ChannelLakeExchange& exchange = model.overland.channel_lakes;
    std::vector<double>& depth = model.overland.depth;
    // The lakes flood and drain cells of their own choosing.
    model.overland.water.known = false;
    const Precipitation& p = model.precip;
    const std::size_t size = static_cast<std::size_t>(model.grid.num_cells) + 1;
    const bool rained =
        p.status == PrecipStatus::raining && p.raining && p.rain_rate.size() >= size;
    const bool evaporating =
        model.run.long_term && model.hydromet.started && model.soil.potential_et.size() == size;
    for (int number = 1; number <= static_cast<int>(ch.lakes.size()); ++number) {
        ChannelLake& lake = ch.lakes[number - 1];
        // The water on the flooded cells: this step's rain, and overland
        // water that ran onto them before they were the lake's.
        double rain = 0.0, gathered = 0.0;
        for (const int cell : lake.cells) {
            if (ch.cell_lake[cell] != number || depth.size() != size)
                continue;
            const double water = depth[cell] * lake.cell_area;
            const double fell = rained ? p.rain_rate[cell] * dt / 3.6e6 * lake.cell_area : 0.0;
            rain += std::min(water, fell);
            gathered += water;
            depth[cell] = 0.0;
        }
        lake.volume += gathered;
        // Rain on a lake is rain to the lake, not to the overland.
        add_to_totals(model, &VolumeTotals::lake_precipitation, rain);
        add_to_totals(model, &VolumeTotals::precipitation, -rain);
        add_to_totals(model, &VolumeTotals::lake_inflow, gathered - rain);
        // Water the overland faces moved into the lake or out of it.
        if (static_cast<std::size_t>(number) < exchange.net_inflow.size()) {
            lake.volume += exchange.net_inflow[number];
            add_to_totals(model, &VolumeTotals::lake_inflow, exchange.overland_inflow[number]);
            add_to_totals(model, &VolumeTotals::lake_outflow, exchange.overland_outflow[number]);
            exchange.net_inflow[number] = 0.0;
            exchange.overland_inflow[number] = 0.0;
            exchange.overland_outflow[number] = 0.0;
        }

        // A point source at the lake's node, or at a node of a reach it has
        // taken over, fills it; a sink takes what the lake holds above
        // MINWSE, no more.
        for (int link = 1; link <= ch.links; ++link) {
            const ChannelLink& l = ch.link[link];
            if (l.lake != number || !(l.is(kLakeLink) || l.is(kTakenByLakeLink)))
                continue;
            for (int j = 1; j <= (l.is(kLakeLink) ? 1 : l.nodes); ++j)
                add_point_source(model, ctx, lake, ch.point_source(j, link), r.point_hint(j, link),
                                 dt);
        }

        if (lake.losses)
            seep_through_bed(model, lake, dt);
        // In long-term runs the lake evaporates at the potential rate of
        // the hour over each flooded cell, never more than it holds.
        if (evaporating) {
            double rate = 0.0;
            for (std::size_t c = 0; c < lake.cells.size(); ++c) {
                if (lake.water_surface - lake.ground[c] <= 0.0)
                    break;
                rate += std::max(model.soil.potential_et[lake.cells[c]], 0.0) * lake.cell_area;
            }
            const double evaporated = std::min(rate * dt, std::max(lake.volume, 0.0));
            lake.volume -= evaporated;
            add_to_totals(model, &VolumeTotals::lake_evaporation, evaporated);
            model.soil.period_actual_et += evaporated;
        }
        set_water_surface(model, number);
    }
}

void add_lake_flows(Model& model, double dt) {
    Channel& ch = model.channel;
    const ChannelRouter& r = model.router;
    for (int link = 1; link <= ch.links; ++link) {
        const ChannelLink& l = ch.link[link];
        if (l.is(kTakenByLakeLink))
            continue;
        if (l.is(kLakeLink)) {
            // Out through the link below: the structure's discharge or the
            // spill over the rim, both kept at node 1 of the lake link.
            const double out = dt * ch.qp(1, link);
            ch.lakes[l.lake - 1].volume -= out;
            add_to_totals(model,
                          out >= 0.0 ? &VolumeTotals::lake_outflow : &VolumeTotals::lake_inflow,
                          std::fabs(out));
            continue;
        }
        ChannelLake* lake = l.downstream > 0 ? lake_holding(ch, l.downstream) : nullptr;
        if (!lake)
            continue;
        const double in = dt * (l.is(kStructureLink) ? ch.qp(2, link) : ch.qp(l.nodes, link));
        lake->volume += in;
        add_to_totals(model, in >= 0.0 ? &VolumeTotals::lake_inflow : &VolumeTotals::lake_outflow,
                      std::fabs(in));
    }
    // Pumps that take from a lake or deliver into one (directly, or through
    // a structure whose water arrives in the lake).
    for (std::size_t k = 0; k < ch.pumps.size(); ++k) {
        const Pump& pump = ch.pumps[k];
        const double pumped = dt * r.pump_rate[k];
        if (pumped == 0.0)
            continue;
        if (ChannelLake* from = lake_holding(ch, pump.link)) {
            from->volume -= pumped;
            add_to_totals(model, &VolumeTotals::lake_outflow, pumped);
        }
        int to = pump.destination_link;
        if (ch.link[to].is(kStructureLink))
            to = ch.link[to].downstream;
        if (ChannelLake* into = lake_holding(ch, to)) {
            into->volume += pumped;
            add_to_totals(model, &VolumeTotals::lake_inflow, pumped);
        }
    }
    for (int number = 1; number <= static_cast<int>(ch.lakes.size()); ++number)
        set_water_surface(model, number);
}

bool update_lake_extents(Model& model, RunContext& ctx) {
    Channel& ch = model.channel;
    std::vector<double>& depth = model.overland.depth;
    model.overland.water.known = false;
    const std::size_t size = static_cast<std::size_t>(model.grid.num_cells) + 1;
    for (int number = 1; number <= static_cast<int>(ch.lakes.size()); ++number) {
        ChannelLake& lake = ch.lakes[number - 1];
        lake.flooded_cells = 0;
        for (std::size_t c = 0; c < lake.cells.size(); ++c) {
            const int cell = lake.cells[c];
            const bool flooded = lake.water_surface - lake.ground[c] > kFloodedBelow;
            lake.flooded_cells += flooded;
            if (flooded == (ch.cell_lake[cell] == number))
                continue;
            mark_cell(model, cell, flooded ? number : 0);
            // A cell the lake reaches gives it the water standing on it; a
            // cell it leaves is bare (its water was the lake's).
            if (flooded && depth.size() == size) {
                const double water = depth[cell] * lake.cell_area;
                lake.volume += water;
                add_to_totals(model, &VolumeTotals::lake_inflow, water);
                depth[cell] = 0.0;
            }
        }
        set_water_surface(model, number);
    }
    return take_and_release_links(model, ctx);
}

}  // namespace torva
