#pragma once
// Hydrometeorological data files: the start-up scan and the reading of one
// hour at a time, with the repair of missing values.

#include <string>

#include "meteo/hydromet_state.hpp"

namespace torva {

struct RunContext;

// Reads the weather file whole in its layout (every line is checked, the
// hours must follow one another without a gap), repairs its missing values
// and keeps its first and last hour. False after a message and error 4000.
bool scan_weather_file(Hydromet& hydromet, RunContext& ctx, WeatherFormat format,
                       const std::string& file_name);

enum class WeatherRead { ok, end_of_data, failed };

// The next hour of the file, missing values repaired at start-up: radiation,
// humidity and temperature take the value of the same hour the day before,
// pressure, sky cover and wind the last good value of the previous 24 hours;
// a value beyond that repair has stopped the run naming file, line and field.
WeatherRead read_weather_hour(WeatherReader& reader, RunContext& ctx, WeatherRecord& record);

// Julian date of the start of a record's hour.
double record_time(const WeatherRecord& record);

}  // namespace torva
