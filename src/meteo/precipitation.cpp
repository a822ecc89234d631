#include "meteo/precipitation.hpp"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <limits>

#include "core/arrays.hpp"
#include "core/context.hpp"
#include "core/model_state.hpp"
#include "core/output_files.hpp"
#include "core/parallel.hpp"
#include "core/progress.hpp"
#include "input/tokens.hpp"
#include "meteo/hydromet.hpp"
#include "meteo/rain_spreading.hpp"
#include "surface/roughness.hpp"

namespace torva {
namespace {

// The last RATES rate of an event with nothing after it lasts to the end of
// the simulation: its interval ends at a time no run reaches.
constexpr double kNeverReached = 1.0e12;

// Millimetres per hour times seconds, to metres.
constexpr double kRainToMetres = 1.0 / 3.6e6;
constexpr double kSecondsPerDay = 86400.0;

bool host_driven(const Model& model) {
    return model.run.host_event_mode;
}

void zero_intensities(Precipitation& p) {
    std::fill(p.rain_rate.begin(), p.rain_rate.end(), 0.0);
    ++p.rate_changes;
    std::fill(p.rain_part.begin(), p.rain_part.end(), 0.0);
}

void set_up_uniform_rain(Model& model, RunContext& ctx) {
    const ProjectSettings& cards = model.project;
    Precipitation& p = model.precip;
    if (!cards.given(Card::START_DATE)) {
        ctx.print("You did not specify the starting date and time in the\n");
        ctx.print("project file.  You must do this for simulations with\n");
        ctx.print("uniform precipitation using the START_DATE and START_TIME\n");
        ctx.print("cards.  Edit the project file.   Program terminated.\n");
        ctx.error.raise(err::message_printed);
        return;
    }
    const CardValue& date = cards[Card::START_DATE];
    const CardValue& time = cards[Card::START_TIME];
    model.clock.start_time = calendar_to_julian(date.integer[0], date.integer[1], date.integer[2],
                                                time.integer[0], time.integer[1]);
    model.clock.current_time = model.clock.start_time;

    p.source = PrecipSource::uniform;
    p.uniform_intensity = cards.real(Card::RAIN_INTENSITY);
    p.uniform_duration = cards.integer(Card::RAIN_DURATION);
    // One record per time step with rain.
    p.event.record_count = model.run.time_step > 0.0
                               ? static_cast<int>(p.uniform_duration * 60.0 / model.run.time_step)
                               : 0;
    p.application_count = 1;
    p.events_read = 1;
    p.events_in_file = 1;
    model.number_of_events = 1;
    p.status = PrecipStatus::raining;
    p.next_switch = model.clock.start_time;
    p.event_start_time = model.clock.start_time;
    p.event_end_time = model.clock.start_time + p.uniform_duration / 1440.0;
}

// The TANVIK event summary: every event's start, one line each.
void write_host_event_summary(Model& model, RunContext& ctx) {
    const Precipitation& p = model.precip;
    std::error_code ignored;
    std::filesystem::create_directories("exchange", ignored);
    OutputFile f("exchange/TANVIK_PRECIP.SUM");
    if (!f) {
        ctx.print("Unable to open file TANVIK_PRECIP.SUM for writing. Program terminated\n");
        ctx.error.raise(err::message_printed);
        return;
    }
    f.print("%d\n", p.events_in_file);
    for (int e = 1; e <= p.events_in_file; ++e) {
        const RecordStamp& s = p.event_start_date[e];
        f.print("%4d %2d %2d %2d %2d\n", s.year, s.month, s.day, s.hour, s.minute);
    }
    if (!close_output(ctx, f))
        return;
    ctx.print("TORVA wrote precipitation data event summary to file: exchange/TANVIK_PRECIP.SUM\n");
    ctx.print("No simulations performed.  TORVA terminated.\n\n");
    ctx.error.raise(err::message_printed);
}

// Reads every event once to count them and to learn when each begins.
void scan_precipitation_file(Model& model, RunContext& ctx) {
    Precipitation& p = model.precip;
    const bool long_term = model.run.long_term;
    p.source = PrecipSource::gauge_file;
    p.file_name = strip_quotes(model.project.text(Card::PRECIP_FILE));
    if (host_driven(model))
        progress(model, ctx, "using precipitation data from file: %s\n", p.file_name.c_str());
    p.file.reset(std::fopen(p.file_name.c_str(), "r"));
    if (!p.file) {
        ctx.error.raise(err::open_file, {.text1 = "precipitation input", .text2 = p.file_name});
        return;
    }

    p.event_start.assign(1, 0.0);
    p.event_start_date.assign(1, RecordStamp{});
    p.events_seen = 0;
    EventRead result;
    while ((result = read_precip_event(p.file.get(), ctx, p.event, p.events_seen, p.file_name)) ==
           EventRead::ok) {
        p.event_start.push_back(p.event.stamp_time[1]);
        p.event_start_date.push_back(p.event.stamps[1]);
    }
    p.events_in_file = static_cast<int>(p.event_start.size()) - 1;
    if (result == EventRead::unexpected_end) {
        const RecordStamp& last = p.event_start_date.back();
        ctx.print("Unexpected end of file in rain gage data file.\n");
        ctx.print("Check the format of the data file.\nProgram terminated.");
        ctx.print("Check rain event %d, event after %d %d %d \n", p.events_in_file + 1, last.year,
                  last.month, last.day);
        ctx.error.raise(err::message_printed);
        return;
    }
    if (ctx.error.pending())
        return;

    const int found = p.events_in_file;
    if (!host_driven(model)) {
        ctx.print("End of precipitation input file reached.\n");
        if (long_term) {
            ctx.print("Precip. file contains %d events\n", found);
        } else {
            ctx.print("Precip. file contains %d events, simulating first event only\n", found);
            ctx.print("because LONG_TERM project file card not set in project file.\n");
        }
    } else {
        ctx.print("Precip. file contains %d events.\n", found);
    }
    model.number_of_events = long_term || host_driven(model) ? found : 1;
    std::rewind(p.file.get());
    p.events_seen = 0;
    p.event = PrecipEvent{};

    if (host_driven(model)) {
        const int requested = model.project.tanvik_event_num;
        if (requested == 0)
            return write_host_event_summary(model, ctx);
        if (requested > found) {
            ctx.print("\n\nTANVIK has requested that TORVA run event %d.\n", requested);
            ctx.print("The precip file specified in the project file: %s\n", p.file_name.c_str());
            ctx.print("contains only %d events.  PROGRAM TERMINATED.\n\n", found);
            ctx.error.raise(err::message_printed);
            return;
        }
    }
    // A file run starts with its first event (the one requested by the host).
    if (found > 0) {
        const int first = host_driven(model) ? model.project.tanvik_event_num : 1;
        model.clock.start_time = p.event_start[first];
        model.clock.current_time = model.clock.start_time;
    }
}

void print_reading_line(Model& model, RunContext& ctx) {
    const Precipitation& p = model.precip;
    const char* name = p.file_name.c_str();
    if (host_driven(model)) {
        ctx.print("Searching through precip input file for TANVIK event %d\n",
                  model.project.tanvik_event_num);
    } else if (model.run.long_term) {
        if (!model.run.quiet && !model.run.super_quiet)
            ctx.print("reading precip. data for event %3d from file: %s\n", p.events_read + 1,
                      name);
        ctx.log("---reading precip. data for event %3d from file: %s\n", p.events_read + 1, name);
    } else {
        progress(model, ctx, "reading precip data from file: %s\n", name);
    }
    ctx.log("\n\n");
}

// A gauge far outside the grid most often has its coordinates in another
// system than the maps (degrees against metres, or a swapped pair); it would
// still be spread, so each is named.
void warn_of_distant_gauges(const Grid& grid, const PrecipEvent& event, RunContext& ctx) {
    if (event.file_list || grid.georeference_map.empty())
        return;
    const double west = std::min(grid.west, grid.east), east = std::max(grid.west, grid.east);
    const double south = std::min(grid.south, grid.north), north = std::max(grid.south, grid.north);
    const double width = east - west, height = north - south;
    for (int g = 1; g <= event.gauge_count; ++g) {
        const double x = event.gauge_x[g], y = event.gauge_y[g];
        if (x >= west - width && x <= east + width && y >= south - height && y <= north + height)
            continue;
        ctx.print_and_log(
            "Warning: rain gauge %d of event %s at x %.3f, y %.3f lies farther outside the grid "
            "(west %.3f, south %.3f, east %.3f, north %.3f) than the grid is wide; check that its "
            "coordinates are in the maps' system.\n",
            g, event.title.c_str(), x, y, west, south, east, north);
    }
}

EventRead read_next_event(Model& model, RunContext& ctx) {
    Precipitation& p = model.precip;
    const int reads = host_driven(model) ? model.project.tanvik_event_num : 1;
    EventRead result = EventRead::none;
    for (int i = 0; i < reads; ++i) {
        result = read_precip_event(p.file.get(), ctx, p.event, p.events_seen, p.file_name);
        if (result != EventRead::ok)
            break;
    }
    if (result == EventRead::ok)
        warn_of_distant_gauges(model.grid, p.event, ctx);
    return result;
}

void report_no_event(Model& model, RunContext& ctx) {
    Precipitation& p = model.precip;
    p.status = PrecipStatus::file_exhausted;
    if (p.events_read == 0) {
        ctx.print("\n**********************************\n");
        ctx.print("Data was not correctly read from the rainfall input file.\n");
        ctx.print("Verify the file format.\n");
        ctx.print("***********************************\n");
    }
    if (model.run.long_term && !host_driven(model)) {
        ctx.print("Precip data for event %d was not found in file: %s\n", p.events_read + 1,
                  p.file_name.c_str());
        ctx.print("TORVA assumes this means all events have been simulated.\n");
        ctx.print("Program terminating normally.\n");
    }
}

DateHour date_hour(const RecordStamp& s) {
    return {s.year, s.month, s.day, s.hour};
}

// Builds the nearest-gauge table of the event just read.
void find_nearest_gauges_of_event(Model& model, RunContext& ctx) {
    Precipitation& p = model.precip;
    const std::size_t entries = static_cast<std::size_t>(model.grid.num_cells) + 1;
    if (p.nearest_gauge.size() != entries &&
        !allocate(ctx, p.nearest_gauge, entries, "nearest_gauge"))
        return;
    if (find_nearest_gauges(model.grid, p.event, p.nearest_gauge) > 0) {
        ctx.print("Failure to identify closest raingauge in find_neighbor\n");
        ctx.print("check rain gage data file, particularly gage coordinates\n");
        ctx.error.raise(err::message_printed);
    }
}

// The event just read becomes the current event.
void begin_event(Model& model, RunContext& ctx) {
    Precipitation& p = model.precip;
    PrecipEvent& event = p.event;
    const int listed = event.record_count;
    p.event_date = event.stamps[1];
    p.event_start_time = event.stamp_time[1];
    p.event_end_time = event.stamp_time[listed];
    p.next_switch = p.event_start_time;
    p.last_switch = p.event_start_time;
    p.record_index = 1;
    p.events_read = host_driven(model) ? model.project.tanvik_event_num : p.events_read + 1;
    p.status = PrecipStatus::raining;
    p.raining = true;
    p.event_began = true;
    p.event_open = true;

    if (model.run.long_term && p.hydromet_span_known &&
        !event_within_hydromet_span(ctx, p.events_read, date_hour(p.event_date), p.hydromet_first,
                                    p.hydromet_last)) {
        ctx.error.raise(err::message_printed);
        return;
    }
    convert_to_intensities(event, ctx);
    if (event.type == PrecipDataType::rates) {
        // The last listed rate is applied too: it lasts until the next event
        // of a long-term run begins, or to the end of the simulation.
        event.record_count = listed + 1;
        const int next = p.events_read + 1;
        const bool next_event = model.run.long_term && next <= p.events_in_file;
        event.stamp_time[listed + 1] = next_event ? p.event_start[next] : kNeverReached;
    }
    if (p.method == SpreadMethod::thiessen && event.gauge_count >= 2 && !event.file_list)
        find_nearest_gauges_of_event(model, ctx);
}

// Event phase: reads the next event once the model time reaches its start.
void start_next_event(Model& model, RunContext& ctx) {
    if (!next_event_due(model))
        return;
    print_reading_line(model, ctx);
    const EventRead result = read_next_event(model, ctx);
    if (result == EventRead::unexpected_end) {
        ctx.print("Unexpected end of file in rain gauge data file.\n");
        ctx.print("Check the format of the data file.\nProgram terminated.");
        ctx.error.raise(err::message_printed);
        return;
    }
    if (result == EventRead::none) {
        if (!ctx.error.pending())
            report_no_event(model, ctx);
        return;
    }
    begin_event(model, ctx);
}

void end_event_rain(Precipitation& p) {
    p.raining = false;
    if (p.status == PrecipStatus::raining)
        p.status = PrecipStatus::no_event;
    if (p.status == PrecipStatus::file_exhausted)
        p.status = PrecipStatus::finished;
    zero_intensities(p);
}

// Record phase of a file source: the intensities of the record whose interval
// holds the model time. A step longer than a record interval passes over the
// records it leaves behind; their rain is not seen by the model.
void update_gauge_record(Model& model) {
    Precipitation& p = model.precip;
    PrecipEvent& event = p.event;
    const double now = model.clock.current_time;
    int due = 0;
    while (p.status == PrecipStatus::raining && now > p.next_switch - kTimeTolerance) {
        if (p.record_index >= event.record_count) {
            end_event_rain(p);
            return;
        }
        due = p.record_index++;
        p.last_switch = now;
        p.next_switch = event.stamp_time[p.record_index];
    }
    if (due == 0)
        return;
    if (event.file_list) {
        p.radar_record_due = due;
        return;
    }
    ++p.rate_changes;
    if (p.method == SpreadMethod::thiessen && event.gauge_count >= 2)
        spread_nearest_gauge(model.grid, event, p.nearest_gauge, due, p.rain_rate);
    else
        spread_inverse_distance(model.grid, event, due, p.rain_rate);
}

// The cells whose rain rate is not 0 (a rate that is not a number counts),
// row by row: read once for each change of the rates.
void find_rain_cells(Precipitation& p, const std::vector<int>& row_begin) {
    const int rows = static_cast<int>(row_begin.size()) - 2;
    RowSpans& spans = p.rain_cells;
    spans.size_for(rows);
    const double* rate = p.rain_rate.data();
    const int last = static_cast<int>(p.rain_rate.size()) - 1;
    for (int r = 1; r <= rows; ++r) {
        const int end = std::min(row_begin[r + 1], last + 1);
        int a = row_begin[r];
        while (a < end && rate[a] == 0.0) ++a;
        int b = end;
        while (b > a && rate[b - 1] == 0.0) --b;
        spans.begin[r] = a;
        spans.end[r] = b;
    }
    spans.known = true;
    p.rain_cells_of = p.rate_changes;
}

void update_uniform_rain(Model& model) {
    Precipitation& p = model.precip;
    if (p.status != PrecipStatus::raining)
        return;
    if (p.application_count >= p.event.record_count + 1) {
        zero_intensities(p);
        p.raining = false;
        p.status = PrecipStatus::finished;
        return;
    }
    if (p.raining)
        return;
    std::fill(p.rain_rate.begin() + 1, p.rain_rate.end(), p.uniform_intensity);
    ++p.rate_changes;
    p.raining = true;
    p.event_began = true;
    p.event_open = true;
    p.event_start_time = model.clock.current_time;
}

bool date_check_failed(RunContext& ctx, int event_number) {
    ctx.print("Error: TORVA failed on date check for precip event %d\n", event_number);
    return false;
}

}  // namespace

void prepare_precipitation(Model& model, RunContext& ctx) {
    const ProjectSettings& cards = model.project;
    Precipitation& p = model.precip;
    if (cards.given(Card::PRECIP_UNIF) && cards.given(Card::PRECIP_FILE)) {
        ctx.error.raise(10);
        return;
    }
    p.method =
        cards.given(Card::RAIN_THIESSEN) ? SpreadMethod::thiessen : SpreadMethod::inverse_distance;
    const std::size_t entries = static_cast<std::size_t>(model.grid.num_cells) + 1;
    if (!allocate(ctx, p.rain_rate, entries, "rain_rate"))
        return;
    if (!allocate(ctx, p.rain_part, entries, "rain_part"))
        return;
    if (cards.precipitation == PrecipitationKind::uniform)
        set_up_uniform_rain(model, ctx);
    else
        scan_precipitation_file(model, ctx);
}

void check_precipitation_settings(Model& model, RunContext& ctx) {
    (void)ctx;
    // The period of a single-event run is set again when its event begins.
    model.period_end = model.clock.start_time + model.run.total_time / 1440.0;
    model.running = true;
}

bool next_event_due(const Model& model) {
    const Precipitation& p = model.precip;
    if (p.source != PrecipSource::gauge_file || p.status != PrecipStatus::no_event)
        return false;
    if (p.events_read >= model.number_of_events)
        return false;
    // The host asks for one event of the file, which is the whole run.
    if (host_driven(model) && p.events_read > 0)
        return false;
    const int next = p.events_read + 1;
    return host_driven(model) || next > p.events_in_file ||
           model.clock.current_time >= p.event_start[next] - kTimeTolerance;
}

void precipitation_phase(Model& model, RunContext& ctx) {
    Precipitation& p = model.precip;
    p.event_began = false;
    p.radar_record_due = 0;
    if (p.source == PrecipSource::uniform)
        return update_uniform_rain(model);
    start_next_event(model, ctx);
    if (ctx.error.pending())
        return;
    update_gauge_record(model);
}

void apply_rainfall_phase(Model& model, RunContext& ctx) {
    Precipitation& p = model.precip;
    if (p.status != PrecipStatus::raining || !p.raining)
        return;
    const int cells = model.grid.num_cells;
    std::vector<double>& depth = model.overland.depth;
    if (depth.size() < static_cast<std::size_t>(cells) + 1 ||
        p.rain_rate.size() < static_cast<std::size_t>(cells) + 1) {
        ctx.print("Error: the overland depth array is not allocated before rain is applied\n");
        ctx.error.raise(err::message_printed);
        return;
    }
    // A step rains over the model step that begins at its time. An event run
    // ends on the first step past its period, and the steps that close it
    // route the water on without rain: only the part of a step that lies
    // before the end of the period receives rain.
    double dt = model.run.time_step;
    if (!model.run.long_term && !model.run.host_event_mode && model.period_end > 0.0) {
        // Julian dates carry about 1e-5 s of rounding; the clock counts to the millisecond.
        const double left =
            std::round((model.period_end - model.clock.current_time) * kSecondsPerDay * 1000.0) /
            1000.0;
        if (left < dt - 0.01)
            dt = std::max(left, 0.0);
        if (dt <= 0.0)
            return;
    }
    const double cell_area = model.grid.cell_size * model.grid.cell_size;
    SurfaceParameters& surface = model.surface;
    Overland& ov = model.overland;
    // Rain and snow on an overland lake fall into its water.
    Lakes& lakes = model.lakes;
    const int* lake = lakes.present() ? lakes.cell_lake.data() : nullptr;
    // Where the cells that may hold water are known, rain and interception
    // visit only those and the cells it rains on: on any other cell they
    // would add nothing and change nothing.
    const bool by_rows = ov.water.known && !lake && ov.water.rows() >= 1 &&
                         ov.row_begin.size() == ov.water.begin.size();
    if (by_rows && p.rain_cells_of != p.rate_changes)
        find_rain_cells(p, ov.row_begin);

    // Interception takes its share first; the ground gets the effective rate.
    const std::vector<double>* reaching_ground = &p.rain_rate;
    if (surface.interception) {
        // The cells it rains on, and those whose effective rate the last step
        // may have left above 0.
        if (by_rows)
            widen_spans(p.canopy_cells, p.rain_cells);
        const double intercepted = intercept_rain(
            surface, p.rain_rate, cells, dt, model.grid.cell_size, model.clock.calendar.month,
            model.project.real(Card::LATITUDE), &model.overland.channel_lakes.lake_number,
            by_rows ? &p.canopy_cells : nullptr, &ov.row_begin);
        if (by_rows)
            copy_spans(p.canopy_cells, p.rain_cells);
        else
            p.canopy_cells.known = false;
        model.totals.run.interception += intercepted;
        model.totals.event.interception += intercepted;
        reaching_ground = &surface.effective_rain_rate;
    }
    const double* rate = reaching_ground->data();
    const double* rain = p.rain_rate.data();
    // Below freezing the precipitation that reaches the ground is snow: it
    // goes to the snow store instead of the surface water.
    advance_weather_hour(model, ctx);
    if (ctx.error.pending())
        return;
    const Hydromet& hm = model.hydromet;
    const bool snowing = model.run.long_term && hm.started && hm.weather.temperature < 0.0 &&
                         hm.snow_water_equivalent.size() == static_cast<std::size_t>(cells) + 1;
    double* h = snowing ? model.hydromet.snow_water_equivalent.data() : depth.data();
    // Snow on the open water of a lake of the network melts into it (no lake
    // is modelled as frozen): it reaches the cell's water, which the lake
    // gathers as its precipitation, and not the snow store.
    const std::vector<int>& network_lake = model.overland.channel_lakes.lake_number;
    const int* snow_to_lake = snowing && network_lake.size() == static_cast<std::size_t>(cells) + 1
                                  ? network_lake.data()
                                  : nullptr;
    if (snow_to_lake)
        ov.water.known = false;
    // The cells it rains on may now hold water; snow leaves the depths as
    // they were.
    const RowSpans every_cell;
    const RowSpans* visit = &every_cell;
    if (by_rows && !snowing) {
        widen_spans(ov.water, p.rain_cells);
        visit = &ov.water;
    } else if (!snowing) {
        ov.water.known = false;
    }
    // Rain and what reaches the ground outside lakes, mm/h summed over cells,
    // and the first cell whose depth is no longer a number (the third sum
    // counts them).
    const CellSums<3> sums = ordered_span_sums<CellSums<3>>(
        *visit, ov.row_begin, 1, cells, cells >= kMinParallelCells, [&](int i, CellSums<3>& s) {
            s[0] += rain[i];
            if (lake && lake[i] > 0) {
                if (!std::isfinite(rate[i]))
                    s[2] += 1.0;
                return;
            }
            if (snow_to_lake && snow_to_lake[i] > 0) {
                depth[i] += rate[i] * dt * kRainToMetres;
                if (!std::isfinite(depth[i]))
                    s[2] += 1.0;
                return;
            }
            h[i] += rate[i] * dt * kRainToMetres;
            s[1] += rate[i];
            if (!std::isfinite(h[i]))
                s[2] += 1.0;
        });
    const double rain_sum = sums[0];
    const double ground_sum = sums[1];
    int first_bad_cell = cells + 1;
    if (sums[2] > 0.0)
        for (int i = 1; i <= cells; ++i) {
            const bool to_lake_water = snow_to_lake && snow_to_lake[i] > 0;
            if (!std::isfinite(lake && lake[i] > 0 ? rate[i] : to_lake_water ? depth[i] : h[i])) {
                first_bad_cell = i;
                break;
            }
        }
    if (lake) {
        // In cell order, so the lakes' sums do not depend on the thread count.
        double lake_sum = 0.0;  // mm/h over lake cells
        for (int i = 1; i <= cells; ++i) {
            if (lake[i] == 0)
                continue;
            lakes.pending[lake[i]] += rate[i] * dt * cell_area * kRainToMetres;
            lake_sum += rate[i];
        }
        lakes.flows.rain += lake_sum * dt * cell_area * kRainToMetres;
    }
    if (snowing)
        model.hydromet.snow = true;
    const double volume = rain_sum * dt * cell_area * kRainToMetres;
    model.totals.run.precipitation += volume;
    model.totals.event.precipitation += volume;
    if (snowing) {
        const double snow = ground_sum * dt * cell_area * kRainToMetres;
        model.totals.run.snowfall += snow;
        model.totals.event.snowfall += snow;
    }

    ++p.application_count;
    ++p.rain_steps;
    if (p.rain_began_minutes < 0.0)
        p.rain_began_minutes = model.clock.elapsed_minutes;

    if (first_bad_cell <= cells) {
        ctx.print(
            "A non-real number for water depth has been detected for overland cell %d after "
            "applying rainfall\n",
            first_bad_cell);
        ctx.error.raise(err::message_printed);
    }
}

bool no_further_precipitation(const Model& model) {
    const Precipitation& p = model.precip;
    if (p.status == PrecipStatus::file_exhausted || p.status == PrecipStatus::finished)
        return true;
    return p.status == PrecipStatus::no_event && p.events_read >= model.number_of_events;
}

bool event_within_hydromet_span(RunContext& ctx, int event_number, const DateHour& start,
                                const DateHour& first, const DateHour& last) {
    const long Y = start.year, M = start.month, D = start.day, H = start.hour;
    const char* check_dates = "Program terminating.  Check your dates.\n";
    const char* check_times = "Program terminating.  Check your times and dates.\n";
    if (Y < first.year) {
        ctx.print("\nRaingage Data starts in %ld, hydromet data doesn't start until %ld.\n", Y,
                  long(first.year));
        ctx.print("%s", check_dates);
        return date_check_failed(ctx, event_number);
    }
    if (Y > last.year) {
        ctx.print("\nRaingage Data starts in %ld, hydromet data ends in %ld.\n", Y,
                  long(last.year));
        ctx.print("%s", check_dates);
        return date_check_failed(ctx, event_number);
    }
    const bool first_year = Y == first.year;
    const bool last_year = Y == last.year;
    if (first_year && M < first.month) {
        ctx.print("\nRaingage Data starts in month %ld of %ld while hmet data starts in\n", M, Y);
        ctx.print("month %ld of %ld\n", long(first.month), long(first.year));
        ctx.print("%s", check_dates);
        return date_check_failed(ctx, event_number);
    }
    if (last_year && M > last.month) {
        ctx.print("\nRaingage Data starts in month %ld of %ld while hmet data ends in\n", M, Y);
        ctx.print("month %ld of %ld\n", long(last.month), long(last.year));
        ctx.print("%s", check_dates);
        return date_check_failed(ctx, event_number);
    }
    const bool first_month = first_year && M == first.month;
    const bool last_month = last_year && M == last.month;
    if (first_month && D < first.day) {
        ctx.print("\nRaingage data starts on day %ld of month %ld in year %ld\n", D, M, Y);
        ctx.print("while the hmet data begins on day %ld of month %ld in year %ld\n",
                  long(first.day), long(first.month), long(first.year));
        ctx.print("%s", check_dates);
        return date_check_failed(ctx, event_number);
    }
    if (last_month && D > last.day) {
        ctx.print("\nRaingage data starts on day %ld of month %ld in year %ld\n", D, M, Y);
        ctx.print("while the hmet data ends on day %ld of month %ld in year %ld\n", long(last.day),
                  long(last.month), long(last.year));
        ctx.print("%s", check_dates);
        return date_check_failed(ctx, event_number);
    }
    if (first_month && D == first.day && H < first.hour) {
        ctx.print("\nRaingage data starts on hour %ld day %ld month %ld in year %ld\n", H, D, M, Y);
        ctx.print("while the hmet data begins on hour %ld day %ld of month %ld in year %ld\n",
                  long(first.hour), long(first.day), long(first.month), long(first.year));
        ctx.print("%s", check_times);
        return date_check_failed(ctx, event_number);
    }
    if (last_month && D == last.day && H > last.hour) {
        ctx.print("\nRaingage data starts on hour %ld day %ld month %ld in year %ld\n", H, D, M, Y);
        ctx.print("while the hmet data ends on hour %ld day %ld of month %ld in year %ld\n",
                  long(last.hour), long(last.day), long(last.month), long(last.year));
        ctx.print("%s", check_times);
        return date_check_failed(ctx, event_number);
    }
    return true;
}

}  // namespace torva
