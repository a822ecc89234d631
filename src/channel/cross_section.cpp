#include "channel/cross_section.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "core/context.hpp"
#include "core/errors.hpp"

namespace torva {

SectionProperties trapezoid_from_depth(const Trapezoid& section, double depth) {
    const double b = section.bottom_width;
    const double z = section.side_slope;
    SectionProperties p;
    p.depth = depth;
    p.top_width = b + 2.0 * z * depth;
    if (depth <= 0.0)
        return p;
    const double banks = 2.0 * std::sqrt(z * z + 1.0);  // wetted bank length per metre of depth
    const double perimeter = b + depth * banks;
    p.area = depth * (z * depth + b);
    const double radius = p.area / perimeter;
    const double radius_23 = std::cbrt(radius * radius);
    p.conveyance = section.inverse_n * p.area * radius_23;
    return p;
}

SectionProperties trapezoid_from_area(const Trapezoid& section, double area) {
    const double b = section.bottom_width;
    const double z = section.side_slope;
    if (area <= 0.0)
        return trapezoid_from_depth(section, 0.0);
    // The root of z y^2 + b y - A = 0 written without the difference
    // sqrt(b^2 + 4zA) - b, which loses its digits for small z and divides by
    // zero for vertical banks (where it becomes y = A / b).
    const double depth = 2.0 * area / (b + std::sqrt(b * b + 4.0 * z * area));
    SectionProperties p = trapezoid_from_depth(section, depth);
    // Keep the area the caller holds rather than the one recomputed from depth.
    const double banks = 2.0 * std::sqrt(z * z + 1.0);
    const double radius = area / (b + depth * banks);
    const double radius_23 = std::cbrt(radius * radius);
    p.area = area;
    p.conveyance = section.inverse_n * area * radius_23;
    return p;
}

namespace {

// Linear interpolation between levels k and k + 1 at the fraction s of the
// increment (s above 1 extrapolates).
SectionProperties between_levels(const SectionTables& sections, const SectionTable& table, int k,
                                 double s, double depth) {
    const double* a = sections.xarea.data() + table.first;
    const double* t = sections.xtw.data() + table.first;
    const double* c = sections.xi1.data() + table.first;
    SectionProperties p;
    p.depth = depth;
    p.area = a[k] + (a[k + 1] - a[k]) * s;
    p.top_width = t[k] + (t[k + 1] - t[k]) * s;
    p.conveyance = c[k] + (c[k + 1] - c[k]) * s;
    return p;
}

}  // namespace

SectionProperties table_from_depth(const SectionTables& sections, const SectionTable& table,
                                   double depth, bool& above) {
    const int n = table.levels;
    const double ratio = depth / table.dy;
    if (ratio < 1.0) {
        const std::size_t first_level = table.first + 1;
        const double ratio_23 = std::cbrt(ratio * ratio);
        const double grow = ratio * ratio_23;  // (y/dy)^(5/3)
        SectionProperties p;
        p.depth = depth;
        p.area = sections.xarea[first_level] * grow;
        p.top_width = sections.xtw[first_level] * grow;
        p.conveyance = sections.xi1[first_level] * grow;
        return p;
    }
    int k = n - 1;
    if (ratio <= n) {
        // The top level itself is interpolated from below, not read past the table.
        k = static_cast<int>(ratio);
        if (k >= n)
            k = n - 1;
    } else {
        above = true;
    }
    return between_levels(sections, table, k, ratio - k, depth);
}

SectionProperties table_from_area(const SectionTables& sections, const SectionTable& table,
                                  double area, bool& above) {
    const int n = table.levels;
    const double* a = sections.xarea.data() + table.first;
    SectionProperties p;
    if (area <= 0.0)
        return p;
    if (area < a[1]) {
        const double ratio = area / a[1];
        p.depth = table.dy * std::pow(ratio, 0.6);
        // (y/dy)^(5/3) is the area ratio itself.
        p.area = area;
        p.top_width = sections.xtw[table.first + 1] * ratio;
        p.conveyance = sections.xi1[table.first + 1] * ratio;
        return p;
    }
    int k = n - 1;
    if (area > a[n]) {
        above = true;
    } else {
        // Areas grow strictly with the level: find the last level at or below
        // the area by halving.
        int low = 1;
        int high = n;
        while (high - low > 1) {
            const int middle = (low + high) / 2;
            if (a[middle] <= area)
                low = middle;
            else
                high = middle;
        }
        k = low < n ? low : n - 1;
    }
    const double s = (area - a[k]) / (a[k + 1] - a[k]);
    p = between_levels(sections, table, k, s, (k + s) * table.dy);
    p.area = area;
    return p;
}

WettedGeometry wetted_geometry(const double* x, const double* z, int m, double h) {
    WettedGeometry g;
    // A section that ends below the water level is closed by a vertical wall
    // at its end point, which is wetted like the bed.
    bool wet = z[0] <= h;
    double opened_at = x[0];
    if (wet) {
        g.stretches = 1;
        g.perimeter += h - z[0];
    }
    for (int i = 0; i + 1 < m; ++i) {
        const double x0 = x[i], z0 = z[i], x1 = x[i + 1], z1 = z[i + 1];
        if (wet && z1 <= h) {
            g.area += (x1 - x0) * (2.0 * h - z0 - z1) * 0.5;
            g.perimeter += std::hypot(x1 - x0, z1 - z0);
        } else if (wet) {
            // The bed rises out of the water between the points: z1 > h >= z0,
            // so the crossing never divides by zero.
            const double crossing = x0 + (h - z0) / (z1 - z0) * (x1 - x0);
            g.area += (crossing - x0) * (h - z0) * 0.5;
            g.perimeter += std::hypot(crossing - x0, h - z0);
            g.top_width += crossing - opened_at;
            wet = false;
        } else if (z1 <= h) {
            // The bed falls into the water: z0 > h >= z1.
            const double crossing = x0 + (h - z0) / (z1 - z0) * (x1 - x0);
            g.area += (x1 - crossing) * (h - z1) * 0.5;
            g.perimeter += std::hypot(x1 - crossing, h - z1);
            opened_at = crossing;
            wet = true;
            ++g.stretches;
        }
    }
    if (wet) {
        g.top_width += x[m - 1] - opened_at;
        g.perimeter += h - z[m - 1];
    }
    return g;
}

int integrate_section_levels(const double* x, const double* z, int m, int levels, double dy,
                             double inverse_n, double* area, double* top_width,
                             double* conveyance) {
    double z_min = z[0];
    for (int i = 1; i < m; ++i) z_min = std::min(z_min, z[i]);
    area[0] = top_width[0] = conveyance[0] = 0.0;
    int most_stretches = 0;
    for (int k = 1; k <= levels; ++k) {
        const WettedGeometry g = wetted_geometry(x, z, m, z_min + k * dy);
        most_stretches = std::max(most_stretches, g.stretches);
        area[k] = g.area;
        top_width[k] = g.top_width;
        const double radius = g.perimeter > 0.0 ? g.area / g.perimeter : 0.0;
        conveyance[k] = inverse_n * g.area * std::cbrt(radius * radius);
    }
    return most_stretches;
}

namespace {

void stop_at_node(RunContext& ctx, const char* place, const char* what, int node, int link) {
    ctx.print("%s\n", place);
    ctx.print("program stopped for negative %s, node %d, link %d\n", what, node, link);
    ctx.error.raise(err::message_printed);
}

// The node's property table, or nullptr after the message for a number no
// table has.
const SectionTable* node_table(const Channel& channel, RunContext& ctx, int node, int link) {
    const int t = channel.table_num(node, link);
    if (t < 1 || t > channel.sections.count()) {
        std::fprintf(ctx.err, "Error in section: Request for table beyond max. table number.\n");
        ctx.error.raise(err::message_printed);
        return nullptr;
    }
    return &channel.sections.tables[t];
}

void store(Channel& channel, int node, int link, const SectionProperties& p) {
    channel.depth(node, link) = p.depth;
    channel.area(node, link) = p.area;
    channel.topw(node, link) = p.top_width;
    channel.conv(node, link) = p.conveyance;
}

bool has_section(const ChannelLink& l) {
    return !l.is(kLakeLink) && !l.is(kStructureLink);
}

}  // namespace

namespace {

// One node's properties from a depth or a flow area (`value`), through the
// trapezoid's closed form or the node's property table.
template <typename FromTrapezoid, typename FromTable>
bool node_properties(const Channel& ch, RunContext& ctx, int node, int link, double value,
                     SectionProperties& p, FromTrapezoid from_trapezoid, FromTable from_table) {
    const ChannelLink& l = ch.link[link];
    if (l.is(kTrapezoidLink)) {
        p = from_trapezoid({ch.bottom(node, link), ch.sslope(node, link), l.inverse_n},
                           std::max(value, 0.0));
        return true;
    }
    const SectionTable* table = node_table(ch, ctx, node, link);
    if (!table)
        return false;
    bool above = false;
    p = from_table(ch.sections, *table, std::max(value, 0.0), above);
    return true;
}

}  // namespace

bool node_from_depth(const Channel& ch, RunContext& ctx, int node, int link, double depth,
                     SectionProperties& p) {
    return node_properties(ch, ctx, node, link, depth, p, trapezoid_from_depth, table_from_depth);
}

bool node_from_area(const Channel& ch, RunContext& ctx, int node, int link, double area,
                    SectionProperties& p) {
    return node_properties(ch, ctx, node, link, area, p, trapezoid_from_area, table_from_area);
}

bool sections_from_stage(Channel& channel, RunContext& ctx) {
    bool above = false;
    for (int link = 1; link <= channel.links; ++link) {
        const ChannelLink& l = channel.link[link];
        if (!has_section(l))
            continue;
        const bool trapezoid = l.is(kTrapezoidLink);
        for (int node = 1; node <= l.nodes; ++node) {
            const double depth = channel.yp(node, link) - channel.bel(node, link);
            if (depth < 0.0) {
                stop_at_node(ctx, trapezoid ? "In ex_section.c - 1" : "In ex_section.c - 3",
                             "depth", node, link);
                return false;
            }
            if (trapezoid) {
                const Trapezoid section{channel.bottom(node, link), channel.sslope(node, link),
                                        l.inverse_n};
                store(channel, node, link, trapezoid_from_depth(section, depth));
                continue;
            }
            const SectionTable* table = node_table(channel, ctx, node, link);
            if (!table)
                return false;
            store(channel, node, link, table_from_depth(channel.sections, *table, depth, above));
        }
    }
    if (above)
        channel.above_table = true;
    return true;
}

bool sections_from_area(Channel& channel, RunContext& ctx) {
    bool above = false;
    for (int link = 1; link <= channel.links; ++link) {
        const ChannelLink& l = channel.link[link];
        if (!has_section(l))
            continue;
        const bool trapezoid = l.is(kTrapezoidLink);
        for (int node = 1; node <= l.nodes; ++node) {
            double area = channel.area(node, link);
            SectionProperties p;
            if (trapezoid) {
                // Round-off of the routing may leave a trace below zero.
                if (area < -0.0001) {
                    stop_at_node(ctx, "In ex_section.c - 1", "area", node, link);
                    return false;
                }
                if (area < 0.0)
                    area = 0.0;
                const Trapezoid section{channel.bottom(node, link), channel.sslope(node, link),
                                        l.inverse_n};
                p = trapezoid_from_area(section, area);
            } else {
                if (area < 0.0) {
                    stop_at_node(ctx, "In ex_section.c - 4", "area", node, link);
                    return false;
                }
                const SectionTable* table = node_table(channel, ctx, node, link);
                if (!table)
                    return false;
                p = table_from_area(channel.sections, *table, area, above);
            }
            store(channel, node, link, p);
            channel.yp(node, link) = p.depth + channel.bel(node, link);
        }
    }
    if (above)
        channel.above_table = true;
    return true;
}

}  // namespace torva
