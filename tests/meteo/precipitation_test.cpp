// Rain from gauge files and uniform cards, stepped through the rain phases on
// small grids whose intensities and depths are worked out by hand.

#include <gtest/gtest.h>

#include <vector>

#include "meteo/rain_setup.hpp"

namespace torva {
namespace {

using test::RainSetup;

// Cell 1's intensity at each of `steps` steps.
std::vector<double> intensities(RainSetup& s, int steps, int cell = 1) {
    std::vector<double> seen;
    for (int i = 0; i < steps; ++i) {
        EXPECT_TRUE(s.step()) << s.console();
        seen.push_back(s.rate(cell));
    }
    return seen;
}

void expect_rates(const std::vector<double>& seen, const std::vector<double>& expected) {
    ASSERT_EQ(seen.size(), expected.size());
    for (std::size_t i = 0; i < seen.size(); ++i)
        EXPECT_NEAR(seen[i], expected[i], 1e-6) << "step " << i;
}

std::string one_gauge_event(const std::string& word, double v1, double v2, double v3) {
    char text[512];
    std::snprintf(text, sizeof text,
                  "EVENT \"one gauge\"\nNRGAG 1\nNRPDS 3\nCOORD 50 -50 \"north gauge\"\n"
                  "%s 2004 7 1 10 00 %g\n%s 2004 7 1 10 30 %g\n%s 2004 7 1 11 30 %g\n",
                  word.c_str(), v1, word.c_str(), v2, word.c_str(), v3);
    return text;
}

// Steps of 30 minutes from 10:00; records at 10:00, 10:30 and 11:30.
TEST(GaugeRain, EachDataWordGivesTheHandComputedIntensities) {
    struct Case {
        std::string word;
        double v1, v2, v3;
        std::vector<double> expected;  // mm/h at 10:00, 10:30, 11:00, 11:30, 12:00
    };
    const Case cases[] = {
        // Accumulated 0, 2, 5 mm: 2 mm in half an hour, then 3 mm in an hour.
        {"ACCUM", 0.0, 2.0, 5.0, {4.0, 3.0, 3.0, 0.0, 0.0}},
        // Depths of the intervals ending at each stamp; the first record's 7 mm
        // end no interval of the event and never fall.
        {"GAGES", 7.0, 2.0, 3.0, {4.0, 3.0, 3.0, 0.0, 0.0}},
        // Intensities of the interval ending at each stamp.
        {"RADAR", 9.0, 4.0, 3.0, {4.0, 3.0, 3.0, 0.0, 0.0}},
        // Intensities from each stamp on; the last rate lasts to the end of the run.
        {"RATES", 6.0, 2.0, 1.0, {6.0, 2.0, 2.0, 1.0, 1.0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.word);
        RainSetup s(1, 2, 100.0, 1800.0);
        s.use_file(one_gauge_event(c.word, c.v1, c.v2, c.v3));
        s.prepare();
        ASSERT_FALSE(s.ctx.error.pending()) << s.console();
        EXPECT_EQ(s.model->clock.start_time, calendar_to_julian(2004, 7, 1, 10, 0));
        expect_rates(intensities(s, 5), c.expected);
        EXPECT_EQ(s.rate(2), s.rate(1));
    }
}

TEST(GaugeRain, AccumulatedDepthReachesTheGroundAndTheTotals) {
    RainSetup s(1, 2, 100.0, 600.0);
    s.use_file(one_gauge_event("ACCUM", 0.0, 2.0, 5.0));
    s.prepare();
    for (int i = 0; i < 12; ++i) ASSERT_TRUE(s.step()) << s.console();
    // 5 mm on each of two 100 m cells.
    EXPECT_NEAR(s.model->overland.depth[1], 0.005, 1e-12);
    EXPECT_NEAR(s.model->overland.depth[2], 0.005, 1e-12);
    EXPECT_NEAR(s.model->totals.run.precipitation, 100.0, 1e-9);
    EXPECT_NEAR(s.model->totals.event.precipitation, 100.0, 1e-9);
    // Nine ten-minute steps from 10:00 to 11:30 carry rain.
    EXPECT_EQ(s.model->precip.rain_steps, 9);
    EXPECT_FALSE(s.model->precip.raining);
    EXPECT_EQ(s.model->precip.status, PrecipStatus::no_event);
    EXPECT_TRUE(no_further_precipitation(*s.model));
}

// A 1 x 3 strip of 100 m cells, centres at x = 50, 150, 250 on y = -50.
TEST(GaugeRain, InverseDistanceGivesNearbyGaugeItsOwnValue) {
    RainSetup s(1, 3, 100.0, 3600.0);
    s.use_file(
        "EVENT two gauges\nNRGAG 2\nNRPDS 2\n"
        "COORD 0 -50 west\nCOORD 320 -50 east\n"
        "RATES 2004 7 1 10 00 10.0 20.0\nRATES 2004 7 1 11 00 0 0\n");
    s.prepare();
    ASSERT_TRUE(s.step()) << s.console();
    // Cell 1 lies 50 m from the west gauge, cell 3 70 m from the east one:
    // closer than one cell size, each takes its gauge's value exactly.
    EXPECT_EQ(s.rate(1), 10.0);
    EXPECT_EQ(s.rate(3), 20.0);
    // Cell 2: distances 150 m and 170 m, weights 1/22500 and 1/28900:
    // (10/22500 + 20/28900) / (1/22500 + 1/28900) = (10*28900 + 20*22500)/51400.
    EXPECT_NEAR(s.rate(2), 739000.0 / 51400.0, 1e-12);
}

// Which gauge rains on a cell of the 1 x 3 strip: a gauge within a cell size
// gives its own value, the first listed when two are that close; under
// Thiessen a tie of distances goes to the lower gauge number (cell 2, centre
// 150, lies 50 m from both gauges below); a single gauge rains everywhere
// under both methods and needs no table of nearest gauges.
TEST(GaugeRain, NearbyGaugesTiesAndSingleGauges) {
    const struct {
        bool thiessen;
        const char* gauges;
        double rate[3];
    } cases[] = {
        {false,
         "NRGAG 3\nNRPDS 1\nCOORD 60 -50\nCOORD 40 -50\nCOORD 250 -50\n"
         "RATES 2004 7 1 10 00 30.0 10.0 5.0\n",
         {30.0, -1.0, 5.0}},
        {true,
         "NRGAG 2\nNRPDS 1\nCOORD 200 -50 second_listed_first\nCOORD 100 -50\n"
         "RATES 2004 7 1 10 00 20.0 10.0\n",
         {10.0, 20.0, 20.0}},
        {false, "NRGAG 1\nNRPDS 1\nCOORD 5000 5000\nRATES 2004 7 1 10 00 7.5\n", {7.5, 7.5, 7.5}},
        {true, "NRGAG 1\nNRPDS 1\nCOORD 5000 5000\nRATES 2004 7 1 10 00 7.5\n", {7.5, 7.5, 7.5}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.gauges);
        RainSetup s(1, 3, 100.0, 3600.0);
        if (c.thiessen)
            s.card(Card::RAIN_THIESSEN);
        s.use_file(std::string("EVENT gauges\n") + c.gauges);
        s.prepare();
        ASSERT_TRUE(s.step()) << s.console();
        for (int i = 1; i <= 3; ++i)
            if (c.rate[i - 1] >= 0.0)
                EXPECT_EQ(s.rate(i), c.rate[i - 1]) << "cell " << i;
        if (s.model->precip.event.gauge_count == 1)
            EXPECT_TRUE(s.model->precip.nearest_gauge.empty());
        else if (c.thiessen)
            EXPECT_EQ(s.model->precip.nearest_gauge[2], 1);
    }
}

TEST(GaugeFile, CountsInEitherOrderAndTwoDigitYearsAreRead) {
    RainSetup s(1, 1, 100.0, 900.0);
    s.use_file(
        "# storm of 1998\nEVENT \"late storm\"\nNRPDS 2 unrelated words here\nNRGAG 1\n"
        "COORD 0 0\nGAGES 98 7 1 10 0 0\nGAGES 98 7 1 10 30 1.5\n");
    s.prepare();
    ASSERT_FALSE(s.ctx.error.pending()) << s.console();
    EXPECT_EQ(s.model->clock.start_time, calendar_to_julian(1998, 7, 1, 10, 0));
    expect_rates(intensities(s, 3), {3.0, 3.0, 0.0});
    EXPECT_EQ(s.model->precip.event.title, "\"late storm\"");
}

TEST(GaugeFile, EventRunSimulatesOnlyTheFirstOfThreeEvents) {
    RainSetup s(1, 1, 100.0, 1800.0);
    s.use_file(
        "EVENT first\nNRGAG 1\nNRPDS 2\nCOORD 0 0\n"
        "RATES 2004 7 1 10 00 4\nRATES 2004 7 1 10 30 0\n"
        "EVENT second\nNRGAG 1\nNRPDS 1\nCOORD 0 0\nRATES 2004 7 1 11 00 8\n"
        "EVENT third\nNRGAG 1\nNRPDS 1\nCOORD 0 0\nRATES 2004 7 1 12 00 9\n");
    s.prepare();
    EXPECT_EQ(s.console(),
              "End of precipitation input file reached.\n"
              "Precip. file contains 3 events, simulating first event only\n"
              "because LONG_TERM project file card not set in project file.\n");
    EXPECT_EQ(s.model->number_of_events, 1);
    EXPECT_EQ(s.model->precip.events_in_file, 3);
    s.model->run.quiet = true;
    expect_rates(intensities(s, 6), {4.0, 0.0, 0.0, 0.0, 0.0, 0.0});
    EXPECT_EQ(s.model->precip.events_read, 1);
}

TEST(GaugeFile, LongTermRunReadsEachEventWhenItsTimeComes) {
    RainSetup s(1, 1, 100.0, 1800.0);
    s.model->run.long_term = true;
    s.model->run.quiet = true;
    s.use_file(
        "EVENT first\nNRGAG 1\nNRPDS 2\nCOORD 0 0\n"
        "GAGES 2004 7 1 10 00 0\nGAGES 2004 7 1 10 30 1\n"
        "EVENT second\nNRGAG 1\nNRPDS 2\nCOORD 0 0\n"
        "RATES 2004 7 1 11 30 8\nRATES 2004 7 1 12 00 5\n");
    s.prepare();
    EXPECT_EQ(s.console(),
              "End of precipitation input file reached.\nPrecip. file contains 2 events\n");
    EXPECT_EQ(s.model->number_of_events, 2);
    // 10:00 first event, 10:30 dry, 11:00 dry, 11:30 second event, 12:00 last rate.
    expect_rates(intensities(s, 5), {2.0, 0.0, 0.0, 8.0, 5.0});
    EXPECT_EQ(s.model->event_number, 2);
    EXPECT_EQ(s.model->precip.events_read, 2);
    // The last RATES rate of the last event lasts to the end of the run.
    expect_rates(intensities(s, 2), {5.0, 5.0});
    EXPECT_FALSE(no_further_precipitation(*s.model));
}

TEST(GaugeFile, FileListLayoutKeepsRadarFileNames) {
    RainSetup s(1, 1, 100.0, 1800.0);
    s.use_file(
        "EVENT radar\nNRGAG FILES\nNRPDS 2\n"
        "RADAR 2004 7 1 10 00 grids/rain 1.asc\nRADAR 2004 7 1 10 30 grids/rain2.asc\n");
    s.prepare();
    ASSERT_FALSE(s.ctx.error.pending()) << s.console();
    ASSERT_TRUE(s.step());
    const PrecipEvent& e = s.model->precip.event;
    EXPECT_TRUE(e.file_list);
    EXPECT_EQ(e.gauge_count, 1);
    EXPECT_EQ(e.radar_files[1], "grids/rain 1.asc");
    EXPECT_EQ(e.radar_files[2], "grids/rain2.asc");
    EXPECT_EQ(e.radar_files[3], "grids/rain2.asc");
    EXPECT_EQ(s.model->precip.radar_record_due, 1);
}

TEST(EventBookkeeping, EventStartSetsTheSimulatedPeriod) {
    RainSetup s(1, 1, 10.0, 60.0);
    s.model->run.total_time = 90;
    s.use_uniform(10.0, 60);
    s.prepare();
    ASSERT_TRUE(s.step());
    EXPECT_EQ(s.console(), "simulation duration 90 minutes\n");
    EXPECT_DOUBLE_EQ(s.model->period_end, calendar_to_julian(2004, 7, 1, 11, 30));
    EXPECT_EQ(s.model->event_number, 1);
    EXPECT_TRUE(s.model->precip.event_began);
    ASSERT_TRUE(s.step());
    EXPECT_FALSE(s.model->precip.event_began);
    EXPECT_EQ(s.console(), "simulation duration 90 minutes\n") << "printed once per event";
}

// An event run rains until the end of its period and no longer, however many
// steps it takes to close the run: 10 mm/h falling for two hours on a run of
// TOT_TIME minutes leaves 10 mm/h x TOT_TIME on the ground, also when the
// period ends inside a step. Rain of an hour in a longer period falls on
// exactly the 120 steps of 30 s of its hour, 10 mm, and then has finished.
TEST(EventBookkeeping, RainStopsAtTheEndOfTheSimulatedPeriod) {
    struct Case {
        double step_seconds;
        int total_minutes, rain_minutes;
        double depth_mm;  // 10 mm/h x the shorter of TOT_TIME and the rain
        int rain_steps;
    };
    const Case cases[] = {
        {60.0, 60, 120, 10.0, 60},
        {30.0, 45, 120, 7.5, 90},
        // Steps at 0, 2, ..., 60 minutes: the last one has a minute of the period left.
        {120.0, 61, 120, 10.0 + 1.0 / 6.0, 31},
        {30.0, 100, 60, 10.0, 120},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.total_minutes);
        RainSetup s(1, 1, 10.0, c.step_seconds);
        s.model->run.total_time = c.total_minutes;
        s.use_uniform(10.0, c.rain_minutes);
        s.prepare();
        // The driver stops on the first step past the period; step well beyond it.
        const int steps = static_cast<int>(c.total_minutes * 60 / c.step_seconds) + 5;
        for (int i = 0; i < steps; ++i) ASSERT_TRUE(s.step()) << s.console();
        EXPECT_NEAR(s.model->overland.depth[1] * 1000.0, c.depth_mm, 1e-9);
        EXPECT_NEAR(s.model->totals.run.precipitation, c.depth_mm / 1000.0 * 100.0, 1e-9);
        EXPECT_EQ(s.model->precip.rain_steps, c.rain_steps);
        if (c.rain_minutes < c.total_minutes) {
            EXPECT_EQ(s.model->precip.status, PrecipStatus::finished);
            EXPECT_FALSE(s.model->precip.raining);
        }
    }
}

}  // namespace
}  // namespace torva
