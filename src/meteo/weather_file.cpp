// Hydrometeorological data files: the start-up scan that reads the whole file
// in its layout, checks that the hours follow one another, repairs missing
// values, and then hands out one hour at a time.

#include "meteo/weather_file.hpp"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "core/clock.hpp"
#include "core/context.hpp"
#include "core/errors.hpp"
#include "meteo/weather_layouts.hpp"

namespace torva {
namespace {

constexpr double kHourDays = 1.0 / 24.0;
constexpr int kHoursPerDay = 24;

// The range of each element, in model units, that weather can reach. Sky
// cover above ten tenths is taken as overcast (with a warning) when used.
struct Range {
    double low, high;
    const char* unit;
};
constexpr Range kPlausible[kWeatherElements] = {
    {300.0, 1100.0, "mb"}, {0.0, 100.0, "%"},     {0.0, 100.0, "tenths"}, {0.0, 110.0, "m/s"},
    {-90.0, 60.0, "C"},    {0.0, 2000.0, "W/m2"}, {0.0, 2000.0, "W/m2"},
};

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

double raw_time(const RawWeatherHour& h) {
    return calendar_to_julian(h.year, h.month, h.day, h.hour, 0);
}

// Temperature, humidity and radiation follow the day: a missing one takes
// the value of the same hour the day before. Pressure, sky cover and wind
// change slowly: a missing one takes the last good value of the 24 hours
// before it.
bool repaired_by_same_hour(int element) {
    return element == kHumidity || element == kTemperature || element == kDirectRadiation ||
           element == kGlobalRadiation;
}

// Where the repaired value comes from (an index into the hours), -1 when the
// rules find none. Only values the file gives count as good, so a value
// missing two days running at the same hour is not repaired from a repair.
long repair_source(const std::vector<RawWeatherHour>& hours, std::size_t i, int element) {
    if (repaired_by_same_hour(element)) {
        if (i < kHoursPerDay || hours[i - kHoursPerDay].missing[element])
            return -1;
        return static_cast<long>(i - kHoursPerDay);
    }
    for (std::size_t back = 1; back <= kHoursPerDay && back <= i; ++back)
        if (!hours[i - back].missing[element])
            return static_cast<long>(i - back);
    return -1;
}

void where(const RawWeatherHour& h, int element, char (&text)[96]) {
    if (h.line[element] > 0)
        std::snprintf(text, sizeof text, "line %d", h.line[element]);
    else
        std::snprintf(text, sizeof text, "%d/%d/%d %2d:00 (no %s record holds it)", h.month, h.day,
                      h.year, h.hour, weather_element_name(element));
}

bool refuse_missing(const RawWeatherFile& raw, const std::string& name, RunContext& ctx,
                    const RawWeatherHour& h, int element) {
    char at[96];
    where(h, element, at);
    ctx.print_and_log(
        "Error: %s file %s, %s: the %s is missing and no good value of %s replaces it.  "
        "Program terminated.\n",
        raw.word, name.c_str(), at, weather_element_name(element),
        repaired_by_same_hour(element) ? "the same hour the day before" : "the previous 24 hours");
    ctx.error.raise(err::message_printed);
    return false;
}

// The hours follow one another without a gap, so that "the day before" is
// 24 hours back in the list.
bool hours_follow_each_other(const RawWeatherFile& raw, const std::string& name, RunContext& ctx) {
    for (std::size_t i = 1; i < raw.hours.size(); ++i) {
        const RawWeatherHour& h = raw.hours[i];
        if (std::fabs(raw_time(h) - raw_time(raw.hours[i - 1]) - kHourDays) <= kTimeTolerance)
            continue;
        char at[96];
        where(h, kTemperature, at);
        ctx.print_and_log(
            "Error: %s file %s, %s: hour %d/%d/%d %d:00 does not follow the hour before it; the "
            "file must hold every hour in order.  Program terminated.\n",
            raw.word, name.c_str(), at, h.month, h.day, h.year, h.hour);
        ctx.error.raise(err::message_printed);
        return false;
    }
    return true;
}

// Repairs every missing value and keeps the hours in model units; the number
// of repaired values is returned through `repaired`.
bool repair_hours(const RawWeatherFile& raw, const std::string& name, RunContext& ctx,
                  std::vector<WeatherRecord>& hours, int& repaired) {
    hours.clear();
    hours.reserve(raw.hours.size());
    repaired = 0;
    for (std::size_t i = 0; i < raw.hours.size(); ++i) {
        const RawWeatherHour& h = raw.hours[i];
        std::array<double, kWeatherElements> v = h.value;
        for (int e = 0; e < kWeatherElements; ++e) {
            if (!h.missing[e])
                continue;
            const long source = repair_source(raw.hours, i, e);
            if (source < 0)
                return refuse_missing(raw, name, ctx, h, e);
            v[e] = raw.hours[static_cast<std::size_t>(source)].value[e];
            ++repaired;
        }
        // What the air cannot be: stop rather than evaporate from nonsense
        // (a stray 999 that is no missing mark of the layout, a sign lost).
        for (int e = 0; e < kWeatherElements; ++e)
            if (!(v[e] >= kPlausible[e].low && v[e] <= kPlausible[e].high)) {
                char at[96];
                where(h, e, at);
                ctx.print_and_log(
                    "Error: %s file %s, %s: the %s %g %s lies outside %g to %g, which no weather "
                    "reaches.  Program terminated.\n",
                    raw.word, name.c_str(), at, weather_element_name(e), v[e], kPlausible[e].unit,
                    kPlausible[e].low, kPlausible[e].high);
                ctx.error.raise(err::message_printed);
                return false;
            }
        WeatherRecord w;
        w.year = h.year;
        w.month = h.month;
        w.day = h.day;
        w.hour = h.hour;
        w.pressure = v[kPressure];
        w.relative_humidity = v[kHumidity];
        w.sky_cover = v[kSkyCover];
        w.wind_speed = v[kWind];
        w.temperature = v[kTemperature];
        w.direct_radiation = v[kDirectRadiation];
        w.global_radiation = v[kGlobalRadiation];
        hours.push_back(w);
    }
    return true;
}

}  // namespace

int days_in_month(int year, int month) {
    static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12)
        return 0;
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return kDays[month - 1] + (month == 2 && leap ? 1 : 0);
}

bool fixed_column_number(const std::string& line, int first, int last, double& value) {
    if (first < 1 || last < first || static_cast<std::size_t>(last) > line.size())
        return false;
    const std::string field = line.substr(first - 1, last - first + 1);
    const std::size_t begin = field.find_first_not_of(' ');
    if (begin == std::string::npos)
        return false;
    const std::size_t end = field.find_last_not_of(' ');
    const std::string number = field.substr(begin, end - begin + 1);
    char* stop = nullptr;
    value = std::strtod(number.c_str(), &stop);
    return stop == number.c_str() + number.size() && std::isfinite(value);
}

bool refuse_weather_file(RunContext& ctx) {
    ctx.error.raise(err::message_printed);
    return false;
}

bool refuse_weather_field(RunContext& ctx, const char* word, const std::string& name, int line,
                          int first, int last, const char* what) {
    ctx.print_and_log(
        "Error: line %d of %s file %s, columns %d-%d: the %s is missing or not a "
        "number.  Program terminating\n",
        line, word, name.c_str(), first, last, what);
    return refuse_weather_file(ctx);
}

const char* weather_element_name(int element) {
    static const char* const kNames[kWeatherElements] = {
        "pressure",    "rel. humidity", "sky cover", "wind speed",
        "temperature", "direct rad",    "global rad"};
    return element >= 0 && element < kWeatherElements ? kNames[element] : "";
}

double record_time(const WeatherRecord& w) {
    return calendar_to_julian(w.year, w.month, w.day, w.hour, 0);
}

bool scan_weather_file(Hydromet& hydromet, RunContext& ctx, WeatherFormat format,
                       const std::string& file_name) {
    WeatherReader& r = hydromet.reader;
    r = WeatherReader{};
    r.format = format;
    r.file_name = file_name;
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(file_name.c_str(), "r"));
    if (!file) {
        ctx.error.raise(err::open_file, {.text1 = "hydrometeorological input", .text2 = file_name});
        return false;
    }
    RawWeatherFile raw;
    bool read = false;
    switch (format) {
        case WeatherFormat::hmx:
            read = read_hmx_layout(file.get(), file_name, ctx, raw);
            break;
        case WeatherFormat::surface_airways:
            read = read_surface_airways_layout(file.get(), file_name, ctx, raw);
            break;
        case WeatherFormat::samson:
            read = read_samson_layout(file.get(), file_name, ctx, raw);
            break;
        case WeatherFormat::none:
            break;
    }
    if (!read) {
        if (!ctx.error.pending())
            ctx.error.raise(err::message_printed);
        return false;
    }
    if (std::ferror(file.get())) {
        ctx.print_and_log("Error: reading %s file %s failed\n", raw.word, file_name.c_str());
        ctx.error.raise(err::message_printed);
        return false;
    }
    if (raw.hours.empty()) {
        ctx.print_and_log("Error: %s file %s holds no hour of weather\n", raw.word,
                          file_name.c_str());
        ctx.error.raise(err::message_printed);
        return false;
    }
    if (!hours_follow_each_other(raw, file_name, ctx) ||
        !repair_hours(raw, file_name, ctx, r.hours, hydromet.repaired_values))
        return false;
    hydromet.first_record = r.hours.front();
    hydromet.last_record = r.hours.back();
    hydromet.record_count = static_cast<int>(r.hours.size());
    return true;
}

WeatherRead read_weather_hour(WeatherReader& r, RunContext& ctx, WeatherRecord& record) {
    (void)ctx;
    if (r.next >= r.hours.size())
        return WeatherRead::end_of_data;
    record = r.hours[r.next++];
    return WeatherRead::ok;
}

}  // namespace torva
