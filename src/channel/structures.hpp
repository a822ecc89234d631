#pragma once
// Discharge laws of the hydraulic structure elements: weirs, sag weirs,
// culverts, rating curves, rule curves and scheduled releases.

#include "channel/culverts.hpp"
#include "channel/routing_state.hpp"
#include "channel/structure_element.hpp"

namespace torva {

struct RunContext;

// A broad-crested weir of crest length L and crest elevation z_c, free or
// drowned by the lower side; positive from the upstream side.
double weir_discharge(double coeff_forward, double coeff_reverse, double length, double crest,
                      double h_up, double h_dn);

// A weir whose crest is a parabola rising from its low point z_c with slope a
// at one end and b at the other over the crest length L. Equal slopes give
// the crest no curvature: the failure is set and the discharge is 0.
double sag_weir_discharge(double coeff_forward, double coeff_reverse, double length,
                          double crest_low, double slope_a, double slope_b, double h_up,
                          double h_dn, StructureFailure& failure);

// Discharge of one element (number: its place among all elements, for
// messages) for upstream and downstream water-surface elevations at model
// time `time` (days). A failure is reported through the context's error
// record and gives 0.
double structure_element_discharge(RunContext& ctx, const StructureElement& element, int number,
                                   StructureWork& work, double h_up, double h_dn, double time);

// Prints and raises the failure of element `number`.
void report_structure_failure(RunContext& ctx, StructureFailure failure, int number);

}  // namespace torva
