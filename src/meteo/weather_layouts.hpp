#pragma once
// The three hourly weather layouts read into one list of hours in model
// units, before the gaps are checked and missing values repaired.

#include <array>
#include <cstdio>
#include <string>
#include <vector>

namespace torva {

struct RunContext;

// The elements of an hour, in the order of the repair rules' messages.
enum WeatherElement {
    kPressure,
    kHumidity,
    kSkyCover,
    kWind,
    kTemperature,
    kDirectRadiation,
    kGlobalRadiation,
    kWeatherElements
};

// One hour as a layout gives it: values in model units (mb, %, tenths, m/s,
// degrees C, W/m2), which of them the file marks missing, and the line of
// the file each came from (0 when no line of the file holds it).
struct RawWeatherHour {
    int year = 0, month = 0, day = 0, hour = 0;
    std::array<double, kWeatherElements> value{};
    std::array<bool, kWeatherElements> missing{};
    std::array<int, kWeatherElements> line{};
};

struct RawWeatherFile {
    const char* word = "";  // "hmet_HMX", "hmet_NCDC" or "hmet_SAMSON", for messages
    std::vector<RawWeatherHour> hours;
};

// Each reads the whole file, printing its own start-up lines; false after a
// message and error 4000 naming the file, line and field.
bool read_hmx_layout(std::FILE* file, const std::string& name, RunContext& ctx,
                     RawWeatherFile& out);
bool read_surface_airways_layout(std::FILE* file, const std::string& name, RunContext& ctx,
                                 RawWeatherFile& out);
bool read_samson_layout(std::FILE* file, const std::string& name, RunContext& ctx,
                        RawWeatherFile& out);

// Days in a month of a year of the Gregorian calendar.
int days_in_month(int year, int month);

// The number in columns first to last (1-based, inclusive) of a line, blanks
// around it allowed; false when the columns are blank, cut short by the end
// of the line or hold anything but one finite number.
bool fixed_column_number(const std::string& line, int first, int last, double& value);

// Raises the error of a refusal whose message is printed; false.
bool refuse_weather_file(RunContext& ctx);
// Prints that columns first to last of a line of a fixed-column weather file
// (`word` names its layout: "hmet_NCDC", "hmet_SAMSON") hold no number where
// the `what` should stand, and refuses the file; false.
bool refuse_weather_field(RunContext& ctx, const char* word, const std::string& name, int line,
                          int first, int last, const char* what);

// The element's name in messages.
const char* weather_element_name(int element);

}  // namespace torva
