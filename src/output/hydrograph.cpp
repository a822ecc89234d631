#include "output/hydrograph.hpp"

#include <cstdio>
#include <string>

#include "core/context.hpp"
#include "core/model_state.hpp"
#include "core/output_files.hpp"
#include "input/numbers.hpp"
#include "input/tokens.hpp"
#include "output/channel_output.hpp"
#include "soil/infiltration.hpp"

namespace torva {
namespace {

// A location file: the number of locations, then two integers per location
// (link and node, or row and column). False when the file cannot be opened
// (nothing raised) or, after its message, when an entry cannot be read: a word
// where a number stands, or fewer pairs than the count announces.
bool read_location_pairs(RunContext& ctx, Card card, const std::string& name,
                         std::vector<std::pair<int, int>>& pairs, bool& opened) {
    const std::string path = strip_quotes(name);
    const std::string card_word = card_name(card);
    std::FILE* f = std::fopen(path.c_str(), "r");
    opened = f != nullptr;
    if (!f)
        return false;
    std::vector<int> numbers;
    bool readable = true;
    {
        LineReader reader(f, ctx);
        std::string line;
        while (readable && reader.next(line)) {
            Tokens tokens(line);
            std::string token;
            while (tokens.text(token)) {
                int value = 0;
                const NumberFault fault = read_integer(token, value);
                if (fault != NumberFault::none) {
                    ctx.print_and_log("Error: location file %s (card %s), line %d: %s %s.\n",
                                      path.c_str(), card_word.c_str(), reader.line_number(),
                                      token.c_str(), number_fault_text(fault));
                    readable = false;
                    break;
                }
                numbers.push_back(value);
            }
        }
    }
    std::fclose(f);
    if (!readable) {
        ctx.error.raise(err::message_printed);
        return false;
    }
    const int count = numbers.empty() ? 0 : numbers[0];
    const int given = numbers.empty() ? 0 : static_cast<int>((numbers.size() - 1) / 2);
    if (count < 0 || count > given) {
        ctx.print_and_log(
            "Error: location file %s (card %s) announces %d locations but holds %d; entry %d is "
            "missing. Make the first number the count of the row and column pairs that follow.\n",
            path.c_str(), card_word.c_str(), count, given, count < 0 ? 0 : given + 1);
        ctx.error.raise(err::message_printed);
        return false;
    }
    for (int k = 0; k < count; ++k) pairs.emplace_back(numbers[1 + 2 * k], numbers[2 + 2 * k]);
    return true;
}

// A soil moisture location must be a cell of the watershed.
bool cells_are_inside(RunContext& ctx, const Grid& grid, const std::string& name,
                      const std::vector<std::pair<int, int>>& pairs) {
    for (std::size_t k = 0; k < pairs.size(); ++k) {
        const auto [row, col] = pairs[k];
        const bool on_grid = row >= 1 && row <= grid.rows && col >= 1 && col <= grid.cols;
        if (on_grid && grid.number_or_zero(row, col) > 0)
            continue;
        ctx.print_and_log(
            "Error: location file %s (card IN_THETA_LOCATION), entry %zu: row %d, column %d lies "
            "outside the %s; give a cell of the watershed.\n",
            strip_quotes(name).c_str(), k + 1, row, col, on_grid ? "watershed mask" : "grid");
        ctx.error.raise(err::message_printed);
        return false;
    }
    return true;
}

// Opens a numbered output file; on failure raises code 4 with the kind of file.
OutputFile open_or_raise(Model& model, RunContext& ctx, Card card, const char* kind) {
    OutputFile f = open_output_file(ctx, model.project.text(card), Numbering::numbered);
    if (!f)
        ctx.error.raise(err::open_file, {.text1 = kind, .text2 = f.path()});
    return f;
}

// A location output file; its failure names the output and the input file.
OutputFile open_location_output(Model& model, RunContext& ctx, Card out, Card in, int code) {
    OutputFile f = open_output_file(ctx, model.project.text(out), Numbering::numbered);
    if (!f) {
        const std::string& input = model.project.text(in);
        // The soil moisture message names its two files the other way round.
        if (code == 48)
            ctx.error.raise(code, {.text1 = input, .text2 = f.path()});
        else
            ctx.error.raise(code, {.text1 = f.path(), .text2 = input});
    }
    return f;
}

bool open_link_node(Model& model, RunContext& ctx, LinkNodeFile& out, Card card, const char* kind,
                    const char* first_line, LinkNodeMode mode) {
    out.first_line = first_line;
    out.mode = mode;
    if (!model.project.given(card))
        return true;
    out.file = open_or_raise(model, ctx, card, kind);
    return out.file.is_open();
}

void open_outputs(Model& model, RunContext& ctx) {
    Outputs& o = model.output;
    const ProjectSettings& p = model.project;

    if (p.given(Card::OUTLET_HYDRO)) {
        o.outlet_hydrograph =
            open_output_file(ctx, p.text(Card::OUTLET_HYDRO), Numbering::numbered);
        o.outlet_hydrograph_path = o.outlet_hydrograph.path();
        if (!o.outlet_hydrograph) {
            raise_open_failure(ctx, o.outlet_hydrograph);
            return;
        }
    }
    if (p.given(Card::SIG_OUTLET_HYDRO)) {
        o.six_digit_hydrograph =
            open_or_raise(model, ctx, Card::SIG_OUTLET_HYDRO, "optional 6 digit hydrograph");
        if (!o.six_digit_hydrograph)
            return;
    }

    if (p.given(Card::IN_HYD_LOCATION)) {
        if (p.given(Card::OUT_HYD_LOCATION)) {
            o.hydrograph_location_file =
                open_location_output(model, ctx, Card::OUT_HYD_LOCATION, Card::IN_HYD_LOCATION, 51);
            if (!o.hydrograph_location_file)
                return;
        }
        if (p.given(Card::OUT_DEP_LOCATION)) {
            o.depth_location_file =
                open_location_output(model, ctx, Card::OUT_DEP_LOCATION, Card::IN_HYD_LOCATION, 50);
            if (!o.depth_location_file)
                return;
        }
    }
    if (p.given(Card::OUT_CON_LOCATION)) {
        o.concentration_location_file =
            open_location_output(model, ctx, Card::OUT_CON_LOCATION, Card::IN_HYD_LOCATION, 49);
        if (!o.concentration_location_file)
            return;
    }
    if (p.given(Card::OUT_MASS_LOCATION)) {
        o.mass_location_file =
            open_location_output(model, ctx, Card::OUT_MASS_LOCATION, Card::IN_HYD_LOCATION, 49);
        if (!o.mass_location_file)
            return;
    }

    if (p.given(Card::IN_THETA_LOCATION)) {
        if (p.given(Card::OUT_THETA_LOCATION)) {
            o.moisture_location_file = open_location_output(model, ctx, Card::OUT_THETA_LOCATION,
                                                            Card::IN_THETA_LOCATION, 48);
            if (!o.moisture_location_file)
                return;
        }
    }

    if (p.given(Card::OUT_WELL_LOCATION)) {
        if (!p.given(Card::USE_WELLS)) {
            ctx.print_and_log(
                "Error: OUT_WELL_LOCATION reports the heads at the wells, which "
                "come with USE_WELLS\n");
            ctx.error.raise(err::message_printed);
            return;
        }
        o.well_location_file = open_or_raise(model, ctx, Card::OUT_WELL_LOCATION, "well location");
        if (!o.well_location_file)
            return;
    }

    if (p.given(Card::LAKE_OUTPUT)) {
        o.lake_output = open_or_raise(model, ctx, Card::LAKE_OUTPUT, "lake output");
        if (!o.lake_output)
            return;
    }

    // The link/node files exist only when the channels are routed.
    if (p.channel_routing != ChannelRouting::explicit_routing)
        return;
    open_link_node(model, ctx, o.channel_depth, Card::CHAN_DEPTH, "output channel depth",
                   "TORVA_LINKNODE_STREAM_DEPTH\n", LinkNodeMode::difference) &&
        open_link_node(model, ctx, o.channel_discharge, Card::CHAN_DISCHARGE,
                       "output channel discharge", "TORVA_LINKNODE_STREAM_FLOW\n",
                       LinkNodeMode::value) &&
        open_link_node(model, ctx, o.channel_stage, Card::CHAN_STAGE, "output channel stage",
                       "TORVA_LINKNODE_STREAM_STAGE\n", LinkNodeMode::value) &&
        open_link_node(model, ctx, o.channel_velocity, Card::CHAN_VELOCITY,
                       "output channel velocity", "TORVA_LINKNODE_STREAM_VELOCITY\n",
                       LinkNodeMode::ratio) &&
        open_link_node(model, ctx, o.flood_stream, Card::FLOOD_STREAM, "output flood stream stage",
                       "TORVA_LINKNODE_FLOOD_STREAM_DEPTH\n", LinkNodeMode::difference) &&
        open_link_node(model, ctx, o.channel_sed_flux, Card::CHAN_SED_FLUX,
                       "output stream_sed_flux", "TORVA_LINKNODE_STREAM_SED_FLUX\n",
                       LinkNodeMode::value);
}

// Time value of the outlet hydrograph rows.
double row_time(const Model& model) {
    if (model.run.long_term)
        return long_term_time(model, 0, 0);
    if (model.run.strict_julian)
        return model.clock.current_time;
    return model.clock.elapsed_minutes;
}

// The outlet rows are flushed as they are written, so that a host can follow
// the run and a full device stops it at once.
bool write_outlet_rows(Model& model, RunContext& ctx) {
    Outputs& o = model.output;
    const bool cfs = model.run.english_units;
    const double q = model.outlet.discharge * (cfs ? kCfsPerCms : 1.0);
    const double t = row_time(model);
    if (ctx.host) {
        ctx.host->outlet_time.push_back(t);
        ctx.host->outlet_discharge.push_back(q);
    }
    if (OutputFile& f = o.outlet_hydrograph) {
        if (model.run.long_term)
            f.print("%16.8lf %11.4lf\n", t, q);
        else if (model.run.strict_julian)
            f.print(cfs ? "%16.8lf %10.3lf\n" : "%16.8lf %9.3lf\n", t, q);
        else
            f.print(cfs ? "%8.2lf %10.3lf\n" : "%8.2lf %9.3lf\n", t, q);
        ++o.outlet_rows;
        if (!flush_output(ctx, f))
            return false;
    }
    if (OutputFile& f = o.six_digit_hydrograph) {
        f.print("%8.2lf %12.6lf\n", t, q);
        if (!flush_output(ctx, f))
            return false;
    }
    return true;
}

// Location rows begin with the long-term time or the elapsed minutes.
void write_location_time(const Model& model, OutputFile& f) {
    if (model.run.long_term)
        f.print("%16.8lf ", long_term_time(model, 0, 0));
    else
        f.print("%14.8lf ", model.clock.elapsed_minutes);
}

// A cell of a long-term store with a top layer: while a wetting front is
// still inside the top layer, the front's water content and 999.99;
// otherwise the water contents of the top layer and of the layer below it.
void write_top_layer_moisture(const Soil& soil, int cell, OutputFile& f) {
    const double top_depth = soil.top_layer_depth;
    const double lower_depth = soil.moisture_layer_depth - top_depth;
    const double front_fill = soil.front_moisture[cell] - soil.moisture[cell];
    const double front_depth = front_fill > 1e-9 ? soil.first_front_depth[cell] / front_fill : 0.0;
    if (soil.first_front_depth[cell] > 0.0 && front_depth < top_depth) {
        f.print("%12.6lf %12.6lf ", soil.front_moisture[cell], 999.99);
        return;
    }
    const double top = soil.top_water[cell];
    f.print("%12.6lf %12.6lf ", top / top_depth, (soil.stored_water[cell] - top) / lower_depth);
}

bool write_moisture_row(Model& model, RunContext& ctx) {
    Outputs& o = model.output;
    OutputFile& f = o.moisture_location_file;
    write_location_time(model, f);
    const RichardsColumns& rc = model.soil.richards;
    const bool columns = model.project.infiltration == InfiltrationMethod::richards && rc.active();
    const bool two_layers =
        model.soil.top_water.size() == static_cast<std::size_t>(model.grid.num_cells) + 1;
    for (const CellLocation& loc : o.moisture_locations) {
        const int cell = model.grid.number_or_zero(loc.row, loc.col);
        if (columns && cell > 0) {
            // Every node of the cell's column, from the surface down.
            const double* theta = &rc.theta[static_cast<std::size_t>(cell) * rc.stride];
            const int nodes = rc.types[rc.soil_type[cell]].nodes;
            for (int j = 0; j < nodes; ++j) f.print("%12.6lf ", theta[j]);
            continue;
        }
        if (two_layers) {
            write_top_layer_moisture(model.soil, cell, f);
            continue;
        }
        f.print("%12.6lf ", surface_water_content(model, cell));
    }
    return f.print("\n") || raise_write_failure(ctx, f);
}

// The groundwater head at each well's cell.
bool write_well_row(Model& model, RunContext& ctx) {
    OutputFile& f = model.output.well_location_file;
    write_location_time(model, f);
    for (const int cell : model.groundwater.well_output_cells)
        f.print("%12.6lf ", model.groundwater.head[cell]);
    return f.print("\n") || raise_write_failure(ctx, f);
}

// The lakes' levels, volumes and flooded cells: the overland lakes first,
// then the lakes of the channel network, in their numbers' order. The first
// row is preceded by a line that names the columns.
bool write_lake_row(Model& model, RunContext& ctx) {
    Outputs& o = model.output;
    OutputFile& f = o.lake_output;
    const Lakes& lakes = model.lakes;
    const std::vector<ChannelLake>& channel_lakes = model.channel.lakes;
    if (o.lake_rows == 0) {
        f.print("# time");
        for (int k = 1; k <= lakes.count; ++k)
            f.print(" olake%d_level olake%d_volume olake%d_cells", k, k, k);
        for (std::size_t k = 1; k <= channel_lakes.size(); ++k)
            f.print(" lake%zu_level lake%zu_volume lake%zu_cells", k, k, k);
        f.print("\n");
    }
    write_location_time(model, f);
    for (int k = 1; k <= lakes.count; ++k)
        f.print("%12.6lf %14.4lf %8d ", lakes.level[k], lakes.volume[k], lakes.cells[k]);
    for (const ChannelLake& lake : channel_lakes)
        f.print("%12.6lf %14.4lf %8d ", lake.water_surface, lake.volume, lake.flooded_cells);
    ++o.lake_rows;
    return f.print("\n") || raise_write_failure(ctx, f);
}

}  // namespace

void read_location_lists(Model& model, RunContext& ctx) {
    Outputs& o = model.output;
    const ProjectSettings& p = model.project;
    bool opened = true;
    if (p.given(Card::IN_HYD_LOCATION)) {
        std::vector<std::pair<int, int>> pairs;
        if (!read_location_pairs(ctx, Card::IN_HYD_LOCATION, p.text(Card::IN_HYD_LOCATION), pairs,
                                 opened)) {
            if (!opened)
                ctx.error.raise(err::open_file, {.text1 = "hydrograph location",
                                                 .text2 = p.text(Card::IN_HYD_LOCATION)});
            return;
        }
        for (auto [link, node] : pairs) o.hydrograph_locations.push_back({link, node});
    }
    if (p.given(Card::IN_THETA_LOCATION)) {
        std::vector<std::pair<int, int>> pairs;
        if (!read_location_pairs(ctx, Card::IN_THETA_LOCATION, p.text(Card::IN_THETA_LOCATION),
                                 pairs, opened)) {
            if (!opened)
                ctx.error.raise(err::open_file, {.text1 = "in_theta location",
                                                 .text2 = p.text(Card::IN_THETA_LOCATION)});
            return;
        }
        if (!cells_are_inside(ctx, model.grid, p.text(Card::IN_THETA_LOCATION), pairs))
            return;
        for (auto [row, col] : pairs) o.moisture_locations.push_back({row, col, 0});
    }
}

void open_run_files(Model& model, RunContext& ctx) {
    const std::string& summary_name = model.project.text(Card::SUMMARY);
    if (!summary_name.empty()) {
        model.output.summary = open_output_file(ctx, summary_name, Numbering::numbered);
        if (!model.output.summary) {
            raise_open_failure(ctx, model.output.summary);
            return;
        }
    }
    ctx.open_summary(model.output.summary.get());
    open_outputs(model, ctx);
}

double long_term_time(const Model& model, int first_weather_year, int last_weather_year) {
    if (model.run.strict_julian)
        return model.clock.current_time;
    const CalendarTime& t = model.clock.calendar;
    const int doy = model.clock.day_of_year;
    if (first_weather_year == last_weather_year)
        return doy + t.hour / 24.0 + t.minute / 1440.0 + model.clock.whole_seconds / 86400.0;
    const double minutes_in_year = (t.year - 1900) % 4 == 0 ? 527040.0 : 525600.0;
    return t.year + (doy * 1440.0 + t.hour * 60.0 + t.minute) / minutes_in_year;
}

void hydrograph_output_phase(Model& model, RunContext& ctx) {
    const int every = model.run.hydrograph_steps > 0 ? model.run.hydrograph_steps : 1;
    if (ctx.partition == 0 && model.clock.step_index % every == 0) {
        if (!write_outlet_rows(model, ctx))
            return;
        if (model.output.moisture_location_file && !write_moisture_row(model, ctx))
            return;
        if (model.output.well_location_file && !write_well_row(model, ctx))
            return;
        if (model.output.lake_output && !write_lake_row(model, ctx))
            return;
        write_channel_outputs(model, ctx);
    }
    if (!model.running && !ctx.error.pending() && model.project.given(Card::ORBAL_HYDRO))
        write_host_hydrograph(model, ctx);
}

void write_host_hydrograph(Model& model, RunContext& ctx) {
    Outputs& o = model.output;
    if (o.outlet_hydrograph && !flush_output(ctx, o.outlet_hydrograph))
        return;
    std::FILE* in = o.outlet_hydrograph_path.empty()
                        ? nullptr
                        : std::fopen(o.outlet_hydrograph_path.c_str(), "r");
    OutputFile out =
        open_output_file(ctx, model.project.text(Card::ORBAL_HYDRO), Numbering::numbered);
    if (!in || !out) {
        ctx.print(
            "\n\nError: Unable to open files to write the ORBAL hydrograph file.\n"
            " Write aborted.\n");
        if (in)
            std::fclose(in);
        return;
    }
    const CalendarTime start = julian_to_calendar(model.clock.start_time);
    out.print("TORVA_ORBAL_HYDROGRAPH_FILE\n");
    out.print("%d\n", 0);  // no host template: no header lines to take over
    out.print("%d\n", start.year * 10000 + start.month * 100 + start.day);
    out.print("%d\n", start.hour * 100 + start.minute);
    out.print("%d\n", model.run.hydrograph_steps);
    out.print("%d\n", o.outlet_rows);
    for (int k = 1; k <= o.outlet_rows; ++k) {
        double time = 0.0, discharge = 0.0;
        if (std::fscanf(in, "%lf %lf", &time, &discharge) != 2)
            break;
        out.print("%11.4lf", discharge);
        out.print(k % 10 == 0 ? "\n" : " ");
    }
    std::fclose(in);
    close_output(ctx, out);
}

void close_run_files(Model& model, RunContext& ctx) {
    Outputs& o = model.output;
    // Every file is closed; the first that fails is reported, in the summary
    // too while it is still open.
    const bool earlier_error = ctx.error.pending();
    for (OutputFile* f :
         {&o.outlet_hydrograph, &o.six_digit_hydrograph, &o.hydrograph_location_file,
          &o.depth_location_file, &o.concentration_location_file, &o.mass_location_file,
          &o.moisture_location_file, &o.well_location_file, &o.lake_output, &o.channel_depth.file,
          &o.channel_discharge.file, &o.channel_stage.file, &o.channel_velocity.file,
          &o.flood_stream.file, &o.channel_sed_flux.file})
        close_output(ctx, *f);
    if (!earlier_error)
        report_error(ctx);
    ctx.summary = nullptr;
    if (!close_output(ctx, o.summary) && !earlier_error)
        report_error(ctx);
}

}  // namespace torva
