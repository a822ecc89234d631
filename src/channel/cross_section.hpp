#pragma once
// Cross-section hydraulics: how water depth, flow area, top width and
// conveyance K = (1/n) A R^(2/3) relate at a channel node. Trapezoids are
// evaluated in closed form; break-point sections through property tables built
// once at set-up and only indexed during the run.

#include "channel/channel_state.hpp"

namespace torva {

struct RunContext;

struct SectionProperties {
    double depth = 0.0;
    double area = 0.0;
    double top_width = 0.0;
    double conveyance = 0.0;
};

struct Trapezoid {
    double bottom_width = 0.0;
    double side_slope = 0.0;  // horizontal per vertical, both banks
    double inverse_n = 0.0;
};

// Depth must not be negative; area must not be negative.
SectionProperties trapezoid_from_depth(const Trapezoid& section, double depth);
SectionProperties trapezoid_from_area(const Trapezoid& section, double area);

// Table forms. Below the first level the section is taken to grow as a wide
// channel does (A, T and K as (y/dy)^(5/3)); above the last level the last two
// levels are extrapolated and `above` is set.
SectionProperties table_from_depth(const SectionTables& sections, const SectionTable& table,
                                   double depth, bool& above);
SectionProperties table_from_area(const SectionTables& sections, const SectionTable& table,
                                  double area, bool& above);

// The wetted part of a section of m points (stations x, elevations z, left to
// right) under the water level h: stretches of wetted bed between the points
// where the bed crosses the level, with vertical walls at the ends.
struct WettedGeometry {
    double area = 0.0;
    double top_width = 0.0;
    double perimeter = 0.0;
    int stretches = 0;  // separate wetted stretches: 1 + the islands between them
};
WettedGeometry wetted_geometry(const double* x, const double* z, int m, double h);

// Fills the levels 0..levels of area, top width and conveyance of the section
// of m points (stations x, elevations z, left to right) at depths k * dy above
// its lowest point. Returns the most wetted stretches met at one level; the
// caller refuses 50 or more, where the section is too jagged to be trusted.
int integrate_section_levels(const double* x, const double* z, int m, int levels, double dy,
                             double inverse_n, double* area, double* top_width, double* conveyance);

// Section properties of one node for a given depth or flow area, without
// storing them. False after the message of a node that cannot be evaluated.
bool node_from_depth(const Channel& channel, RunContext& ctx, int node, int link, double depth,
                     SectionProperties& p);
bool node_from_area(const Channel& channel, RunContext& ctx, int node, int link, double area,
                    SectionProperties& p);

// Every channel node of the network, from its water-surface elevation `yp`:
// depth, area, top width and conveyance. From its flow area `area`: depth,
// `yp`, top width and conveyance. Lakes and
// structures are skipped. A node that cannot be evaluated prints its message,
// raises the fatal error and ends the sweep; returns false then.
bool sections_from_stage(Channel& channel, RunContext& ctx);
bool sections_from_area(Channel& channel, RunContext& ctx);

}  // namespace torva
