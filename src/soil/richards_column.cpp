// One soil column over one model step: the mixed form of the Richards
// equation, solved by the modified Picard iteration in sub-steps sized by the
// change of water content.
//
// Depth z points down from the land surface; the flux between node i-1 and
// node i (positive downward) is q = K_face (1 - (h_i - h_{i-1}) / d), with d
// the distance of the node centres. Each node is a control volume of
// thickness dz holding water content theta, and over a sub-step tau
//     dz (theta_new - theta_old) / tau = q_above - q_below - S dz.
// The Picard iteration linearises theta about the last iterate through the
// capacity, theta(h_m+1) = theta(h_m) + C(h_m) (h_m+1 - h_m), which keeps the
// water of the time derivative exact (the head form would not); once the heads
// have settled, the water contents are taken from the face fluxes themselves,
// so that what enters, what is held and what leaves agree to round-off.
// The iteration of one sub-step is in richards_substep.cpp.

#include <algorithm>
#include <cmath>
#include <limits>

#include "soil/node_pairs.hpp"
#include "soil/richards.hpp"
#include "soil/richards_relations.hpp"
#include "soil/richards_substep.hpp"

namespace torva {
namespace {

// Below this a sub-step is not shortened further to keep theta above theta_r.
constexpr double kShortestSubstep = 1e-3;  // s
// A sub-step grows at most this much over the one before.
constexpr double kGrowth = 2.0;
// While water ponds no sub-step is longer than 0.02 h: the supply and the
// surface head can change much within a long model step then.
constexpr double kLongestPondedSubstep = 72.0;  // s
// Water ponds once the first node starts a sub-step this near saturation
// (relative saturation) and the supply would still oversaturate it.
constexpr double kPondingSaturation = 0.99;
// Soil is still when its water content moves at a pace that would take
// kQuietSteps model steps to change it by RICHARDS_DTHETA_MAX. The slow soil
// of a column begins kStillAbove nodes into the first run of kStillRun still
// nodes; once a node within kNearing nodes above it moves, the slow soil is
// brought to the present and the short sub-steps reach further down. Slow
// soil is brought forward at least every kLongestSlowLag seconds.
constexpr double kQuietSteps = 16.0;
constexpr int kStillRun = 8;
constexpr int kStillAbove = 5;
constexpr int kNearing = 3;
constexpr double kLongestSlowLag = 3600.0;  // s
// Iterations allowed under a ponded surface, whatever RICHARDS_ITER_MAX says.
constexpr int kPondedIterations = 5;
// The water content of a node (or of a pair) at the end of a sub-step of
// length tau from what its faces passed and its source took.
template <class T>
T water_from_fluxes(T theta_old, T tau, T inverse_dz, T flux_above, T flux_below, T source) {
    return theta_old + tau * (inverse_dz * (flux_above - flux_below) - source);
}
// Root uptake of each node (1/s) for the sub-step: the potential rate shared
// by the root weights, each share reduced by the water stress of its node,
// falling from 1 at field capacity to 0 at the wilting point.
void root_uptake(const RichardsSoilType& type, const double* theta, int n, double pet,
                 RichardsScratch& s) {
    for (int i = 0; i < n; ++i) {
        s.source[i] = 0.0;
        const double w = type.root_weight[i];
        if (w <= 0.0)
            continue;
        const RichardsLayer& l = type.layers[type.node_layer[i]];
        const double span = l.field_capacity - l.wilting_point;
        const double stress = span > 0.0 ? std::clamp((theta[i] - l.wilting_point) / span, 0.0, 1.0)
                                         : (theta[i] > l.wilting_point ? 1.0 : 0.0);
        s.source[i] = pet * w * stress / type.node_dz[i];
    }
}

}  // namespace

double column_water_depth(const RichardsSoilType& type, const double* theta) {
    double sum = 0.0;
    for (int i = 0; i < type.nodes; ++i) sum += theta[i] * type.node_dz[i];
    return sum;
}

double columns_water_depth(const RichardsColumns& rc, int cells) {
    double sum = 0.0;
    for (int i = 1; i <= cells; ++i)
        sum += column_water_depth(rc.types[rc.soil_type[i]],
                                  &rc.theta[static_cast<std::size_t>(i) * rc.stride]);
    return sum;
}

double root_zone_water_depth(const RichardsSoilType& type, const double* theta) {
    double sum = 0.0;
    for (int i = 0; i < type.root_nodes; ++i)
        if (type.root_weight[i] > 0.0)
            sum += theta[i] * type.node_dz[i];
    return sum;
}

namespace {

// Brings the slow nodes first .. n - 1 forward over `span` seconds in one
// implicit sub-step, or in shorter ones where the water content would change
// too much or dry a node past theta_r. What flowed into them from above is in
// theta[first] already, so no water enters their top face meanwhile. Each
// node's pace over the span goes to s.pace; the largest change of water
// content to `largest`. The iteration of each sub-step starts from the
// heads the nodes' trends (`trend`, a second, from the last time they were
// solved) lead to, and leaves the trends of this one there. False, with the
// failure in `result`, on a value that cannot be real.
bool bring_slow_soil_forward(const RichardsColumns& rc, const RichardsSoilType& type, double* head,
                             double* theta, int first, double span, const BottomBoundary& bottom,
                             float* trend, NodeRelation* relations, ColumnStepResult& result,
                             RichardsScratch& s, double& largest) {
    const int n = type.nodes;
    largest = 0.0;
    if (span <= 0.0)
        return true;
    std::fill(s.source.begin() + first, s.source.begin() + n, 0.0);
    std::copy(theta + first, theta + n, s.pace.begin() + first);  // the start, for the pace
    double* head_old = s.head_old.data();
    double* theta_old = s.theta_old.data();
    double* pace = s.pace.data();
    const double* flux = s.flux.data();
    const double* inverse_dz = type.node_inverse_dz.data();
    const double* theta_r = type.node_theta_r.data();
    const UpperBoundary upper{ColumnTop::flux, 0.0, 0.0};
    double t = 0.0;
    double tau = span;
    while (t < span) {
        tau = std::min(tau, span - t);
        if (span - t - tau < 1e-6 * span)
            tau = span - t;
        // The start of the sub-step is kept in the same pass (small copies
        // cost more as library calls than as part of a loop), two nodes at
        // a time as in the short sub-steps.
        const NodePair tau_pair = pair_of(tau);
        int i = first;
        for (; i + 2 <= n; i += 2) {
            const NodePair h = load_pair(head + i);
            store_pair(head_old + i, h);
            store_pair(theta_old + i, load_pair(theta + i));
            store_pair(head + i, h + tau_pair * load_float_pair(trend + i));
        }
        if (i < n) {
            head_old[i] = head[i];
            theta_old[i] = theta[i];
            head[i] += tau * trend[i];
        }
        const SubstepOutcome outcome = picard(rc, type, head, first, n, tau, upper, bottom,
                                              std::max(rc.iter_max, 1), relations, s);
        result.iterations += outcome.iterations;
        // The water contents from the fluxes; a value that cannot be real
        // leaves its lane of the probe not a number, and its node is then
        // looked for one by one.
        NodePair probe = {0.0, 0.0}, change_lanes = {0.0, 0.0};
        PairMask below_lanes = {0, 0};
        for (i = first; i + 2 <= n; i += 2) {
            const NodePair old = load_pair(theta_old + i);
            const NodePair next = old + tau_pair * load_pair(inverse_dz + i) *
                                            (load_pair(flux + i) - load_pair(flux + i + 1));
            const NodePair h = load_pair(head + i);
            probe += (next - next) + (h - h);
            below_lanes |= next < load_pair(theta_r + i) - 1e-12;
            store_pair(theta + i, next);
            change_lanes = larger(change_lanes, magnitude(next - old));
        }
        bool not_real = !(probe[0] == 0.0 && probe[1] == 0.0);
        bool below_residual = any(below_lanes);
        double change = larger(change_lanes[0], change_lanes[1]);
        if (i < n) {
            const double next = theta_old[i] + tau * inverse_dz[i] * (flux[i] - flux[i + 1]);
            not_real |= !std::isfinite(next) || !std::isfinite(head[i]);
            below_residual |= next < theta_r[i] - 1e-12;
            theta[i] = next;
            change = larger(change, std::fabs(next - theta_old[i]));
        }
        if (not_real) {
            result.failed = true;
            for (i = first; i < n; ++i) {
                const double next = theta_old[i] + tau * inverse_dz[i] * (flux[i] - flux[i + 1]);
                if (!std::isfinite(next) || !std::isfinite(head[i]))
                    break;
            }
            result.failed_node = i + 1;
            std::copy(head_old + first, head_old + n, head + first);
            std::copy(theta_old + first, theta_old + n, theta + first);
            return false;
        }
        // A sub-step may change the water content somewhat more than the
        // next one aims at, not much more.
        if (below_residual || change > 2.0 * rc.dtheta_max) {
            std::copy(s.head_old.begin() + first, s.head_old.begin() + n, head + first);
            std::copy(s.theta_old.begin() + first, s.theta_old.begin() + n, theta + first);
            if (tau <= kShortestSubstep) {
                result.failed = true;
                result.failed_node = 0;
                return false;
            }
            tau = std::max(change > 0.0 ? std::min(0.5, rc.dtheta_max / change) * tau : 0.5 * tau,
                           kShortestSubstep);
            continue;
        }
        ++result.substeps;
        ++result.slow_substeps;
        if (!outcome.settled)
            ++result.unsettled;
        result.drained += s.flux[n] * tau;
        const double inverse_tau = 1.0 / tau;
        const NodePair inverse_tau_pair = pair_of(inverse_tau);
        for (i = first; i + 2 <= n; i += 2)
            store_float_pair(trend + i,
                             (load_pair(head + i) - load_pair(head_old + i)) * inverse_tau_pair);
        if (i < n)
            trend[i] = static_cast<float>((head[i] - head_old[i]) * inverse_tau);
        t += tau;
        tau = change > 0.0 ? std::min(tau * rc.dtheta_max / change, kGrowth * tau) : kGrowth * tau;
    }
    const double inverse_span = 1.0 / span;
    const NodePair inverse_span_pair = pair_of(inverse_span);
    NodePair largest_lanes = {0.0, 0.0};
    int i = first;
    for (; i + 2 <= n; i += 2) {
        const NodePair moved = magnitude(load_pair(theta + i) - load_pair(pace + i));
        largest_lanes = larger(largest_lanes, moved);
        store_pair(pace + i, larger(moved * inverse_span_pair, magnitude(load_pair(flux + i + 1)) *
                                                                   load_pair(inverse_dz + i)));
    }
    largest = larger(largest_lanes[0], largest_lanes[1]);
    if (i < n) {
        const double moved = std::fabs(theta[i] - pace[i]);
        largest = larger(largest, moved);
        pace[i] = larger(moved * inverse_span, std::fabs(flux[i + 1]) * inverse_dz[i]);
    }
    return true;
}

// The bottom of the nodes above slow soil starting at `first`: the first slow
// node, its head and conductivity held while the nodes above run. The
// conductivity is evaluated again only when that node or its head changed.
BottomBoundary slow_bottom(const RichardsColumns& rc, const RichardsSoilType& type,
                           const double* head, int first, SlowSoil& slow) {
    if (slow.bottom_node != first || slow.bottom_head != head[first]) {
        const RichardsLayer& l = type.layers[type.node_layer[first]];
        slow.bottom_node = first;
        slow.bottom_head = head[first];
        slow.bottom_conductivity =
            l.conductivity * soil_water(rc.relation, l, head[first]).k_relative;
    }
    BottomBoundary b{false, head[first], type.node_depth[first] - type.node_depth[first - 1]};
    b.slow = true;
    b.conductivity = slow.bottom_conductivity;
    return b;
}

// Where the slow soil begins: inside the first run of kStillRun nodes, none
// from `shallowest` on, whose pace is below `still`, kStillAbove nodes into
// it; the column's node count when there is no such run.
int first_slow_node(const RichardsSoilType& type, const double* pace, double still,
                    int shallowest) {
    const int n = type.nodes;
    int run = 0;
    for (int i = std::max(shallowest - kStillAbove, 0); i < n; ++i) {
        run = pace[i] <= still ? run + 1 : 0;
        if (run == kStillRun)
            return i + 1 - kStillRun + kStillAbove;
    }
    return n;
}

}  // namespace

ColumnStepResult advance_column(const RichardsColumns& rc, const RichardsSoilType& type,
                                double* head, double* theta, double& substep, ColumnTop& top,
                                SlowSoil& slow, HeadTrends& trends, float* trend,
                                NodeRelation* relations, const ColumnStepInput& in,
                                RichardsScratch& s) {
    ColumnStepResult result;
    const int n = type.nodes;
    const double dt = in.dt;
    double water = std::max(in.supply, 0.0);  // on the surface
    double t = 0.0;
    double tau = std::clamp(substep, kShortestSubstep, dt);
    const BottomBoundary column_bottom{!in.water_table_bottom, in.bottom_head,
                                       std::max(in.bottom_distance, type.node_dz[n - 1])};
    BottomBoundary bottom = column_bottom;
    double drawn_up = 0.0;  // m taken from the aquifer through the bottom
    // Soil may run slow only over free drainage (a water table moves the
    // bottom nodes every step) and only below the roots while they draw.
    const bool may_slow = rc.slow_soil && column_bottom.free;
    const int shallowest_slow = in.potential_et > 0.0 ? std::max(type.root_nodes, 1) : 1;
    // Soil is still when at its pace it would take kQuietSteps model steps
    // to change its water content by RICHARDS_DTHETA_MAX.
    const double still = rc.dtheta_max / (kQuietSteps * dt);
    int active = slow.first > 0 && slow.first < n ? slow.first : n;  // nodes of the short sub-steps
    double largest_slow_change = 0.0;
    if (active < n && (!may_slow || active < shallowest_slow)) {
        if (!bring_slow_soil_forward(rc, type, head, theta, active, slow.behind, column_bottom,
                                     trend, relations, result, s, largest_slow_change))
            return result;
        slow.behind = 0.0;
        active = n;
    }
    if (active < n)
        bottom = slow_bottom(rc, type, head, active, slow);
    // Without demand the roots take nothing all step.
    const bool drawing = in.potential_et > 0.0;
    if (!drawing)
        std::fill(s.source.begin(), s.source.begin() + n, 0.0);
    // The trends of the column's last two sub-steps, from the step before;
    // nodes that have joined the short sub-steps since start without one.
    // A water table under the column moves its heads between steps, so such
    // a column starts each step without trends.
    const bool carry_trends = column_bottom.free;
    int trends_known = carry_trends ? trends.known : 0;
    double last_tau = trends.last_tau, before_last_tau = trends.before_last_tau;
    if (trends_known > 0) {
        const int carried = std::min(trends.nodes, active);
        const float* before = trend + rc.stride;
        int i = 0;
        for (; i + 2 <= carried; i += 2) {
            store_pair(s.head_trend.data() + i, load_float_pair(trend + i));
            store_pair(s.trend_before.data() + i, load_float_pair(before + i));
        }
        if (i < carried) {
            s.head_trend[i] = trend[i];
            s.trend_before[i] = before[i];
        }
        std::fill(s.head_trend.begin() + carried, s.head_trend.begin() + active, 0.0);
        std::fill(s.trend_before.begin() + carried, s.trend_before.begin() + active, 0.0);
    }
    while (t < dt) {
        tau = std::min(tau, dt - t);
        // A last sliver of the step joins the sub-step before it.
        if (dt - t - tau < 1e-6 * dt)
            tau = dt - t;
        if (drawing)
            root_uptake(type, theta, active, in.potential_et, s);
        // The start of the sub-step is kept, and the iteration starts from
        // the heads the last sub-step's trend leads to: nearer the answer
        // than the heads of the start, it settles in fewer iterations (a
        // sub-step taken again starts afresh).
        double* head_old = s.head_old.data();
        double* theta_old = s.theta_old.data();
        if (trends_known >= 2) {
            const double bend = 0.5 * (last_tau + tau) / (0.5 * (last_tau + before_last_tau));
            const double* last = s.head_trend.data();
            const double* before = s.trend_before.data();
            const NodePair tau_pair = pair_of(tau), bend_pair = pair_of(bend);
            int i = 0;
            for (; i + 2 <= active; i += 2) {
                const NodePair h = load_pair(head + i), l = load_pair(last + i);
                store_pair(head_old + i, h);
                store_pair(theta_old + i, load_pair(theta + i));
                store_pair(head + i, h + tau_pair * (l + bend_pair * (l - load_pair(before + i))));
            }
            if (i < active) {
                head_old[i] = head[i];
                theta_old[i] = theta[i];
                head[i] += tau * (last[i] + bend * (last[i] - before[i]));
            }
        } else if (trends_known == 1) {
            const double* last = s.head_trend.data();
            for (int i = 0; i < active; ++i) {
                head_old[i] = head[i];
                theta_old[i] = theta[i];
                head[i] += last[i] * tau;
            }
        } else {
            std::copy(head, head + active, head_old);
            std::copy(theta, theta + active, theta_old);
        }

        bool to_ponded = false, to_flux = false;
        SubstepOutcome outcome;
        for (;;) {
            UpperBoundary upper{top, 0.0, water};
            if (top == ColumnTop::ponded_head && (to_flux || water <= 0.0))
                upper.kind = top = ColumnTop::flux;
            if (upper.kind == ColumnTop::flux)
                upper.flux = water / (dt - t);
            const int limit = upper.kind == ColumnTop::ponded_head
                                  ? std::max(rc.iter_max, kPondedIterations)
                                  : std::max(rc.iter_max, 1);
            const double step_tau =
                upper.kind == ColumnTop::ponded_head ? std::min(tau, kLongestPondedSubstep) : tau;
            outcome =
                picard(rc, type, head, 0, active, step_tau, upper, bottom, limit, relations, s);
            result.iterations += outcome.iterations;
            tau = step_tau;
            // The surface cannot take the supply once the first node saturates:
            // the water ponds and the head at the surface takes over. The
            // sub-step is shortened until it starts with the first node all but
            // saturated, so the ponded face sees the conductivity of wet soil,
            // not that of the dry node the supply was still filling.
            if (upper.kind == ColumnTop::flux && water > 0.0 && head[0] > 0.0 && !to_ponded &&
                !to_flux) {
                std::copy(s.head_old.begin(), s.head_old.begin() + active, head);
                const RichardsLayer& l = type.layers[type.node_layer[0]];
                const bool nearly_saturated =
                    s.theta_old[0] >= l.theta_r + kPondingSaturation * (l.theta_s - l.theta_r);
                if (nearly_saturated || tau <= 2.0 * kShortestSubstep) {
                    to_ponded = true;
                    top = ColumnTop::ponded_head;
                } else {
                    tau *= 0.5;
                }
                continue;
            }
            // Under a ponded head the surface would take more than lies on it:
            // the supply limits again.
            if (upper.kind == ColumnTop::ponded_head && s.flux[0] * tau > water && !to_flux) {
                to_flux = true;
                std::copy(s.head_old.begin(), s.head_old.begin() + active, head);
                continue;
            }
            break;
        }
        // The column cannot draw more water up than the aquifer under it
        // holds: once it would, the bottom closes for the rest of the step.
        if (active == n && !bottom.free && !bottom.closed && s.flux[n] < 0.0 &&
            -s.flux[n] * tau > in.upward_limit - drawn_up) {
            bottom.closed = true;
            std::copy(s.head_old.begin(), s.head_old.begin() + n, head);
            continue;
        }

        // Water contents from the fluxes, so the column keeps every drop;
        // what leaves the active nodes downwards goes into the first slow one.
        // In the same pass each node's trend of head (into the spare of the
        // trends, which takes the place of the last one once the sub-step
        // stands) and its pace: how fast its water content, or the water it
        // passes down, changed.
        double largest_change = 0.0;
        bool below_residual = false;
        bool not_real = false;
        int bad_node = 0;
        const double into_slow =
            active < n ? tau * s.flux[active] * type.node_inverse_dz[active] : 0.0;
        {
            const double inverse_tau = 1.0 / tau;
            const double* flux = s.flux.data();
            const double* inverse_dz = type.node_inverse_dz.data();
            const double* theta_r = type.node_theta_r.data();
            const double* source = s.source.data();
            const double* theta_old = s.theta_old.data();
            double* next_trend = s.trend_spare.data();
            double* pace = s.pace.data();
            // Two nodes at a time; a value that cannot be real is looked for
            // node by node only once one has turned up.
            // A head or water content that is not real leaves its lane of the
            // probe not a number (x - x is 0 for every finite x only).
            NodePair probe = {0.0, 0.0};
            PairMask below_lanes = {0, 0};
            NodePair largest_lanes = {0.0, 0.0};
            const NodePair tau_pair = pair_of(tau), inverse_tau_pair = pair_of(inverse_tau);
            int i = 0;
            for (; i + 2 <= active; i += 2) {
                const NodePair old = load_pair(theta_old + i);
                const NodePair flux_below = load_pair(flux + i + 1);
                const NodePair inverse_thickness = load_pair(inverse_dz + i);
                const NodePair next =
                    water_from_fluxes(old, tau_pair, inverse_thickness, load_pair(flux + i),
                                      flux_below, load_pair(source + i));
                const NodePair h = load_pair(head + i);
                probe += (next - next) + (h - h);
                below_lanes |= next < load_pair(theta_r + i) - 1e-12;
                store_pair(theta + i, next);
                const NodePair moved = magnitude(next - old);
                largest_lanes = larger(largest_lanes, moved);
                store_pair(next_trend + i, (h - load_pair(head_old + i)) * inverse_tau_pair);
                store_pair(pace + i, larger(moved * inverse_tau_pair,
                                            magnitude(flux_below) * inverse_thickness));
            }
            not_real = !(probe[0] == 0.0 && probe[1] == 0.0);
            below_residual = any(below_lanes);
            largest_change = larger(largest_lanes[0], largest_lanes[1]);
            for (; i < active && !not_real; ++i) {
                const double next = water_from_fluxes(theta_old[i], tau, inverse_dz[i], flux[i],
                                                      flux[i + 1], source[i]);
                not_real = !std::isfinite(next) || !std::isfinite(head[i]);
                below_residual |= next < theta_r[i] - 1e-12;
                theta[i] = next;
                const double moved = std::fabs(next - theta_old[i]);
                largest_change = larger(largest_change, moved);
                next_trend[i] = (head[i] - head_old[i]) * inverse_tau;
                pace[i] = larger(moved * inverse_tau, std::fabs(flux[i + 1]) * inverse_dz[i]);
            }
            if (not_real)
                for (bad_node = 0; bad_node < active; ++bad_node) {
                    const double next =
                        water_from_fluxes(theta_old[bad_node], tau, inverse_dz[bad_node],
                                          flux[bad_node], flux[bad_node + 1], source[bad_node]);
                    if (!std::isfinite(next) || !std::isfinite(head[bad_node]))
                        break;
                }
        }
        if (!not_real && active < n) {
            if (!std::isfinite(into_slow)) {
                not_real = true;
                bad_node = active;
            } else if (theta[active] + into_slow < type.node_theta_r[active] - 1e-12) {
                below_residual = true;
            }
        }
        if (not_real) {
            result.failed = true;
            result.failed_node = bad_node + 1;
            result.failed_time = t + tau;
            std::copy(s.head_old.begin(), s.head_old.begin() + active, head);
            std::copy(s.theta_old.begin(), s.theta_old.begin() + active, theta);
            break;
        }
        if (below_residual) {
            // Clipping theta at theta_r would create water: the sub-step is
            // taken again, shorter, until no node dries past theta_r.
            std::copy(s.head_old.begin(), s.head_old.begin() + active, head);
            std::copy(s.theta_old.begin(), s.theta_old.begin() + active, theta);
            if (tau <= kShortestSubstep) {
                result.failed = true;
                result.failed_node = 0;
                result.failed_time = t;
                break;
            }
            tau = std::max(0.5 * tau, kShortestSubstep);
            continue;
        }

        ++result.substeps;
        if (!outcome.settled)
            ++result.unsettled;
        const double into = s.flux[0] * tau;
        result.infiltrated += into;
        if (active < n) {
            theta[active] += into_slow;
            slow.behind += tau;
        } else {
            result.drained += s.flux[n] * tau;
            drawn_up += std::max(-s.flux[n], 0.0) * tau;
        }
        if (drawing)
            for (int i = 0; i < active; ++i) result.uptake += s.source[i] * type.node_dz[i] * tau;
        water -= into;
        if (water < 0.0 && top == ColumnTop::flux)
            water = 0.0;  // round-off of the last share of the supply
        // The trends move on: the last becomes the one before, the new one
        // the last.
        std::swap(s.trend_before, s.head_trend);
        std::swap(s.head_trend, s.trend_spare);
        ++trends_known;
        before_last_tau = last_tau;
        last_tau = tau;
        t += tau;
        // A wetting front nearing the slow soil: the slow nodes are brought
        // to the present and the short sub-steps reach further down.
        bool nearing = false;
        for (int i = std::max(active - kNearing, 0); i < active && active < n; ++i)
            nearing |= s.pace[i] > still;
        if (nearing) {
            if (!bring_slow_soil_forward(rc, type, head, theta, active, slow.behind, column_bottom,
                                         trend, relations, result, s, largest_slow_change)) {
                result.failed_time = t;
                break;
            }
            slow.behind = 0.0;
            const int first = first_slow_node(type, s.pace.data(), still, shallowest_slow);
            const int grown = std::max(first, active + 1);
            std::fill(s.head_trend.begin() + active, s.head_trend.begin() + std::min(grown, n),
                      0.0);
            std::fill(s.trend_before.begin() + active, s.trend_before.begin() + std::min(grown, n),
                      0.0);
            active = std::min(grown, n);
            bottom = active < n ? slow_bottom(rc, type, head, active, slow) : column_bottom;
        }
        const double next_tau =
            largest_change > 0.0 ? tau * rc.dtheta_max / largest_change : kGrowth * tau;
        tau = std::clamp(next_tau, kShortestSubstep, kGrowth * tau);
    }
    substep = tau;
    result.surface_left = water;
    if (result.failed)
        return result;
    if (carry_trends) {
        float* before = trend + rc.stride;
        int i = 0;
        for (; i + 2 <= active; i += 2) {
            store_float_pair(trend + i, load_pair(s.head_trend.data() + i));
            store_float_pair(before + i, load_pair(s.trend_before.data() + i));
        }
        if (i < active) {
            trend[i] = static_cast<float>(s.head_trend[i]);
            before[i] = static_cast<float>(s.trend_before[i]);
        }
        trends.nodes = active;
        trends.known = std::min(trends_known, 2);
        trends.last_tau = last_tau;
        trends.before_last_tau = before_last_tau;
    }

    // At the end of the step: slow soil that has lagged long enough is
    // brought forward, and where the slow soil begins is judged again.
    if (active < n && slow.behind >= slow.interval) {
        const double span = slow.behind;
        if (!bring_slow_soil_forward(rc, type, head, theta, active, span, column_bottom, trend,
                                     relations, result, s, largest_slow_change)) {
            result.failed_time = dt;
            return result;
        }
        slow.behind = 0.0;
        // The next lag: long enough for the largest change to reach
        // RICHARDS_DTHETA_MAX at the pace of this one, growing at most twice.
        const double pace =
            largest_slow_change > 0.0 ? span * rc.dtheta_max / largest_slow_change : kGrowth * span;
        slow.interval = std::clamp(std::min(pace, kGrowth * span), dt, kLongestSlowLag);
        active = n;
    }
    if (active == n) {
        const int first =
            may_slow ? first_slow_node(type, s.pace.data(), still, shallowest_slow) : n;
        slow.first = first;
        slow.behind = 0.0;
        slow.interval = std::max(slow.interval, dt);
    } else {
        slow.first = active;
    }
    return result;
}

}  // namespace torva
