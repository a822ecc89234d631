// The face limit applied to the predictor-corrector's averaged discharge, in
// both directions of a face: towards the neighbour (east or south, positive)
// and back from it (west or north, negative).

#include <gtest/gtest.h>

#include "surface/overland_laws.hpp"

namespace torva {
namespace {

namespace law = overland_law;

// Cells of 10 m over a 1 s sub-step (volume rate 100 m2/s). The higher
// cell's surface stands 0.2 m above the lower's and holds 0.2 m above its
// retention, the lower 0.05 m. The face may level half the drop in a sweep,
// 0.1 m of the giver: a cap of 10 m3/s. Where the pair passes 6 m3/s on in the
// flow's direction the cap widens by half of it, to 13 m3/s; it never passes
// the giver's 0.2 m (20 m3/s). A flow against the fall of the surfaces
// passes nothing. Taken from the lower cell's depth, the cap would be 5 m3/s.
TEST(FaceLimit, AveragedDischargeHeldToTheGiversCapInBothDirections) {
    const law::AdeCell high{10.2, 0.2, 20.0, 0.2};
    const law::AdeCell low{10.0, 0.05, 20.0, 0.05};
    const struct {
        bool towards_neighbour;  // the cell is the high one: flow east or south
        double q, passed_on, limited;
    } cases[] = {
        {true, 0.5, 0.0, 0.5},      {true, 15.0, 0.0, 10.0},    {true, 15.0, 6.0, 13.0},
        {true, 30.0, 40.0, 20.0},   {true, -1.0, 0.0, 0.0},     {false, -0.5, 0.0, -0.5},
        {false, -15.0, 0.0, -10.0}, {false, -15.0, 6.0, -13.0}, {false, -30.0, 40.0, -20.0},
        {false, 1.0, 0.0, 0.0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.q) + (c.towards_neighbour ? " east" : " west"));
        const double sign = c.towards_neighbour ? 1.0 : -1.0;
        auto passed_on = [&](double asked) {
            EXPECT_EQ(asked, sign);  // what passes on in the flow's direction
            return c.passed_on;
        };
        const law::AdeCell& cell = c.towards_neighbour ? high : low;
        const law::AdeCell& neighbour = c.towards_neighbour ? low : high;
        EXPECT_NEAR(law::limit_face_discharge(c.q, cell, neighbour, 100.0, passed_on), c.limited,
                    1e-9);
    }
}

}  // namespace
}  // namespace torva
