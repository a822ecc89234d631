#include "meteo/evapotranspiration.hpp"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "core/arrays.hpp"
#include "core/context.hpp"
#include "core/model_state.hpp"
#include "core/parallel.hpp"

namespace torva {
namespace {

constexpr double kPi = std::numbers::pi;
constexpr double kDegree = kPi / 180.0;
constexpr int kMonthDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
constexpr double kVapourGasConstant = 461.0;  // J/kg/K
constexpr double kWaterDensity = 1000.0;      // kg/m3
// Snow water equivalent to snow depth, for the albedo of a snow cover.
constexpr double kSnowDepthPerWater = 4.0;
// Open water reflects about 0.08 of the shortwave (Shuttleworth, 1993,
// "Evaporation", chapter 4 of Maidment's Handbook of Hydrology).
constexpr double kOpenWaterAlbedo = 0.08;
constexpr double kSnowAlbedo = 0.5;

// The canopy's daily rhythm: resistance is least around noon, when stomata
// open, and several times larger at night.
constexpr double kHourlyCanopyFactor[24] = {
    4.023803564, 3.837220945, 3.588557905, 3.210454452, 2.430375714, 1.617231413,
    1.196049428, 1.066950368, 1.014336754, 0.995198325, 0.976059896, 0.976059896,
    1.0,         1.052613613, 1.167444189, 1.354095078, 1.636506383, 2.043283344,
    2.660309947, 3.215256127, 3.507134242, 3.688915186, 3.818082516, 3.923343877};

double specific_humidity(double vapour_pressure, double pressure) {
    return 0.622 * vapour_pressure / (pressure - 0.378 * vapour_pressure);
}

}  // namespace

SolarGeometry solar_geometry(int year, int month, int day, int hour, double latitude_degrees) {
    SolarGeometry s;
    int doy = day;
    for (int m = 1; m < month && m <= 12; ++m) doy += kMonthDays[m - 1];
    if (month >= 3 && year % 4 == 0)
        doy += 1;
    s.day_of_year = doy;
    s.declination = 23.45 * kDegree * std::cos(2.0 * kPi * (172.0 - doy) / 365.0);
    // Hours are counted from solar noon.
    s.hour_angle = 15.0 * kDegree * (hour <= 12 ? hour + 12 : hour - 12);
    const double lat = latitude_degrees * kDegree;
    const double sin_alt = std::cos(lat) * std::cos(s.declination) * std::cos(s.hour_angle) +
                           std::sin(s.declination) * std::sin(lat);
    s.altitude = std::asin(std::clamp(sin_alt, -1.0, 1.0));
    const double cos_alt = std::cos(s.altitude);
    s.azimuth = cos_alt > 0.0
                    ? std::asin(std::clamp(
                          std::sin(s.hour_angle) * std::cos(s.declination) / cos_alt, -1.0, 1.0))
                    : 0.0;
    s.sun_up = s.altitude > 0.0;
    if (s.sun_up) {
        const double alt_deg = s.altitude / kDegree;
        s.air_mass = 1.0 / (std::sin(s.altitude) + 0.15 * std::pow(alt_deg + 3.885, -1.253));
        s.extinction = 0.128 - 0.054 * std::log10(s.air_mass);
    }
    const double g = 2.0 * kPi * (doy - 1) / 365.0;
    s.distance_factor = 1.00011 + 0.034221 * std::cos(g) + 0.00128 * std::sin(g) +
                        0.000719 * std::cos(2.0 * g) + 0.000077 * std::sin(2.0 * g);
    return s;
}

double saturation_vapour_pressure(double celsius) {
    return 0.6108 * std::exp(17.27 * celsius / (celsius + 237.3));
}

AirConditions air_conditions(const WeatherRecord& w) {
    AirConditions a;
    a.temperature = w.temperature;
    a.pressure = w.pressure / 10.0;  // mb to kPa
    a.relative_humidity = w.relative_humidity / 100.0;
    a.vapour_pressure = saturation_vapour_pressure(a.temperature) * a.relative_humidity;
    a.wind_speed = std::max(w.wind_speed, 1.0);
    // The sky cover is in tenths: divided once into a fraction.
    a.cloud_fraction = std::min(w.sky_cover / 10.0, 1.0);
    a.density = 3.486 * a.pressure / (a.temperature + 275.0);
    a.specific_humidity = specific_humidity(a.vapour_pressure, a.pressure);
    // Clear-sky emissivity from the vapour pressure in mb, raised by cloud;
    // the air radiates at its absolute temperature.
    const double ta_k = a.temperature + kKelvin;
    const double emissivity = (0.74 + 0.0049 * a.vapour_pressure * 10.0) *
                              (1.0 + 0.17 * a.cloud_fraction * a.cloud_fraction);
    a.longwave_in = emissivity * kStefanBoltzmann * ta_k * ta_k * ta_k * ta_k / 1000.0;
    a.hour = w.hour;
    return a;
}

ShortwaveHour shortwave_hour(const SolarGeometry& sun, double cloud_fraction) {
    ShortwaveHour h;
    h.sun_up = sun.sun_up;
    if (!h.sun_up)
        return h;
    h.sin_altitude = std::sin(sun.altitude);
    h.cos_altitude = std::cos(sun.altitude);
    h.azimuth = sun.azimuth;
    h.transmissivity = std::exp(-2.0 * sun.air_mass * sun.extinction);
    h.top_of_atmosphere = kSolarConstant * sun.distance_factor;
    h.clear_sky = 1.0 - cloud_fraction;
    // Clear-sky diffuse on level ground (Liu and Jordan).
    h.diffuse =
        h.top_of_atmosphere * h.sin_altitude * std::max(0.271 - 0.294 * h.transmissivity, 0.0);
    return h;
}

CellSurface cell_surface(double slope_x, double slope_y, double vegetation_height) {
    CellSurface c;
    const double slope = std::atan(std::sqrt(slope_x * slope_x + slope_y * slope_y));
    c.sin_slope = std::sin(slope);
    c.cos_slope = std::cos(slope);
    c.half_cos_slope = std::cos(slope / 2.0);
    c.aspect = slope_x != 0.0 ? kPi / 2.0 - std::atan(-slope_y / slope_x) : 0.0;
    // Momentum and heat roughness of the vegetation, measured 2 m above it.
    const double h = vegetation_height > 0.0 ? vegetation_height : 0.001;
    const double zm = h + 2.0;
    const double d = 0.67 * h;
    const double zom = 0.123 * h;
    const double zoh = 0.0123 * h;
    c.aerodynamic_logs = std::log((zm - d) / zom) * std::log((zm - d) / zoh);
    return c;
}

double absorbed_shortwave(const ShortwaveHour& sun, const CellSurface& cell, double albedo,
                          double transmission) {
    if (!sun.sun_up)
        return 0.0;
    const double cos_incidence =
        cell.sin_slope * sun.cos_altitude * std::cos(sun.azimuth - cell.aspect) +
        cell.cos_slope * sun.sin_altitude;
    // Beam on the cell, none of it through an overcast sky.
    double direct = sun.top_of_atmosphere * cos_incidence * sun.transmissivity * sun.clear_sky;
    direct *= transmission > 0.0 ? transmission : 1.0;
    direct = std::max(direct, 0.0);
    // The diffuse sky seen through the sky view of the slope.
    return (sun.diffuse * cell.half_cos_slope * cell.half_cos_slope + direct) * (1.0 - albedo);
}

double absorbed_shortwave(const SolarGeometry& sun, double cloud_fraction, double slope_x,
                          double slope_y, double albedo, double transmission) {
    return absorbed_shortwave(shortwave_hour(sun, cloud_fraction),
                              cell_surface(slope_x, slope_y, 0.0), albedo, transmission);
}

SurfaceBalance surface_energy_balance(const AirConditions& air, double absorbed_shortwave_wm2,
                                      double tg_start, double tolerance, int max_iterations) {
    const double ta_k = air.temperature + kKelvin;
    const double p = air.pressure;
    const double exchange = air.density * kBulkTransfer * air.wind_speed;  // kg/m2/s
    const double shortwave = absorbed_shortwave_wm2 / 1000.0;              // kW/m2
    SurfaceBalance b;
    double tg = std::isfinite(tg_start) && tg_start > 150.0 ? tg_start : ta_k;
    for (int k = 1; k <= max_iterations; ++k) {
        const double tg_c = tg - kKelvin;
        const double es = saturation_vapour_pressure(tg_c);
        const double qg = specific_humidity(es, p);
        const double e_flux = std::max(exchange * (qg - air.specific_humidity), 0.0);
        const double h = exchange * kAirSpecificHeat * (tg - ta_k);
        const double g = h / 3.0;
        const double tg2 = tg * tg;
        const double rn = shortwave + air.longwave_in - kStefanBoltzmann * tg2 * tg2 / 1000.0;
        const double residual = kLatentHeat * e_flux + h + g - rn;
        // Clausius-Clapeyron in kelvin for the slope of the saturation curve.
        const double des_dt = kLatentHeat * 1000.0 * es / (kVapourGasConstant * tg2);
        const double dq_dt = 0.622 * p / ((p - 0.388 * es) * (p - 0.388 * es)) * des_dt;
        const double derivative = (e_flux > 0.0 ? kLatentHeat * exchange * dq_dt : 0.0) +
                                  4.0 * kStefanBoltzmann * tg2 * tg / 1000.0 +
                                  exchange * kAirSpecificHeat * (4.0 / 3.0);
        const double change = std::clamp(residual / derivative, -20.0, 20.0);
        tg -= change;
        b.iterations = k;
        if (std::fabs(change) <= tolerance) {
            b.converged = true;
            break;
        }
    }
    const double es = saturation_vapour_pressure(tg - kKelvin);
    b.temperature = tg;
    b.evaporation = std::max(exchange * (specific_humidity(es, p) - air.specific_humidity), 0.0);
    b.sensible_heat = exchange * kAirSpecificHeat * (tg - ta_k);
    b.ground_heat = b.sensible_heat / 3.0;
    const double tg2 = tg * tg;
    b.net_radiation = shortwave + air.longwave_in - kStefanBoltzmann * tg2 * tg2 / 1000.0;
    return b;
}

PenmanHour penman_hour(const AirConditions& air, double seasonal_factor) {
    PenmanHour h;
    const double ta = air.temperature;
    const double es = saturation_vapour_pressure(ta);
    h.delta = 4098.0 * es / ((ta + 237.3) * (ta + 237.3));
    h.gamma = 1.6286173633440513 * air.pressure / kLatentHeat;
    h.von_karman_wind = 0.41 * 0.41 * air.wind_speed;
    h.canopy_factor = kHourlyCanopyFactor[std::clamp(air.hour, 0, 23)];
    h.seasonal_factor = seasonal_factor;
    // The drying power of the air: its vapour pressure deficit.
    h.drying_power = air.density * kAirSpecificHeat * (es - air.vapour_pressure);
    return h;
}

double penman_monteith(const PenmanHour& hour, const SurfaceBalance& balance,
                       double aerodynamic_logs, double canopy_resistance) {
    const double ra = aerodynamic_logs / hour.von_karman_wind;
    const double rc = hour.canopy_factor * canopy_resistance * hour.seasonal_factor;
    const double denominator = hour.delta + hour.gamma * (1.0 + rc / ra);
    const double radiation_term =
        (balance.net_radiation - balance.ground_heat) * hour.delta / denominator;  // kW/m2
    const double aerodynamic_term = hour.drying_power / ra / denominator;
    const double rate = (radiation_term + aerodynamic_term) / kLatentHeat / kWaterDensity;  // m/s
    return std::max(rate, 0.0);
}

double penman_monteith(const AirConditions& air, const SurfaceBalance& balance,
                       double vegetation_height, double canopy_resistance, double seasonal_factor) {
    return penman_monteith(penman_hour(air, seasonal_factor), balance,
                           cell_surface(0.0, 0.0, vegetation_height).aerodynamic_logs,
                           canopy_resistance);
}

bool prepare_evapotranspiration(Model& model, RunContext& ctx) {
    const int n = model.grid.num_cells;
    const std::size_t size = static_cast<std::size_t>(n) + 1;
    Hydromet& hm = model.hydromet;
    if (!allocate(ctx, hm.cell_surface, size, "cell_surface"))
        return false;
    const Overland& ov = model.overland;
    const bool have_slopes = ov.bed_slope_x.size() == size && ov.bed_slope_y.size() == size;
    const bool have_heights = model.soil.vegetation_height.size() == size;
    for (int i = 1; i <= n; ++i)
        hm.cell_surface[i] = cell_surface(have_slopes ? ov.bed_slope_x[i] : 0.0,
                                          have_slopes ? ov.bed_slope_y[i] : 0.0,
                                          have_heights ? model.soil.vegetation_height[i] : 0.0);
    return true;
}

void evapotranspiration(Model& model, RunContext& ctx) {
    Hydromet& hm = model.hydromet;
    Soil& soil = model.soil;
    const int n = model.grid.num_cells;
    if (hm.cell_surface.size() != static_cast<std::size_t>(n) + 1) {
        ctx.print_and_log("Error: evapotranspiration was asked for before its cells were set up\n");
        ctx.error.raise(err::message_printed);
        return;
    }
    const AirConditions air = air_conditions(hm.weather);
    if (hm.weather.sky_cover > 10.0)
        ctx.print_and_log(
            "WARNING: Cloud cover > 1.0 in evapo_trans - possible problem with hmet file \n");
    // Everything that is the same over the watershed for the hour is worked
    // out once, so that the cell loop keeps only what differs from cell to
    // cell: the beam on its slope, its surface balance and its canopy.
    const ShortwaveHour sun = shortwave_hour(hm.sun, air.cloud_fraction);
    const bool penman = hm.method == EtMethod::penman_monteith;
    const PenmanHour hour = penman_hour(air, hm.seasonal_factor);
    const double tolerance = hm.temperature_tolerance;
    const int max_iterations = hm.max_iterations;

    const CellSurface* surface = hm.cell_surface.data();
    const double* depth = model.overland.depth.data();
    const double* albedo = soil.albedo.data();
    const double* height = soil.vegetation_height.data();
    const double* transmission = soil.transmission_coefficient.data();
    const double* canopy = soil.canopy_resistance.data();
    const double* swe = hm.snow_water_equivalent.data();
    // Cells a lake floods now evaporate as open water.
    const unsigned char* lake =
        soil.lake_cell.size() == static_cast<std::size_t>(n) + 1 ? soil.lake_cell.data() : nullptr;
    double* tg = hm.surface_temperature.data();
    double* rn = hm.net_radiation.data();
    double* pet = soil.potential_et.data();

    int unsettled = 0;
#pragma omp parallel for schedule(static) reduction(+ : unsettled) if (n >= kMinParallelCells)
    for (int i = 1; i <= n; ++i) {
        const double h = penman && height[i] > 0.0 ? height[i] : 0.001;
        double shortwave = 0.0;
        double resistance = 0.0;
        if (lake && lake[i]) {
            // A lake's surface is level, open to the sky, shaded by no
            // canopy, and evaporates through no stomata.
            CellSurface level = surface[i];
            level.sin_slope = 0.0;
            level.cos_slope = level.half_cos_slope = 1.0;
            shortwave = absorbed_shortwave(sun, level, kOpenWaterAlbedo, 1.0);
        } else {
            double a = albedo[i];
            if (depth[i] >= h)
                a = kOpenWaterAlbedo;  // standing water over the vegetation
            else if (swe[i] > 0.0 && swe[i] * kSnowDepthPerWater >= h)
                a = kSnowAlbedo;
            shortwave = absorbed_shortwave(sun, surface[i], a, penman ? transmission[i] : 1.0);
            resistance = penman ? canopy[i] : 0.0;
        }
        const SurfaceBalance b =
            surface_energy_balance(air, shortwave, tg[i], tolerance, max_iterations);
        unsettled += b.converged ? 0 : 1;
        tg[i] = b.temperature;
        rn[i] = b.net_radiation;
        pet[i] = penman ? penman_monteith(hour, b, surface[i].aerodynamic_logs, resistance)
                        : b.evaporation / kWaterDensity;
    }
    if (unsettled > 0)
        ctx.print_and_log(
            "Warning: the surface temperature of %d cells did not settle within %d iterations "
            "at %d/%d/%d %2d:00\n",
            unsettled, max_iterations, hm.weather.month, hm.weather.day, hm.weather.year,
            hm.weather.hour);
}

}  // namespace torva
