#include "channel/structures.hpp"

#include <algorithm>
#include <cmath>

#include "core/context.hpp"
#include "input/series.hpp"

namespace torva {

double weir_discharge(double coeff_forward, double coeff_reverse, double length, double crest,
                      double h_up, double h_dn) {
    if (crest > h_up && crest > h_dn)
        return 0.0;
    const double c = h_up > h_dn ? coeff_forward : coeff_reverse;
    const double high = std::max(h_up, h_dn) - crest;
    const double low = std::min(h_up, h_dn) - crest;
    const double drop = std::fabs(h_up - h_dn);
    double q;
    if (low >= 2.0 / 3.0 * high) {  // drowned by the lower side
        // Below a centimetre of drop the square root is linearised (equal at
        // 0.01 m), so that the discharge has a finite slope at equal levels.
        q = drop >= 0.01 ? c * length * low * std::sqrt(19.62 * drop)
                         : std::sqrt(1962.0) * c * length * low * drop;
    } else {
        q = 2.0 / 3.0 * c * length * std::sqrt(19.62 * high * high * high / 3.0);
    }
    return h_up > h_dn ? q : -q;
}

double sag_weir_discharge(double coeff_forward, double coeff_reverse, double length,
                          double crest_low, double slope_a, double slope_b, double h_up,
                          double h_dn, StructureFailure& failure) {
    if (crest_low >= h_up && crest_low >= h_dn)
        return 0.0;
    const double c = h_up > h_dn ? coeff_forward : coeff_reverse;
    // The crest's curvature; which end is the steeper one does not matter.
    const double k = std::fabs(slope_b - slope_a) / (2.0 * length);
    if (!(k > 0.0) || !std::isfinite(k)) {
        failure = StructureFailure::sag_weir_shape;
        return 0.0;
    }
    const double high = std::max(h_up, h_dn);
    const double z_star = crest_low + slope_a * slope_a / (4.0 * k);
    const double f = std::sqrt((high - z_star) * 4.0 * k + slope_a * slope_a) *
                     std::sqrt(high - crest_low) * 2.0 *
                     (slope_a * slope_a - (z_star + crest_low - 2.0 * high) * 4.0 * k) / k / 32.0;
    const double q = std::sqrt(19.62) * c / k * f;
    return h_up > h_dn ? q : -q;
}

namespace {

const ElevationSeries* elevation_series_of(const RunContext& ctx, int position) {
    if (position < 0 || static_cast<std::size_t>(position) >= ctx.series.elevation_series.size())
        return nullptr;
    return &ctx.series.elevation_series[position];
}

const TimeSeries* time_series_of(const RunContext& ctx, int position) {
    if (position < 0 || static_cast<std::size_t>(position) >= ctx.series.time_series.size())
        return nullptr;
    return &ctx.series.time_series[position];
}

}  // namespace

double structure_element_discharge(RunContext& ctx, const StructureElement& e, int number,
                                   StructureWork& work, double h_up, double h_dn, double time) {
    StructureFailure failure = StructureFailure::none;
    double q = 0.0;
    switch (e.kind) {
        case StructureKind::weir:
            q = weir_discharge(e.coeff_forward, e.coeff_reverse, e.length, e.up_invert, h_up, h_dn);
            break;
        case StructureKind::sag_weir:
            q = sag_weir_discharge(e.coeff_forward, e.coeff_reverse, e.length, e.up_invert, e.size1,
                                   e.size2, h_up, h_dn, failure);
            break;
        case StructureKind::round_culvert:
        case StructureKind::oval_culvert:
        case StructureKind::rect_culvert: {
            // The transition depends on the barrel alone, so it is found once.
            if (!work.transition_known) {
                work.transition = culvert_transition(e, failure);
                work.transition_known = failure == StructureFailure::none;
            }
            if (failure == StructureFailure::none) {
                const CulvertFlow flow = culvert_flow(e, work.transition, h_up, h_dn);
                failure = flow.failure;
                q = flow.discharge;
            }
            break;
        }
        case StructureKind::rating_curve:
            q = elevation_series_value(ctx, elevation_series_of(ctx, e.elevation_series), h_up);
            break;
        case StructureKind::rule_curve:
            q = elevation_series_step_value(ctx, elevation_series_of(ctx, e.elevation_series),
                                            h_up);
            break;
        case StructureKind::scheduled_release:
            q = time_series_value(ctx, time_series_of(ctx, e.time_series), time, work.series_hint);
            break;
    }
    if (failure != StructureFailure::none) {
        report_structure_failure(ctx, failure, number);
        return 0.0;
    }
    return q;
}

void report_structure_failure(RunContext& ctx, StructureFailure failure, int number) {
    switch (failure) {
        case StructureFailure::none:
            return;
        case StructureFailure::culvert_length:
            ctx.print_and_log(
                "Problem in culv_flow (ex_flow_route.c).  The culvert barrel length\n"
                "in culvert number %d is 0.0.  This is not possible. Program terminated.\n",
                number);
            ctx.error.raise(err::message_printed);
            return;
        case StructureFailure::critical_depth:
            ctx.error.raise(122);
            return;
        case StructureFailure::root_not_bracketed:
            ctx.error.raise(124);
            return;
        case StructureFailure::root_iterations:
            // A discharge the finder did not find is never passed on as a flow.
            ctx.print_and_log(
                "Maximum number of iterations exceeded in ZBRENT\n"
                "while finding the inlet control discharge of culvert number %d.  Program "
                "terminated.\n",
                number);
            ctx.error.raise(err::message_printed);
            return;
        case StructureFailure::sag_weir_shape:
            ctx.print_and_log(
                "The crest of sag weir number %d has the same slope (A_VALUE and B_VALUE) at "
                "both ends,\nso it has no low point to measure its head from.  Program "
                "terminated.\n",
                number);
            ctx.error.raise(err::message_printed);
            return;
    }
}

}  // namespace torva
