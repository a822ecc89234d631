// The hydrometeorology phase of long-term runs: once per weather hour it
// reads the hour, places the sun, computes every cell's potential
// evapotranspiration, melts snow, keeps the frozen ground index and reports.

#include "meteo/hydromet.hpp"

#include <algorithm>
#include <cmath>

#include "core/arrays.hpp"
#include "core/clock.hpp"
#include "core/context.hpp"
#include "core/model_state.hpp"
#include "input/tokens.hpp"
#include "meteo/evapotranspiration.hpp"
#include "meteo/weather_file.hpp"
#include "surface/roughness.hpp"

namespace torva {
namespace {

constexpr double kHourDays = 1.0 / 24.0;
constexpr double kHourSeconds = 3600.0;
constexpr double kMetresPerSecondToCmPerHour = 360000.0;
constexpr double kFrozenGroundDecay = 0.99875;

// The weather hour that holds a moment.
double hour_start(double julian) {
    const CalendarTime t = julian_to_calendar(julian);
    return calendar_to_julian(t.year, t.month, t.day, t.hour, 0);
}

DateHour date_hour(const WeatherRecord& w) {
    return {w.year, w.month, w.day, w.hour};
}

void stop_at_end_of_data(Model& model, RunContext& ctx) {
    Hydromet& hm = model.hydromet;
    if (hm.data_ended)
        return;
    hm.data_ended = true;
    ctx.print_and_log("End of meteorology data reached.  TORVA terminated\n");
    model.running = false;
}

// Reads forward to the record of the hour starting at `wanted`.
bool read_hour(Model& model, RunContext& ctx, double wanted) {
    Hydromet& hm = model.hydromet;
    for (;;) {
        WeatherRecord w;
        switch (read_weather_hour(hm.reader, ctx, w)) {
            case WeatherRead::failed:
                return false;
            case WeatherRead::end_of_data:
                stop_at_end_of_data(model, ctx);
                return false;
            case WeatherRead::ok:
                break;
        }
        const double t = record_time(w);
        if (t < wanted - kTimeTolerance)
            continue;
        if (t > wanted + kTimeTolerance) {
            const CalendarTime c = julian_to_calendar(wanted);
            ctx.print_and_log(
                "Error: the weather file %s begins after the run: it has no hour %d/%d/%d "
                "%2d:00.  Program terminated.\n",
                hm.reader.file_name.c_str(), c.month, c.day, c.year, c.hour);
            ctx.error.raise(err::message_printed);
            return false;
        }
        hm.weather = w;
        return true;
    }
}

// Snowmelt of the hour by the energy-balance degree formula, m of water,
// whatever the model step: the whole hour's melt is released at once.
double hourly_melt(const WeatherRecord& w, double rain_intensity) {
    const double ta = w.temperature;
    const double uf = w.wind_speed * 0.0002 / 1000.0 * 3600.0;
    const double qr = rain_intensity > 0.0 ? rain_intensity / 10.0 * ta : 0.0;
    const double ta_k = ta + 273.15;
    const double energy =
        4.956e-9 * ta_k * ta_k * ta_k * ta_k - 27.0 +
        (2.749e8 * std::exp(-4278.6 / (ta + 242.8)) * w.relative_humidity / 100.0 - 6.11) * 600.0 *
            uf +
        0.00061 * w.pressure * 600.0 * uf * ta + qr;
    return std::max(energy / 80.0 * kHourSeconds / 360000.0, 0.0);
}

// Snow melts onto the ground; the frozen ground index follows the air.
void snow_and_frozen_ground(Model& model) {
    Hydromet& hm = model.hydromet;
    Soil& soil = model.soil;
    const int n = model.grid.num_cells;
    const double ta = hm.weather.temperature;
    const double k = ta < 0.0 ? 0.08 : 0.5;
    double* swe = hm.snow_water_equivalent.data();
    double* cfgi = soil.frozen_ground_index.data();
    double* depth = model.overland.depth.data();
    const double* rain = model.precip.rain_rate.data();
    const bool lakes = soil.lake_cell.size() == static_cast<std::size_t>(n) + 1;
    double melted = 0.0;
    bool snow_left = false;
    for (int i = 1; i <= n; ++i) {
        if (lakes && soil.lake_cell[i])
            continue;
        if (swe[i] > 0.0) {
            const double melt = std::min(hourly_melt(hm.weather, rain[i]), swe[i]);
            swe[i] -= melt;
            depth[i] += melt;
            melted += melt;
            snow_left = snow_left || swe[i] > 0.0;
        }
        // Snow insulates the ground; the index falls slowly in a thaw.
        const double next =
            kFrozenGroundDecay * cfgi[i] - std::exp(-0.4 * k * 100.0 * swe[i]) * ta / 24.0;
        cfgi[i] = std::max(next, 0.0);
    }
    hm.snow = snow_left;
    // Melt wets cells the overland phase may not know to hold water.
    if (melted > 0.0)
        model.overland.water.known = false;
    const double volume = melted * model.grid.cell_size * model.grid.cell_size;
    model.totals.run.snowmelt += volume;
    model.totals.event.snowmelt += volume;
}

// The hourly line and the long-term output file: watershed averages of the
// hour that has just passed.
void report_hour(Model& model, RunContext& ctx) {
    Hydromet& hm = model.hydromet;
    hm.report_pending = false;
    Soil& soil = model.soil;
    const int n = model.grid.num_cells;
    const double area = model.grid.cell_size * model.grid.cell_size * n;
    const double seconds = soil.period_seconds;
    const double per_hour = seconds > 0.0 ? kMetresPerSecondToCmPerHour / (area * seconds) : 0.0;
    double pet_sum = 0.0, theta_sum = 0.0;
    const double thickness = soil.moisture_layer_depth;
    const RichardsColumns& rc = soil.richards;
    const bool columns = rc.active() && rc.root_zone_water.size() == soil.potential_et.size();
    // The soil's water content is the land's: the soil under a lake neither
    // takes water in nor gives it up while flooded.
    const bool lakes = soil.lake_cell.size() == static_cast<std::size_t>(n) + 1;
    int land = 0;
    for (int i = 1; i <= n; ++i) {
        pet_sum += soil.potential_et[i];
        if (lakes && soil.lake_cell[i])
            continue;
        ++land;
        if (columns) {
            // The water content of a column's root zone.
            const double depth = rc.types[rc.soil_type[i]].root_depth;
            theta_sum += depth > 0.0 ? rc.root_zone_water[i] / depth : 0.0;
        } else if (!soil.stored_water.empty() && thickness > 0.0) {
            const double theta = soil.stored_water[i] / thickness;
            if (!std::isfinite(theta))
                ctx.print("Theta_all for cell %d is not a number \n", i);
            theta_sum += theta;
        }
    }
    const double pet = pet_sum / n * kMetresPerSecondToCmPerHour;
    const double aet = soil.period_actual_et * per_hour;
    const double infiltration = soil.period_infiltration * per_hour;
    const double percolation = soil.period_percolation * per_hour;
    const double theta = land > 0 ? theta_sum / land : 0.0;
    const double cfgi = hm.finished_cfgi;
    const WeatherRecord& w = hm.finished;
    if (!model.run.quiet && !model.run.super_quiet) {
        ctx.print(
            "%d/%d/%d %2d:00 PET cm/h %6.4lf AET cm/h %6.4lf Infil cm/h %6.4lf Theta %5.2lf \n",
            w.month, w.day, w.year, w.hour, pet, aet, infiltration, theta);
    }
    ctx.log("longterm %d/%d/%d  %2d:00 Avg. Soil Moisture: %7.2lf  \n", w.month, w.day, w.year,
            w.hour, theta);
    if (hm.long_term_output.is_open()) {
        hm.long_term_output.print(
            "%d/%d/%d  %2d:00 %12.6lf %12.6lf %12.6lf %12.6lf %12.6lf %12.6lf %12.6lf", w.year,
            w.month, w.day, w.hour, theta, pet, aet, infiltration, percolation, cfgi,
            w.temperature);
        // With Sacramento accounting, its stores (mm) and the hour's channel
        // inflow (mm over the watershed) follow.
        const Sacramento& sac = model.sacramento;
        if (sac.on)
            hm.long_term_output.print(" %10.4lf %10.4lf %10.4lf %10.4lf %10.4lf %10.4lf %10.6lf",
                                      sac.stores.uztwc, sac.stores.uzfwc, sac.stores.lztwc,
                                      sac.stores.lzfsc, sac.stores.lzfpc, sac.stores.adimc,
                                      sac.hour_channel_inflow);
        hm.long_term_output.print("\n");
        if (hm.long_term_output.failed())
            raise_write_failure(ctx, hm.long_term_output);
    }
    soil.period_infiltration = soil.period_actual_et = soil.period_percolation = 0.0;
    soil.period_seconds = 0.0;
}

}  // namespace

void prepare_hydromet(Model& model, RunContext& ctx) {
    const ProjectSettings& cards = model.project;
    Hydromet& hm = model.hydromet;
    hm.method =
        cards.given(Card::ET_CALC_DEARDORFF) ? EtMethod::deardorff : EtMethod::penman_monteith;
    WeatherFormat format = WeatherFormat::none;
    std::string name;
    if (cards.given(Card::HMET_HMX)) {
        format = WeatherFormat::hmx;
        name = strip_quotes(cards.text(Card::HMET_HMX));
    } else if (cards.given(Card::HMET_SURFAWAYS)) {
        format = WeatherFormat::surface_airways;
        name = strip_quotes(cards.text(Card::HMET_SURFAWAYS));
    } else if (cards.given(Card::HMET_SAMSON)) {
        format = WeatherFormat::samson;
        name = strip_quotes(cards.text(Card::HMET_SAMSON));
    } else {
        ctx.print_and_log(
            "Error: a long-term run needs hourly weather: give HMET_HMX, HMET_SURFAWAYS or "
            "HMET_SAMSON with the weather file\n");
        ctx.error.raise(err::message_printed);
        return;
    }
    if (!model.run.quiet && !model.run.super_quiet)
        ctx.print("reading hydrometeorological data from file: %s\n", name.c_str());
    if (!scan_weather_file(hm, ctx, format, name))
        return;
    hm.file_name = name;
    Precipitation& p = model.precip;
    p.hydromet_span_known = true;
    p.hydromet_first = date_hour(hm.first_record);
    p.hydromet_last = date_hour(hm.last_record);

    const std::size_t size = static_cast<std::size_t>(model.grid.num_cells) + 1;
    if (!allocate(ctx, hm.surface_temperature, size, "surface_temperature") ||
        !allocate(ctx, hm.net_radiation, size, "net_radiation") ||
        !allocate(ctx, hm.snow_water_equivalent, size, "snow_water_equivalent") ||
        !allocate(ctx, model.soil.frozen_ground_index, size, "cfgi") ||
        !allocate(ctx, model.soil.potential_et, size, "potential_et") ||
        !allocate(ctx, hm.next_potential_et, size, "next_potential_et") ||
        !prepare_evapotranspiration(model, ctx))
        return;
    if (cards.given(Card::DAILY_OUTPUT)) {
        hm.long_term_output =
            open_output_file(ctx, cards.text(Card::DAILY_OUTPUT), Numbering::numbered);
        if (!hm.long_term_output) {
            raise_open_failure(ctx, hm.long_term_output);
            return;
        }
        hm.long_term_output.print(
            "yr/mo/day  hour     avg_theta    avg_pot      avgetrate    avgfav      avgbottomfav  "
            "CFGI         temp(C)");
        if (model.sacramento.on)
            hm.long_term_output.print(
                "      uztwc      uzfwc      lztwc      lzfsc      lzfpc      adimc  chan_in(mm)");
        hm.long_term_output.print("\n");
    }
}

void advance_weather_hour(Model& model, RunContext& ctx) {
    if (!model.run.long_term)
        return;
    Hydromet& hm = model.hydromet;
    if (hm.data_ended || hm.surface_temperature.empty())
        return;
    const double now = model.clock.current_time;
    if (!hm.started) {
        hm.next_time = hour_start(now);
        hm.started = true;
    }
    if (now < hm.next_time - kTimeTolerance)
        return;
    // The hour of the previous weather record is over; its report waits
    // for the accounting of the step that closed it.
    if (hm.weather.year != 0) {
        hm.finished = hm.weather;
        hm.report_pending = true;
        const int n = model.grid.num_cells;
        double cfgi_sum = 0.0;
        for (int i = 1; i <= n; ++i) cfgi_sum += model.soil.frozen_ground_index[i];
        hm.finished_cfgi = cfgi_sum / n;
    }
    if (!read_hour(model, ctx, hm.next_time))
        return;
    // From the record's own date: adding an hour to a Julian date hour after
    // hour drifts by a rounding each time, and after a few months the clock
    // no longer meets the weather hours it is looking for.
    hm.next_time = record_time(hm.weather) + kHourDays;
    hm.hour_pending = true;
}

void hydromet_phase(Model& model, RunContext& ctx) {
    advance_weather_hour(model, ctx);
    Hydromet& hm = model.hydromet;
    if (!hm.hour_pending || ctx.error.pending())
        return;
    hm.hour_pending = false;
    const double latitude = model.project.real(Card::LATITUDE);
    const WeatherRecord& w = hm.weather;
    hm.sun = solar_geometry(w.year, w.month, w.day, w.hour, latitude);
    hm.seasonal_factor =
        model.project.given(Card::SEASONAL_RS) ? seasonal_divisor(w.month, latitude) : 1.0;
    // The new hour's rate is worked out aside; the step's accounting goes
    // on at the rate of the hour its seconds lie in.
    Soil& soil = model.soil;
    std::swap(soil.potential_et, hm.next_potential_et);
    evapotranspiration(model, ctx);
    std::swap(soil.potential_et, hm.next_potential_et);
    hm.rate_pending = true;
    snow_and_frozen_ground(model);
}

void close_weather_hour_phase(Model& model, RunContext& ctx) {
    Hydromet& hm = model.hydromet;
    if (hm.report_pending && !ctx.error.pending())
        report_hour(model, ctx);
    if (hm.rate_pending) {
        std::swap(model.soil.potential_et, hm.next_potential_et);
        hm.rate_pending = false;
    }
}

void close_hydromet(Model& model, RunContext& ctx) {
    close_output(ctx, model.hydromet.long_term_output);
}

}  // namespace torva
