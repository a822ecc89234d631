#pragma once
// Soil-water relations of the Richards columns: water content theta(h),
// relative conductivity and water capacity C = d theta / dh as functions of
// the pressure head h (m, negative when unsaturated), and the head that holds
// a water content. Brooks-Corey with a parabolic cap near saturation, and the
// Havercamp relations.

#include <cmath>

#include "soil/power.hpp"
#include "soil/richards_state.hpp"

namespace torva {

// Water content, relative conductivity and capacity at one head.
struct SoilWaterState {
    double theta;
    double k_relative;
    double capacity;  // 1/m
};

// Brooks-Corey: theta = theta_r + (theta_s - theta_r) (hb / h)^lambda below
// the junction head h_c; above it the parabola
//   S = 1 - (1 - S_c) (h / h_c)^2,  S_c = 2 / (2 + lambda),
// which reaches saturation at h = 0 with zero capacity and meets the power
// law at h_c = hb (1 + lambda/2)^(1/lambda) with the same saturation and the
// same capacity. The relative conductivity is S^(3 + 2/lambda) throughout,
// which is (h / hb)^-(2 + 3 lambda) on the power-law branch.
inline SoilWaterState brooks_corey(const RichardsLayer& l, double h) {
    const double range = l.theta_s - l.theta_r;
    if (h >= 0.0)
        return {l.theta_s, 1.0, 0.0};
    const double lambda = l.pore_index;
    if (h <= l.junction_head) {
        // One power in the columns' hottest loop: with r = hb / h and
        // S = r^lambda, the conductivity S^(3 + 2/lambda) is S^3 r^2.
        const double r = l.bubbling_head / h;  // in (0, 1]
        const double s = power(r, lambda);
        const double k = s * s * s * r * r;
        // d theta / dh = range * lambda * s / (-h)
        return {l.theta_r + range * s, k, range * lambda * s / -h};
    }
    const double x = h / l.junction_head;  // in (0, 1)
    const double sc = 2.0 / (2.0 + lambda);
    const double s = 1.0 - (1.0 - sc) * x * x;
    const double k = power(s, 3.0 + 2.0 / lambda);
    // d theta / dh = -2 (1 - S_c) range * h / h_c^2, positive for h < 0
    return {l.theta_r + range * s, k, -2.0 * (1.0 - sc) * range * x / l.junction_head};
}

// The Brooks-Corey relations of a node as the column solver needs them: the
// water content, the conductivity (m/s), its square root for the geometric
// face means, and the capacity. The same curves as brooks_corey, arranged so
// that a node costs one power (see power.hpp) and one division: with
// r = hb / h and t = r^(lambda/2), S = t^2, sqrt(K / Ks) = S^(3/2 + 1/lambda)
// = t^3 r, and the capacity range lambda S / -h = (range lambda / -hb) S r.
struct NodeSoilWater {
    double theta;
    double conductivity;       // m/s
    double root_conductivity;  // sqrt(m/s)
    double capacity;           // 1/m
};

inline NodeSoilWater brooks_corey_node(const BrooksCoreyNode& c, double h) {
    if (h >= 0.0)
        return {c.theta_s, c.conductivity, c.root_conductivity, 0.0};
    if (h <= c.junction_head) {
        const double r = c.bubbling_head / h;  // in (0, 1]
        const double t = power(r, c.half_lambda);
        const double s = t * t;
        const double root_k = c.root_conductivity * (t * s * r);
        return {c.theta_r + c.range * s, root_k * root_k, root_k, c.dry_capacity * (s * r)};
    }
    const double x = h / c.junction_head;  // in (0, 1)
    const double s = 1.0 - c.wet_share * x * x;
    const double root_k = c.root_conductivity * power(s, c.wet_half_power);
    return {c.theta_r + c.range * s, root_k * root_k, root_k, c.wet_capacity * x};
}

inline BrooksCoreyNode brooks_corey_constants(const RichardsLayer& l) {
    BrooksCoreyNode c;
    const double lambda = l.pore_index;
    const double sc = 2.0 / (2.0 + lambda);
    c.bubbling_head = l.bubbling_head;
    c.junction_head = l.junction_head;
    c.half_lambda = 0.5 * lambda;
    c.theta_r = l.theta_r;
    c.range = l.theta_s - l.theta_r;
    c.theta_s = l.theta_s;
    c.conductivity = l.conductivity;
    c.root_conductivity = std::sqrt(l.conductivity);
    c.dry_capacity = c.range * lambda / -l.bubbling_head;
    c.wet_share = 1.0 - sc;
    c.wet_half_power = 0.5 * (3.0 + 2.0 / lambda);
    c.wet_capacity = -2.0 * (1.0 - sc) * c.range / l.junction_head;
    return c;
}

// Havercamp: theta = theta_r + (theta_s - theta_r) / (1 + (|h| / alpha)^beta),
// relative conductivity A / (A + |h|^B) with |h| in the units of A.
inline SoilWaterState havercamp(const RichardsLayer& l, double h) {
    if (h >= 0.0)
        return {l.theta_s, 1.0, 0.0};
    const double range = l.theta_s - l.theta_r;
    const double y = -h / l.alpha;
    const double yb = std::exp(l.beta * std::log(y));
    const double denominator = 1.0 + yb;
    const double k = l.a / (l.a + std::exp(l.b * std::log(-h)));
    const double c = range * (l.beta / l.alpha) * (yb / y) / (denominator * denominator);
    return {l.theta_r + range / denominator, k, c};
}

inline SoilWaterState soil_water(SoilWaterRelation relation, const RichardsLayer& l, double h) {
    return relation == SoilWaterRelation::brooks_corey ? brooks_corey(l, h) : havercamp(l, h);
}

// The head that holds water content theta (0 at or above saturation; the
// driest head the relation gives is returned for theta at or below theta_r).
inline double head_of_theta(SoilWaterRelation relation, const RichardsLayer& l, double theta) {
    const double range = l.theta_s - l.theta_r;
    double s = (theta - l.theta_r) / range;
    if (s >= 1.0)
        return 0.0;
    s = std::fmax(s, 1e-6);
    if (relation == SoilWaterRelation::havercamp)
        return -l.alpha * std::pow(1.0 / s - 1.0, 1.0 / l.beta);
    const double sc = 2.0 / (2.0 + l.pore_index);
    if (s <= sc)
        return l.bubbling_head / std::pow(s, 1.0 / l.pore_index);
    return l.junction_head * std::sqrt((1.0 - s) / (1.0 - sc));
}

// The junction of the Brooks-Corey branches for a layer's hb and lambda.
inline void set_brooks_corey_junction(RichardsLayer& l) {
    const double lambda = l.pore_index;
    l.junction_head = l.bubbling_head * std::pow(1.0 + 0.5 * lambda, 1.0 / lambda);
    l.junction_theta = l.theta_r + (l.theta_s - l.theta_r) * 2.0 / (2.0 + lambda);
}

}  // namespace torva
