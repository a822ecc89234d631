#pragma once
// Model time is an astronomical Julian date in days (days begin at noon);
// these conversions are shared by every reader and writer of dates.

namespace torva {

// 0.01 s in days: a scheduled time counts as reached within this distance.
inline constexpr double kTimeTolerance = 1.1574074074074074e-7;

struct CalendarTime {
    int year = 0;
    int month = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
    double second = 0.0;
    int day_of_week = 0;  // 0 Sunday .. 6 Saturday
};

double calendar_to_julian(int year, int month, int day, int hour = 0, int minute = 0,
                          double second = 0.0);

// Adds 0.01 s first, so that a time on a whole second is not truncated to the
// second before.
CalendarTime julian_to_calendar(double julian);

// Day of the year with February of 29 days when (year - 1900) is divisible by 4.
int day_of_year(int year, int month, int day);

inline bool time_reached(double model_time, double scheduled) {
    double d = model_time - scheduled;
    return d < kTimeTolerance && d > -kTimeTolerance;
}

}  // namespace torva
