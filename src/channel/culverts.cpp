#include "channel/culverts.hpp"

#include <algorithm>
#include <cmath>

#include "channel/root_finder.hpp"

namespace torva {

namespace {

constexpr double kG = 9.81;
constexpr double kTwoG = 19.62;
constexpr double kPi = 3.1415926;
constexpr int kMaxCriticalDepthSteps = 1000;

// A barrel running full: its flow area and hydraulic radius.
struct FullBarrel {
    double area;
    double radius;
};

FullBarrel full_barrel(StructureKind shape, double rise, double span) {
    switch (shape) {
        case StructureKind::oval_culvert:
            return {0.788 * span * rise, 0.299 * rise};
        case StructureKind::rect_culvert:
            return {span * rise, span * rise / (2.0 * span + 2.0 * rise)};
        default:
            return {kPi * rise * rise / 4.0, rise / 4.0};
    }
}

// Rate of change of the top width with depth, for the critical depth iteration.
double top_width_slope(StructureKind shape, double rise, double span, double depth) {
    if (depth <= 0.0 || depth >= rise)
        return 0.0;
    if (shape == StructureKind::round_culvert) {
        const double r = 0.5 * rise;
        const double theta = std::acos((r - depth) / r);
        return 2.0 * std::cos(theta) / std::sin(theta);
    }
    if (shape == StructureKind::oval_culvert) {
        const double p = depth / rise;
        return (3.13077957 - 19.33564352 * p + 35.7768051 * p * p - 23.54241744 * p * p * p) *
               span / rise;
    }
    return 0.0;
}

// Head loss factor of a long barrel flowing at hydraulic radius R: friction
// over the barrel (Manning's slope n^2 V^2 / R^(4/3) over its length) plus
// the velocity head, so that dH = Q^2/A^2 * factor. A long barrel carries no
// entrance coefficient.
double long_barrel_loss(double n, double length, double radius) {
    return n * n * length / std::pow(radius, 4.0 / 3.0) + 0.0509683995922528;
}

// A long barrel on a mild slope: outlet control, the barrel's friction
// governs (flow types 2, 3, 4 and 6).
void long_mild_barrel(const StructureElement& c, double r, double h, double z_i, double z_o,
                      double t_w, CulvertFlow& out) {
    const double d = c.size1;
    if (r < 1.5 && t_w < z_o + d) {
        const bool free_outlet = t_w <= z_o + 1e-6;
        const double y = free_outlet ? 0.5 * (h - z_i) : 0.5 * (0.7 * (h - z_i) + (t_w - z_o));
        const BarrelSection s = barrel_section(c.kind, d, c.size2, y);
        out.flow_type = free_outlet ? 2 : 3;
        if (s.area > 0.0 && s.perimeter > 0.0)
            out.discharge = s.area * std::sqrt((h - t_w) / long_barrel_loss(c.roughness, c.length,
                                                                            s.area / s.perimeter));
        return;
    }
    // Full barrel; a tail water above the crown drowns the outlet.
    FullBarrel full = full_barrel(c.kind, d, c.size2);
    if (c.kind == StructureKind::round_culvert)
        full.area = 3.14159 * d * d / 4.0;
    const double loss = long_barrel_loss(c.roughness, c.length, full.radius);
    if (t_w <= z_o + 0.5 * d) {
        out.flow_type = 6;
        out.discharge = full.area * std::sqrt(std::max(0.0, h - (z_o + 0.5 * d)) / loss);
    } else {
        out.flow_type = 4;
        out.discharge = full.area * std::sqrt((h - t_w) / loss);
    }
}

// Inlet control of a round or oval barrel with a free outlet: the discharge at
// which the headwater equals the critical depth plus its velocity head.
void inlet_control(const StructureElement& c, double coeff, double head, CulvertFlow& out) {
    const double d = c.size1;
    const double b = c.size2;
    const double full_area = barrel_section(c.kind, d, b, d).area;
    const double first_estimate = head >= d
                                      ? full_area * coeff * std::sqrt(kTwoG) * std::sqrt(0.4 * head)
                                      : barrel_section(c.kind, d, b, head).area * coeff *
                                            std::sqrt(kTwoG) * std::sqrt(head / 3.0);
    constexpr double kSmallest = 1e-4;
    StructureFailure failure = StructureFailure::none;
    auto excess = [&](double q) {
        const double yc = critical_depth(c.kind, d, b, q, failure);
        const double a = barrel_section(c.kind, d, b, yc).area;
        return q - coeff * a * std::sqrt(kTwoG * std::max(0.0, head - yc));
    };
    // A head that passes less than the finder's smallest discharge passes nothing.
    if (first_estimate <= kSmallest || excess(kSmallest) >= 0.0) {
        out.failure = failure;
        return;
    }
    const BrentRoot root = brent_root(excess, kSmallest, first_estimate, 1e-4);
    if (failure != StructureFailure::none)
        out.failure = failure;
    else if (!root.bracketed)
        out.failure = StructureFailure::root_not_bracketed;
    else if (!root.converged)
        out.failure = StructureFailure::root_iterations;
    if (out.failure != StructureFailure::none)
        return;
    out.discharge = root.root;
    out.critical_depth = critical_depth(c.kind, d, b, root.root, out.failure);
}

// A short or steep barrel (flow types 1 to 6).
void short_barrel(const StructureElement& c, double coeff, double c_t, double r, double slope,
                  double h, double z_i, double z_o, double t_w, CulvertFlow& out) {
    const double d = c.size1;
    const double b = c.size2;
    if (r < 1.5) {
        if (t_w < 0.7 * (h - z_i) + z_o) {  // free outlet: inlet control
            const bool mild = slope <= 0.01;
            const double head = mild ? h - z_o : h - z_i;
            out.flow_type = mild ? 2 : 1;
            if (head < 0.01) {
                out.flow_type = 0;
                return;
            }
            if (c.kind == StructureKind::rect_culvert) {
                const double yc = 2.0 / 3.0 * head;
                out.critical_depth = yc;
                out.discharge = c_t * (yc * b) * std::sqrt(kTwoG) * std::sqrt(head - yc);
                return;
            }
            if (c_t >= 0.01)  // blends towards orifice flow as the inlet submerges
                coeff = (1.0 - r / 1.5) * coeff + r * c_t / 1.5;
            inlet_control(c, coeff, head, out);
            return;
        }
        if (t_w < z_o + d) {  // outlet partly submerged
            out.flow_type = 3;
            out.discharge =
                coeff * barrel_section(c.kind, d, b, t_w - z_o).area * std::sqrt(kTwoG * (h - t_w));
            return;
        }
    }
    const FullBarrel full = full_barrel(c.kind, d, b);
    if (r >= 1.5 && t_w < z_o + d) {  // submerged inlet, free outlet: orifice
        const double orifice = coeff * full.area * std::sqrt(kTwoG) * std::sqrt(h - z_i);
        const double free = coeff * full.area * std::sqrt(kTwoG * std::max(0.0, h - (z_o + d)));
        out.flow_type = free <= orifice ? 6 : 5;
        out.discharge = std::min(free, orifice);
        return;
    }
    // Tail water at or above the crown: the barrel runs full. The head is
    // spent on the entrance (1/C^2 velocity heads, through C) and on friction
    // along the barrel, 2g n^2 L / R^(4/3) velocity heads in metres and
    // seconds; a barrel of 15 m or less is taken as too short for friction.
    const double k = c.length <= 15.0 ? 1.0
                                      : kTwoG * coeff * coeff * c.roughness * c.roughness *
                                                c.length / std::pow(full.radius, 4.0 / 3.0) +
                                            1.0;
    out.flow_type = 4;
    out.discharge = coeff * full.area * std::sqrt(kTwoG * (h - t_w) / k);
}

// The downstream invert and the slope: DOWNINVERT when given, else from SLOPE.
void invert_and_slope(const StructureElement& c, double& z_dn, double& slope) {
    if (c.down_invert >= 0.0001) {
        z_dn = c.down_invert;
        slope = (c.up_invert - z_dn) / c.length;
    } else {
        slope = c.slope;
        z_dn = c.up_invert - c.length * slope;
    }
}

}  // namespace

BarrelSection barrel_section(StructureKind shape, double rise, double span, double y) {
    switch (shape) {
        case StructureKind::round_culvert: {
            if (y < 0.0)
                return {};
            if (y >= rise)
                return {kPi * rise * rise / 4.0, kPi * rise, 0.0};
            const double r = 0.5 * rise;
            const double theta = std::acos((r - y) / r);
            return {r * r * theta - (r - y) * r * std::sin(theta), theta * rise,
                    rise * std::sin(theta)};
        }
        case StructureKind::oval_culvert: {
            if (y <= 0.0)
                return {};
            const double p = std::min(y / rise, 1.0);
            const double p2 = p * p;
            const double p3 = p2 * p;
            const double p4 = p3 * p;
            const double area =
                (0.450552317 * p2 + 0.850625935 * p - 0.0265118802 - 0.48046422 * p3) * rise * span;
            const double radius = (1.1666329 * p - 0.0382820242 - 1.32389992 * p2 +
                                   1.04200851 * p3 - 0.526837711 * p4) *
                                  rise;
            const double top = (3.13077957 * p + 0.656758295 - 9.66782176 * p2 + 11.9256017 * p3 -
                                5.88560436 * p4) *
                               span;
            return {area, area / radius, top};
        }
        case StructureKind::rect_culvert:
            if (y < 0.0)
                return {0.0, span, span};
            if (y >= rise)
                return {rise * span, 2.0 * rise + 2.0 * span, 0.0};
            return {y * span, 2.0 * y + span, span};
        default:
            return {};
    }
}

double critical_depth(StructureKind shape, double rise, double span, double discharge,
                      StructureFailure& failure) {
    if (discharge <= 0.0)
        return 0.0;
    const double target = discharge * discharge / kG;
    // Excess of A^3/T over q^2/g; a section without top width stands for an
    // unbounded A^3/T (the crown of a round barrel).
    auto excess = [&](double y) {
        const BarrelSection s = barrel_section(shape, rise, span, y);
        return s.top_width > 0.0 ? s.area * s.area * s.area / s.top_width - target : HUGE_VAL;
    };
    if (excess(rise) <= 0.0)
        return rise;
    double low = 0.0;
    double high = rise;
    double y = 0.5 * rise;
    for (int step = 1; step <= kMaxCriticalDepthSteps; ++step) {
        const BarrelSection s = barrel_section(shape, rise, span, y);
        const double g = excess(y);
        (g > 0.0 ? high : low) = y;
        const double a2 = s.area * s.area;
        const double slope = 3.0 * a2 - a2 * s.area * top_width_slope(shape, rise, span, y) /
                                            (s.top_width * s.top_width);
        double next = y - g / slope;
        if (!(next > low && next < high))
            next = 0.5 * (low + high);
        if (std::fabs(next - y) < 1e-8)
            return next;
        y = next;
    }
    failure = StructureFailure::critical_depth;
    return y;
}

CulvertFlow culvert_flow(const StructureElement& c, double c_t, double h_up, double h_dn) {
    CulvertFlow out;
    if (c.length < 0.0001) {
        out.failure = StructureFailure::culvert_length;
        return out;
    }
    double z_dn = 0.0;
    double slope = 0.0;
    invert_and_slope(c, z_dn, slope);
    const double coeff = h_up > h_dn ? c.coeff_forward : c.coeff_reverse;

    // Inlet, headwater, outlet and tail water in the direction of flow.
    const bool forward = h_dn < h_up;
    const double sign = forward ? 1.0 : -1.0;
    const double z_i = forward ? c.up_invert : z_dn;
    const double h = forward ? h_up : h_dn;
    const double z_o = forward ? z_dn : c.up_invert;
    const double t_w = forward ? h_dn : h_up;
    if (!forward)
        slope = -slope;
    if (h < z_i || h < z_o)
        return out;

    const double d = c.size1;
    const double r = (slope > 0.01 ? h - z_i : h - z_o) / d;
    if (c.length > 40.0 * d && slope < 0.01)
        long_mild_barrel(c, r, h, z_i, z_o, t_w, out);
    else
        short_barrel(c, coeff, c_t, r, slope, h, z_i, z_o, t_w, out);
    out.discharge *= sign;
    out.flow_type *= static_cast<int>(sign);
    return out;
}

double culvert_transition(const StructureElement& c, StructureFailure& failure) {
    double c_t = 1.07;
    if (c.length < 0.0001) {
        failure = StructureFailure::culvert_length;
        return c_t;
    }
    double z_dn = 0.0;
    double slope = 0.0;
    invert_and_slope(c, z_dn, slope);
    const double d = c.size1;
    const CulvertFlow orifice = culvert_flow(c, c_t, c.up_invert + 1.5 * d, z_dn);
    const CulvertFlow inlet = culvert_flow(c, c_t, c.up_invert + 1.49 * d, z_dn);
    failure = orifice.failure != StructureFailure::none ? orifice.failure : inlet.failure;
    const double yc = inlet.critical_depth;
    const double area = barrel_section(c.kind, d, c.size2, yc).area;
    const double velocity_head_part = std::sqrt(kTwoG * (1.49 * d - yc)) * area;
    if (velocity_head_part > 0.0)
        c_t = orifice.discharge / velocity_head_part;
    if (c_t > 1.0)
        c_t = 0.99;
    return c_t;
}

}  // namespace torva
