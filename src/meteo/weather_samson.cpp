// The SAMSON hourly layout (solar and meteorological surface observations):
// header lines beginning with ~, then one fixed-column line per hour. The
// columns read (1-based):
//    2-3  year (two digits)     5-6  month     8-9  day    11-12  hour 1-24
//  26-29  global horizontal radiation, Wh/m2 (the hour's mean W/m2)
//  33-36  direct normal radiation, Wh/m2
//  47-48  total sky cover, tenths
//  53-57  dry bulb temperature, degrees C
//  65-67  relative humidity, %
//  69-72  station pressure, mb
//  78-82  wind speed, m/s
// Hour 24 is hour 0 of the next day. Nines fill a missing value: 9999 for
// radiation, 99 for sky cover, 9999. for temperature and wind, 999 for
// humidity and 9999 for pressure.

#include <string>

#include "core/clock.hpp"
#include "core/context.hpp"
#include "meteo/weather_layouts.hpp"

namespace torva {
namespace {

constexpr const char* kWord = "hmet_SAMSON";  // in messages

constexpr std::size_t kMaxLine = 800;

struct Column {
    int element;  // WeatherElement
    int first, last;
    double missing_from;  // this value and above is missing
};
constexpr Column kColumns[] = {
    {kGlobalRadiation, 26, 29, 9999.0},
    {kDirectRadiation, 33, 36, 9999.0},
    {kSkyCover, 47, 48, 99.0},
    {kTemperature, 53, 57, 9999.0},
    {kHumidity, 65, 67, 999.0},
    {kPressure, 69, 72, 9999.0},
    {kWind, 78, 82, 9999.0},
};

// Two-digit years: 50 to 99 are of the 1900s, 00 to 49 of the 2000s.
int full_year(int two_digits) {
    return two_digits >= 50 ? 1900 + two_digits : 2000 + two_digits;
}

bool read_hour_line(const std::string& text, int line, const std::string& name, RunContext& ctx,
                    RawWeatherHour& h) {
    static constexpr struct {
        int first, last;
        const char* what;
    } kDate[] = {{2, 3, "year"}, {5, 6, "month"}, {8, 9, "day"}, {11, 12, "hour"}};
    double date[4] = {};
    for (int k = 0; k < 4; ++k)
        if (!fixed_column_number(text, kDate[k].first, kDate[k].last, date[k]) ||
            date[k] != static_cast<int>(date[k]))
            return refuse_weather_field(ctx, kWord, name, line, kDate[k].first, kDate[k].last,
                                        kDate[k].what);
    const int year = full_year(static_cast<int>(date[0]));
    const int month = static_cast<int>(date[1]), day = static_cast<int>(date[2]),
              hour = static_cast<int>(date[3]);
    if (date[0] < 0 || month < 1 || month > 12 || day < 1 || day > days_in_month(year, month) ||
        hour < 1 || hour > 24) {
        ctx.print_and_log(
            "Error: line %d of hmet_SAMSON file %s holds no valid date and hour 1 to 24 in "
            "columns 2-12.  Program terminating\n",
            line, name.c_str());
        return refuse_weather_file(ctx);
    }
    const CalendarTime at =
        julian_to_calendar(calendar_to_julian(year, month, day, 0, 0) + hour / 24.0 + 1e-6);
    h.year = at.year;
    h.month = at.month;
    h.day = at.day;
    h.hour = hour % 24;
    for (const Column& c : kColumns) {
        if (text.size() < static_cast<std::size_t>(c.last)) {
            ctx.print_and_log(
                "Error: line %d of hmet_SAMSON file %s ends at column %zu, before the %s "
                "(columns %d-%d).  Program terminating\n",
                line, name.c_str(), text.size(), weather_element_name(c.element), c.first, c.last);
            return refuse_weather_file(ctx);
        }
        double v = 0.0;
        if (!fixed_column_number(text, c.first, c.last, v))
            return refuse_weather_field(ctx, kWord, name, line, c.first, c.last,
                                        weather_element_name(c.element));
        h.value[c.element] = v;
        h.missing[c.element] = v >= c.missing_from;
        h.line[c.element] = line;
    }
    return true;
}

}  // namespace

bool read_samson_layout(std::FILE* file, const std::string& name, RunContext& ctx,
                        RawWeatherFile& out) {
    out.word = kWord;
    char buffer[kMaxLine + 8];
    int line = 0;
    bool header_seen = false;
    while (std::fgets(buffer, sizeof buffer, file)) {
        ++line;
        std::string text(buffer);
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
        if (text.size() > kMaxLine) {
            ctx.print_and_log("Line too long in hmet_SAMSON input file.  Program exiting\n");
            ctx.print_and_log("(line %d of %s is longer than %zu characters)\n", line, name.c_str(),
                              kMaxLine);
            return refuse_weather_file(ctx);
        }
        if (text.find_first_not_of(" \t") == std::string::npos)
            continue;
        if (text[0] == '~') {
            header_seen = true;
            continue;
        }
        if (!header_seen) {
            ctx.print_and_log(
                "Error: hmet_SAMSON file %s begins without its header line (a line starting "
                "with ~ that names the station).  Program terminating\n",
                name.c_str());
            return refuse_weather_file(ctx);
        }
        RawWeatherHour h;
        if (!read_hour_line(text, line, name, ctx, h))
            return false;
        out.hours.push_back(h);
    }
    ctx.print_and_log("End of hmet_SAMSON file encountered after %d lines\n", line);
    return true;
}

}  // namespace torva
