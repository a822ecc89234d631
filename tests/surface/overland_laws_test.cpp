// The fast cube root behind every overland face discharge.

#include "surface/overland_laws.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

namespace torva {
namespace {

using overland_law::cube_root;
using overland_law::depth_to_five_thirds;

// Distance from the true root in units of the last place of the result.
double ulps_from_true_root(double x) {
    const double y = cube_root(x);
    const long double exact = cbrtl(static_cast<long double>(x));
    const double ulp = std::nextafter(y, std::numeric_limits<double>::infinity()) - y;
    return static_cast<double>(std::fabs(static_cast<long double>(y) - exact) / ulp);
}

TEST(CubeRoot, WithinOneUnitInTheLastPlaceFromFilmsToFloods) {
    // Flow depths and squared depths from a film of 1e-30 m to 1e12 m2,
    // log-uniform, and every mantissa pattern near the powers of two.
    std::mt19937_64 random(20261206);
    std::uniform_real_distribution<double> decade(-30.0, 12.0);
    double worst = 0.0;
    for (int k = 0; k < 200000; ++k)
        worst = std::max(worst, ulps_from_true_root(std::pow(10.0, decade(random))));
    for (int e = -100; e <= 100; ++e)
        for (double m : {1.0, 1.0 + 1e-15, 1.5, 2.0 - 1e-15})
            worst = std::max(worst, ulps_from_true_root(std::ldexp(m, e)));
    EXPECT_LT(worst, 1.0);
}

TEST(CubeRoot, ExactCubesAndTheEdgesOfTheNumbers) {
    EXPECT_EQ(cube_root(8.0), 2.0);
    EXPECT_EQ(cube_root(27.0), 3.0);
    EXPECT_EQ(cube_root(0.125), 0.5);
    EXPECT_EQ(cube_root(1.0), 1.0);
    EXPECT_EQ(cube_root(0.0), 0.0);
    const double tiny = std::numeric_limits<double>::denorm_min();
    // The smallest subnormal, 2^-1074, goes to the library: its root is 2^-358.
    EXPECT_NEAR(cube_root(tiny), std::ldexp(1.0, -358), std::ldexp(1.0, -358) * 1e-15);
    EXPECT_EQ(cube_root(std::numeric_limits<double>::infinity()),
              std::numeric_limits<double>::infinity());
    EXPECT_TRUE(std::isnan(cube_root(std::numeric_limits<double>::quiet_NaN())));
    EXPECT_EQ(cube_root(-8.0), -2.0);
    // A depth of 1 m gives 1; 0.001 m gives 1e-5 to round-off.
    EXPECT_EQ(depth_to_five_thirds(1.0), 1.0);
    EXPECT_NEAR(depth_to_five_thirds(0.001), 1e-5, 1e-20);
}

// The upstream cell drives an ADE face: its depth above its retention and
// its roughness. Water standing 0.5 m higher in the neighbour (n = 0.1, 0.25 m
// deep, 0.05 m retention) flows back across a 10 m face at the slope 0.05:
//   Q = -0.2^(5/3) sqrt(0.05) / 0.1 * 10 = -1.5294490 m3/s.
// Over a 10 s sub-step (100 m2 / 10 s = 10 m2/s) the face limit, the lesser of
// half the 0.5 m fall and the 0.2 m held, is 2 m3/s: it does not bind.
TEST(AdeFace, TheUpstreamCellsDepthAndRoughnessDriveTheFlow) {
    const overland_law::AdeCell cell{10.0, 0.1, 1.0 / 0.05};
    const overland_law::AdeCell neighbour{10.5, 0.2, 1.0 / 0.1};
    EXPECT_NEAR(overland_law::ade_face_discharge(cell, neighbour, 10.0, 10.0), -1.5294490, 1e-7);
    EXPECT_NEAR(overland_law::ade_face_discharge(neighbour, cell, 10.0, 10.0), 1.5294490, 1e-7);
}

}  // namespace
}  // namespace torva
