// The HMX hourly weather layout: eleven numbers a line,
//   Yr Mo Day Hr Press. RelHumidity SkyCover WindSpeed Temp DirectRad GlobalRad
// in inches of mercury, percent, tenths of sky, knots, degrees F and W/m2.

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "core/context.hpp"
#include "core/errors.hpp"
#include "meteo/weather_layouts.hpp"

namespace torva {
namespace {

constexpr int kHmxFields = 11;
// Longer lines than this are not an HMX record.
constexpr std::size_t kMaxLine = 1000;

constexpr double kMillibarsPerInchHg = 1013.25 / 29.92;
constexpr double kMetresPerSecondPerKnot = 0.514444;

// Marks of a missing value.
constexpr double kMissingRadiation = 9999.9;
constexpr double kMissingPressure = 999.0;
constexpr double kMissingInteger = 999.0;

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
// finite number otherwise (1-based), 0 when all read.
int parse_hmx_line(const char* line, double (&v)[kHmxFields + 1]) {
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
    return v[1] >= 1 && v[2] >= 1 && v[2] <= 12 && v[3] >= 1 &&
           v[3] <= days_in_month(static_cast<int>(v[1]), static_cast<int>(v[2])) && v[4] >= 0 &&
           v[4] <= 23;
}

RawWeatherHour hmx_hour(const double (&v)[kHmxFields + 1], int line) {
    RawWeatherHour h;
    h.year = static_cast<int>(v[1]);
    h.month = static_cast<int>(v[2]);
    h.day = static_cast<int>(v[3]);
    h.hour = static_cast<int>(v[4]);
    h.missing[kPressure] = v[5] == kMissingPressure;
    h.missing[kHumidity] = v[6] == kMissingInteger;
    h.missing[kSkyCover] = v[7] == kMissingInteger;
    h.missing[kWind] = v[8] == kMissingInteger;
    h.missing[kTemperature] = v[9] == kMissingInteger;
    h.missing[kDirectRadiation] = v[10] > kMissingRadiation;
    h.missing[kGlobalRadiation] = v[11] > kMissingRadiation;
    h.value[kPressure] = v[5] * kMillibarsPerInchHg;
    h.value[kHumidity] = v[6];
    h.value[kSkyCover] = v[7];
    h.value[kWind] = v[8] * kMetresPerSecondPerKnot;
    h.value[kTemperature] = (v[9] - 32.0) * 0.5555555555555556;
    h.value[kDirectRadiation] = v[10];
    h.value[kGlobalRadiation] = v[11];
    h.line.fill(line);
    return h;
}

}  // namespace

bool read_hmx_layout(std::FILE* file, const std::string& name, RunContext& ctx,
                     RawWeatherFile& out) {
    out.word = "hmet_HMX";
    char buffer[kMaxLine + 8];
    int line = 0;
    while (std::fgets(buffer, sizeof buffer, file)) {
        ++line;
        std::size_t length = std::strlen(buffer);
        while (length > 0 && (buffer[length - 1] == '\n' || buffer[length - 1] == '\r')) --length;
        if (length > kMaxLine) {
            ctx.print_and_log("Error: line %d of hmet_HMX file %s is longer than %zu characters\n",
                              line, name.c_str(), kMaxLine);
            print_hmx_format_error(ctx, line, 1);
            return false;
        }
        if (blank_line(buffer))
            continue;
        double v[kHmxFields + 1] = {};
        if (const int bad = parse_hmx_line(buffer, v); bad != 0) {
            print_hmx_format_error(ctx, line, std::min(bad, kHmxFields));
            return false;
        }
        if (!valid_date(v)) {
            ctx.print_and_log("Error: line %d of hmet_HMX file %s holds no valid date and hour\n",
                              line, name.c_str());
            print_hmx_format_error(ctx, line, 2);
            return false;
        }
        out.hours.push_back(hmx_hour(v, line));
    }
    ctx.print_and_log("End of hmet_HMX file encountered after %d lines\n", line);
    return true;
}

}  // namespace torva
