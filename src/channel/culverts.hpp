#pragma once
// Culvert barrels: their geometry, the critical depth in them, and the
// discharge through a barrel for the water levels on its two sides, choosing
// between inlet control, outlet control, orifice and full flow as the levels
// demand.

#include "channel/structure_element.hpp"

namespace torva {

// Why a structure law could not give a discharge. The routing reports it,
// naming the element.
enum class StructureFailure {
    none,
    culvert_length,      // a barrel shorter than 0.0001 m
    critical_depth,      // the critical depth iteration did not settle
    root_not_bracketed,  // the inlet-control discharge is not between its bounds
    root_iterations,     // the inlet-control root finder ran out of iterations
    sag_weir_shape,      // a sag weir whose two crest slopes are equal
};

struct BarrelSection {
    double area = 0.0;       // m2
    double perimeter = 0.0;  // wetted, m
    double top_width = 0.0;  // m
};

// The section of water at depth y in a barrel of rise D and span B (the span
// is unused for a round barrel, whose diameter is D).
BarrelSection barrel_section(StructureKind shape, double rise, double span, double depth);

// Depth at which discharge q passes at critical flow (q^2/g = A^3/T): Newton's
// method kept inside (0, D) by bisection. A barrel that cannot pass q at
// critical flow below its crown gives D.
double critical_depth(StructureKind shape, double rise, double span, double discharge,
                      StructureFailure& failure);

struct CulvertFlow {
    double discharge = 0.0;       // m3/s, positive from the upstream to the downstream side
    int flow_type = 0;            // 1..6; negative for reverse flow; 0 for no flow
    double critical_depth = 0.0;  // the critical depth used by inlet control, m
    StructureFailure failure = StructureFailure::none;
};

// Discharge through the culvert for upstream and downstream water-surface
// elevations h_up and h_dn, with the transition coefficient c_t (see below).
CulvertFlow culvert_flow(const StructureElement& culvert, double c_t, double h_up, double h_dn);

// The transition coefficient that joins inlet control to orifice flow at a
// headwater of 1.5 rises, so that the discharge does not jump there.
double culvert_transition(const StructureElement& culvert, StructureFailure& failure);

}  // namespace torva
