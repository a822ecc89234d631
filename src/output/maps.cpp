#include "output/maps.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "core/arrays.hpp"
#include "core/clock.hpp"
#include "core/context.hpp"
#include "core/file_names.hpp"
#include "core/model_state.hpp"
#include "core/output_files.hpp"
#include "grid/raster.hpp"
#include "grid/raster_library.hpp"
#include "input/project_state.hpp"

namespace torva {
namespace {

// What each kind is called and where its values come from. Kinds whose process
// is not part of this build have no values; their cards stop the run.
struct KindInfo {
    MapKind kind;
    Card card;
    const char* card_word;
    const char* dataset_name;  // name in the dataset header and of the NetCDF variable
    int object_id;
    const char* base_name;     // of grid series files
    const char* open_message;  // when a grid series file cannot be opened
    const char* units;
    const char* long_name;
    bool built;
};

constexpr KindInfo kKinds[] = {
    {MapKind::depth, Card::DEPTH, "DEPTH", "depth", 1010, "depth",
     "Can't open depth map for writing: %s\n", "m", "overland water depth", true},
    {MapKind::discharge, Card::DISCHARGE, "DISCHARGE", "discharge", 1011, "discharge",
     "Can't open discharge map for writing: %s\n", "m3 s-1", "overland discharge magnitude", true},
    {MapKind::rain, Card::DIS_RAIN, "DIS_RAIN", "rain", 1012, "rain",
     "Can't open rainfall map for writing: %s\n", "mm h-1", "rainfall intensity", true},
    {MapKind::infiltrated_depth, Card::INF_DEPTH, "INF_DEPTH", "infiltrated_depth", 1013, "infdep",
     "Can't open Cum. infilt. depth map for writing: %s\n", "m", "cumulative infiltrated depth",
     true},
    {MapKind::infiltration_rate, Card::RATE_OF_INFIL, "RATE_OF_INFIL", "infiltration_rate", 1014,
     "infrate", "Can't open infiltration rate map for writing: %s\n", "cm h-1", "infiltration rate",
     true},
    {MapKind::surface_moisture, Card::SURF_MOIST, "SURF_MOIST", "surface_moisture", 1015, "smoist",
     "Can't open surface moisture content map for writing: %s\n", "1",
     "surface soil moisture content", true},
    {MapKind::groundwater_head, Card::GW_OUTPUT, "GW_OUTPUT", "groundwater_head", 1016, "gw_head",
     "Can't open groundwater head map for writing: %s\n", "m", "groundwater head", true},
    {MapKind::sediment_flux, Card::MAX_SED_FLUX, "MAX_SED_FLUX", "sediment_flux", 1017,
     "max_sed_flux", "Can't open sediment flux map for writing: %s\n", "", "sediment flux", false},
    {MapKind::sediment_volume, Card::NET_SED_VOLUME, "NET_SED_VOLUME", "sediment_volume", 1018,
     "net_sed_volume", "Can't open sediment volume map for writing: %s\n", "m3",
     "net sediment volume", false},
    {MapKind::suspended_sediment, Card::VOL_SED_SUSP, "VOL_SED_SUSP", "suspended_sediment_conc",
     1019, "sed_susp", "Can't open suspended sediment map for writing: %s\n", "",
     "suspended sediment concentration", false},
    {MapKind::contaminant, Card::OV_CON_MAP, "OV_CON_MAP", "contaminant_conc", 1020, "ov_con",
     "Can't open contaminant map for writing: %s\n", "", "contaminant concentration", false},
    {MapKind::flood_grid, Card::FLOOD_GRID, "FLOOD_GRID", "flood_grid", 1021, "flood_grid",
     "Can't open flood grid map for writing: %s\n", "m", "largest overland water depth", true},
};

const KindInfo& info(MapKind kind) {
    return kKinds[static_cast<int>(kind)];
}

MapForm form_of(int map_type) {
    switch (map_type) {
        case 0:
            return MapForm::grid_series;
        case 1:
            return MapForm::text_dataset;
        case 2:
            return MapForm::binary_dataset;
        case 4:
            return MapForm::text_dataset;
        case 5:
            return MapForm::netcdf;
        case 6:
            return MapForm::geotiff;
        default:
            return MapForm::none;
    }
}

template <typename... Args>
bool stop(RunContext& ctx, const char* format, Args... args) {
    ctx.print(format, args...);
    ctx.error.raise(err::message_printed);
    return false;
}

bool write_failed(RunContext& ctx, const std::string& path, const std::string& reason) {
    return stop(ctx, "Error: could not write map file %s: %s\n", path.c_str(), reason.c_str());
}

// The grid as the raster library writes it: the values of every grid
// position, row by row from the north-west, the fill value outside the mask.
constexpr double kLibraryFillValue = -9999.0;

RasterGeoreference library_georeference(const Grid& grid) {
    RasterGeoreference geo;
    geo.cols = grid.cols;
    geo.rows = grid.rows;
    geo.west = std::min(grid.west, grid.east);
    geo.north = std::max(grid.north, grid.south);
    geo.cell_size = grid.cell_size;
    geo.has_no_data = true;
    geo.no_data = kLibraryFillValue;
    geo.spatial_reference = grid.spatial_reference;
    return geo;
}

void fill_grid(const Grid& grid, const std::vector<double>& values, double* full, double fill) {
    std::size_t k = 0;
    for (int r = 1; r <= grid.rows; ++r)
        for (int c = 1; c <= grid.cols; ++c, ++k) {
            const int cell = grid.number_at(r, c);
            full[k] =
                cell > 0 && static_cast<std::size_t>(cell) < values.size() ? values[cell] : fill;
        }
}

void fill_full_grid(const Grid& grid, const std::vector<double>& values,
                    std::vector<double>& full) {
    fill_grid(grid, values, full.data(), kLibraryFillValue);
}

// A host keeps each map as the whole grid, NaN outside the watershed, so that
// it can be shown and summed without a fill value to mask.
void keep_for_host(const Model& model, HostMapSeries& series, const std::vector<double>& values) {
    const std::size_t at = series.values.size();
    series.minutes.push_back(model.clock.elapsed_minutes);
    series.values.resize(at + static_cast<std::size_t>(model.grid.rows) * model.grid.cols);
    fill_grid(model.grid, values, series.values.data() + at,
              std::numeric_limits<double>::quiet_NaN());
}

std::string minutes_since_start(const Model& model) {
    const CalendarTime t = julian_to_calendar(model.clock.start_time);
    char text[64];
    std::snprintf(text, sizeof text, "minutes since %04d-%02d-%02d %02d:%02d:00", t.year, t.month,
                  t.day, t.hour, t.minute);
    return text;
}

NetcdfMapFile netcdf_of(const MapOutput& out, int steps) {
    return {out.netcdf, out.netcdf_values, out.netcdf_time, steps};
}

// A kind the run cannot compute stops the run at set-up rather than leave
// its maps out unnoticed.
bool can_compute(const Model& model, RunContext& ctx, const KindInfo& kind) {
    if (!kind.built)
        return stop(ctx,
                    "Error: card %s asks for %s maps, but this build of TORVA does not simulate "
                    "that process\n",
                    kind.card_word, kind.dataset_name);
    if (kind.kind == MapKind::groundwater_head && !model.groundwater.simulated)
        return stop(ctx,
                    "Error: card GW_OUTPUT asks for groundwater head maps, which only a run with "
                    "GW_SIMULATION computes\n");
    if (kind.kind == MapKind::surface_moisture &&
        model.project.infiltration != InfiltrationMethod::redistribution &&
        model.project.infiltration != InfiltrationMethod::richards)
        return stop(ctx,
                    "Error: card SURF_MOIST asks for surface moisture maps, which only Green and "
                    "Ampt with redistribution and Richards infiltration compute\n");
    return true;
}

// A cell that holds channel shows the water of its channel, not the thin
// film of overland water beside it: the deepest of its nodes (now, or the
// deepest so far for the flood grid). `values` holds the overland figures.
void take_channel_depths(const Model& model, bool deepest_so_far, std::vector<double>& values) {
    const Channel& ch = model.channel;
    const StreamCells& stream = ch.stream;
    if (!ch.read || model.project.channel_routing != ChannelRouting::explicit_routing)
        return;
    for (int s = 1; s <= stream.count; ++s) {
        double deepest = 0.0;
        for (int e = stream.first_entry[s]; e < stream.first_entry[s + 1]; ++e) {
            const int node = stream.node[e], link = stream.link[e];
            const double depth = deepest_so_far ? ch.yp_max_flood(node, link) - ch.bel(node, link)
                                                : ch.depth(node, link);
            deepest = std::max(deepest, depth);
        }
        const int cell = stream.cell[s];
        if (cell > 0 && static_cast<std::size_t>(cell) < values.size())
            values[cell] = deepest;
    }
}

// The values of a kind at this step, one per cell.
const std::vector<double>& values_of(Model& model, MapKind kind) {
    MapOutputs& maps = model.maps;
    const std::size_t entries = maps.scratch.size();
    const auto or_zero = [&](const std::vector<double>& values) -> const std::vector<double>& {
        if (values.size() >= entries)
            return values;
        // The quantity is not computed in this run (no infiltration): it is 0.
        std::fill(maps.scratch.begin(), maps.scratch.end(), 0.0);
        return maps.scratch;
    };
    // Into the map's own array (allocated at set-up), to take the channels' depths.
    const auto copy_into_scratch = [&](const std::vector<double>& values) {
        if (&values != &maps.scratch)
            std::copy_n(values.begin(), entries, maps.scratch.begin());
    };
    switch (kind) {
        case MapKind::depth:
            copy_into_scratch(or_zero(model.overland.depth));
            take_channel_depths(model, false, maps.scratch);
            return maps.scratch;
        case MapKind::discharge:
            discharge_magnitudes(model.overland, maps.scratch);
            return maps.scratch;
        case MapKind::rain:
            return or_zero(model.precip.rain_rate);
        case MapKind::infiltrated_depth:
            return or_zero(model.soil.cumulative_depth);
        case MapKind::infiltration_rate:
            return or_zero(model.soil.infiltration_rate);
        case MapKind::surface_moisture:
            return or_zero(model.soil.surface_moisture);
        case MapKind::flood_grid:
            copy_into_scratch(or_zero(model.overland.max_depth));
            take_channel_depths(model, true, maps.scratch);
            return maps.scratch;
        case MapKind::groundwater_head:
            return or_zero(model.groundwater.head);
        default:
            break;
    }
    std::fill(maps.scratch.begin(), maps.scratch.end(), 0.0);
    return maps.scratch;
}

bool write_series_file(Model& model, RunContext& ctx, const MapOutput& out,
                       const std::vector<double>& values) {
    const KindInfo& kind = info(out.kind);
    // Each simulation of a batch or a calibration numbers its series like its
    // other outputs, so that simulations side by side never write one file.
    const std::string name =
        series_file_name(out.name, kind.base_name, model.maps.series_counter, ".asc");
    const std::string path = output_path(ctx, name, Numbering::numbered);
    ctx.print("opening file %s\n", path.c_str());
    make_folders_for(path);  // a missing map folder is made
    OutputFile file = open_output_file(ctx, name, Numbering::numbered);
    if (!file)
        return stop(ctx, kind.open_message, file.path().c_str());
    write_exchange_grid(file.get(), model.grid, values);
    return file.close() || write_failed(ctx, file.path(), file.failure());
}

bool write_dataset_file_step(Model& model, RunContext& ctx, MapOutput& out,
                             const std::vector<double>& values) {
    const DatasetEncoding encoding = model.maps.form == MapForm::binary_dataset
                                         ? DatasetEncoding::binary
                                         : DatasetEncoding::text;
    write_dataset_step(out.dataset.get(), model.clock.elapsed_minutes, model.grid, values,
                       encoding);
    return out.dataset.flush() || write_failed(ctx, out.path, out.dataset.failure());
}

bool write_geotiff_file(Model& model, RunContext& ctx, const MapOutput& out,
                        const std::vector<double>& values) {
    const KindInfo& kind = info(out.kind);
    const std::string name =
        series_file_name(out.name, kind.base_name, model.maps.series_counter, ".tif");
    const std::string path = output_path(ctx, name, Numbering::numbered);
    ctx.print("opening file %s\n", path.c_str());
    make_folders_for(path);
    fill_full_grid(model.grid, values, model.maps.full_grid);
    // A GIS shows the quantity, its unit and the model time of the map.
    RasterGeoreference geo = library_georeference(model.grid);
    geo.unit = kind.units;
    const CalendarTime& t = model.clock.calendar;
    char minutes[32], stamp[32];
    std::snprintf(minutes, sizeof minutes, "%.4f", model.clock.elapsed_minutes);
    std::snprintf(stamp, sizeof stamp, "%04d:%02d:%02d %02d:%02d:%02d", t.year, t.month, t.day,
                  t.hour, t.minute, model.clock.whole_seconds);
    const RasterMetadata metadata = {{"TORVA_QUANTITY", kind.long_name},
                                     {"TORVA_UNITS", kind.units},
                                     {"TORVA_MINUTES_SINCE_START", minutes},
                                     {"TORVA_START", minutes_since_start(model).substr(14)},
                                     {"TIFFTAG_DATETIME", stamp}};
    std::string failure;
    if (!write_geotiff(path, geo, model.maps.full_grid, metadata, failure))
        return write_failed(ctx, path, failure);
    ctx.note_file_written(path);
    return true;
}

bool write_netcdf_step(Model& model, RunContext& ctx, const MapOutput& out,
                       const std::vector<double>& values) {
    fill_full_grid(model.grid, values, model.maps.full_grid);
    NetcdfMapFile nc = netcdf_of(out, model.maps.netcdf_steps);
    std::string failure;
    return append_netcdf_map(nc, library_georeference(model.grid), model.clock.elapsed_minutes,
                             model.maps.full_grid, failure) ||
           write_failed(ctx, out.path, failure);
}

// A host's sweep writes no rasters; the text forms go to the null device.
bool discarding_rasters(const RunContext& ctx) {
    return ctx.host && ctx.host->discard_outputs;
}

bool open_netcdf(Model& model, RunContext& ctx, MapOutput& out, const KindInfo& kind) {
    NetcdfMapDescription d;
    d.variable = kind.dataset_name;
    d.long_name = kind.long_name;
    d.units = kind.units;
    d.time_units = minutes_since_start(model);
    d.fill_value = kLibraryFillValue;
    NetcdfMapFile nc;
    std::string failure;
    if (!create_netcdf_map(out.path, library_georeference(model.grid), d, nc, failure)) {
        ctx.print("%s\n", failure.c_str());
        ctx.error.raise(err::open_output_file, {.text2 = out.path});
        return false;
    }
    ctx.note_file_written(out.path);
    out.netcdf = nc.file;
    out.netcdf_values = nc.values;
    out.netcdf_time = nc.time;
    return true;
}

}  // namespace

std::string series_file_name(std::string_view folder, std::string_view base, int counter,
                             std::string_view extension) {
    std::string name = strip_quotes(folder);
    if (!name.empty()) {
        if (name.back() == '\\')
            name.back() = '/';
        else if (name.back() != '/')
            name += '/';
    }
    char number[16];
    std::snprintf(number, sizeof number, ".%04d", counter);
    name.append(base).append(number).append(extension);
    return name;
}

void discharge_magnitudes(const Overland& overland, std::vector<double>& magnitude) {
    const std::size_t n = magnitude.size();
    if (overland.discharge_x.size() < n || overland.discharge_y.size() < n) {
        std::fill(magnitude.begin(), magnitude.end(), 0.0);
        return;
    }
    for (std::size_t i = 1; i < n; ++i)
        magnitude[i] = std::hypot(overland.discharge_x[i], overland.discharge_y[i]);
}

bool map_due(int counter, int interval_steps) {
    const int interval = interval_steps < 1 ? 1 : interval_steps;
    return counter >= 1 && (counter - 1) % interval == 0;
}

void check_map_outputs(const Model& model, RunContext& ctx) {
    const MapForm form = form_of(model.project.integer(Card::MAP_TYPE));
    if (form == MapForm::none)
        return;
    const bool library = form == MapForm::netcdf || form == MapForm::geotiff;
    bool any = false;
    for (const KindInfo& kind : kKinds) any |= model.project.given(kind.card);
    if (library && any && !raster_library_built()) {
        stop(ctx,
             "Error: MAP_TYPE %d writes %s maps, but this TORVA was built without GDAL; install "
             "it (apt-get install libgdal-dev) and build with cmake -DTORVA_WITH_GDAL=ON\n",
             model.project.integer(Card::MAP_TYPE), form == MapForm::netcdf ? "NetCDF" : "GeoTIFF");
        return;
    }
    for (const KindInfo& kind : kKinds)
        if (model.project.given(kind.card) && !can_compute(model, ctx, kind))
            return;
}

void open_map_outputs(Model& model, RunContext& ctx) {
    MapOutputs& maps = model.maps;
    maps.form = form_of(model.project.integer(Card::MAP_TYPE));
    if (maps.form == MapForm::none)
        return;
    const bool library = maps.form == MapForm::netcdf || maps.form == MapForm::geotiff;
    for (const KindInfo& kind : kKinds) {
        if (!model.project.given(kind.card))
            continue;
        MapOutput& out = maps.outputs.emplace_back();
        out.kind = kind.kind;
        out.name = model.project.text(kind.card);
        if (maps.form == MapForm::text_dataset || maps.form == MapForm::binary_dataset) {
            const DatasetEncoding encoding = maps.form == MapForm::binary_dataset
                                                 ? DatasetEncoding::binary
                                                 : DatasetEncoding::text;
            out.path = output_path(ctx, out.name, Numbering::numbered);
            out.dataset = open_dataset(ctx, out.name, kind.object_id, kind.dataset_name, model.grid,
                                       encoding);
            if (!out.dataset)
                return;
        }
        if (maps.form == MapForm::netcdf) {
            out.path = output_path(ctx, out.name, Numbering::numbered);
            if (!discarding_rasters(ctx) && !open_netcdf(model, ctx, out, kind))
                return;
        }
    }
    if (maps.outputs.empty())
        return;
    if (ctx.host)
        for (const MapOutput& out : maps.outputs)
            ctx.host->maps.push_back({info(out.kind).dataset_name, info(out.kind).units, {}, {}});
    if (!allocate(ctx, maps.scratch, static_cast<std::size_t>(model.grid.num_cells) + 1,
                  "map_values"))
        return;
    if (library)
        allocate(ctx, maps.full_grid, static_cast<std::size_t>(model.grid.rows) * model.grid.cols,
                 "map_grid");
}

void map_output_phase(Model& model, RunContext& ctx) {
    MapOutputs& maps = model.maps;
    if (maps.outputs.empty() || !map_due(model.clock.map_counter, model.run.map_steps))
        return;
    if (maps.form == MapForm::grid_series || maps.form == MapForm::geotiff)
        ++maps.series_counter;
    for (std::size_t k = 0; k < maps.outputs.size(); ++k) {
        MapOutput& out = maps.outputs[k];
        const std::vector<double>& values = values_of(model, out.kind);
        if (ctx.host && k < ctx.host->maps.size())
            keep_for_host(model, ctx.host->maps[k], values);
        bool written = false;
        switch (maps.form) {
            case MapForm::grid_series:
                written = write_series_file(model, ctx, out, values);
                break;
            case MapForm::geotiff:
                written = discarding_rasters(ctx) || write_geotiff_file(model, ctx, out, values);
                break;
            case MapForm::netcdf:
                written = discarding_rasters(ctx) || write_netcdf_step(model, ctx, out, values);
                break;
            default:
                written = write_dataset_file_step(model, ctx, out, values);
                break;
        }
        if (!written)
            return;
    }
    if (maps.form == MapForm::netcdf)
        ++maps.netcdf_steps;
}

void close_map_outputs(Model& model, RunContext& ctx) {
    bool failed = false;
    for (MapOutput& out : model.maps.outputs) {
        if (out.dataset && !out.dataset.close() && !failed) {
            failed = true;
            ctx.print("Error: could not write map file %s: %s\n", out.path.c_str(),
                      out.dataset.failure().c_str());
        }
        NetcdfMapFile nc = netcdf_of(out, 0);
        std::string failure;
        if (!close_netcdf_map(nc, failure) && !failed) {
            failed = true;
            ctx.print("Error: could not write map file %s: %s\n", out.path.c_str(),
                      failure.c_str());
        }
        out.netcdf = -1;
    }
    if (failed)
        raise_and_report(ctx, err::message_printed);
}

void keep_final_maps_for_host(Model& model, RunContext& ctx) {
    if (!ctx.host)
        return;
    HostLink& host = *ctx.host;
    const RasterGeoreference geo = library_georeference(model.grid);
    host.rows = geo.rows;
    host.cols = geo.cols;
    host.west = geo.west;
    host.north = geo.north;
    host.cell_size = geo.cell_size;
    host.spatial_reference = geo.spatial_reference;
    std::vector<double> depth(static_cast<std::size_t>(model.grid.num_cells) + 1, 0.0);
    if (model.overland.depth.size() >= depth.size())
        std::copy_n(model.overland.depth.begin(), depth.size(), depth.begin());
    take_channel_depths(model, false, depth);
    host.final_depth.assign(static_cast<std::size_t>(geo.rows) * geo.cols, 0.0);
    fill_grid(model.grid, depth, host.final_depth.data(), std::numeric_limits<double>::quiet_NaN());
}

const char* map_base_name(Card card) {
    for (const KindInfo& kind : kKinds)
        if (kind.card == card)
            return kind.base_name;
    return nullptr;
}

}  // namespace torva
