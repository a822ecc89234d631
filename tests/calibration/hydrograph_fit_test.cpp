// The whole-hydrograph objectives on a ten-point series, against figures
// worked by hand, and the observed hydrograph file they read.

#include "calibration/hydrograph_fit.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "calibration/calibration_state.hpp"
#include "core/context.hpp"
#include "support/harness.hpp"

namespace torva {
namespace {

// Observed 1, 2, ..., 10 m3/s: mean 5.5, squared departures from it 82.5.
const std::vector<double> kObserved = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};

std::vector<double> each(double (*f)(double)) {
    std::vector<double> v;
    for (double o : kObserved) v.push_back(f(o));
    return v;
}

// A perfect fit scores 1 (and no bias); the observed mean scores an NSE of 0;
// one too many every time: squared errors 10, NSE 1 - 10/82.5 = 29/33;
// correlation 1, same spread, mean 6.5/5.5, KGE 1 - 2/11 = 9/11; bias
// 100 (55 - 65)/55 = -200/11 %. Twice the flow: squared errors 385,
// NSE 1 - 385/82.5 = -11/3; spread and mean doubled, KGE 1 - sqrt(2); bias
// -100 %. On logarithms, the series whose every value is the mean of the
// observed logarithms scores 0.
TEST(HydrographFit, MeasuresOfTenPointsAgainstHandFigures) {
    const struct {
        const char* name;
        std::vector<double> simulated;
        double nse, kge, pbias;
    } cases[] = {
        {"perfect", kObserved, 1.0, 1.0, 0.0},
        {"one more", each([](double o) { return o + 1.0; }), 29.0 / 33.0, 9.0 / 11.0,
         -200.0 / 11.0},
        {"twice", each([](double o) { return 2.0 * o; }), -11.0 / 3.0, 1.0 - std::sqrt(2.0),
         -100.0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const HydrographFit fit = hydrograph_fit(kObserved, c.simulated);
        EXPECT_EQ(fit.points, 10);
        EXPECT_NEAR(fit.nse, c.nse, 1e-12);
        EXPECT_NEAR(fit.kge, c.kge, 1e-12);
        EXPECT_NEAR(fit.pbias, c.pbias, 1e-12);
        EXPECT_NEAR(objective_value(Objective::nse, fit), 1.0 - c.nse, 1e-12);
        EXPECT_NEAR(objective_value(Objective::kge, fit), 1.0 - c.kge, 1e-12);
        EXPECT_NEAR(objective_value(Objective::pbias, fit), std::fabs(c.pbias), 1e-12);
    }
    EXPECT_EQ(hydrograph_fit(kObserved, kObserved).log_nse, 1.0);
    EXPECT_NEAR(hydrograph_fit(kObserved, std::vector<double>(10, 5.5)).nse, 0.0, 1e-15);
    // eps is a hundredth of the observed mean, 0.055.
    double log_mean = 0.0;
    for (double o : kObserved) log_mean += std::log(o + 0.055) / 10.0;
    const std::vector<double> level(10, std::exp(log_mean) - 0.055);
    EXPECT_NEAR(hydrograph_fit(kObserved, level).log_nse, 0.0, 1e-12);
    // A flat simulation has no spread: its KGE is not a number to rank by.
    EXPECT_TRUE(std::isinf(
        objective_value(Objective::kge, hydrograph_fit(kObserved, std::vector<double>(10, 5.5)))));
}

// Observed times between the simulated steps take the straight line between
// them; times after the run are left out.
TEST(HydrographFit, ObservationsMeetTheSimulationAtTheirTimes) {
    CalibrationResults run;
    run.hydrograph_minutes = {0.5, 1.0, 1.5, 2.0};
    run.hydrograph_discharge = {0.0, 1.0, 3.0, 2.0};
    ObservedHydrograph observed{.minutes = {0.0, 0.75, 1.25, 2.0, 2.5},
                                .discharge = {9, 9, 9, 9, 9}};
    std::vector<double> o, s;
    pair_with_simulation(observed, run, o, s);
    EXPECT_EQ(s, (std::vector<double>{0.0, 0.5, 2.0, 2.0}));
    EXPECT_EQ(o.size(), 4u);
}

TEST(HydrographFit, ObservedHydrographFilesThatCannotBeUsedAreRefused) {
    const struct {
        const char* text;
        const char* message;
    } cases[] = {
        {"# t q\n0 1.5\n5 2\n", ""},
        {"0 1\n5 x\n",
         "Error: line 2 of the observed hydrograph q.txt is not a time in minutes "
         "and a discharge: 5 x\n"},
        {"0 1\n5 -2\n",
         "Error: line 2 of the observed hydrograph q.txt has a negative discharge.\n"},
        {"0 1\n0 2\n",
         "Error: line 2 of the observed hydrograph q.txt is not later than the line before.\n"},
        {"0 1\n", "Error: the observed hydrograph q.txt holds fewer than two points.\n"},
        {"0 nan\n5 1\n",
         "Error: line 1 of the observed hydrograph q.txt is not a time in minutes "
         "and a discharge: 0 nan\n"},
        {"# gauge on link 3\nlocation 3 2\n0 1.5\n5 2\n", ""},
        {"LOCATION 3\n0 1.5\n5 2\n",
         "Error: line 1 of the observed hydrograph q.txt is not LOCATION link node (a "
         "hydrograph location of the project): LOCATION 3\n"},
        {"0 1.5\nLOCATION 3 2\n5 2\n",
         "Error: line 2 of the observed hydrograph q.txt is not a time in minutes "
         "and a discharge: LOCATION 3 2\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        test::TempDir dir;
        dir.write("q.txt", c.text);
        RunContext ctx;
        test::Console console(ctx);
        ObservedHydrograph observed;
        const bool read = read_observed_hydrograph(ctx, dir.file("q.txt"), observed);
        EXPECT_EQ(read, *c.message == '\0');
        if (read) {
            EXPECT_EQ(observed.discharge, (std::vector<double>{1.5, 2.0}));
            const bool located = std::string(c.text).find("location") != std::string::npos;
            EXPECT_EQ(observed.link, located ? 3 : 0);
            EXPECT_EQ(observed.node, located ? 2 : 0);
        } else {
            std::string said = console.text();
            const std::string full = dir.file("q.txt");
            for (std::size_t at; (at = said.find(full)) != std::string::npos;)
                said.replace(at, full.size(), "q.txt");
            EXPECT_EQ(said, c.message);
        }
    }
}

}  // namespace
}  // namespace torva
