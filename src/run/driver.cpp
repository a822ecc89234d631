#include "run/driver.hpp"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <ctime>
#include <limits>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "calibration/results.hpp"
#include "channel/channel.hpp"
#include "core/context.hpp"
#include "core/model_state.hpp"
#include "core/output_files.hpp"
#include "grid/grid.hpp"
#include "grid/mapping.hpp"
#include "groundwater/groundwater.hpp"
#include "input/availability.hpp"
#include "input/project.hpp"
#include "input/replace.hpp"
#include "input/series.hpp"
#include "lakes/lakes.hpp"
#include "meteo/events.hpp"
#include "meteo/hydromet.hpp"
#include "meteo/precipitation.hpp"
#include "meteo/radar.hpp"
#include "output/analyzers.hpp"
#include "output/channel_output.hpp"
#include "output/hydrograph.hpp"
#include "output/maps.hpp"
#include "output/summary.hpp"
#include "run/interrupt.hpp"
#include "run/output_names.hpp"
#include "run/run_parameters.hpp"
#include "run/run_report.hpp"
#include "run/step_threads.hpp"
#include "run/terminal_progress.hpp"
#include "soil/infiltration.hpp"
#include "soil/richards.hpp"
#include "soil/sacramento.hpp"
#include "surface/overland.hpp"
#include "surface/roughness.hpp"

namespace torva {
namespace {

constexpr double kCubicFeetPerCubicMetre = 35.31466672;

// Time loop phase 1: the clock moves to the next step (the first call keeps the
// start time) and the calendar form of the new time is derived.
void advance_clock(Model& model, RunContext&) {
    ModelClock& c = model.clock;
    if (c.step_counter > 0) {
        ++c.step_index;
        ++c.hydrograph_counter;
        ++c.map_counter;
        c.current_time = c.start_time + c.step_index * model.run.time_step_days;
        c.elapsed_minutes = c.step_index * model.run.time_step / 60.0;
    }
    ++c.step_counter;
    c.calendar = julian_to_calendar(c.current_time);
    c.whole_seconds = static_cast<int>(c.calendar.second);
    c.day_of_year = day_of_year(c.calendar.year, c.calendar.month, c.calendar.day);
}

// Time loop phase 14: the outlet peak so far, and the event peaks and volumes
// a calibration scores.
void track_peak(Model& model, RunContext&) {
    OutletRecord& o = model.outlet;
    if (o.discharge > o.peak) {
        o.peak = o.discharge;
        o.peak_year = model.clock.calendar.year;
        o.peak_month = model.clock.calendar.month;
        o.peak_day = model.clock.calendar.day;
        o.peak_hour = model.clock.calendar.hour;
        o.peak_minute = model.clock.calendar.minute;
        o.peak_step = model.clock.step_index;
    }
    if (model.calibration)
        accumulate_calibration_results(model);
}

// Time loop phase 16.
void print_progress_line(Model& model, RunContext& ctx) {
    const RunSettings& run = model.run;
    if (run.quiet || run.super_quiet)
        return;
    if (!time_reached(model.clock.current_time, model.next_print_time))
        return;
    const CalendarTime& t = model.clock.calendar;
    if (run.english_units)
        ctx.print(
            "event %2d elapsed time %8.2lf  %2d/%2.2d/%2.2d %2.2d:%2.2d:%2.2d Qout=%10.1lf cfs\n",
            model.event_number, model.clock.elapsed_minutes, t.month, t.day, t.year, t.hour,
            t.minute, model.clock.whole_seconds, model.outlet.discharge * kCubicFeetPerCubicMetre);
    else
        ctx.print(
            "event %2d elapsed time %8.2lf  %2d/%2.2d/%2.2d %2.2d:%2.2d:%2.2d Qout=%8.2lf cms\n",
            model.event_number, model.clock.elapsed_minutes, t.month, t.day, t.year, t.hour,
            t.minute, model.clock.whole_seconds, model.outlet.discharge);
    if (run.stream_info)
        print_stream_extremes(model, ctx);
    if (run.flush_interval > 0 && ++model.progress_lines >= run.flush_interval) {
        std::fflush(ctx.out);
        model.progress_lines = 0;
    }
}

double surface_water_volume(const Model& model) {
    const std::vector<double>& depth = model.overland.depth;
    if (depth.size() < static_cast<std::size_t>(model.grid.num_cells) + 1)
        return 0.0;
    double sum = 0.0;
    for (int i = 1; i <= model.grid.num_cells; ++i) sum += depth[i];
    return sum * model.grid.cell_size * model.grid.cell_size;
}

// In long-term and host-driven runs an event is over once its rain has ended
// and the outlet discharge has fallen below the cutoff, unless much of the
// event's rain still stands on the surface.
bool multi_event_end_test(Model& model, RunContext& ctx) {
    const Precipitation& p = model.precip;
    if (p.raining || p.source == PrecipSource::uniform)
        return false;
    const bool last_event = model.event_number >= model.number_of_events;
    const bool groundwater = model.project.given(Card::GW_SIMULATION);
    const bool sacramento = model.project.given(Card::SACRAMENTO);
    const double cutoff = model.run.event_min_q;

    if (model.outlet.discharge < cutoff) {
        if (last_event) {
            const double rain = model.totals.event.precipitation;
            const double stored = surface_water_volume(model) - model.totals.event_initial_surface;
            if (rain > 0.0 && stored >= 0.05 * rain && !groundwater && !sacramento)
                return false;
        }
        // A storm that never lifted the outlet above the cutoff may still be
        // running down the channels past a hydrograph location.
        if (cutoff > model.outlet.peak && location_discharge_above(model, cutoff))
            return false;
        if (last_event) {
            model.running = false;
            if (!model.run.super_quiet) {
                if (cutoff > model.outlet.peak)
                    ctx.print(
                        "simulation ended normally; peak flow after last event fell below cutoff "
                        "value.\n");
                else
                    ctx.print("simulation ended normally; end of data for last event reached\n");
            }
        }
        return true;
    }
    if (last_event && (groundwater || sacramento) && no_further_precipitation(model)) {
        model.running = false;
        return true;
    }
    return false;
}

// Time loop phase 17: decides whether the current event is over and whether the
// run goes on.
void test_end_of_run(Model& model, RunContext& ctx) {
    const double now = model.clock.current_time;
    bool event_ended = false;
    if (model.run.has_end_time && now > model.run.end_time + kTimeTolerance) {
        event_ended = true;
        model.running = false;
    }
    const bool single_event = !model.run.long_term && !model.run.host_event_mode;
    if (single_event) {
        if (now > model.period_end + kTimeTolerance) {
            event_ended = true;
            model.running = false;
        }
    } else if ((model.precip.event_open || !model.run.long_term) &&
               multi_event_end_test(model, ctx)) {
        // A long-term event is decided once; through the dry spell that
        // follows there is no event to end.
        event_ended = true;
    }
    if (event_ended) {
        model.event_ended = true;
        notify_analyzers(model, ctx, kEventEnded);
    }
}

void write_start_up_information(Model& model, RunContext& ctx) {
    ctx.log("\n\n");
    ctx.log("_________TORVA start-up information________\n");
    ctx.log("Run parameters read from ORBAL project file: %s\n", model.project_file.c_str());
    if (ctx.replacement.active)
        report_replacement_values(ctx);
}

// The run's output files, opened once every input has been read and
// checked; the summary receives the set-up lines held until now. Map files
// with a time axis count their minutes from the start of the run, which the
// precipitation fixes. False when a check stopped the run.
bool open_run_outputs(Model& model, RunContext& ctx) {
    open_run_files(model, ctx);
    if (run_must_stop(ctx))
        return false;
    write_mask_map(model, ctx);
    if (run_must_stop(ctx))
        return false;
    write_channel_diagnostics(model, ctx);
    if (run_must_stop(ctx))
        return false;
    write_link_node_headers(model, ctx);
    if (run_must_stop(ctx))
        return false;
    open_map_outputs(model, ctx);
    return !run_must_stop(ctx);
}

double processor_seconds(std::clock_t since) {
    return static_cast<double>(std::clock() - since) / CLOCKS_PER_SEC;
}

// Initialisation steps 2 to 24; false when a check stopped the run.
bool initialise(Model& model, RunContext& ctx, std::string_view project_file,
                CalibrationResults* results, std::clock_t started) {
    if (results) {
        model.calibration = true;
        model.calibration_results = results;
    }
    model.project_file.assign(project_file.substr(0, 1023));

    if (!model.calibration && ctx.partition == 0)
        ctx.print("reading run parameters from project file: %s\n", model.project_file.c_str());
    read_project_file(model, ctx, model.project_file);
    if (!ctx.error.pending() && ctx.host && ctx.host->values_given && !ctx.host->values_applied &&
        !ctx.host->values.empty()) {
        ctx.print(
            "Error: replacement values were given, but the project declares no tags "
            "(REPLACE_PARAMS).\n");
        ctx.error.raise(err::message_printed);
    }
    if (!ctx.error.pending())
        derive_run_settings(model, ctx);
    if (run_must_stop(ctx))
        return false;

    if (results)
        model.calibration = true;
    validate_cards(model, ctx);
    if (run_must_stop(ctx))
        return false;
    refuse_unavailable_cards(model.project, ctx, model.project_file);
    if (run_must_stop(ctx))
        return false;
    // The analyzer file names outputs of its own.
    if (model.project.given(Card::ANALYZERS))
        read_analyzer_file(model, ctx);
    if (run_must_stop(ctx))
        return false;
    // No output is opened before its name is known to spare every input.
    outputs_spare_inputs(model, ctx, model.project_file);
    if (run_must_stop(ctx))
        return false;

    read_grid_maps(model, ctx);
    if (!ctx.error.pending())
        read_location_lists(model, ctx);
    if (!ctx.error.pending())
        read_index_maps(model, ctx);
    if (!ctx.error.pending())
        read_surface_parameters(model, ctx);
    if (!ctx.error.pending())
        read_soil_parameters(model, ctx);
    if (!ctx.error.pending())
        read_groundwater_maps(model, ctx);
    if (!ctx.error.pending() && model.project.given(Card::SACRAMENTO))
        read_sacramento_file(model, ctx);
    if (!ctx.error.pending())
        read_channel_network(model, ctx);
    if (!ctx.error.pending() && model.sacramento.on)
        set_up_sacramento_weights(model, ctx);
    if (!ctx.error.pending())
        check_channel_locations(model, ctx);
    if (run_must_stop(ctx))
        return false;

    write_start_up_information(model, ctx);

    set_up_run_parameters(model, ctx);
    if (run_must_stop(ctx))
        return false;
    allocate_grid_arrays(model, ctx);
    if (run_must_stop(ctx))
        return false;
    build_connectivity(model, ctx);
    if (run_must_stop(ctx))
        return false;
    compute_bed_slopes(model, ctx);
    if (run_must_stop(ctx))
        return false;

    if (model.run.long_term)
        prepare_hydromet(model, ctx);
    if (!ctx.error.pending())
        prepare_precipitation(model, ctx);
    if (run_must_stop(ctx))
        return false;
    set_up_lakes(model, ctx);
    if (run_must_stop(ctx))
        return false;
    set_up_channel_time_series(model, ctx);
    if (run_must_stop(ctx))
        return false;
    if (model.calibration)
        prepare_calibration_results(model, ctx);
    if (run_must_stop(ctx))
        return false;
    make_series_times_absolute(ctx, model.clock.start_time);
    if (run_must_stop(ctx) || run_must_stop(ctx))
        return false;

    compute_watershed_area(model, ctx);
    if (!ctx.error.pending())
        set_up_soil_layers(model, ctx);
    if (!ctx.error.pending() && model.run.long_term)
        prepare_soil_store(model, ctx);
    if (!ctx.error.pending() && model.sacramento.on)
        prepare_sacramento_hours(model);
    if (!ctx.error.pending())
        check_precipitation_settings(model, ctx);
    if (!ctx.error.pending())
        prepare_groundwater(model, ctx);
    if (!ctx.error.pending() && model.project.infiltration == InfiltrationMethod::richards)
        prepare_richards_water_table(model);
    if (run_must_stop(ctx))
        return false;
    check_map_outputs(model, ctx);
    if (run_must_stop(ctx))
        return false;
    // Every input has been read and checked: only now are the outputs
    // opened, so that a refused run leaves those of an earlier run intact.
    if (!open_run_outputs(model, ctx))
        return false;
    // The water the run starts with, against which the mass balance is drawn.
    record_initial_storages(model);

    if (model.project.given(Card::ANALYZERS))
        set_up_analyzers(model, ctx);
    if (!ctx.error.pending())
        notify_analyzers(model, ctx, kInitFinished);

    const double init_seconds = processor_seconds(started);
    if (ctx.replacement.active)
        report_replacement_use(ctx);
    if (!model.run.super_quiet)
        ctx.print("total time to init(s): %8.1lf\n", init_seconds);
    if (ctx.error.pending()) {
        notify_analyzers(model, ctx, kRunFailed);
        report_error(ctx);
        return false;
    }
    if (!model.run.super_quiet)
        ctx.print("Running....\n");
    ctx.log("Running.... \n\n");
    return true;
}

// One phase of a model step; phases not timed apart count as "other".
struct StepPhase {
    void (*run)(Model&, RunContext&);
    TimedPhase timing = TimedPhase::count;
};

// Before the precipitation phase: a long-term run closes an event that is
// still open when the next one is about to be read, so that the closed event's
// summary describes its own rain.
void close_event_before_next(Model& model, RunContext& ctx) {
    if (model.run.long_term && model.precip.event_open && next_event_due(model) &&
        close_event(model, ctx))
        write_event_summary(model, ctx);
}

// The precipitation phase marks the step in which an event began.
void announce_event_start(Model& model, RunContext& ctx) {
    if (model.precip.event_began)
        notify_analyzers(model, ctx, kEventBegan);
}

// Time loop phase 3: the totals of an event that has just begun are opened
// before its soil and surface state is set up.
void start_event(Model& model, RunContext& ctx) {
    if (!model.precip.event_began)
        return;
    start_event_accounting(model);
    event_start_phase(model, ctx);
}

// Time loop phase 19: the event the end-of-run test found over is closed and
// its summary written, once.
void event_end_phase(Model& model, RunContext& ctx) {
    if (model.event_ended && close_event(model, ctx))
        write_event_summary(model, ctx);
}

void step_finished_phase(Model& model, RunContext& ctx) {
    notify_analyzers(model, ctx, kStepFinished);
}

// A model step: the phases in the order the water moves. Surface fluxes from
// a host, sediment, pipes and contaminants are not part of this build.
constexpr StepPhase kStep[] = {
    {advance_clock},
    {close_event_before_next},
    {precipitation_phase, TimedPhase::precipitation},
    {announce_event_start},
    {start_event},
    {radar_phase},
    {apply_rainfall_phase, TimedPhase::rainfall},
    {infiltration_phase, TimedPhase::infiltration},
    {sacramento_phase},
    {hydromet_phase},
    {soil_moisture_accounting_phase},
    {overland_flow_phase, TimedPhase::overland},
    {groundwater_phase, TimedPhase::groundwater},
    {overland_lakes_phase},
    {channel_routing_phase, TimedPhase::channel},
    // A step accounts the seconds that end at its time, which lie in the
    // hour before a weather hour it reaches (a dry-spell stride, the whole
    // of that hour): the soil, the lakes and Sacramento take them at that
    // hour's potential rate and count them in its report. Only then is the
    // hour reported and the new hour's rate, worked out with its melt by the
    // hydrometeorology phase, put in force for the steps that follow.
    {close_weather_hour_phase},
    {track_peak},
    {print_progress_line},
    {test_end_of_run},
    {event_end_phase},
    {hydrograph_output_phase, TimedPhase::output},
    {map_output_phase, TimedPhase::output},
    {step_finished_phase},
};

// Runs every phase of one step, each followed by the error check; false when
// a check stopped the run.
bool run_step(Model& model, RunContext& ctx) {
    for (const StepPhase& phase : kStep) {
        if (phase.timing == TimedPhase::count)
            phase.run(model, ctx);
        else
            timed(ctx.phase_times, phase.timing, [&] { phase.run(model, ctx); });
        if (run_must_stop(ctx))
            return false;
    }
    return true;
}

// A stop signal ends the run after the step it arrived in, as the end of the
// period would; the summary says so.
void note_interruption(Model& model, RunContext& ctx) {
    const CalendarTime& t = model.clock.calendar;
    ctx.print_and_log(
        "\nRun interrupted by %s after the step ending at %2d/%2.2d/%4d %2.2d:%2.2d:%2.2d "
        "(elapsed time %.2lf minutes); the outputs hold every step up to it.\n",
        stop_signal_name(ctx.interrupted_by), t.month, t.day, t.year, t.hour, t.minute,
        model.clock.whole_seconds, model.clock.elapsed_minutes);
}

// Through a dry spell of a long-term run nothing moves on the ground: no
// event is open, the water left on the ground stands still (below its
// retention, or in hollows whose neighbours all stand higher, and none at the
// outlet), and no channel, lake or boundary carries water on. The clock then
// strides in one step to the next weather hour (or the next event,
// hydrograph row or map, if sooner); the soil store and the weather account
// for the whole stride, the standing water evaporating and soaking into the
// store over it, and the infiltration method sleeps until the next event.
void stride_through_dry_spell(Model& model) {
    const Precipitation& p = model.precip;
    const Hydromet& hm = model.hydromet;
    if (!model.run.long_term || p.event_open || p.raining || !hm.started || hm.data_ended)
        return;
    if (model.project.channel_routing == ChannelRouting::explicit_routing ||
        model.project.given(Card::OV_BOUNDARY) || model.overland.channel_lakes.present() ||
        model.project.given(Card::OVERLAND_LAKE_MAP))
        return;
    if (!surface_water_stands_still(model))
        return;
    ModelClock& c = model.clock;
    const double dt_days = model.run.time_step_days;
    const auto step_at = [&](double t) {
        return static_cast<long long>(std::ceil((t - c.start_time) / dt_days - 1e-6));
    };
    long long target = step_at(hm.next_time);
    double next_event = hm.next_time;
    if (p.source == PrecipSource::gauge_file && p.events_read < p.events_in_file) {
        next_event = p.event_start[p.events_read + 1];
        target = std::min(target, step_at(next_event));
    }
    const long long rows = std::max(model.run.hydrograph_steps, 1);
    target = std::min(target, (c.step_index / rows + 1) * rows);
    if (!model.maps.outputs.empty()) {
        const long long every = std::max(model.run.map_steps, 1);
        const long long next_map = ((c.map_counter - 1) / every + 1) * every + 1;
        target = std::min(target, c.step_index + (next_map - c.map_counter));
    }
    const long long jump = target - 1 - c.step_index;
    if (jump < 1 || target > std::numeric_limits<int>::max())
        return;
    if (!skip_infiltration_to_next_event(model, next_event))
        return;
    c.step_index += static_cast<int>(jump);
    c.strided_steps += static_cast<int>(jump);
    c.hydrograph_counter += static_cast<int>(jump);
    c.map_counter += static_cast<int>(jump);
}

// The time loop: one step after another until the run is over, a check
// stopped it or a stop signal came. A run that stops on an error tells the
// analyzers, which report the state it stopped in.
void run_time_loop(Model& model, RunContext& ctx) {
    TerminalProgress progress(model, ctx);
    StepThreads step_threads;
    const auto note_threads = [&] {
        ctx.phase_times.steps = step_threads.steps();
        ctx.phase_times.single_thread_steps = step_threads.single_thread_steps();
        ctx.phase_times.step_seconds = step_threads.seconds();
        ctx.phase_times.dry_step_seconds = step_threads.dry_seconds();
    };
    for (;;) {
        step_threads.start_step();
        const bool stepped = run_step(model, ctx);
        step_threads.end_step(model.overland.dry);
        if (!stepped)
            break;
        progress.update(model, ctx);
        if (model.running)
            stride_through_dry_spell(model);
        if (const int signal = stop_signal()) {
            ctx.interrupted_by = signal;
            model.running = false;
        } else if (ctx.host && ctx.host->stop_requested && ctx.host->stop_requested()) {
            ctx.interrupted_by = SIGINT;
            model.running = false;
        }
        if (model.running)
            continue;
        note_threads();
        progress.clear(ctx);
        keep_final_maps_for_host(model, ctx);
        write_run_summary(model, ctx);
        report_channel_routing(model, ctx);
        report_richards_columns(model, ctx);
        report_overland_accuracy(model, ctx);
        if (ctx.interrupted_by)
            note_interruption(model, ctx);
        if (!run_must_stop(ctx))
            write_overland_hotstart(model, ctx);
        if (!run_must_stop(ctx))
            write_channel_hotstart(model, ctx);
        if (!run_must_stop(ctx))
            notify_analyzers(model, ctx, kRunFinished);
        else
            notify_analyzers(model, ctx, kRunFailed);
        run_must_stop(ctx);
        return;
    }
    note_threads();
    notify_analyzers(model, ctx, kRunFailed);
    run_must_stop(ctx);
}

int simulate(RunContext& ctx, std::string_view project_file, CalibrationResults* results,
             const std::function<void(const Model&)>& inspect) {
    const std::clock_t started = std::clock();
    auto model = std::make_unique<Model>();
    ctx.error.clear();
    ctx.summary = nullptr;
    ctx.hold_summary();
    ctx.files_written.clear();
    ctx.ignored_cards.clear();

    ctx.phase_times = PhaseTimes{};
    ctx.phase_times.enabled = std::getenv("TORVA_PHASE_TIMES") != nullptr;
    double loop_seconds = 0.0;
    if (initialise(*model, ctx, project_file, results, started)) {
        const auto loop_start = std::chrono::steady_clock::now();
        run_time_loop(*model, ctx);
        loop_seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - loop_start).count();
    } else {
        explain_refusal(*model, ctx, model->project_file);
    }

    close_analyzers(*model, ctx);
    close_map_outputs(*model, ctx);
    close_hydromet(*model, ctx);
    close_run_files(*model, ctx);
    ctx.open_summary(nullptr);
    std::fflush(ctx.out);
    std::fflush(ctx.err);
    if (inspect)
        inspect(*model);
    model.reset();
    ctx.replacement.parameters.clear();
    write_run_time(ctx, processor_seconds(started));
    if (ctx.phase_times.enabled)
        write_phase_times(ctx, loop_seconds);
    // The reporter clears a code once printed; the code that made the run
    // fatal is kept so that callers can tell a failed run from a clean one.
    if (ctx.error.code != 0)
        return ctx.error.code;
    return ctx.error.fatal ? ctx.error.last_fatal_code : 0;
}

}  // namespace

int run_simulation(RunContext& ctx, std::string_view project_file, CalibrationResults* results) {
    return simulate(ctx, project_file, results, {});
}

int run_simulation(RunContext& ctx, std::string_view project_file,
                   const std::function<void(const Model&)>& inspect) {
    return simulate(ctx, project_file, nullptr, inspect);
}

}  // namespace torva
