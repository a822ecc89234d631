#pragma once
// The face laws of the overland schemes. The parallel and the serial (lake)
// forms of every scheme call these same functions; only the loops differ.

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

namespace torva::overland_law {

// 5/3 as the outlet and slope-boundary rules have always held it: in single precision.
inline constexpr double kOutletExponent = 1.6666667461395264;

// Cube root, the costliest operation of the face laws. Positive normal
// numbers take a fast path: an estimate from the exponent bits (the exponent
// divided by three, the mantissa bits following linearly), two steps of
// Halley's iteration, each of which triples the correct digits, and a last
// step written as a small correction so that its rounding leaves the result
// within one unit in the last place of the true root. Zero, subnormal, infinite
// and non-numbers go to std::cbrt. The fast path comes in two pieces so that a
// loop over many faces can take the estimates one by one and then refine them
// side by side, with the same operations in the same order.
inline bool cube_root_fast_path(double x) {
    return x >= std::numeric_limits<double>::min() && x <= std::numeric_limits<double>::max();
}

inline double cube_root_estimate(double x) {
    constexpr std::uint64_t kExponentBias = std::uint64_t{682} << 52;  // 1023 - 1023 / 3
    return std::bit_cast<double>(std::bit_cast<std::uint64_t>(x) / 3 + kExponentBias);
}

inline double cube_root_refined(double x, double y) {
    for (int k = 0; k < 2; ++k) {
        const double y3 = y * y * y;
        y *= (y3 + 2.0 * x) / (2.0 * y3 + x);
    }
    const double y3 = y * y * y;
    return y - y * (y3 - x) / (2.0 * y3 + x);
}

inline double cube_root(double x) {
    if (!cube_root_fast_path(x))
        return std::cbrt(x);
    return cube_root_refined(x, cube_root_estimate(x));
}

// d^(5/3) for d > 0 without pow: d * cbrt(d^2).
inline double depth_to_five_thirds(double d) {
    return d * cube_root(d * d);
}

// ADE face discharge (m3/s) from the cell to its neighbour, positive in the
// direction of the face (east or south). The water-surface slope decides the
// upstream cell, whose depth above its retention and whose roughness drive
// the flow; an upstream cell below its retention sends nothing.
struct AdeCell {
    double surface;     // water-surface elevation z + h, m
    double flow_depth;  // h - retention, m (may be negative)
    double inverse_n;
    double depth;  // h, m (for a channel-lake cell, its lake's depth over the cell)
};

// The face limit. A face moves, in one (sub-)step, at most a share of the
// volume that would level the water surfaces of its two cells, and never more
// than the giving cell holds above its retention. With a cell's new surface
// then a weighted mean of its own and its neighbours' surfaces, a pond cannot
// overshoot and comes to rest level. An ADE sweep moves each cell's water over
// two faces at once: each may level (share 1/2 of the surface difference). The
// explicit scheme moves it over all four: each may take half of that (1/4).
inline constexpr double kSweepLevelShare = 0.5;
inline constexpr double kExplicitLevelShare = 0.25;

// The limit (in the discharge's unit) for a water-surface fall `drop` (m) and
// the giving cell's depth above its retention (m); `rate` turns a depth into
// that unit: cell area over the step for m3/s, cell size over the step for m2/s.
inline double face_cap(double drop, double giver_flow_depth, double share, double rate) {
    const double level = drop * share;
    return (level < giver_flow_depth ? level : giver_flow_depth) * rate;
}

// The ADE face discharge held to the face limit; `volume_rate` is the cell
// area over the sub-step, m2/s. Where the limit cuts a flow that would have
// moved more than half the giving cell's depth (above 1 mm, in a sub-step
// above 0.01 s), the face fails the sub-step as that cell would have failed
// the stability test without the limit: a shorter sub-step then follows the
// water rather than levelling it in one go.
struct FaceFlow {
    double discharge;  // m3/s, positive in the direction of the face
    bool failed;
};

inline FaceFlow limited_flow(double q, double cap, double giver_depth, double volume_rate,
                             double sub_step) {
    if (q <= cap)
        return {q, false};
    const bool failed =
        q > 0.5 * giver_depth * volume_rate && giver_depth > 0.001 && sub_step > 0.01;
    return {cap > 0.0 ? cap : 0.0, failed};
}

// Water flowing down a slope passes on: the giving cell is fed through its
// far face while the receiving cell gives through its own. The levelling
// volume then grows by half of what the pair passes on in the flow's
// direction (`passed_on`, m3/s), so that the two water surfaces still end the
// sweep in their order: the limit bites where a cell would overshoot its
// neighbour, as in a pond, and leaves a flowing stream to the law.
inline double passing_cap(double drop, double giver_flow_depth, double share, double rate,
                          double passed_on) {
    const double level = drop * share * rate + (passed_on > 0.0 ? 0.5 * passed_on : 0.0);
    const double held = giver_flow_depth * rate;
    return level < held ? level : held;
}

// The law's discharge of a face (m3/s, positive towards the neighbour), held
// only to what the giving cell holds above its retention.
inline double ade_law_discharge(const AdeCell& cell, const AdeCell& neighbour, double cell_size,
                                double volume_rate) {
    const double drop = cell.surface - neighbour.surface;
    const AdeCell& giver = drop > 0.0 ? cell : neighbour;
    if (drop == 0.0 || giver.flow_depth <= 0.0)
        return 0.0;
    const double q = depth_to_five_thirds(giver.flow_depth) *
                     std::sqrt(std::fabs(drop) / cell_size) * giver.inverse_n * cell_size;
    const double held = giver.flow_depth * volume_rate;
    const double limited = q < held ? q : held;
    return drop > 0.0 ? limited : -limited;
}

// No face beside this one: nothing is passed on.
inline double nothing_passed_on(double) {
    return 0.0;
}

// The limited discharge of a face. `passed_on(sign)` gives what the two cells
// pass on through their far faces in the direction of a flow of that sign
// (+1 towards the neighbour); it is asked only where the levelling volume
// alone would cut the flow.
template <typename PassedOn>
inline FaceFlow ade_face_flow(const AdeCell& cell, const AdeCell& neighbour, double cell_size,
                              double volume_rate, double sub_step, PassedOn passed_on) {
    const double drop = cell.surface - neighbour.surface;
    const double slope = drop / cell_size;
    if (slope > 0.0) {
        if (cell.flow_depth <= 0.0)
            return {0.0, false};
        const double q =
            depth_to_five_thirds(cell.flow_depth) * std::sqrt(slope) * cell.inverse_n * cell_size;
        double cap = face_cap(drop, cell.flow_depth, kSweepLevelShare, volume_rate);
        if (q > cap)
            cap = passing_cap(drop, cell.flow_depth, kSweepLevelShare, volume_rate, passed_on(1.0));
        return limited_flow(q, cap, cell.depth, volume_rate, sub_step);
    }
    if (slope < 0.0) {
        if (neighbour.flow_depth <= 0.0)
            return {0.0, false};
        const double q = depth_to_five_thirds(neighbour.flow_depth) * std::sqrt(-slope) *
                         neighbour.inverse_n * cell_size;
        double cap = face_cap(-drop, neighbour.flow_depth, kSweepLevelShare, volume_rate);
        if (q > cap)
            cap = passing_cap(-drop, neighbour.flow_depth, kSweepLevelShare, volume_rate,
                              passed_on(-1.0));
        const FaceFlow f = limited_flow(q, cap, neighbour.depth, volume_rate, sub_step);
        return {-f.discharge, f.failed};
    }
    return {0.0, false};
}

// The discharge alone, for a face with nothing beside it.
inline double ade_face_discharge(const AdeCell& cell, const AdeCell& neighbour, double cell_size,
                                 double volume_rate) {
    return ade_face_flow(cell, neighbour, cell_size, volume_rate, 0.0, nothing_passed_on).discharge;
}

// Clamps a discharge found otherwise (the predictor-corrector's average) to
// the direction and cap of the face in the state it is applied to.
template <typename PassedOn>
inline double limit_face_discharge(double q, const AdeCell& cell, const AdeCell& neighbour,
                                   double volume_rate, PassedOn passed_on) {
    const double drop = cell.surface - neighbour.surface;
    if (drop > 0.0) {
        if (cell.flow_depth <= 0.0 || q <= 0.0)
            return 0.0;
        double cap = face_cap(drop, cell.flow_depth, kSweepLevelShare, volume_rate);
        if (q > cap)
            cap = passing_cap(drop, cell.flow_depth, kSweepLevelShare, volume_rate, passed_on(1.0));
        return q < cap ? q : cap;
    }
    if (drop < 0.0) {
        if (neighbour.flow_depth <= 0.0 || q >= 0.0)
            return 0.0;
        double cap = face_cap(-drop, neighbour.flow_depth, kSweepLevelShare, volume_rate);
        if (-q > cap)
            cap = passing_cap(-drop, neighbour.flow_depth, kSweepLevelShare, volume_rate,
                              passed_on(-1.0));
        return -q < cap ? q : -cap;
    }
    return 0.0;
}

// The new depth of an ADE sweep and whether the cell fails the sweep's
// stability test. A small negative depth is set to zero (the water this adds
// is reported as cleanup) unless the sub-step is already too short for that.
struct AdeUpdate {
    double depth;
    double cleanup;  // depth added by setting a small negative depth to zero, m
    bool failed;
};

inline AdeUpdate ade_depth_update(double old_depth, double change, double sub_step) {
    AdeUpdate u{old_depth + change, 0.0, false};
    if (u.depth < 0.0) {
        if (sub_step < 0.001 || u.depth < -1e-6) {
            u.failed = true;
        } else {
            u.cleanup = -u.depth;
            u.depth = 0.0;
        }
    }
    if (std::fabs(change) > 0.5 * old_depth && old_depth > 0.001 && sub_step > 0.01)
        u.failed = true;
    return u;
}

// Explicit scheme unit discharge (m2/s) across the face from cell i to its
// neighbour j, positive towards j. The friction slope is the bed slope less the
// depth gradient, kept away from zero so a level surface still drains slowly
// towards east and south; cell i's retention and roughness serve both
// directions, and a cell below its retention takes no part.
inline double explicit_unit_discharge(double h_i, double h_j, double retention_i,
                                      double inverse_n_i, double bed_slope, double cell_size) {
    if (h_i < retention_i)
        return 0.0;
    double slope = bed_slope - (h_j - h_i) / cell_size;
    if (std::fabs(slope) < 1e-20)
        slope = 1e-20;
    const double upstream = slope >= 0.0 ? h_i : h_j;
    const double d = upstream - retention_i;
    if (d <= 0.0)
        return 0.0;
    const double q = depth_to_five_thirds(d) * std::sqrt(std::fabs(slope)) * inverse_n_i;
    return slope >= 0.0 ? q : -q;
}

// The explicit unit discharge q of the law held to the face limit:
// `depth_rate` is the cell size over the (sub-)step, m/s, so that q /
// depth_rate is the depth the face moves. The giving cell's own retention
// bounds what it can give. The step tests judge the law's q, as ever; the
// limit trims only what passes them. `passed_on(sign)` is what the two cells
// pass on through their far faces of the same direction, m2/s, as for ADE.
template <typename PassedOn>
inline double explicit_face_limit(double q, double h_i, double h_j, double retention_i,
                                  double retention_j, double bed_slope, double cell_size,
                                  double depth_rate, PassedOn passed_on) {
    const double drop = bed_slope * cell_size - (h_j - h_i);  // fall of the water surface, m
    if (q > 0.0) {
        double cap = face_cap(drop, h_i - retention_i, kExplicitLevelShare, depth_rate);
        if (q > cap)
            cap = passing_cap(drop, h_i - retention_i, kExplicitLevelShare, depth_rate,
                              passed_on(1.0));
        return q < cap ? q : (cap > 0.0 ? cap : 0.0);
    }
    if (q < 0.0) {
        double cap = face_cap(-drop, h_j - retention_j, kExplicitLevelShare, depth_rate);
        if (-q > cap)
            cap = passing_cap(-drop, h_j - retention_j, kExplicitLevelShare, depth_rate,
                              passed_on(-1.0));
        return -q < cap ? q : (cap > 0.0 ? -cap : 0.0);
    }
    return 0.0;
}

// Stability test of an explicit face; the first check that holds names the
// failure. The outflow check is made per cell, over all the faces it gives through.
enum class FaceCheck { passed, celerity, height_change, outflow };

struct ExplicitFaceTest {
    FaceCheck check;
    double courant;      // |q dt / dx|, m
    double change;       // dd = q dt / dx, m
    double donor_after;  // depth of the giving cell after its outflow, m
};

inline ExplicitFaceTest explicit_face_test(double q, double dt, double cell_size) {
    ExplicitFaceTest t{};
    t.change = q * dt / cell_size;
    t.courant = std::fabs(t.change);
    if (t.courant >= 0.06)
        t.check = FaceCheck::celerity;
    else if (std::fabs(t.change) > 0.1)
        t.check = FaceCheck::height_change;
    else
        t.check = FaceCheck::passed;
    return t;
}

// The outflow check of a cell that gives `outflow` (m of depth) over all its faces.
inline bool outflow_exceeds_depth(double h, double outflow) {
    return h - outflow < -0.0001;
}

// Outflow volume (m3) through the outlet or a slope boundary in `dt` from a cell
// of depth h: Manning's discharge at the given slope over one cell width,
// never more than the cell holds.
inline double manning_outflow_volume(double h, double exponent, double slope, double inverse_n,
                                     double cell_size, double dt) {
    if (h <= 0.0)
        return 0.0;
    const double q = std::pow(h, exponent) * std::sqrt(slope) * cell_size * inverse_n;
    return q * dt;
}

// Discharge (m3/s) over a dike low spot: a broad-crested weir over the fraction
// of the cell width that is open.
inline double low_spot_discharge(double head, double fraction, double cell_size) {
    return fraction * head * std::sqrt(head) * 1.48 * cell_size;
}

}  // namespace torva::overland_law
