// Julian dates and the calendar, both ways.

#include <gtest/gtest.h>

#include "core/clock.hpp"

namespace torva {
namespace {

TEST(Clock, KnownJulianDates) {
    EXPECT_DOUBLE_EQ(calendar_to_julian(2000, 1, 1, 12, 0), 2451545.0);
    EXPECT_DOUBLE_EQ(calendar_to_julian(2000, 1, 1, 0, 0), 2451544.5);
    EXPECT_DOUBLE_EQ(calendar_to_julian(2000, 1, 1, 12, 30), 2451545.0 + 30.0 / 1440.0);
    EXPECT_DOUBLE_EQ(calendar_to_julian(1858, 11, 17), 2400000.5);
    EXPECT_DOUBLE_EQ(calendar_to_julian(2024, 3, 1) - calendar_to_julian(2024, 2, 28), 2.0);
    EXPECT_DOUBLE_EQ(calendar_to_julian(2100, 3, 1) - calendar_to_julian(2100, 2, 28), 1.0);
}

TEST(Clock, CalendarOfAJulianDate) {
    const CalendarTime t = julian_to_calendar(2451545.0);
    EXPECT_EQ(t.year, 2000);
    EXPECT_EQ(t.month, 1);
    EXPECT_EQ(t.day, 1);
    EXPECT_EQ(t.hour, 12);
    EXPECT_EQ(t.minute, 0);
    EXPECT_EQ(t.day_of_week, 6);  // a Saturday
}

TEST(Clock, WholeSecondsSurviveTheRoundTrip) {
    // Every 30 s step of a day comes back with its own minute and second.
    const double start = calendar_to_julian(2020, 6, 1, 10, 0);
    for (int step = 0; step < 2880; ++step) {
        const CalendarTime t = julian_to_calendar(start + step * (30.0 / 86400.0));
        const int total_seconds = 10 * 3600 + step * 30;
        const int second_of_day = total_seconds % 86400;
        ASSERT_EQ(t.hour, second_of_day / 3600) << step;
        ASSERT_EQ(t.minute, second_of_day / 60 % 60) << step;
        ASSERT_EQ(static_cast<int>(t.second), second_of_day % 60) << step;
        ASSERT_EQ(t.day, total_seconds >= 86400 ? 2 : 1) << step;
    }
}

TEST(Clock, DayOfYearCountsFebruaryBySteps) {
    EXPECT_EQ(day_of_year(2020, 3, 1), 61);
    EXPECT_EQ(day_of_year(2021, 3, 1), 60);
    EXPECT_EQ(day_of_year(2021, 12, 31), 365);
}

TEST(Clock, ScheduledTimesAreReachedWithinOneHundredthOfASecond) {
    const double t = calendar_to_julian(2020, 6, 1, 10, 0);
    EXPECT_TRUE(time_reached(t + 0.005 / 86400.0, t));
    EXPECT_FALSE(time_reached(t + 0.02 / 86400.0, t));
}

}  // namespace
}  // namespace torva
