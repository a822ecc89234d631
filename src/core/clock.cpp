#include "core/clock.hpp"

#include <cmath>

namespace torva {

double calendar_to_julian(int year, int month, int day, int hour, int minute, double second) {
    // Gregorian day number of the civil date (noon), then the astronomical
    // half-day offset so that midnight falls on .5.
    const long a = (14 - month) / 12;
    const long y = static_cast<long>(year) + 4800 - a;
    const long m = month + 12 * a - 3;
    const long day_number = day + (153 * m + 2) / 5 + 365 * y + y / 4 - y / 100 + y / 400 - 32045;
    return static_cast<double>(day_number) - 0.5 + hour / 24.0 + minute / 1440.0 + second / 86400.0;
}

CalendarTime julian_to_calendar(double julian) {
    CalendarTime t;
    const double shifted = julian + kTimeTolerance + 0.5;
    const double whole = std::floor(shifted);
    double fraction = shifted - whole;
    const long day_number = static_cast<long>(whole);

    // Gregorian calendar from the day count (epoch offset 1721119).
    long j = day_number - 1721119;
    long y = (4 * j - 1) / 146097;
    j = 4 * j - 1 - 146097 * y;
    long d = j / 4;
    j = (4 * d + 3) / 1461;
    d = 4 * d + 3 - 1461 * j;
    d = (d + 4) / 4;
    long m = (5 * d - 3) / 153;
    d = 5 * d - 3 - 153 * m;
    d = (d + 5) / 5;
    y = 100 * y + j;
    if (m < 10) {
        m += 3;
    } else {
        m -= 9;
        ++y;
    }
    t.year = static_cast<int>(y);
    t.month = static_cast<int>(m);
    t.day = static_cast<int>(d);

    fraction *= 24.0;
    t.hour = static_cast<int>(fraction);
    fraction = (fraction - t.hour) * 60.0;
    t.minute = static_cast<int>(fraction);
    t.second = (fraction - t.minute) * 60.0;
    t.day_of_week = static_cast<int>((day_number + 1) % 7);
    return t;
}

int day_of_year(int year, int month, int day) {
    static const int kMonthDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    int doy = day;
    for (int i = 1; i < month && i <= 12; ++i) {
        doy += kMonthDays[i - 1];
        if (i == 2 && (year - 1900) % 4 == 0)
            doy += 1;
    }
    return doy;
}

}  // namespace torva
