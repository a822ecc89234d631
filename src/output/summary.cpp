// The event summary at each event end and the run summary with the global
// water balance, written to the summary file.

#include "output/summary.hpp"

#include <string>
#include <utility>

#include "core/clock.hpp"
#include "core/context.hpp"
#include "core/model_state.hpp"
#include "meteo/events.hpp"
#include "soil/sacramento.hpp"

namespace torva {
namespace {

// One event volume: its label in a column 37 characters wide, then the volume.
void volume_line(RunContext& ctx, const char* label, double volume) {
    ctx.log("%-37s%9.1lf\n", label, volume);
}

// One volume of the run's balance: its label in a column 48 characters wide,
// then the volume.
void total_line(RunContext& ctx, const char* label, double volume) {
    ctx.log("%-48s%14.2lf\n", label, volume);
}

// The same for the initial volumes, whose lines end in a blank.
void initial_line(RunContext& ctx, const char* label, double volume) {
    ctx.log("%-48s%14.2lf \n", label, volume);
}

void write_event_heading(const Model& model, RunContext& ctx) {
    const Precipitation& p = model.precip;
    const double began = p.event_start_time > 0.0 ? p.event_start_time : model.clock.start_time;
    const CalendarTime start = julian_to_calendar(began);
    if (!model.run.long_term) {
        ctx.log("         TORVA EVENT RUNOFF SIMULATION SUMMARY\n");
        ctx.log("            Event began on %2.2d/%2.2d/%4.4d at %2.2d:%2.2d\n", start.month,
                start.day, start.year, start.hour, start.minute);
        ctx.log("\n");
        return;
    }
    if (model.totals.events_summarised > 1)
        ctx.log("\n\n%s\n", std::string(78, '-').c_str());
    ctx.log("       TORVA LONG-TERM RUNOFF SIMULATION SUMMARY- EVENT %ld\n",
            static_cast<long>(model.event_number));
    ctx.log("Event began on strict Julian date:                    %16.8lf\n", began);
    ctx.log("Event ended on strict Julian date:                    %16.8lf\n",
            model.clock.current_time);
    ctx.log("Event began on %2.2d/%2.2d/%4.4d at %2.2d:%2.2d (GMT offset %+.1lf hours)\n",
            start.month, start.day, start.year, start.hour, start.minute,
            model.project.real(Card::GMT));
    ctx.log("\n");
}

void write_rainfall_description(const Model& model, RunContext& ctx) {
    const Precipitation& p = model.precip;
    if (p.source == PrecipSource::uniform) {
        ctx.log("   With uniform rainfall of %6.1lf mm/h for %6.1lf minutes.\n",
                p.uniform_intensity, p.uniform_duration);
    } else {
        const bool radar = p.event.type == PrecipDataType::radar;
        ctx.log(radar ? "With radar-rainfall estimates " : "With raingage data ");
        // Radar grids are read cell by cell and need no spreading.
        if (!(radar && p.event.file_list))
            ctx.log(p.method == SpreadMethod::thiessen
                        ? "using Thiessen polygon interpolation."
                        : "using inverse-distance squared interpolation.");
        ctx.log("\n");
    }
    ctx.log("Units: metric (SI)\n");
}

void write_event_timing(const Model& model, RunContext& ctx) {
    const Precipitation& p = model.precip;
    const OutletRecord& o = model.outlet;
    ctx.log("timestep                                   %5.1lf seconds\n", model.run.time_step);
    ctx.log("time steps with rain                       %5d\n", p.rain_steps);
    if (p.rain_steps > 0 && p.rain_began_minutes >= 0.0)
        ctx.log("rain began at elapsed time                 %9.2lf minutes\n",
                p.rain_began_minutes);
    if (o.peak > 0.0)
        ctx.log(
            "peak discharge at elapsed time             %9.2lf minutes (%2.2d/%2.2d/%4.4d "
            "%2.2d:%2.2d)\n",
            o.peak_step * model.run.time_step / 60.0, o.peak_month, o.peak_day, o.peak_year,
            o.peak_hour, o.peak_minute);
    ctx.log("Event peak discharge (cubic meters per second):  %9.1lf\n", o.peak);
    // A small watershed's peak is lost in one decimal: the figure in full.
    if (o.peak > 0.0)
        ctx.log("Event peak discharge in full (cubic meters per second):  %.6g\n", o.peak);
    ctx.log("\n");
}

// One line of the event's volumes: shown where `shown` holds.
struct VolumeRow {
    bool shown;
    const char* label;
    double volume;
};

void write_event_volumes(const Model& model, RunContext& ctx) {
    const Totals& t = model.totals;
    const VolumeTotals& v = t.event;
    const BalanceOptions& o = t.options;
    const Storages& fin = t.event_final;
    const bool weather = model.run.long_term;  // evaporation and snow come with the weather
    const bool soil_returns_water = o.groundwater || o.single_layer_soil;
    const bool channels = o.channels;
    const bool lakes = o.channels && o.perennial_lakes;
    const bool overland_lakes = o.overland_lakes;
    // Point sources and sinks show only where they moved water.
    const bool stream_points =
        channels && (v.channel_point_sources != 0.0 || v.stream_point_sinks != 0.0);
    const bool lake_points = lakes && (v.lake_point_sources != 0.0 || v.lake_point_sinks != 0.0);
    const bool stream_aquifer = channels && o.stream_groundwater_exchange;
    const bool lake_aquifer = lakes && o.lake_groundwater_exchange;
    const VolumeRow rows[] = {
        {true, "initial volume on surface:", t.event_initial_surface},
        {channels, "initial volume in channels:", t.event_initial_channels},
        {lakes, "initial volume in lakes:", t.event_initial_lakes},
        {weather, "initial volume of snow:", t.event_initial_snow},
        {true, "volume of rainfall to overland:", v.precipitation},
        {lakes, "volume of rainfall to lakes:", v.lake_precipitation},
        {o.interception, "volume of interception:", v.interception},
        {true, "volume of infiltration:", v.infiltration},
        {soil_returns_water, "volume of exfiltration:", v.exfiltration},
        {weather, "volume of direct evaporation:", v.direct_evaporation},
        {weather, "volume of evapotranspiration from soil:", v.evaporation - v.direct_evaporation},
        {weather, "volume of evaporation from canopy:", v.interception_evaporation},
        {weather, "volume of snowfall:", v.snowfall},
        {weather, "volume of snowmelt:", v.snowmelt},
        {v.overland_point_sources != 0.0,
         "volume from overland point sources:", v.overland_point_sources},
        {o.overland_boundaries, "volume gained from head boundaries:", v.boundary_inflow},
        {o.overland_boundaries, "volume lost to head boundaries:", v.boundary_outflow},
        {o.overland_boundaries, "volume lost to slope boundaries:", v.slope_boundary_outflow},
        {channels, "volume of lateral inflow to channels:", v.channel_lateral_inflow},
        {stream_points, "volume from stream point sources:", v.channel_point_sources},
        {stream_points, "volume to stream point sinks:", v.stream_point_sinks},
        {stream_aquifer, "volume from groundwater to channels:", v.groundwater_to_river},
        {stream_aquifer, "volume from channels to groundwater:", v.river_to_groundwater},
        {lakes, "volume of lake evaporation:", v.lake_evaporation},
        {lake_points, "volume from lake point sources:", v.lake_point_sources},
        {lake_points, "volume to lake point sinks:", v.lake_point_sinks},
        {lake_aquifer, "volume from groundwater to lakes:", v.groundwater_to_lake},
        {lake_aquifer, "volume from lakes to groundwater:", v.lake_to_groundwater},
        {true, "volume of discharge:", v.outlet_discharge},
        {true, "volume remaining on surface:", fin.surface},
        // What the overland lakes held and moved; with the weather, what
        // evaporated from them (a part of the direct evaporation).
        {overland_lakes, "initial volume in overland lakes:", t.event_initial_overland_lakes},
        {overland_lakes, "volume of rainfall to overland lakes:", v.overland_lake_precipitation},
        {overland_lakes, "volume of flow into overland lakes:", v.overland_lake_inflow},
        {overland_lakes, "volume of flow from overland lakes:", v.overland_lake_outflow},
        {overland_lakes && weather,
         "volume of evaporation from overland lakes:", v.overland_lake_evaporation},
        {overland_lakes, "volume remaining in overland lakes:", fin.overland_lakes},
        {channels, "volume remaining in channels:", fin.channels},
        {lakes, "volume remaining in lakes:", fin.perennial_lakes},
        {weather, "volume of snow remaining:", fin.snow},
    };
    ctx.log("Note: all volumes in cubic meters.\n");
    for (const VolumeRow& row : rows)
        if (row.shown)
            volume_line(ctx, row.label, row.volume);
    if (fin.snow > 0.0)
        ctx.log("********WARNING - YOU HAVE SNOW ACCUMULATION !!!!!!!!!!!!!!!!\n");
    ctx.log("\n");
}

void write_event_error(const Model& model, RunContext& ctx) {
    const EventBalance& e = model.totals.event_balance;
    ctx.log("mass conservation error:             %9.6lf percent\n", 100.0 * e.error);
    if (e.error >= 0.0 || e.no_rain)
        ctx.log("Note: positive mass conservation error indicates mass was lost.\n");
    else
        ctx.log("Note: negative mass conservation error indicates mass was created.\n");
    ctx.log("Mass input + original mass:           %9.6lf m3\n", e.input);
    ctx.log("Mass output + final mass:             %9.6lf m3\n", e.output);
    ctx.log("mass cleanup error from overland:     %9.6lf m3\n",
            model.totals.event.overland_cleanup);
    if (e.no_rain)
        ctx.log("Note: no rainfall was input.\n");
    ctx.log("\n");
}

// Groups 2 to 9 of the water balance; a blank line stands between groups.
void write_initial_volumes(const Totals& t, RunContext& ctx) {
    const BalanceOptions& o = t.options;
    initial_line(ctx, "Initial volume on surface=", t.initial_surface);
    initial_line(ctx, "Initial volume in channels=", t.initial_channels);
    if (o.single_layer_soil && !o.groundwater)
        initial_line(ctx, "Initial volume in soil over GAR soil depth", t.initial_soil);
    else
        initial_line(ctx, "Initial volume in soils=", t.initial_soil);
    initial_line(ctx, "Initial volume in groundwater=", t.initial_groundwater);
    if (o.overland_lakes)
        initial_line(ctx, "Initial volume in overland lakes:", t.initial_overland_lakes);
    if (o.perennial_lakes)
        initial_line(ctx, "Initial volume in perennial lakes", t.initial_perennial_lakes);
}

void write_final_volumes(const Totals& t, RunContext& ctx) {
    const BalanceOptions& o = t.options;
    const Storages& fin = t.final_storage;
    total_line(ctx, "Final volume on surface=", fin.surface);
    if (o.overland_lakes)
        total_line(ctx, "Final volume in overland lakes:", fin.overland_lakes);
    total_line(ctx, "Final volume in channels=", fin.channels);
    if (o.single_layer_soil && !o.groundwater)
        total_line(ctx, "Final volume in soil over GAR soil depth", fin.soil);
    else
        total_line(ctx, "Final volume in soils=", fin.soil);
    total_line(ctx, "Final volume in groundwater=", fin.groundwater);
    total_line(ctx, "Final volume of snow=", fin.snow);
    if (o.perennial_lakes)
        total_line(ctx, "Final volume in perennial lakes", fin.perennial_lakes);
}

void write_surface_fluxes(const Totals& t, RunContext& ctx) {
    const VolumeTotals& v = t.run;
    total_line(ctx, "Total amount of precip=", v.precipitation);
    total_line(ctx, "Total amount of interception=", v.interception);
    total_line(ctx, "Total amount of infiltration=", v.infiltration);
    total_line(ctx, "Total amount of evaporation=", v.evaporation);
    total_line(ctx, "Total direct evaporation=", v.direct_evaporation);
    if (!t.options.soil_moisture_accounting)
        total_line(ctx, "Total amount of exfiltration=", v.exfiltration);
}

// The weather of a long-term run: where it came from, the span it covers,
// the values repaired, and the evaporation and snow it drove.
void write_weather_totals(const Model& model, RunContext& ctx) {
    const Hydromet& hm = model.hydromet;
    const VolumeTotals& v = model.totals.run;
    const WeatherRecord& a = hm.first_record;
    const WeatherRecord& b = hm.last_record;
    const char* layout = hm.reader.format == WeatherFormat::surface_airways ? "Surface Airways"
                         : hm.reader.format == WeatherFormat::samson        ? "SAMSON"
                                                                            : "HMX";
    ctx.log("Hourly weather (%s) from file: %s\n", layout, hm.file_name.c_str());
    ctx.log("Weather from %d/%d/%d %2d:00 to %d/%d/%d %2d:00, %d hours, %d values repaired\n",
            a.month, a.day, a.year, a.hour, b.month, b.day, b.year, b.hour, hm.record_count,
            hm.repaired_values);
    ctx.log("Evapotranspiration by %s\n",
            hm.method == EtMethod::deardorff ? "the Deardorff energy balance" : "Penman-Monteith");
    total_line(ctx, "Total evaporation from interception=", v.interception_evaporation);
    total_line(ctx, "Total evapotranspiration from soil=", v.evaporation - v.direct_evaporation);
    total_line(ctx, "Total amount of snowfall=", v.snowfall);
    total_line(ctx, "Total amount of snowmelt=", v.snowmelt);
}

void write_subsurface_fluxes(const Totals& t, RunContext& ctx) {
    const VolumeTotals& v = t.run;
    const BalanceOptions& o = t.options;
    if (!o.soil_moisture_accounting) {
        if (o.groundwater) {
            total_line(ctx, "Total recharge inputs to groundwater=", v.groundwater_recharge);
            total_line(ctx, "Total pumping from groundwater=", v.groundwater_pumping);
        }
        total_line(ctx, "Total downward flux from unsaturated zone=", v.unsaturated_downward_flux);
        total_line(ctx, "Total flux of gw across bounds=", v.groundwater_boundary_flux);
    } else {
        total_line(ctx, "Total recharge to deep g.w.=", v.deep_recharge);
    }
    total_line(ctx, "Total overland point sources=", v.overland_point_sources);
    total_line(ctx, "Total channel point sources=", v.channel_point_sources);
    if (v.stream_point_sinks != 0.0)
        total_line(ctx, "Total stream point sinks=", v.stream_point_sinks);
    ctx.log("\n");
    total_line(ctx, "Volume lost to specified slope boundary:", v.slope_boundary_outflow);
    total_line(ctx, "Volume lost to specified head boundary:", v.boundary_outflow);
    total_line(ctx, "Volume gained from specified head boundary:", v.boundary_inflow);
}

void write_channel_fluxes(const Totals& t, RunContext& ctx) {
    const VolumeTotals& v = t.run;
    total_line(ctx, "Total lateral inflow into channels=", v.channel_lateral_inflow);
    total_line(ctx, "Total amount of discharge=", v.outlet_discharge);
    if (t.options.stream_groundwater_exchange) {
        total_line(ctx, "Total flux from river to gw=", v.river_to_groundwater);
        if (t.options.groundwater_feeds_rivers)
            total_line(ctx, "Total flux from gw to river=", v.groundwater_to_river);
    }
}

// What the lakes of the channel network exchange besides their flows: point
// sources and sinks at their nodes, seepage through their beds, and the
// channel water of the links they take over and give back.
void write_channel_lake_exchanges(const VolumeTotals& v, RunContext& ctx) {
    total_line(ctx, "Volume of lake point sources=", v.lake_point_sources);
    total_line(ctx, "Volume of lake point sinks=", v.lake_point_sinks);
    total_line(ctx, "Volume of lake bed seepage=", v.lake_to_groundwater);
    total_line(ctx, "Volume of channels taken over by lakes=", v.lake_takeover);
    total_line(ctx, "Volume of lakes given back to channels=", v.lake_release);
}

void write_lake_fluxes(const Totals& t, RunContext& ctx) {
    const VolumeTotals& v = t.run;
    total_line(ctx, "Volume precip to lakes=", v.lake_precipitation);
    total_line(ctx, "Volume of flow into lakes=", v.lake_inflow);
    total_line(ctx, "Volume of flow from lakes=", v.lake_outflow);
    total_line(ctx, "Volume of lake evap=", v.lake_evaporation);
    write_channel_lake_exchanges(v, ctx);
    if (t.options.lake_groundwater_exchange) {
        total_line(ctx, "Total flux from lakes to gw=", v.lake_to_groundwater);
        total_line(ctx, "Total flux from gw to lakes=", v.groundwater_to_lake);
    }
}

void write_errors(const Totals& t, RunContext& ctx) {
    const BalanceResults& r = t.balance;
    ctx.log("Mass balance error of surface components =              %10.6lf percent\n",
            r.surface_error);
    ctx.log("\n");
    if (!t.options.soil_moisture_accounting) {
        ctx.log("Overall mass balance error =                        %14.6lf percent\n",
                r.overall_error);
        return;
    }
    ctx.log("Overall mass balance error =                    %10.6lf percent\n", r.overall_error);
    ctx.log("*overall mass balance error will not be zero when using the Sacramento\n");
    ctx.log("model because of errors associated with interpolating hourly outflows to\n");
    ctx.log("the channel routing time step, which is generally much less than one\n");
    ctx.log("hour.  However, this error should be less than one percent, except for\n");
    ctx.log("simulations of very short events (only a few hours long).\n");
}

void write_store_balances(const Totals& t, RunContext& ctx) {
    const BalanceOptions& o = t.options;
    const VolumeTotals& v = t.run;
    const BalanceResults& r = t.balance;
    if (o.single_layer_soil)
        ctx.log("Single layer soil moisture mass balance =      %19.6lf percent \n",
                r.soil_moisture_error);
    if (o.overland_lakes) {
        total_line(ctx, "Volume precip to overland lakes:", v.overland_lake_precipitation);
        total_line(ctx, "Volume of flow into overland lakes:", v.overland_lake_inflow);
        total_line(ctx, "Volume of flow from overland lakes:", v.overland_lake_outflow);
        total_line(ctx, "Volume of evaporation from lakes:", v.overland_lake_evaporation);
        total_line(ctx, "Overland lake mass bal error m^3:", r.overland_lake_residual);
    }
    if (o.perennial_lakes)
        total_line(ctx, "Perennial lake mass bal error m^3=", r.perennial_lake_residual);
}

// The aquifer's own balance: its change of storage against everything that
// crossed its bounds.
void write_groundwater_block(const Model& model, RunContext& ctx) {
    const GroundwaterVolumes& v = model.groundwater.volumes;
    const double start = model.totals.initial_groundwater;
    const double end = model.totals.final_storage.groundwater;
    const double inputs = groundwater_inputs(model);
    const double error =
        start != 0.0 ? 100.0 * (end - start - inputs - v.head_boundary) / start : 0.0;
    ctx.log("\n\nGROUNDWATER CALCULATIONS \n");
    ctx.log("GW volume start =                %14.2lf \n", start);
    ctx.log("GW volume end =                  %14.2lf \n", end);
    ctx.log("Sat/unsat. trickery (into gw) =  %14.2lf \n", -model.soil.richards.from_water_table);
    ctx.log("Exfiltration back on overland =  %14.2lf \n", model.totals.run.exfiltration);
    ctx.log("Recharge to groundwater =        %14.2lf \n", v.recharge);
    ctx.log("Total inputs to groundwater=     %14.2lf \n", inputs);
    ctx.log("Flux across head boundaries=     %14.2lf \n", v.head_boundary);
    ctx.log("Leakage to deep aquifer+         %14.2lf \n", v.leakage);
    ctx.log("Pumping                          %14.2lf \n", v.pumping);
    ctx.log("Mass Balance error =             %14.2lf %%  \n", error);
    ctx.log("If you have any head boundaries \n");
    ctx.log("Mass balance errors are likely due to flux across boundary \n");
    ctx.log("Which is not exactly calculated \n");
}

void write_sacramento_stores(const SacramentoParameters& p, const SacramentoStores& s,
                             RunContext& ctx) {
    const std::pair<const char*, std::pair<double, double>> stores[] = {
        {"uztwc", {s.uztwc, p.uztwm}}, {"uzfwc", {s.uzfwc, p.uzfwm}}, {"lztwc", {s.lztwc, p.lztwm}},
        {"lzfpc", {s.lzfpc, p.lzfpm}}, {"lzfsc", {s.lzfsc, p.lzfsm}},
    };
    for (const auto& [name, store] : stores)
        ctx.log("%s:  %10.3lf mm, %8.2lf%%\n", name, store.first,
                100.0 * store.first / store.second);
}

// The soil moisture accounting's stores and its own balance, in mm over the
// watershed and in cubic metres.
void write_sacramento_block(const Model& model, RunContext& ctx) {
    const Sacramento& sac = model.sacramento;
    const double start = sacramento_storage(sac.par, sac.initial);
    const double end = sacramento_storage(sac.par, sac.stores);
    const double residual =
        start + sac.input - sac.evapotranspiration - sac.channel_inflow - sac.deep_recharge - end;
    ctx.log("\n\nSACRAMENTO SOIL MOISTURE ACCOUNTING\n");
    ctx.log("Parameters from file: %s\n", sac.file.c_str());
    ctx.log("Initial stores:\n");
    write_sacramento_stores(sac.par, sac.initial, ctx);
    ctx.log("Final stores:\n");
    write_sacramento_stores(sac.par, sac.stores, ctx);
    const double area = model.grid.cell_size * model.grid.cell_size * model.grid.num_cells;
    for (const double scale : {1.0, area / 1000.0}) {
        ctx.log(scale == 1.0 ? "Mass balance information, mm over the watershed:\n"
                             : "The same in cubic meters:\n");
        ctx.log("Initial subsurface storage=      %18.4lf\n", start * scale);
        ctx.log("Input rainfall=                  %18.4lf\n", sac.input * scale);
        ctx.log("PET=                             %18.4lf\n", sac.demand * scale);
        ctx.log("AET=                             %18.4lf\n", sac.evapotranspiration * scale);
        ctx.log("Subsurface runoff=               %18.4lf\n", sac.channel_inflow * scale);
        ctx.log("Recharge to deep groundwater=    %18.4lf\n", sac.deep_recharge * scale);
        ctx.log("Final subsurface water=          %18.4lf\n", end * scale);
        ctx.log("Residual=                        %18.4lf\n", residual * scale);
    }
    ctx.log("Sacramento simulation total residual water balance: %18.16f mm\n", sac.residual);
    ctx.log(
        "Hours accounted: %lld; increments whose lower-zone deficiency ratio fell below 0 "
        "by rounding and was taken as 0: %lld\n",
        sac.intervals, sac.deficiency_clamped);
}

}  // namespace

double groundwater_inputs(const Model& model) {
    const GroundwaterVolumes& v = model.groundwater.volumes;
    // What the moving water table handed to the Richards columns standing on
    // it left the aquifer's count.
    return v.recharge + v.static_flux + v.from_river - v.to_river - v.leakage - v.pumping -
           model.soil.richards.from_water_table;
}

void write_event_summary(Model& model, RunContext& ctx) {
    Totals& t = model.totals;
    t.event_final = measure_storages(model);
    t.event_balance = compute_event_balance(t, t.event_final);
    ++t.events_summarised;
    write_event_heading(model, ctx);
    write_rainfall_description(model, ctx);
    write_event_timing(model, ctx);
    write_event_volumes(model, ctx);
    write_event_error(model, ctx);
}

void write_run_summary(Model& model, RunContext& ctx) {
    // A run that stopped while an event was still open (its weather data ran
    // out, say) closes that event first, so its summary comes before the run's.
    if (close_event(model, ctx))
        write_event_summary(model, ctx);
    Totals& t = model.totals;
    if (!t.initial_recorded)
        record_initial_storages(model);
    t.final_storage = measure_storages(model);
    t.balance = compute_run_balance(t, t.initial(), t.final_storage);

    if (t.options.groundwater)
        write_groundwater_block(model, ctx);
    if (t.options.soil_moisture_accounting)
        write_sacramento_block(model, ctx);
    ctx.log("\n\nSIMULATION TOTALS\n\n");
    ctx.log("GLOBAL MASS BALANCE CALCULATIONS \n");
    ctx.log("All volumes are in cubic meters \n");
    ctx.log("\n");
    write_initial_volumes(t, ctx);
    ctx.log("\n");
    write_final_volumes(t, ctx);
    ctx.log("\n");
    write_surface_fluxes(t, ctx);
    ctx.log("\n");
    if (model.run.long_term) {
        write_weather_totals(model, ctx);
        ctx.log("\n");
    }
    write_subsurface_fluxes(t, ctx);
    ctx.log("\n");
    write_channel_fluxes(t, ctx);
    if (t.options.perennial_lakes) {
        ctx.log("\n");
        write_lake_fluxes(t, ctx);
    }
    ctx.log("\n");
    write_errors(t, ctx);
    const BalanceOptions& o = t.options;
    if (o.single_layer_soil || o.overland_lakes || o.perennial_lakes) {
        ctx.log("\n");
        write_store_balances(t, ctx);
    }
}

}  // namespace torva
