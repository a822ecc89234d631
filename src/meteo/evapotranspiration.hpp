#pragma once
// Solar geometry, net radiation, the surface energy balance and the potential
// evapotranspiration of one weather hour.

#include "meteo/hydromet_state.hpp"

namespace torva {

struct Model;
struct RunContext;

inline constexpr double kSolarConstant = 1353.0;     // W/m2
inline constexpr double kStefanBoltzmann = 5.67e-8;  // W/m2/K4
inline constexpr double kLatentHeat = 2500.36;       // kJ/kg
inline constexpr double kAirSpecificHeat = 1.013;    // kJ/kg/K
inline constexpr double kBulkTransfer = 0.0025;
inline constexpr double kKelvin = 273.15;

// The sun at the middle of the given hour of local time, at the latitude.
SolarGeometry solar_geometry(int year, int month, int day, int hour, double latitude_degrees);

// Tetens' saturation vapour pressure, kPa, of a temperature in degrees C.
double saturation_vapour_pressure(double celsius);

// The air of one hour, the same over every cell.
struct AirConditions {
    double temperature = 0.0;        // degrees C
    double pressure = 0.0;           // kPa
    double relative_humidity = 0.0;  // fraction
    double vapour_pressure = 0.0;    // ea, kPa
    double wind_speed = 1.0;         // m/s, at least 1
    double cloud_fraction = 0.0;     // 0 to 1
    double density = 0.0;            // kg/m3
    double specific_humidity = 0.0;  // of the air
    double longwave_in = 0.0;        // kW/m2
    int hour = 0;
};

// Derives the air conditions from the hour's weather; a sky cover above ten
// tenths is taken as overcast (with a warning printed by the caller).
AirConditions air_conditions(const WeatherRecord& weather);

// The shortwave of one hour that every cell shares.
struct ShortwaveHour {
    bool sun_up = false;
    double sin_altitude = 0.0, cos_altitude = 0.0;
    double azimuth = 0.0;            // rad
    double transmissivity = 0.0;     // of the beam through the air mass
    double top_of_atmosphere = 0.0;  // W/m2
    double clear_sky = 1.0;          // 1 - cloud fraction
    double diffuse = 0.0;            // clear-sky diffuse on level ground, W/m2
};
ShortwaveHour shortwave_hour(const SolarGeometry& sun, double cloud_fraction);

// Shortwave absorbed by a cell, W/m2: the beam on the cell's slope, less what
// cloud takes, through the canopy, and the diffuse sky over its slope.
double absorbed_shortwave(const ShortwaveHour& sun, const CellSurface& cell, double albedo,
                          double transmission);
double absorbed_shortwave(const SolarGeometry& sun, double cloud_fraction, double slope_x,
                          double slope_y, double albedo, double transmission);

// A cell's slope geometry and the roughness logarithms of its vegetation
// height, worked out once for the run.
CellSurface cell_surface(double slope_x, double slope_y, double vegetation_height);
// Fills hydromet.cell_surface from the bed slopes and vegetation heights.
bool prepare_evapotranspiration(Model& model, RunContext& ctx);

struct SurfaceBalance {
    double temperature = 0.0;    // Tg, K
    double net_radiation = 0.0;  // kW/m2
    double evaporation = 0.0;    // kg/m2/s
    double sensible_heat = 0.0;  // kW/m2
    double ground_heat = 0.0;    // kW/m2
    int iterations = 0;
    bool converged = false;
};

// Newton iteration on the surface temperature until
// lambda E + H + G = Rn, starting from tg_start (K).
SurfaceBalance surface_energy_balance(const AirConditions& air, double absorbed_shortwave_wm2,
                                      double tg_start, double tolerance, int max_iterations);

// What Penman-Monteith takes from the air of one hour, the same over every cell.
struct PenmanHour {
    double delta = 0.0;            // slope of the saturation curve, kPa/K
    double gamma = 0.0;            // psychrometric constant, kPa/K
    double von_karman_wind = 0.0;  // k^2 u, m/s
    double canopy_factor = 1.0;    // the canopy's hour of the day
    double seasonal_factor = 1.0;
    double drying_power = 0.0;  // rho cp (es - ea)
};
PenmanHour penman_hour(const AirConditions& air, double seasonal_factor);

// Penman-Monteith potential evapotranspiration, m/s.
double penman_monteith(const PenmanHour& hour, const SurfaceBalance& balance,
                       double aerodynamic_logs, double canopy_resistance);
double penman_monteith(const AirConditions& air, const SurfaceBalance& balance,
                       double vegetation_height, double canopy_resistance, double seasonal_factor);

// Every cell's potential evapotranspiration (soil.potential_et, m/s), net
// radiation and surface temperature for the hour in force.
void evapotranspiration(Model& model, RunContext& ctx);

}  // namespace torva
