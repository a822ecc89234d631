// The sun, the radiation and the evapotranspiration of one weather hour
// against figures worked out by hand from the published formulas (a
// calculator and a bisection on the surface energy balance, not this code).

#include "meteo/evapotranspiration.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <numbers>

#include "core/context.hpp"
#include "core/model_state.hpp"

namespace torva {
namespace {

constexpr double kDegree = std::numbers::pi / 180.0;

// Relative closeness of 0.3 %.
void expect_close(double actual, double expected, const char* what) {
    EXPECT_NEAR(actual, expected, 0.003 * std::fabs(expected)) << what;
}

struct SunCase {
    int year, month, day, hour;
    double latitude;
    int day_of_year;
    double declination_deg, hour_angle_deg, altitude, azimuth, air_mass, extinction, e0;
};

// 21 June: day 172, the declination is its full 23.45 degrees, and at noon
// (hour angle 360 degrees) the sun stands 90 - 40 + 23.45 = 73.45 degrees up:
// m = 1 / (sin 73.45 + 0.15 (73.45 + 3.885)^-1.253) = 1.04252. 1 March 2021
// at 9: day 31 + 28 + 1 = 60, delta = 23.45 cos(2 pi 112 / 365) = -8.19923,
// omega = 15 (9 + 12) = 315 degrees, sin(alt) = cos 40 cos delta cos 315 +
// sin delta sin 40 = 0.44447.
const SunCase kSunCases[] = {
    {2021, 6, 21, 12, 40.0, 172, 23.45, 360.0, 1.28194434, 0.0, 1.04251685, 0.12702351, 0.96744279},
    {2021, 3, 1, 9, 40.0, 60, -8.19923283, 315.0, 0.46057884, -0.89673503, 2.23935341, 0.10909338,
     1.01898436},
};

TEST(SolarGeometry, DeclinationHourAngleAltitudeAndAirMass) {
    for (const SunCase& c : kSunCases) {
        const SolarGeometry s = solar_geometry(c.year, c.month, c.day, c.hour, c.latitude);
        EXPECT_EQ(s.day_of_year, c.day_of_year);
        expect_close(s.declination / kDegree, c.declination_deg, "declination");
        expect_close(s.hour_angle / kDegree, c.hour_angle_deg, "hour angle");
        expect_close(s.altitude, c.altitude, "altitude");
        EXPECT_NEAR(s.azimuth, c.azimuth, 0.003 * std::fabs(c.azimuth) + 1e-12);
        expect_close(s.air_mass, c.air_mass, "air mass");
        expect_close(s.extinction, c.extinction, "extinction");
        expect_close(s.distance_factor, c.e0, "Earth-Sun distance factor");
        EXPECT_TRUE(s.sun_up);
    }
}

WeatherRecord weather(int month, int day, int hour, double celsius, double humidity,
                      double sky_tenths, double wind, double millibars) {
    WeatherRecord w;
    w.year = 2021;
    w.month = month;
    w.day = day;
    w.hour = hour;
    w.temperature = celsius;
    w.relative_humidity = humidity;
    w.sky_cover = sky_tenths;
    w.wind_speed = wind;
    w.pressure = millibars;
    return w;
}

// Midnight of 10 April at 40 degrees north: the sun is 42.4 degrees below the
// horizon. At 5 C and 80 % the air holds ea = 0.8 * 0.87252 = 0.69802 kPa, so
// the sky emits (0.74 + 0.0049 * 6.9802) (1 + 0.17 * 0.04) 5.67e-8 *
// 278.15^4 = 264.54 W/m2. The ground, balancing that against its own
// emission and the air's sensible heat (no dew: E = 0), settles at 272.491 K,
// with a net radiation of -48.06 W/m2.
TEST(SurfaceEnergyBalance, NightHourHasNoShortwaveAndLongwaveOnly) {
    const SolarGeometry sun = solar_geometry(2021, 4, 10, 0, 40.0);
    EXPECT_FALSE(sun.sun_up);
    EXPECT_EQ(absorbed_shortwave(sun, 0.2, 0.1, 0.05, 0.23, 1.0), 0.0);
    const AirConditions air = air_conditions(weather(4, 10, 0, 5.0, 80.0, 2.0, 2.0, 1010.0));
    expect_close(air.longwave_in, 0.26454080, "incoming longwave, kW/m2");
    const SurfaceBalance b = surface_energy_balance(air, 0.0, 0.0, 1e-6, 50);
    EXPECT_TRUE(b.converged);
    expect_close(b.temperature, 272.49061, "surface temperature");
    expect_close(b.net_radiation, -0.04805940, "net radiation");
    EXPECT_EQ(b.evaporation, 0.0);
    expect_close(penman_monteith(air, b, 0.3, 70.0, 1.0), 7.7875947e-10, "PET at night, m/s");
}

// Noon of 21 June on a cell sloping 0.1 east and 0.05 south, under 3 tenths
// of cloud, 25 C, 50 %, 3 m/s, 1000 mb, pasture (albedo 0.23, 0.3 m, 70 s/m):
// the beam 1353 E0 cos(i) exp(-2 m k) (1 - 0.3) and the Liu-Jordan diffuse
// give 551.79 W/m2 absorbed; the surface settles at 303.484 K with Rn =
// 0.442749 kW/m2 and G = H / 3 = 0.0156957; ra = ln(2.099/0.0369)
// ln(2.099/0.00369) / (0.41^2 3) = 50.832 s/m; rc = 70 s/m at noon; and
// Penman-Monteith gives 1.36516e-7 m/s (0.49 mm/h).
TEST(PenmanMonteith, DaytimeHourOnATiltedCell) {
    const SolarGeometry sun = solar_geometry(2021, 6, 21, 12, 40.0);
    const AirConditions air = air_conditions(weather(6, 21, 12, 25.0, 50.0, 3.0, 3.0, 1000.0));
    const double shortwave = absorbed_shortwave(sun, air.cloud_fraction, 0.1, 0.05, 0.23, 1.0);
    expect_close(shortwave, 551.79429, "absorbed shortwave, W/m2");
    const SurfaceBalance b = surface_energy_balance(air, shortwave, 0.0, 1e-6, 50);
    EXPECT_TRUE(b.converged);
    expect_close(b.temperature, 303.48365, "surface temperature");
    expect_close(b.net_radiation, 0.44274903, "net radiation");
    expect_close(b.ground_heat, 0.01569569, "ground heat");
    expect_close(penman_monteith(air, b, 0.3, 70.0, 1.0), 1.3651626e-7, "PET, m/s");
}

// 21 June at 15:00 on level ground, 28 C, 40 %, 1 tenth of cloud, 4 m/s,
// 990 mb, albedo 0.2: the Deardorff balance converges to Tg = 302.0932 K,
// where lambda E + 4/3 H = Rn with E = 1.81306e-4 kg/m2/s.
TEST(Deardorff, HourConvergesToTheSurfaceTemperature) {
    const SolarGeometry sun = solar_geometry(2021, 6, 21, 15, 40.0);
    const AirConditions air = air_conditions(weather(6, 21, 15, 28.0, 40.0, 1.0, 4.0, 990.0));
    const double shortwave = absorbed_shortwave(sun, air.cloud_fraction, 0.0, 0.0, 0.2, 1.0);
    expect_close(shortwave, 559.76479, "absorbed shortwave, W/m2");
    const SurfaceBalance b = surface_energy_balance(air, shortwave, 290.0, 1e-6, 50);
    EXPECT_TRUE(b.converged);
    EXPECT_LT(b.iterations, 10);
    expect_close(b.temperature, 302.09316, "surface temperature");
    expect_close(b.evaporation, 1.8130583e-4, "evaporation, kg/m2/s");
    expect_close(b.net_radiation, 0.46783931, "net radiation");
}

// The hour of the test above over two cells of that slope and pasture, the
// second flooded by a lake. The lake's surface is level, open and bare: the
// clear-sky diffuse of 1353 E0 sin(alt) (0.271 - 0.294 tau) plus the beam
// 1353 E0 sin(alt) tau (1 - 0.3), tau = exp(-2 m k), less 0.08, is 672.444
// W/m2 absorbed; the surface settles at 305.682 K (Rn = 0.549309, G =
// 0.0221653 kW/m2), and Penman-Monteith with no surface resistance gives
// 2.14518e-7 m/s (0.77 mm/h) against the pasture's 1.36516e-7. Deardorff's
// E of the two balances is 1.84233e-4 and 1.51965e-4 kg/m2/s.
TEST(Evapotranspiration, LakeCellEvaporatesAsLevelOpenWater) {
    for (const EtMethod method : {EtMethod::penman_monteith, EtMethod::deardorff}) {
        RunContext ctx;
        auto m = std::make_unique<Model>();
        m->grid.num_cells = 2;
        Hydromet& hm = m->hydromet;
        hm.method = method;
        hm.weather = weather(6, 21, 12, 25.0, 50.0, 3.0, 3.0, 1000.0);
        hm.sun = solar_geometry(2021, 6, 21, 12, 40.0);
        hm.temperature_tolerance = 1e-6;
        hm.cell_surface.assign(3, cell_surface(0.1, 0.05, 0.3));
        hm.surface_temperature.assign(3, 0.0);
        hm.net_radiation.assign(3, 0.0);
        hm.snow_water_equivalent.assign(3, 0.0);
        Soil& soil = m->soil;
        soil.albedo.assign(3, 0.23);
        soil.vegetation_height.assign(3, 0.3);
        soil.transmission_coefficient.assign(3, 1.0);
        soil.canopy_resistance.assign(3, 70.0);
        soil.potential_et.assign(3, 0.0);
        soil.lake_cell = {0, 0, 1};
        m->overland.depth.assign(3, 0.0);
        evapotranspiration(*m, ctx);
        ASSERT_FALSE(ctx.error.pending());
        if (method == EtMethod::penman_monteith) {
            expect_close(soil.potential_et[1], 1.3651626e-7, "pasture PET, m/s");
            expect_close(soil.potential_et[2], 2.1451783e-7, "lake PET, m/s");
        } else {
            expect_close(soil.potential_et[1], 1.5196462e-7, "pasture E, m/s");
            expect_close(soil.potential_et[2], 1.8423252e-7, "lake E, m/s");
        }
        expect_close(hm.surface_temperature[2], 305.68215, "lake surface temperature");
        expect_close(hm.net_radiation[2], 0.54930900, "lake net radiation");
    }
}

// Overcast is ten tenths, read once as a fraction of 1 (more is clipped);
// air below 1 m/s is taken as 1 m/s.
TEST(AirConditions, CloudAndWindEdges) {
    EXPECT_EQ(air_conditions(weather(6, 1, 12, 10.0, 50.0, 10.0, 3.0, 1000.0)).cloud_fraction, 1.0);
    EXPECT_EQ(air_conditions(weather(6, 1, 12, 10.0, 50.0, 12.0, 3.0, 1000.0)).cloud_fraction, 1.0);
    EXPECT_EQ(air_conditions(weather(6, 1, 12, 10.0, 50.0, 5.0, 3.0, 1000.0)).cloud_fraction, 0.5);
    EXPECT_EQ(air_conditions(weather(6, 1, 12, 10.0, 50.0, 0.0, 0.4, 1000.0)).wind_speed, 1.0);
}

}  // namespace
}  // namespace torva
