// The three hourly weather layouts read into the same hours: conversions to
// model units, the repair of missing values and every refusal, as tables of
// small files written here.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "core/context.hpp"
#include "meteo/hydromet_state.hpp"
#include "meteo/weather_file.hpp"
#include "support/harness.hpp"

namespace torva {
namespace {

using test::TempDir;

// One hour in the units of the files: inches of mercury, %, tenths, knots,
// degrees F, W/m2 (direct, global).
struct FileHour {
    double pressure = 29.92, humidity = 50, sky = 3, wind = 10, temperature_f = 68;
    double direct = 300, global = 500;
};

// The hour of day h of a file: the temperature follows the hour so that a
// repair from the day before can be told from one from the hour before.
FileHour hour_of(int day, int h) {
    FileHour f;
    f.temperature_f = 50 + h;
    f.humidity = 40 + h;
    f.sky = h % 11;
    f.wind = day;
    f.pressure = 29.0 + day / 100.0;
    return f;
}

std::string hmx(int days) {
    std::string text;
    char line[128];
    for (int d = 1; d <= days; ++d)
        for (int h = 0; h < 24; ++h) {
            const FileHour f = hour_of(d, h);
            std::snprintf(line, sizeof line, "2021 4 %d %d %.2f %g %g %g %g %g %g\n", d, h,
                          f.pressure, f.humidity, f.sky, f.wind, f.temperature_f, f.direct,
                          f.global);
            text += line;
        }
    return text;
}

// Surface Airways: one line per element and day, the values of hours 1 to 24
// (24 is hour 0 of the next day). `skip` leaves an element out of a day.
std::string ncdc(int days, const std::string& skip_code = "", int skip_day = 0) {
    const char* codes[] = {"DRAD", "GRAD", "PRES", "RHUM", "TMPD", "TSKC", "WIND"};
    std::string text;
    char head[64], group[32];
    for (int d = 1; d <= days; ++d)
        for (const char* code : codes) {
            if (code == skip_code && d == skip_day)
                continue;
            std::snprintf(head, sizeof head, "HLY%-8s%sXX%04d%02d%04d%03d", "TEST0001", code, 2021,
                          4, d, 24);
            std::string line = head;
            for (int h = 1; h <= 24; ++h) {
                const FileHour f = hour_of(h == 24 ? d + 1 : d, h % 24);
                const std::string c = code;
                const long v = c == "DRAD"   ? std::lround(f.direct * 10)
                               : c == "GRAD" ? std::lround(f.global * 10)
                               : c == "PRES" ? std::lround(f.pressure * 1000)
                               : c == "RHUM" ? std::lround(f.humidity)
                               : c == "TMPD" ? std::lround(f.temperature_f)
                               : c == "TSKC" ? std::lround(f.sky)
                                             : std::lround(f.wind);
                std::snprintf(group, sizeof group, "%02d00%+06ld  ", h, v);
                line += group;
            }
            text += line + "\n";
        }
    return text;
}

// SAMSON: a header, then one line per hour 1 to 24 of each day in its columns.
std::string samson(int days) {
    std::string text = "~99999 TEST             CO  -7  N40  0 W105  0  1650\n";
    for (int d = 1; d <= days; ++d)
        for (int h = 1; h <= 24; ++h) {
            const FileHour f = hour_of(h == 24 ? d + 1 : d, h % 24);
            char line[160];
            // Columns 2-3 year, 5-6 month, 8-9 day, 11-12 hour, 26-29 global,
            // 33-36 direct, 47-48 sky, 53-57 temperature C, 65-67 humidity,
            // 69-72 pressure mb, 78-82 wind m/s.
            std::snprintf(line, sizeof line,
                          " 21 04 %02d %02d 0 %4d %4d %4.0f   %4.0f   %4.0f   %2.0f %2.0f "
                          "%5.1f %5.1f %3.0f %4.0f %3d %5.1f\n",
                          d, h, 0, 0, f.global, f.direct, 0.0, f.sky, f.sky,
                          (f.temperature_f - 32) / 1.8, 0.0, f.humidity,
                          f.pressure * 1013.25 / 29.92, 180, f.wind * 0.514444);
            text += line;
        }
    return text;
}

struct Scan {
    bool ok = false;
    std::string console;
    Hydromet hm;
};

Scan scan(WeatherFormat format, const std::string& text) {
    TempDir dir;
    RunContext ctx;
    test::Console console(ctx);
    Scan s;
    s.ok = scan_weather_file(s.hm, ctx, format, dir.write("w.txt", text).string());
    s.console = console.text();
    return s;
}

// The text with the first `from` after `anchor` replaced.
std::string with(std::string text, const std::string& from, const std::string& to,
                 const std::string& anchor = "") {
    const std::size_t at = text.find(from, text.find(anchor));
    EXPECT_NE(at, std::string::npos) << from;
    return at == std::string::npos ? text : text.replace(at, from.size(), to);
}

// The same hour, 2 April 2021 14:00, read from each layout in model units:
// 29.02 inHg = 982.7 mb, 54 % humidity, 3 tenths, 2 knots = 1.028888 m/s,
// 64 F = 17.7778 C, 300 and 500 W/m2 (SAMSON rounds to its columns). And the
// same file with that hour's temperature and wind marked missing: a missing
// temperature or humidity takes the same hour of the day before, a missing
// wind, pressure or sky cover the hour before, so the temperature of 1 April
// 14:00 (64 F) and the wind of 13:00 (2 knots) stand in for them.
TEST(WeatherLayouts, EachLayoutGivesTheHandConvertedHourAndRepairsMissingValues) {
    struct Case {
        const char* name;
        WeatherFormat format;
        std::string text, missing;  // whole, and with the two values marked missing
        const char* banner;
        double pressure, wind, temperature;  // mb, m/s, C: to the layout's digits
        int first_hour;                      // of the file
    };
    const Case cases[] = {
        {"HMX", WeatherFormat::hmx, hmx(3),
         with(hmx(3), "2021 4 2 14 29.02 54 3 2 64", "2021 4 2 14 29.02 54 3 999 999"),
         "End of hmet_HMX file encountered after 72 lines\n", 29.02 * 1013.25 / 29.92, 2 * 0.514444,
         14.0 / 1.8 + 10.0, 0},
        {"Surface Airways", WeatherFormat::surface_airways, ncdc(3),
         with(with(ncdc(3), "1400+00064  ", "1400-99999M ", "TMPDXX2021040002"), "1400+00002  ",
              "1400+00002M ", "WINDXX2021040002"),
         "End of hmet_NCDC file encountered after 21 lines\nDRAD GRAD PRES RHUM TMPD TSKC "
         "WIND\n 3  3  3  3  3  3  3\n",
         29020 * 33.86530748663101 / 1000, 2 * 0.514444, 14.0 / 1.8 + 10.0, 1},
        {"SAMSON", WeatherFormat::samson, samson(3),
         with(samson(3), " 17.8   0.0  54  983 180   1.0", "9999.   0.0  54  983 180 9999.",
              " 21 04 02 14 0"),
         "End of hmet_SAMSON file encountered after 73 lines\n", 983.0, 1.0, 17.8, 1},
    };
    for (const Case& c : cases)
        for (const bool repaired : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (repaired ? ", repaired" : ""));
            Scan s = scan(c.format, repaired ? c.missing : c.text);
            ASSERT_TRUE(s.ok) << s.console;
            EXPECT_EQ(s.console, c.banner);
            EXPECT_EQ(s.hm.first_record.hour, c.first_hour);
            EXPECT_EQ(s.hm.record_count, 72);
            EXPECT_EQ(s.hm.repaired_values, repaired ? 2 : 0);
            // Hour 24 of the last day is hour 0 of 4 April.
            if (c.first_hour == 1) {
                EXPECT_EQ(s.hm.last_record.day, 4);
                EXPECT_EQ(s.hm.last_record.hour, 0);
            }
            const WeatherRecord& w = s.hm.reader.hours[24 + 14 - c.first_hour];
            ASSERT_EQ(w.day * 100 + w.hour, 214);
            EXPECT_NEAR(w.pressure, c.pressure, 1e-9);
            EXPECT_EQ(w.relative_humidity, 54.0);
            EXPECT_EQ(w.sky_cover, 3.0);
            EXPECT_NEAR(w.wind_speed, c.wind, 1e-9);
            EXPECT_NEAR(w.temperature, c.temperature, 1e-9);
            EXPECT_NEAR(w.direct_radiation, 300.0, 1e-9);
            EXPECT_NEAR(w.global_radiation, 500.0, 1e-9);
        }
}

// Every refusal names the file's layout and where the fault is, and the scan fails.
TEST(WeatherLayouts, FaultyFilesAreRefusedWithTheirMessages) {
    struct Case {
        const char* name;
        WeatherFormat format;
        std::string text;
        const char* message;
    };
    const std::string sa = ncdc(3);
    const std::string first_sa_line = sa.substr(0, sa.find('\n'));
    const std::string sam = samson(3);
    const Case cases[] = {
        {"HMX short line", WeatherFormat::hmx, "2021 4 1 0 29.92 50 2 5\n",
         "Error: Problem encountered in hmet_HMX file, line 1, near parameter 9\n"},
        {"HMX word for a number", WeatherFormat::hmx, with(hmx(1), "29.01 40 0", "29.01 forty 0"),
         "Error: Problem encountered in hmet_HMX file, line 1, near parameter 6\n"},
        {"HMX too long a line", WeatherFormat::hmx, hmx(1) + std::string(1001, '1') + "\n",
         "Error: line 25 of hmet_HMX file"},
        {"HMX missing first value", WeatherFormat::hmx,
         with(hmx(2), "2021 4 1 0 29.01 40 0 1 50", "2021 4 1 0 29.01 999 0 1 50"),
         "line 1: the rel. humidity is missing and no good value of the same hour the day "
         "before replaces it"},
        {"HMX missing two days running", WeatherFormat::hmx,
         with(with(hmx(3), "2021 4 1 5 29.01 45 5 1 55", "2021 4 1 5 29.01 45 5 1 999"),
              "2021 4 2 5 29.02 45 5 2 55", "2021 4 2 5 29.02 45 5 2 999"),
         "line 6: the temperature is missing"},
        {"HMX gap", WeatherFormat::hmx, with(hmx(2), "2021 4 1 3 ", "2021 4 1 2 "),
         "does not follow the hour before it"},
        {"SA too long a line", WeatherFormat::surface_airways,
         first_sa_line + std::string(500, ' ') + "\n",
         "Line too long in hmet_NCDC input file.  Program exiting\n"},
        {"SA short line", WeatherFormat::surface_airways, sa.substr(0, sa.find('\n') - 30) + "\n",
         "is too short: its 24 values need 316"},
        {"SA unequal humidity days", WeatherFormat::surface_airways, ncdc(3, "RHUM", 2),
         " 3  3  3  2  3  3  3\nThere is an error in the Surface Airways hydrometeorology\n"
         "data file.  There appears to be a different number of \n"
         "days of rel. humidity data than temperature data.  Rel. hum.\n"
         "data is required for each day.  Examine the file and supply\n"
         "the missing data.  Program terminating\n\n"},
        {"SA unequal cloud days", WeatherFormat::surface_airways, ncdc(3, "TSKC", 3),
         "data file.  There appear to be a different number of days\n"
         "of cloud cover data than temperature data.  Clouds data is\n"},
        {"SA unequal wind days", WeatherFormat::surface_airways, ncdc(3, "WIND", 1),
         "data file.  There appear to be different number of days of wind data than "
         "temperature data.  Wind speed data is\nrequired for each day.  Examine the file and "
         "supply the \nmissing data.  Program terminating\n\n"},
        {"SA whole missing day", WeatherFormat::surface_airways, ncdc(3, "PRES", 2),
         "holds no PRES record for 4/2/2021; every day from the first to the last needs one"},
        {"SA missing first value", WeatherFormat::surface_airways,
         with(sa, "0100+00051  ", "0100-99999M "),
         "line 5: the temperature is missing and no good value"},
        {"SA bad value", WeatherFormat::surface_airways, with(sa, "0100+00051", "0100+0x0y1"),
         "line 5 of hmet_NCDC file"},
        {"SA temperature no air reaches", WeatherFormat::surface_airways,
         with(sa, "0100+00051", "0100+00999"),
         "line 5: the temperature 537.222 C lies outside -90 to 60, which no weather reaches"},
        {"HMX humidity above 100", WeatherFormat::hmx,
         with(hmx(2), "2021 4 1 3 29.01 43", "2021 4 1 3 29.01 143"),
         "line 4: the rel. humidity 143 % lies outside 0 to 100"},
        {"SAMSON without header", WeatherFormat::samson, sam.substr(sam.find('\n') + 1),
         "begins without its header line"},
        {"SAMSON short line", WeatherFormat::samson,
         sam.substr(0, sam.find('\n') + 1) + " 21 04 01 01 0    0    0  500\n",
         "ends at column 29, before the direct rad (columns 33-36)"},
        {"SAMSON too long a line", WeatherFormat::samson, sam + std::string(801, '9') + "\n",
         "Line too long in hmet_SAMSON input file.  Program exiting\n"},
        {"SAMSON bad hour", WeatherFormat::samson, with(sam, " 21 04 01 01 0", " 21 04 01 25 0"),
         "line 2 of hmet_SAMSON file"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Scan s = scan(c.format, c.text);
        EXPECT_FALSE(s.ok);
        EXPECT_NE(s.console.find(c.message), std::string::npos) << s.console;
    }
}

}  // namespace
}  // namespace torva
