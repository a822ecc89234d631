// The Surface Airways hourly layout of the national climatic data centre:
// one fixed-column line per weather element and day,
//   columns  1-3   record type        12-15  element (DRAD, GRAD, PRES, RHUM,
//            4-11  station                   TMPD, TSKC, WIND; others skipped)
//           16-17  units              18-21  year     22-23  month
//           24-27  day                28-30  number of values that follow
// then, from column 31, one group of twelve columns per value: the time
// hhmm (4), the value (6, signed), two flags (1 each). The time is the hour
// ending the observation period, 0100 to 2400; 2400 is hour 0 of the next
// day. A value of -99999 or 99999, or the first flag M, is missing.

#include <array>
#include <cmath>
#include <cstring>
#include <map>
#include <string>

#include "core/clock.hpp"
#include "core/context.hpp"
#include "meteo/weather_layouts.hpp"

namespace torva {
namespace {

constexpr const char* kWord = "hmet_NCDC";  // in messages

constexpr std::size_t kMaxLine = 790;
constexpr int kHeaderColumns = 30;
constexpr int kGroupColumns = 12;
constexpr int kHoursPerDay = 24;

constexpr double kMillibarsPerThousandthInchHg = 33.86530748663101 / 1000.0;
constexpr double kMetresPerSecondPerKnot = 0.514444;

// The file's elements in the order of the start-up count line.
enum FileElement { kDrad, kGrad, kPres, kRhum, kTmpd, kTskc, kWindSpeed, kFileElements };
constexpr const char* kCodes[kFileElements] = {"DR", "GR", "PR", "RH", "TM", "TS", "WI"};
constexpr const char* kFullCodes[kFileElements] = {"DRAD", "GRAD", "PRES", "RHUM",
                                                   "TMPD", "TSKC", "WIND"};
constexpr int kModelElement[kFileElements] = {
    kDirectRadiation, kGlobalRadiation, kPressure, kHumidity, kTemperature, kSkyCover, kWind};

double to_model_units(int element, double v) {
    switch (element) {
        case kDrad:
        case kGrad:
            return v / 10.0;  // tenths of W/m2
        case kPres:
            return v * kMillibarsPerThousandthInchHg;
        case kTmpd:
            return (v - 32.0) * 0.5555555555555556;
        case kWindSpeed:
            return v * kMetresPerSecondPerKnot;
        default:
            return v;  // percent, tenths of sky
    }
}

// One element's 24 hours of one day, index 1 to 24 (24 is hour 0 of the next day).
struct ElementDay {
    int line = 0;  // 0: the file has no record of the element for the day
    std::array<double, kHoursPerDay + 1> value{};
    std::array<bool, kHoursPerDay + 1> given{};
};

using DayKey = long;  // yyyymmdd
struct Day {
    int year = 0, month = 0, day = 0;
    std::array<ElementDay, kFileElements> element{};
};

// Reads one element-day line into the day table. `element` is the line's
// element, or -1 for an element the model does not use.
bool read_line(const std::string& text, int line, const std::string& name, RunContext& ctx,
               std::map<DayKey, Day>& days, std::array<int, kFileElements>& counts) {
    if (text.size() < 15) {
        ctx.print_and_log(
            "Error: line %d of hmet_NCDC file %s is too short (%zu characters) to hold an "
            "element code in columns 12-15.  Program terminating\n",
            line, name.c_str(), text.size());
        return refuse_weather_file(ctx);
    }
    int element = -1;
    for (int e = 0; e < kFileElements; ++e)
        if (text.compare(11, 2, kCodes[e]) == 0)
            element = e;
    if (element < 0)
        return true;
    double year = 0, month = 0, day = 0, count = 0;
    if (!fixed_column_number(text, 18, 21, year))
        return refuse_weather_field(ctx, kWord, name, line, 18, 21, "year");
    if (!fixed_column_number(text, 22, 23, month))
        return refuse_weather_field(ctx, kWord, name, line, 22, 23, "month");
    if (!fixed_column_number(text, 24, 27, day))
        return refuse_weather_field(ctx, kWord, name, line, 24, 27, "day");
    if (!fixed_column_number(text, 28, 30, count))
        return refuse_weather_field(ctx, kWord, name, line, 28, 30, "number of values");
    const int y = static_cast<int>(year), m = static_cast<int>(month), d = static_cast<int>(day);
    if (y != year || m != month || d != day || y < 1 || d < 1 || d > days_in_month(y, m)) {
        ctx.print_and_log(
            "Error: line %d of hmet_NCDC file %s holds no valid date in columns 18-27.  Program "
            "terminating\n",
            line, name.c_str());
        return refuse_weather_file(ctx);
    }
    const int n = static_cast<int>(count);
    if (n != count || n < 1 || n > kHoursPerDay) {
        ctx.print_and_log(
            "Error: line %d of hmet_NCDC file %s gives %g values in columns 28-30; a day holds "
            "1 to 24.  Program terminating\n",
            line, name.c_str(), count);
        return refuse_weather_file(ctx);
    }
    // The flags of the last value may be left off a line.
    const std::size_t needed = kHeaderColumns + static_cast<std::size_t>(n) * kGroupColumns - 2;
    if (text.size() < needed) {
        ctx.print_and_log(
            "Error: line %d of hmet_NCDC file %s is too short: its %d values need %zu "
            "characters, it has %zu.  Program terminating\n",
            line, name.c_str(), n, needed, text.size());
        return refuse_weather_file(ctx);
    }
    Day& entry = days[static_cast<DayKey>(y) * 10000 + m * 100 + d];
    entry.year = y;
    entry.month = m;
    entry.day = d;
    ElementDay& slot = entry.element[element];
    if (slot.line != 0) {
        ctx.print_and_log(
            "Error: line %d of hmet_NCDC file %s is a second %s record for %d/%d/%d (the first "
            "is line %d).  Program terminating\n",
            line, name.c_str(), kFullCodes[element], m, d, y, slot.line);
        return refuse_weather_file(ctx);
    }
    slot.line = line;
    ++counts[element];
    for (int k = 0; k < n; ++k) {
        const int at = kHeaderColumns + 1 + k * kGroupColumns;
        double time = 0, value = 0;
        if (!fixed_column_number(text, at, at + 3, time))
            return refuse_weather_field(ctx, kWord, name, line, at, at + 3, "time of a value");
        if (!fixed_column_number(text, at + 4, at + 9, value))
            return refuse_weather_field(ctx, kWord, name, line, at + 4, at + 9, "value");
        const int hhmm = static_cast<int>(time);
        const int hour = hhmm / 100;
        if (hhmm != time || hour < 1 || hour > kHoursPerDay || hhmm % 100 >= 60) {
            ctx.print_and_log(
                "Error: line %d of hmet_NCDC file %s, columns %d-%d: time %g is not an hour "
                "0100 to 2400.  Program terminating\n",
                line, name.c_str(), at, at + 3, time);
            return refuse_weather_file(ctx);
        }
        const std::size_t flag = static_cast<std::size_t>(at + 9);  // 0-based index of flag 1
        const bool marked = flag < text.size() && text[flag] == 'M';
        if (marked || value == -99999.0 || value == 99999.0)
            continue;
        slot.value[hour] = to_model_units(element, value);
        slot.given[hour] = true;
    }
    return true;
}

// Rel. humidity, cloud cover and wind are needed every day the temperature is.
bool day_counts_agree(const std::array<int, kFileElements>& counts, RunContext& ctx) {
    const int t = counts[kTmpd];
    if (counts[kRhum] != t) {
        ctx.print_and_log("There is an error in the Surface Airways hydrometeorology\n");
        ctx.print_and_log("data file.  There appears to be a different number of \n");
        ctx.print_and_log("days of rel. humidity data than temperature data.  Rel. hum.\n");
        ctx.print_and_log("data is required for each day.  Examine the file and supply\n");
        ctx.print_and_log("the missing data.  Program terminating\n\n");
        return refuse_weather_file(ctx);
    }
    if (counts[kTskc] != t) {
        ctx.print_and_log("There is an error in the Surface Airways hydrometeorology\n");
        ctx.print_and_log("data file.  There appear to be a different number of days\n");
        ctx.print_and_log("of cloud cover data than temperature data.  Clouds data is\n");
        ctx.print_and_log("required for each day.  Examine the file and supply the \n");
        ctx.print_and_log("missing data.  Program terminating\n\n");
        return refuse_weather_file(ctx);
    }
    if (counts[kWindSpeed] != t) {
        ctx.print_and_log("There is an error in the Surface Airways hydrometeorology\n");
        ctx.print_and_log("data file.  There appear to be different number of days of ");
        ctx.print_and_log("wind data than temperature data.  Wind speed data is\n");
        ctx.print_and_log("required for each day.  Examine the file and supply the \n");
        ctx.print_and_log("missing data.  Program terminating\n\n");
        return refuse_weather_file(ctx);
    }
    return true;
}

}  // namespace

bool read_surface_airways_layout(std::FILE* file, const std::string& name, RunContext& ctx,
                                 RawWeatherFile& out) {
    out.word = kWord;
    std::map<DayKey, Day> days;
    std::array<int, kFileElements> counts{};
    char buffer[kMaxLine + 8];
    long line = 0;
    while (std::fgets(buffer, sizeof buffer, file)) {
        ++line;
        std::string text(buffer);
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
        if (text.size() > kMaxLine) {
            ctx.print_and_log("Line too long in hmet_NCDC input file.  Program exiting\n");
            ctx.print_and_log("(line %ld of %s is longer than %zu characters)\n", line,
                              name.c_str(), kMaxLine);
            return refuse_weather_file(ctx);
        }
        if (text.find_first_not_of(" \t") == std::string::npos)
            continue;
        if (!read_line(text, static_cast<int>(line), name, ctx, days, counts))
            return false;
    }
    ctx.print_and_log("End of hmet_NCDC file encountered after %ld lines\n", line);
    ctx.print_and_log("DRAD GRAD PRES RHUM TMPD TSKC WIND\n");
    ctx.print_and_log(" %d  %d  %d  %d  %d  %d  %d\n", counts[kDrad], counts[kGrad], counts[kPres],
                      counts[kRhum], counts[kTmpd], counts[kTskc], counts[kWindSpeed]);
    if (!day_counts_agree(counts, ctx))
        return false;
    for (int e : {kTmpd, kPres})
        if (counts[e] == 0) {
            ctx.print_and_log(
                "Error: hmet_NCDC file %s holds no %s record; the evapotranspiration needs it.  "
                "Program terminating\n",
                name.c_str(), kFullCodes[e]);
            return refuse_weather_file(ctx);
        }

    // The span runs from the first to the last day with a temperature record;
    // every element the file holds has a record for each of its days.
    long first_day = 0, last_day = 0;
    bool seen = false;
    for (const auto& [key, d] : days) {
        if (d.element[kTmpd].line == 0)
            continue;
        const long jd = std::lround(calendar_to_julian(d.year, d.month, d.day, 12, 0));
        if (!seen)
            first_day = jd;
        last_day = jd;
        seen = true;
    }
    out.hours.clear();
    for (long jd = first_day; jd <= last_day; ++jd) {
        const CalendarTime c = julian_to_calendar(static_cast<double>(jd));
        const auto found = days.find(static_cast<DayKey>(c.year) * 10000 + c.month * 100 + c.day);
        for (int e = 0; e < kFileElements; ++e) {
            if (counts[e] == 0 || (found != days.end() && found->second.element[e].line != 0))
                continue;
            ctx.print_and_log(
                "Error: hmet_NCDC file %s holds no %s record for %d/%d/%d; every day from the "
                "first to the last needs one.  Program terminating\n",
                name.c_str(), kFullCodes[e], c.month, c.day, c.year);
            return refuse_weather_file(ctx);
        }
        const Day& d = found->second;
        for (int hour = 1; hour <= kHoursPerDay; ++hour) {
            RawWeatherHour h;
            // Hour 24 of a day is hour 0 of the next.
            const CalendarTime at =
                hour < kHoursPerDay ? c : julian_to_calendar(static_cast<double>(jd + 1));
            h.year = at.year;
            h.month = at.month;
            h.day = at.day;
            h.hour = hour % kHoursPerDay;
            for (int e = 0; e < kFileElements; ++e) {
                const int m = kModelElement[e];
                const ElementDay& slot = d.element[e];
                // Radiation the file does not hold at all stays 0: the model
                // works out the sunshine from the sun's place and the cloud.
                if (counts[e] == 0)
                    continue;
                h.line[m] = slot.line;
                h.missing[m] = !slot.given[hour];
                h.value[m] = slot.value[hour];
            }
            out.hours.push_back(h);
        }
    }
    return true;
}

}  // namespace torva
