// The HMX hourly weather layout: eleven numbers a line,
//   Yr Mo Day Hr Press. RelHumidity SkyCover WindSpeed Temp DirectRad GlobalRad
// in inches of mercury, percent, tenths of sky, knots, degrees F and W/m2.

#include "meteo/weather_file.hpp"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "core/clock.hpp"
#include "core/context.hpp"
#include "core/errors.hpp"

namespace torva {
namespace {

constexpr int kHmxFields = 11;
// Longer lines than this are not an HMX record.
constexpr std::size_t kMaxLine = 1000;
constexpr double kHourDays = 1.0 / 24.0;

constexpr double kMillibarsPerInchHg = 1013.25 / 29.92;
constexpr double kMetresPerSecondPerKnot = 0.514444;

// Marks of a missing value.
constexpr double kMissingRadiation = 9999.9;
constexpr double kMissingPressure = 999.0;
constexpr double kMissingInteger = 999.0;

const char* const kFieldNames[kHmxFields + 1] = {
    "",           "year",        "month",         "day",
    "hour",       "pressure",    "rel. humidity", "sky cover",
    "wind speed", "temperature", "direct rad",    "global rad"};

void print_hmx_format_error(RunContext& ctx, int line, int field) {
    ctx.print_and_log("Error: Problem encountered in hmet_HMX file, line %d, near parameter %d\n\n",
                      line, field);
    ctx.print_and_log(
        " Format:\n1   2   3   4    5     6           7        8         9    10        11  \n"
        "Yr  Mo  Day Hr  Press. RelHumidity SkyCover WindSpeed Temp DirectRad GlobalRad\n"
        "int int int int float  int         int      int       int  float     float\n\n");
    ctx.error.raise(err::message_printed);
}

// The eleven numbers of an HMX line; the first field that is absent or not a
// finite number otherwise (1-based), 0 when all read, -1 for a line too long.
int parse_hmx_line(const char* line, double (&v)[kHmxFields + 1]) {
    if (std::strlen(line) > kMaxLine)
        return -1;
    const char* p = line;
    for (int k = 1; k <= kHmxFields; ++k) {
        while (*p == ' ' || *p == '\t' || *p == ',') ++p;
        char* end = nullptr;
        const double x = std::strtod(p, &end);
        if (end == p || !std::isfinite(x))
            return k;
        const char c = *end;
        if (c != '\0' && c != ' ' && c != '\t' && c != ',' && c != '\n' && c != '\r')
            return k;
        // The integer fields hold whole numbers.
        if ((k <= 4 || (k >= 6 && k <= 9)) && x != std::floor(x))
            return k;
        v[k] = x;
        p = end;
    }
    while (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r') ++p;
    return *p == '\0' ? 0 : kHmxFields + 1;
}

bool blank_line(const char* line) {
    for (const char* p = line; *p; ++p)
        if (*p != ' ' && *p != '\t' && *p != '\n' && *p != '\r')
            return false;
    return true;
}

bool valid_date(const double (&v)[kHmxFields + 1]) {
    return v[2] >= 1 && v[2] <= 12 && v[3] >= 1 && v[3] <= 31 && v[4] >= 0 && v[4] <= 23;
}

enum class LineRead { ok, end, failed };

// The next non-blank line's raw numbers.
LineRead read_raw_line(WeatherReader& r, RunContext& ctx, double (&v)[kHmxFields + 1]) {
    char buffer[kMaxLine + 8];
    while (std::fgets(buffer, sizeof buffer, r.file.get())) {
        ++r.line_number;
        const std::size_t length = std::strlen(buffer);
        if (length == sizeof buffer - 1 && buffer[length - 1] != '\n') {
            ctx.print_and_log("Error: line %d of hmet_HMX file %s is longer than %zu characters\n",
                              r.line_number, r.file_name.c_str(), kMaxLine);
            print_hmx_format_error(ctx, r.line_number, 1);
            return LineRead::failed;
        }
        if (blank_line(buffer))
            continue;
        const int bad = parse_hmx_line(buffer, v);
        if (bad != 0) {
            print_hmx_format_error(ctx, r.line_number, bad < 0 ? 1 : std::min(bad, kHmxFields));
            return LineRead::failed;
        }
        if (!valid_date(v)) {
            ctx.print_and_log("Error: line %d of hmet_HMX file %s holds no valid date and hour\n",
                              r.line_number, r.file_name.c_str());
            print_hmx_format_error(ctx, r.line_number, 2);
            return LineRead::failed;
        }
        return LineRead::ok;
    }
    return LineRead::end;
}

WeatherRecord record_date(const double (&v)[kHmxFields + 1]) {
    WeatherRecord w;
    w.year = static_cast<int>(v[1]);
    w.month = static_cast<int>(v[2]);
    w.day = static_cast<int>(v[3]);
    w.hour = static_cast<int>(v[4]);
    return w;
}

bool refuse_missing(WeatherReader& r, RunContext& ctx, int field) {
    ctx.print_and_log(
        "Error: hmet_HMX file %s, line %d: the %s is missing and no good value of the "
        "previous 24 hours is known to replace it.  Program terminated.\n",
        r.file_name.c_str(), r.line_number, kFieldNames[field]);
    ctx.error.raise(err::message_printed);
    return false;
}

// Repairs and converts the raw values of one line into the record.
bool repair_and_convert(WeatherReader& r, RunContext& ctx, const double (&v)[kHmxFields + 1],
                        WeatherRecord& w) {
    const int h = w.hour;
    // A value of the same hour is from the day before, since the hours follow
    // one another without gaps.
    const bool same_hour_known = r.hour_seen[h];
    const auto per_hour = [&](double raw, bool missing, std::array<double, 24>& last, int field,
                              double& out) {
        if (!missing) {
            last[h] = raw;
            out = raw;
            return true;
        }
        if (!same_hour_known)
            return refuse_missing(r, ctx, field);
        ++r.missing_count;
        out = last[h];
        return true;
    };
    const auto any_hour = [&](double raw, bool missing, double& last, int field, double& out) {
        if (!missing) {
            last = raw;
            out = raw;
            return true;
        }
        if (!r.any_seen)
            return refuse_missing(r, ctx, field);
        ++r.missing_count;
        out = last;
        return true;
    };
    double pressure = 0, humidity = 0, sky = 0, wind = 0, temperature = 0, direct = 0, global = 0;
    if (!any_hour(v[5], v[5] == kMissingPressure, r.last_pressure, 5, pressure) ||
        !per_hour(v[6], v[6] == kMissingInteger, r.last_humidity, 6, humidity) ||
        !any_hour(v[7], v[7] == kMissingInteger, r.last_sky_cover, 7, sky) ||
        !any_hour(v[8], v[8] == kMissingInteger, r.last_wind, 8, wind) ||
        !per_hour(v[9], v[9] == kMissingInteger, r.last_temperature, 9, temperature) ||
        !per_hour(v[10], v[10] > kMissingRadiation, r.last_direct, 10, direct) ||
        !per_hour(v[11], v[11] > kMissingRadiation, r.last_global, 11, global))
        return false;
    // What the file cannot mean: stop rather than evaporate from nonsense.
    if (pressure <= 0.0 || humidity < 0.0 || sky < 0.0 || wind < 0.0 || direct < 0.0 ||
        global < 0.0) {
        ctx.print_and_log(
            "Error: hmet_HMX file %s, line %d: a negative pressure, humidity, sky cover, wind "
            "or radiation.  Program terminated.\n",
            r.file_name.c_str(), r.line_number);
        ctx.error.raise(err::message_printed);
        return false;
    }
    r.hour_seen[h] = true;
    r.any_seen = true;
    w.pressure = pressure * kMillibarsPerInchHg;
    w.relative_humidity = humidity;
    w.sky_cover = sky;
    w.wind_speed = wind * kMetresPerSecondPerKnot;
    w.temperature = (temperature - 32.0) * 0.5555555555555556;
    w.direct_radiation = direct;
    w.global_radiation = global;
    return true;
}

}  // namespace

double record_time(const WeatherRecord& w) {
    return calendar_to_julian(w.year, w.month, w.day, w.hour, 0);
}

bool scan_weather_file(Hydromet& hydromet, RunContext& ctx, WeatherFormat format,
                       const std::string& file_name) {
    WeatherReader& r = hydromet.reader;
    r = WeatherReader{};
    r.format = format;
    r.file_name = file_name;
    if (format != WeatherFormat::hmx) {
        ctx.print_and_log("Error: this weather file layout is not read by this version\n");
        ctx.error.raise(err::message_printed);
        return false;
    }
    r.file.reset(std::fopen(file_name.c_str(), "r"));
    if (!r.file) {
        ctx.error.raise(err::open_file, {.text1 = "hydrometeorological input", .text2 = file_name});
        return false;
    }
    double v[kHmxFields + 1] = {};
    LineRead read;
    int count = 0;
    double previous = 0.0;
    while ((read = read_raw_line(r, ctx, v)) == LineRead::ok) {
        WeatherRecord w = record_date(v);
        // Every repair is tried once here, so that a value beyond repair
        // stops the run before its first step.
        if (!repair_and_convert(r, ctx, v, w))
            return false;
        const double t = record_time(w);
        if (count > 0 && std::fabs(t - previous - kHourDays) > kTimeTolerance) {
            ctx.print_and_log(
                "Error: hmet_HMX file %s, line %d: hour %d/%d/%d %d:00 does not follow the hour "
                "before it; the file must hold every hour in order.  Program terminated.\n",
                file_name.c_str(), r.line_number, w.month, w.day, w.year, w.hour);
            ctx.error.raise(err::message_printed);
            return false;
        }
        if (count == 0)
            hydromet.first_record = w;
        hydromet.last_record = w;
        previous = t;
        ++count;
    }
    if (read == LineRead::failed)
        return false;
    ctx.print_and_log("End of hmet_HMX file encountered after %d lines\n", r.line_number);
    if (count == 0) {
        ctx.print_and_log("Error: hmet_HMX file %s holds no hour of weather\n", file_name.c_str());
        ctx.error.raise(err::message_printed);
        return false;
    }
    hydromet.record_count = count;
    hydromet.repaired_values = r.missing_count;
    std::rewind(r.file.get());
    r.line_number = 0;
    r.missing_count = 0;
    r.hour_seen = {};
    r.any_seen = false;
    return true;
}

WeatherRead read_weather_hour(WeatherReader& r, RunContext& ctx, WeatherRecord& record) {
    if (!r.file)
        return WeatherRead::end_of_data;
    double v[kHmxFields + 1] = {};
    switch (read_raw_line(r, ctx, v)) {
        case LineRead::end:
            return WeatherRead::end_of_data;
        case LineRead::failed:
            return WeatherRead::failed;
        case LineRead::ok:
            break;
    }
    WeatherRecord w = record_date(v);
    if (!repair_and_convert(r, ctx, v, w))
        return WeatherRead::failed;
    record = w;
    return WeatherRead::ok;
}

}  // namespace torva
