// The observation file and the score of a simulation against it, at the
// outlet or at a hydrograph location the file names.

#include <gtest/gtest.h>

#include "calibration/calibration_state.hpp"
#include "calibration/observations.hpp"
#include "core/context.hpp"
#include "support/harness.hpp"

namespace torva {
namespace {

// One event whose outlet peaked at 2 m3/s and whose location 2 (link 3,
// node 2) peaked at 1 m3/s; location 1 is link 1, node 2.
CalibrationResults two_places() {
    CalibrationResults r;
    r.number_of_events = 1;
    r.event_peak = {0.0, 2.0};
    r.event_volume = {0.0, 900.0};
    r.number_of_locations = 2;
    r.location_link = {0, 1, 3};
    r.location_node = {0, 2, 2};
    r.location_peak = {0.0, 0.0, 0.0, 0.0, 0.5, 1.0};
    r.location_volume = {0.0, 0.0, 0.0, 0.0, 200.0, 400.0};
    return r;
}

// An observed peak of 1.2 m3/s alone: the HMLE of one term is its squared
// error, (1 - 1.2)^2 = 0.04 at link 3 node 2 and (2 - 1.2)^2 = 0.64 at the
// outlet. A volume of 500 m3 alone (scaled by peak over volume, which is 0
// without a peak): the error is then 0 whatever the sum; with the peak of 1.2
// beside it the volume term is ((400 - 500) r)^2 with r = 1.2 / 500, and as
// both weights are 1.44 (1.2^2 and (r 500)^2) the HMLE is the mean of the two
// squared errors. A place the simulation has no hydrograph of scores nothing.
TEST(Observations, LocationLineScoresThatPlaceAndAMissingPlaceScoresNothing) {
    const double volume_error = (400.0 - 500.0) * 1.2 / 500.0;
    const struct {
        const char* file;
        int link, node;
        double hmle;  // none where the place is missing
        bool missing;
    } cases[] = {
        {"LOCATION 3 2\n1\n1.2 1 0 0\n", 3, 2, 0.04, false},
        {"location 1 2\n1\n1.2 1 0 0\n", 1, 2, (0.5 - 1.2) * (0.5 - 1.2), false},
        {"1\n1.2 1 0 0\n", 0, 0, 0.64, false},
        {"LOCATION 3 2\n1\n1.2 1 500 1\n", 3, 2, 0.5 * (0.04 + volume_error * volume_error), false},
        {"LOCATION 4 3\n1\n1.2 1 0 0\n", 4, 3, 0.0, true},
    };
    const CalibrationResults simulated = two_places();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        test::TempDir dir;
        dir.write("obs.txt", c.file);
        RunContext ctx;
        Observations obs;
        ASSERT_TRUE(read_observations(ctx, dir.file("obs.txt"), obs));
        EXPECT_EQ(obs.link, c.link);
        EXPECT_EQ(obs.node, c.node);
        const Score score = score_events(obs, simulated, nullptr);
        EXPECT_EQ(score.location_missing, c.missing);
        if (!c.missing)
            EXPECT_NEAR(score.hmle, c.hmle, 1e-12);
    }
    // A LOCATION line without a node, or with node 0, is not an observation file.
    for (const char* bad : {"LOCATION 3\n1\n1.2 1 0 0\n", "LOCATION 3 0\n1\n1.2 1 0 0\n"}) {
        test::TempDir dir;
        dir.write("obs.txt", bad);
        RunContext ctx;
        Observations obs;
        EXPECT_FALSE(read_observations(ctx, dir.file("obs.txt"), obs)) << bad;
    }
}

}  // namespace
}  // namespace torva
