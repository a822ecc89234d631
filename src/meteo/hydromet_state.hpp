#pragma once
// The hourly weather of one simulation: the weather file being read, the hour
// in force, the sun's position, and the per-cell energy balance, snow and
// frozen ground state of a long-term run.

#include <array>
#include <string>
#include <vector>

#include "core/output_files.hpp"

namespace torva {

enum class WeatherFormat { none, hmx, surface_airways, samson };
enum class EtMethod { none, penman_monteith, deardorff };

// One hour of weather in model units, as every reader delivers it.
struct WeatherRecord {
    int year = 0, month = 0, day = 0, hour = 0;
    double pressure = 0.0;           // mb
    double relative_humidity = 0.0;  // %
    double sky_cover = 0.0;          // tenths of the sky, 0 to 10
    double wind_speed = 0.0;         // m/s
    double temperature = 0.0;        // degrees C
    double direct_radiation = 0.0;   // W/m2
    double global_radiation = 0.0;   // W/m2
};

// The weather file, read whole at start-up with its missing values
// repaired, handed out one hour at a time.
struct WeatherReader {
    WeatherFormat format = WeatherFormat::none;
    std::string file_name;
    std::vector<WeatherRecord> hours;
    std::size_t next = 0;  // the next hour to hand out
};

// The sun's place for one hour at the watershed.
struct SolarGeometry {
    int day_of_year = 0;
    double declination = 0.0;  // rad
    double hour_angle = 0.0;   // rad
    double altitude = 0.0;     // rad
    double azimuth = 0.0;      // rad
    bool sun_up = false;
    double air_mass = 0.0;
    double extinction = 0.0;
    double distance_factor = 1.0;  // E0
};

// What the evapotranspiration of a cell needs that stays the same all run.
struct CellSurface {
    double sin_slope = 0.0, cos_slope = 1.0;
    double half_cos_slope = 1.0;    // cos(slope / 2): its square is the sky view
    double aspect = 0.0;            // rad
    double aerodynamic_logs = 0.0;  // ln((zm - d) / zom) ln((zm - d) / zoh)
};

struct Hydromet {
    WeatherReader reader;
    EtMethod method = EtMethod::none;
    WeatherRecord first_record, last_record;  // the span of the file
    int record_count = 0;
    int repaired_values = 0;  // missing values the file holds, all repaired
    std::string file_name;

    WeatherRecord weather;    // the hour in force
    SolarGeometry sun;        // for that hour
    double next_time = 0.0;   // Julian date of the next weather hour
    bool started = false;     // the first hour has been read
    bool data_ended = false;  // the file has no further hour
    // An hour has been read whose evapotranspiration, melt and frozen ground
    // are still to be worked out by the hydrometeorology phase.
    bool hour_pending = false;
    // The hour that has just passed, reported once every process has
    // accounted the step that closed it (the rainfall phase may read the next
    // hour before they have).
    WeatherRecord finished;
    bool report_pending = false;
    double finished_cfgi = 0.0;  // the frozen ground index over the watershed as it ended
    // The potential evapotranspiration of the hour just read, m/s per cell:
    // the step that reaches the hour still accounts the seconds before it
    // at the rate of the hour before, and the new rate takes over once that
    // step is done.
    std::vector<double> next_potential_et;
    bool rate_pending = false;
    double seasonal_factor = 1.0;

    // Newton iteration on the surface temperature stops once a step changes
    // it by no more than this, K.
    double temperature_tolerance = 1.0e-4;
    int max_iterations = 50;

    // ---- Per cell (N + 1 entries) ----
    std::vector<CellSurface> cell_surface;
    std::vector<double> surface_temperature;    // K
    std::vector<double> net_radiation;          // kW/m2
    std::vector<double> snow_water_equivalent;  // m
    bool snow = false;                          // some cell holds snow

    // ---- Reports ----
    OutputFile long_term_output;  // DAILY_OUTPUT: one line per weather hour
};

}  // namespace torva
