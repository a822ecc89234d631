// Structure laws at levels where a wrong power would show: a free weir at
// heads other than 1 m, and a long culvert barrel whose friction loss
// governs, each against a discharge worked out by hand.

#include <gtest/gtest.h>

#include "channel/culverts.hpp"
#include "channel/structures.hpp"

namespace torva {
namespace {

// Free flow over a broad crest: Q = (2/3) C L sqrt(19.62 H^3 / 3). The lower
// side stays below 2/3 of the head, so the weir is not drowned.
//   H = 0.5 m, C = 1, L = 2:   (4/3) sqrt(19.62 * 0.125 / 3) = (4/3) sqrt(0.8175) = 1.205543
//   H = 2.25 m, C = 0.6, L = 3: 1.2 sqrt(19.62 * 11.390625 / 3) = 1.2 sqrt(74.49469) = 10.357237
TEST(WeirHead, FreeDischargeGrowsWithTheHeadToTheThreeHalves) {
    EXPECT_NEAR(weir_discharge(1.0, 1.0, 2.0, 0.0, 0.5, -1.0), 1.2055427546683415, 1e-12);
    EXPECT_NEAR(weir_discharge(0.6, 0.6, 3.0, 100.0, 102.25, 100.5), 10.357236600560983, 1e-11);
    // Reversed, the same head gives the same discharge the other way.
    EXPECT_NEAR(weir_discharge(1.0, 1.0, 2.0, 0.0, -1.0, 0.5), -1.2055427546683415, 1e-12);
}

// A round barrel of 1 m and n 0.013, 100 m long (more than 40 rises) from
// invert 10 m to 9.9 m (slope 0.001, mild): outlet control, where the head
// lost through the barrel is dH = (Q/A)^2 (n^2 L / R^(4/3) + 1/(2g)). Full or
// half full, R = D/4 = 0.25 m, so the loss factor is
//   0.013^2 * 100 / 0.25^(4/3) + 1/19.62 = 0.0169 / 0.1574901 + 0.0509684 = 0.1582767.
StructureElement long_barrel() {
    StructureElement c;
    c.kind = StructureKind::round_culvert;
    c.length = 100.0;
    c.up_invert = 10.0;
    c.down_invert = 9.9;
    c.coeff_forward = c.coeff_reverse = 0.8;
    c.size1 = 1.0;
    c.roughness = 0.013;
    return c;
}

TEST(CulvertLongBarrel, BarrelFrictionGovernsFullAndPartFlow) {
    // Headwater 12 m (2.1 rises above the outlet invert), tail water 11.5 m
    // above the crown: the barrel runs full, A = 3.14159 / 4, type 4:
    //   Q = 0.7853975 sqrt(0.5 / 0.1582767) = 1.395938.
    const CulvertFlow full = culvert_flow(long_barrel(), 0.9, 12.0, 11.5);
    EXPECT_EQ(full.flow_type, 4);
    EXPECT_NEAR(full.discharge, 1.3959376107088655, 1e-9);
    // Headwater 11 m (1.1 rises), free outlet at 9.9 m: the barrel flows at
    // half its headwater depth, y = 0.5 m, half full (A = pi/8), type 2:
    //   Q = 0.3926991 sqrt(1.1 / 0.1582767) = 1.035256.
    const CulvertFlow part = culvert_flow(long_barrel(), 0.9, 11.0, 9.9);
    EXPECT_EQ(part.flow_type, 2);
    EXPECT_NEAR(part.discharge, 1.035255914105164, 1e-9);
}

}  // namespace
}  // namespace torva
