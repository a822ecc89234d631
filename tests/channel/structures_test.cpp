// Hydraulic structure laws against hand-computed discharges, at levels where
// a wrong power or a dropped friction term would show.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "channel/culverts.hpp"
#include "channel/structures.hpp"
#include "core/context.hpp"
#include "support/harness.hpp"

namespace torva {
namespace {

TEST(Weir, FreeDrownedReversedAndStillCases) {
    struct Case {
        double cf, cr, length, crest, h_up, h_dn, expected;
        const char* why;
    };
    const Case cases[] = {
        // free: (2/3) C L sqrt(19.62 H1^3 / 3) = (2/3) sqrt(6.54) = 1.704895
        {1.0, 1.0, 1.0, 0.0, 1.0, -1.0, 1.7048949136725895, "free, H1 = 1 m"},
        // The head to the three halves, the lower side below 2/3 of it:
        //   H = 0.5, C = 1, L = 2: (4/3) sqrt(19.62 * 0.125 / 3) = (4/3) sqrt(0.8175) = 1.205543
        //   H = 2.25, C = 0.6, L = 3: 1.2 sqrt(19.62 * 11.390625 / 3) = 1.2 sqrt(74.49469)
        {1.0, 1.0, 2.0, 0.0, 0.5, -1.0, 1.2055427546683415, "free, H1 = 0.5 m"},
        {1.0, 1.0, 2.0, 0.0, -1.0, 0.5, -1.2055427546683415, "free, H1 = 0.5 m, reversed"},
        {0.6, 0.6, 3.0, 100.0, 102.25, 100.5, 10.357236600560983, "free over a crest at 100 m"},
        // drowned (0.8 >= 2/3 of 1.0): C L H2 sqrt(19.62 dH) = 0.6*2*0.8*sqrt(3.924)
        {0.6, 0.5, 2.0, 0.0, 1.0, 0.8, 1.9016725270140493, "drowned"},
        // the same levels swapped take the reverse coefficient: -0.5*2*0.8*sqrt(3.924)
        {0.6, 0.5, 2.0, 0.0, 0.8, 1.0, -1.5847271058450412, "drowned, reverse"},
        // a drop below 1 cm is linearised: sqrt(1962) * 1 * 1 * 1.0 * 0.005
        {1.0, 1.0, 1.0, 0.0, 1.005, 1.0, 0.22147234590350104, "drowned, 5 mm drop"},
        // The drowning point: the lower side at 2/3 of H1 = 0.9 m. Below it,
        // at 0.55 m, the weir is free, (2/3) 0.6 * 2 sqrt(19.62 * 0.729 / 3) =
        // 1.746798; above it, at 0.65 m, drowned, 0.6 * 2 * 0.65 sqrt(19.62 * 0.25)
        // = 1.727484 (free it would pass 1.746798 still).
        {0.6, 0.6, 2.0, 0.0, 0.9, 0.55, 1.746797755895055, "free below the drowning point"},
        {0.6, 0.6, 2.0, 0.0, 0.9, 0.65, 1.727484298047308, "drowned above it"},
        {1.0, 1.0, 1.0, 0.0, -0.1, -0.2, 0.0, "both below the crest"},
        {1.0, 1.0, 1.0, 0.0, 0.7, 0.7, 0.0, "levels equal"},
    };
    for (const Case& c : cases)
        EXPECT_NEAR(weir_discharge(c.cf, c.cr, c.length, c.crest, c.h_up, c.h_dn), c.expected,
                    1e-12 * std::max(1.0, std::fabs(c.expected)))
            << c.why;
    // The linearised drop meets the square root at 1 cm.
    EXPECT_NEAR(weir_discharge(1.0, 1.0, 1.0, 0.0, 1.0099999999, 1.0),
                weir_discharge(1.0, 1.0, 1.0, 0.0, 1.01, 1.0), 1e-8);
}

TEST(SagWeir, ParabolicCrestAndDegenerateCrest) {
    // k = (0.3 - 0.1)/(2*10) = 0.01; the crest integral reduces to
    // sqrt(19.62) C H^2 / sqrt(k) = 4.429447 * 0.25 / 0.1 = 11.073617 for H = 0.5 m.
    StructureFailure failure = StructureFailure::none;
    EXPECT_NEAR(sag_weir_discharge(1.0, 1.0, 10.0, 100.0, 0.1, 0.3, 100.5, 99.0, failure),
                11.073617295175051, 1e-9);
    EXPECT_NEAR(sag_weir_discharge(1.0, 1.0, 10.0, 100.0, 0.1, 0.3, 99.0, 100.5, failure),
                -11.073617295175051, 1e-9);
    EXPECT_EQ(sag_weir_discharge(1.0, 1.0, 10.0, 100.0, 0.1, 0.3, 99.0, 100.0, failure), 0.0);
    EXPECT_EQ(failure, StructureFailure::none);
    sag_weir_discharge(1.0, 1.0, 10.0, 100.0, 0.2, 0.2, 100.5, 99.0, failure);
    EXPECT_EQ(failure, StructureFailure::sag_weir_shape);
}

TEST(BarrelGeometry, HalfFullRoundBarrelAndFullRectangle) {
    // D = 2 m at y = 1 m: theta = pi/2, A = r^2 theta = pi/2, P = theta D = pi, T = D.
    const BarrelSection half = barrel_section(StructureKind::round_culvert, 2.0, 0.0, 1.0);
    EXPECT_NEAR(half.area, M_PI / 2.0, 1e-12);
    EXPECT_NEAR(half.perimeter, M_PI, 1e-12);
    EXPECT_NEAR(half.top_width, 2.0, 1e-12);
    const BarrelSection rect = barrel_section(StructureKind::rect_culvert, 1.0, 2.0, 1.5);
    EXPECT_EQ(rect.area, 2.0);
    EXPECT_EQ(rect.perimeter, 6.0);
    EXPECT_EQ(rect.top_width, 0.0);
    // The oval at its crown: A = (0.450552317 + 0.850625935 - 0.0265118802 - 0.48046422) D B.
    const BarrelSection oval = barrel_section(StructureKind::oval_culvert, 1.0, 2.0, 1.0);
    EXPECT_NEAR(oval.area, 2.0 * 0.7942021518, 1e-9);
}

// A barrel of n 0.013 from invert 10 m down to `outlet`, `size1` high (or
// across) and `size2` wide.
StructureElement barrel(StructureKind kind, double length, double outlet, double forward,
                        double reverse, double size1 = 1.0, double size2 = 0.0) {
    StructureElement c;
    c.kind = kind;
    c.length = length;
    c.up_invert = 10.0;
    c.down_invert = outlet;
    c.coeff_forward = forward;
    c.coeff_reverse = reverse;
    c.size1 = size1;
    c.size2 = size2;
    c.roughness = 0.013;
    return c;
}

// A round barrel of 1 m, forward and reverse coefficients 0.8 and 0.7.
StructureElement round_barrel(double length, double outlet = 9.99) {
    return barrel(StructureKind::round_culvert, length, outlet, 0.8, 0.7);
}

TEST(Culvert, BarrelFlowsFullPartlyReversedOrNot) {
    struct Case {
        double length, outlet, head, tail, discharge;
        int type;
        double tolerance;
        const char* why;
        double forward = 0.8;
        StructureKind kind = StructureKind::round_culvert;
        double width = 0.0;  // of a box; a round barrel is 1 m across
    };
    const Case cases[] = {
        // Headwater 12, tail water 11.5 above the crown: full flow, type 4.
        // L = 15: k = 1, Q = 0.8 (pi/4) sqrt(19.62 * 0.5) = 1.967951.
        {15.0, 9.99, 12.0, 11.5, 1.9679513802075135, 4, 1e-6, "full, 15 m"},
        // L = 15.01: friction enters in velocity heads, in metres and seconds:
        // k = 2g C^2 n^2 L / (D/4)^(4/3) + 1 = 19.62 * 0.64 * 0.0161070 + 1 =
        // 1.202248, Q = 1.967951 / sqrt(k) = 1.794802.
        {15.01, 9.99, 12.0, 11.5, 1.7948022006705204, 4, 1e-6, "full, 15.01 m"},
        // L = 39.99, still short (not above 40 rises): n^2 L / R^(4/3) = 0.0429126,
        // k = 19.62 * 0.64 * 0.0429126 + 1 = 1.538845, Q = 1.967951 / sqrt(k) = 1.586416.
        {39.99, 9.99, 12.0, 11.5, 1.5864155061169545, 4, 1e-6, "full, 39.99 m"},
        // L = 40.01, long and mild (slope 0.01 / 40.01): outlet control without
        // the entrance coefficient, Q = 0.7853975 sqrt(0.5 / (0.0429341 + 1/19.62))
        // = 1.812325.
        {40.01, 9.99, 12.0, 11.5, 1.8123248428012995, 4, 1e-6, "full, 40.01 m"},
        // Across 40 rises only the entrance loss changes, 1/C^2 velocity heads
        // against 1: with C = 1 the short form meets the long one, 39.99 m
        // passing 1.812533 against the 1.812325 of 40.01 m.
        {39.99, 9.99, 12.0, 11.5, 1.8125334842654892, 4, 1e-9, "full, 39.99 m, C = 1", 1.0},
        // The levels swapped: inlet at 9.99, reverse coefficient:
        // -0.7 (pi/4) sqrt(19.62 * 0.5) = -1.721957, type -4.
        {15.0, 9.99, 11.5, 12.0, -1.7219574576815737, -4, 1e-6, "reversed"},
        // Flow would run backwards from 9.995, but the outlet invert is at 10.
        {15.0, 9.99, 9.5, 9.995, 0.0, 0, 0.0, "below the outlet invert"},
        {15.0, 9.99, 9.9, 9.0, 0.0, 0, 0.0, "below the inlet invert"},
        // 100 m long (more than 40 rises) down to 9.9 m (slope 0.001, mild):
        // outlet control, where the head lost through the barrel is
        // dH = (Q/A)^2 (n^2 L / R^(4/3) + 1/(2g)). Full or half full,
        // R = D/4 = 0.25 m, so the loss factor is
        //   0.013^2 * 100 / 0.25^(4/3) + 1/19.62 = 0.0169 / 0.1574901 + 0.0509684 = 0.1582767.
        // Headwater 12 m, tail water 11.5 m above the crown: full, A = 3.14159 / 4,
        //   Q = 0.7853975 sqrt(0.5 / 0.1582767) = 1.395938.
        {100.0, 9.9, 12.0, 11.5, 1.3959376107088655, 4, 1e-9, "long, full"},
        // Headwater 11 m (1.1 rises), free outlet at 9.9 m: the barrel flows at
        // half its headwater depth, y = 0.5 m, half full (A = pi/8), type 2:
        //   Q = 0.3926991 sqrt(1.1 / 0.1582767) = 1.035256.
        {100.0, 9.9, 11.0, 9.9, 1.035255914105164, 2, 1e-9, "long, part full"},
        // A box 1 m high and 2 m wide, 20 m long, flowing full under 0.5 m:
        // its wetted perimeter takes the roof, 2 (1 + 2) = 6 m, so R = 2 / 6 m
        // and k = 1 + 19.62 * 0.64 * 0.013^2 * 20 / (1/3)^(4/3) = 1.183636,
        // Q = 0.8 * 2 sqrt(19.62 * 0.5 / k) = 4.606228 m3/s (an open top,
        // R = 0.5 m, would give 4.763).
        {20.0, 9.99, 12.0, 11.5, 4.606228099031104, 4, 1e-9, "box, full", 0.8,
         StructureKind::rect_culvert, 2.0},
    };
    for (const Case& c : cases) {
        const CulvertFlow flow = culvert_flow(
            barrel(c.kind, c.length, c.outlet, c.forward, 0.7, 1.0, c.width), 0.9, c.head, c.tail);
        EXPECT_NEAR(flow.discharge, c.discharge, c.tolerance) << c.why;
        EXPECT_EQ(flow.flow_type, c.type) << c.why;
    }
}

TEST(Culvert, TooShortBarrelIsAFailureNamingTheCulvert) {
    EXPECT_EQ(culvert_flow(round_barrel(0.00005), 0.9, 12.0, 11.5).failure,
              StructureFailure::culvert_length);
    RunContext ctx;
    test::Console console(ctx);
    StructureWork work;
    EXPECT_EQ(structure_element_discharge(ctx, round_barrel(0.0), 7, work, 12.0, 11.0, 0.0), 0.0);
    EXPECT_EQ(ctx.error.code, err::message_printed);
    EXPECT_EQ(console.text(),
              "Problem in culv_flow (ex_flow_route.c).  The culvert barrel length\n"
              "in culvert number 7 is 0.0.  This is not possible. Program terminated.\n");
}

TEST(Culvert, RectangularInletControlUsesTheTransitionCoefficient) {
    // 2 m wide, 1 m high, 10 m long from 10 down to 9.5 (steep, S = 0.05), C 0.6.
    const StructureElement c = barrel(StructureKind::rect_culvert, 10.0, 9.5, 0.6, 0.6, 1.0, 2.0);
    // At headwater 1.5 D the outlet runs free (type 6): Qa = 0.6 * 2 * sqrt(19.62 * 1.0).
    // At 1.49 D the critical depth is 2/3 * 1.49 = 0.99333, Ac = 1.98667, so
    // C_t = Qa / (sqrt(19.62 (1.49 - 0.99333)) Ac) = 0.857085.
    StructureFailure failure = StructureFailure::none;
    const double c_t = culvert_transition(c, failure);
    EXPECT_NEAR(c_t, 0.8570846836034133, 1e-9);
    // Headwater 0.9 m over the inlet, tail water below the outlet: type 1,
    // yc = 0.6, Q = C_t (0.6 * 2) sqrt(19.62) sqrt(0.3) = 2.495256.
    const CulvertFlow q = culvert_flow(c, c_t, 10.9, 9.0);
    EXPECT_NEAR(q.discharge, 2.4952560032174427, 1e-9);
    EXPECT_EQ(q.flow_type, 1);
    EXPECT_NEAR(q.critical_depth, 0.6, 1e-12);
}

TEST(Culvert, InletControlAtCriticalDepthJoinsOrificeFlow) {
    for (StructureKind kind : {StructureKind::round_culvert, StructureKind::oval_culvert}) {
        // A short steep barrel with a free outlet: inlet control at critical
        // depth below a headwater of 1.5 rises, orifice flow above.
        const StructureElement c = barrel(kind, 10.0, 9.5, 0.6, 0.6, 1.0, 1.5);
        StructureFailure failure = StructureFailure::none;
        const double c_t = culvert_transition(c, failure);
        ASSERT_EQ(failure, StructureFailure::none);
        // Half a rise of headwater: the found discharge passes at critical depth
        // with the head above it as velocity head, Q = C A(yc) sqrt(2g (h - yc)),
        // with C blended towards C_t by r/1.5 = 1/3.
        const CulvertFlow half = culvert_flow(c, c_t, 10.5, 9.0);
        ASSERT_EQ(half.failure, StructureFailure::none);
        EXPECT_EQ(half.flow_type, 1);
        const double coeff = (1.0 - 0.5 / 1.5) * 0.6 + 0.5 * c_t / 1.5;
        const double yc = half.critical_depth;
        const BarrelSection s = barrel_section(kind, 1.0, 1.5, yc);
        EXPECT_GT(half.discharge, 0.1);
        EXPECT_NEAR(half.discharge, coeff * s.area * std::sqrt(19.62 * (0.5 - yc)), 2e-4);
        EXPECT_NEAR(half.discharge * half.discharge / 9.81, std::pow(s.area, 3) / s.top_width,
                    1e-6);
        // Across a headwater of 1.5 rises the discharge does not jump.
        const double below = culvert_flow(c, c_t, 11.4999, 9.0).discharge;
        const double above = culvert_flow(c, c_t, 11.5001, 9.0).discharge;
        EXPECT_NEAR(below / above, 1.0, 0.01) << static_cast<int>(kind);
    }
}

TEST(StructureElement, CurvesAndReleasesReadTheirSeries) {
    RunContext ctx;
    ctx.series.elevation_series.push_back({"rating", {100.0, 101.0, 102.0}, {0.0, 2.0, 10.0}});
    ctx.series.time_series.push_back({"release", {0.0, 1.0}, {3.0, 5.0}});
    StructureElement e;
    e.elevation_series = 0;
    e.time_series = 0;
    StructureWork work;
    e.kind = StructureKind::rating_curve;  // interpolated: 2 + 0.25 * 8
    EXPECT_NEAR(structure_element_discharge(ctx, e, 1, work, 101.25, 200.0, 0.0), 4.0, 1e-12);
    e.kind = StructureKind::rule_curve;  // stepped: the value at 101
    EXPECT_NEAR(structure_element_discharge(ctx, e, 1, work, 101.25, 200.0, 0.0), 2.0, 1e-12);
    e.kind = StructureKind::scheduled_release;  // at half a day: 4
    EXPECT_NEAR(structure_element_discharge(ctx, e, 1, work, 0.0, 0.0, 0.5), 4.0, 1e-12);
    EXPECT_FALSE(ctx.error.pending());
}

}  // namespace
}  // namespace torva
