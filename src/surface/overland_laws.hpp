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
// and non-numbers go to std::cbrt.
inline double cube_root(double x) {
    if (!(x >= std::numeric_limits<double>::min() && x <= std::numeric_limits<double>::max()))
        return std::cbrt(x);
    constexpr std::uint64_t kExponentBias = std::uint64_t{682} << 52;  // 1023 - 1023 / 3
    double y = std::bit_cast<double>(std::bit_cast<std::uint64_t>(x) / 3 + kExponentBias);
    for (int k = 0; k < 2; ++k) {
        const double y3 = y * y * y;
        y *= (y3 + 2.0 * x) / (2.0 * y3 + x);
    }
    const double y3 = y * y * y;
    return y - y * (y3 - x) / (2.0 * y3 + x);
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
};

inline double ade_face_discharge(const AdeCell& cell, const AdeCell& neighbour, double cell_size) {
    const double slope = (cell.surface - neighbour.surface) / cell_size;
    if (slope > 0.0) {
        if (cell.flow_depth <= 0.0)
            return 0.0;
        return depth_to_five_thirds(cell.flow_depth) * std::sqrt(slope) * cell.inverse_n *
               cell_size;
    }
    if (slope < 0.0) {
        if (neighbour.flow_depth <= 0.0)
            return 0.0;
        return -depth_to_five_thirds(neighbour.flow_depth) * std::sqrt(-slope) *
               neighbour.inverse_n * cell_size;
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

// Stability test of an explicit face; the first check that holds names the failure.
enum class FaceCheck { passed, celerity, height_change, outflow };

struct ExplicitFaceTest {
    FaceCheck check;
    double courant;      // |q dt / dx|, m
    double change;       // dd = q dt / dx, m
    double donor_after;  // depth of the giving cell after the change, m
};

// The giving cell is the upstream one: cell i for flow towards j, j otherwise;
// the outflow check looks at that cell's depth after it has given dd.
inline ExplicitFaceTest explicit_face_test(double q, double h_i, double h_j, double dt,
                                           double cell_size) {
    ExplicitFaceTest t{};
    t.change = q * dt / cell_size;
    t.courant = std::fabs(t.change);
    t.donor_after = q >= 0.0 ? h_i - t.change : h_j + t.change;
    if (t.courant >= 0.06)
        t.check = FaceCheck::celerity;
    else if (std::fabs(t.change) > 0.1)
        t.check = FaceCheck::height_change;
    else if (t.donor_after < -0.0001)
        t.check = FaceCheck::outflow;
    else
        t.check = FaceCheck::passed;
    return t;
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
