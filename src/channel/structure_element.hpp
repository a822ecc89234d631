#pragma once
// One hydraulic structure element of a structure link, as the channel input
// file describes it. A structure link carries one or more elements side by
// side; its discharge is the sum of theirs.

namespace torva {

// The word after STRUCTTYPE, in the order of the card's table.
enum class StructureKind : int {
    weir = 1,
    sag_weir = 2,
    round_culvert = 3,
    oval_culvert = 4,
    rect_culvert = 5,
    rating_curve = 6,
    scheduled_release = 7,
    rule_curve = 8,
};

struct StructureElement {
    StructureKind kind = StructureKind::weir;
    double length = 0.0;         // LENGTH, CREST_LENGTH (m)
    double up_invert = 0.0;      // UPINVERT; the crest (low) elevation of weirs (m)
    double down_invert = 0.0;    // DOWNINVERT (m); below 0.0001 the slope gives it
    double slope = 0.0;          // SLOPE
    double coeff_forward = 0.0;  // INLET_DISCH_COEFF, DISCHARGE_COEFF_FORWARD
    double coeff_reverse = 0.0;  // REV_FLOW_DISCH_COEFF, DISCHARGE_COEFF_REVERSE
    double size1 = 0.0;          // WIDTH, DIAMETER (culvert rise), A_VALUE, STEEP_SLOPE
    double size2 = 0.0;          // HEIGHT (culvert span), B_VALUE, SHALLOW_SLOPE
    double crest_low_loc = 0.0;  // CREST_LOW_LOC
    double roughness = 0.0;      // ROUGH_COEFF (Manning's n of a culvert barrel)
    // Positions in the simulation's series lists; -1 for none. Positions rather
    // than pointers, so that a copied context keeps its structures.
    int elevation_series = -1;  // rating curve, rule curve
    int time_series = -1;       // scheduled release
};

}  // namespace torva
