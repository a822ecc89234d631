// Soil parameters: each from its own map (converted to the units the solvers
// use) or, without one, from the mapping tables through the cell's soil index;
// the initial moisture; the soil layer input file; the aquifer maps.

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "core/arrays.hpp"
#include "core/context.hpp"
#include "core/model_state.hpp"
#include "grid/mapping.hpp"
#include "grid/raster.hpp"
#include "input/tokens.hpp"
#include "soil/infiltration.hpp"
#include "soil/richards.hpp"

namespace torva {
namespace {

constexpr double kCmPerHourToMetresPerSecond = 1.0 / 360000.0;
constexpr double kCmToMetres = 1.0 / 100.0;

// Columns of the GREEN_AMPT_INFILTRATION table.
enum GreenAmptColumn {
    kConductivityColumn = 1,  // cm/h
    kCapillaryColumn = 2,     // cm
    kPorosityColumn = 3,
    kPoreIndexColumn = 4,
    kResidualColumn = 5,
};
// Columns of the EVAPOTRANSPIRATION table.
enum EvapotranspirationColumn {
    kAlbedoColumn = 1,
    kVegetationHeightColumn = 2,
    kTransmissionColumn = 3,
    kCanopyColumn = 4,
    kWiltingPointColumn = 5,
};

// Reads one real map named by a card into a per-cell array of N + 1 entries.
bool read_cell_map(Model& model, RunContext& ctx, const std::string& name,
                   std::vector<double>& values, const char* array_name, const char* kind) {
    if (!allocate(ctx, values, static_cast<std::size_t>(model.grid.num_cells) + 1, array_name))
        return false;
    const std::string path = strip_quotes(name);
    std::FILE* file = std::fopen(path.c_str(), "r");
    if (!file) {
        ctx.error.raise(err::open_file, {.text1 = kind, .text2 = path});
        return false;
    }
    const bool ok = read_real_map(ctx, file, path, model.grid, values);
    std::fclose(file);
    return ok;
}

void scale(std::vector<double>& values, double factor) {
    for (std::size_t i = 1; i < values.size(); ++i) values[i] *= factor;
}

// One table of soil parameters, read once, and looked up through the soil index.
struct SoilTable {
    explicit SoilTable(MappingTable table) : which(table) {}
    MappingTable which;
    bool read = false;
    TableRows rows;
    std::vector<int> ids;  // per cell, from the table's own index map

    bool available(const Model& model) const { return has_table(model, which); }

    // Reads the rows and the table's index map, once.
    bool load(Model& model, RunContext& ctx) {
        if (read)
            return true;
        if (!read_table_with_ids(model, ctx, which, rows, ids)) {
            if (!ctx.error.pending()) {
                ctx.error.raise(66, {.text1 = table_name(which)});
            }
            return false;
        }
        read = true;
        return true;
    }

    // Column `column` for every cell, through the table's own index map (ids
    // without a row give 0; the later of two rows of one id wins).
    bool fill(Model& model, RunContext& ctx, int column, std::vector<double>& values,
              const char* array_name) {
        if (!load(model, ctx))
            return false;
        const int n = model.grid.num_cells;
        if (!allocate(ctx, values, static_cast<std::size_t>(n) + 1, array_name))
            return false;
        std::vector<double> by_id(static_cast<std::size_t>(std::max(rows.largest_id, 0)) + 1, 0.0);
        for (int row = 0; row < rows.num_ids; ++row) {
            const int id = rows.ids[row];
            if (id >= 0 && id <= rows.largest_id)
                by_id[id] = rows.value(row, column);
        }
        for (int i = 1; i <= n && i < static_cast<int>(ids.size()); ++i) {
            const int id = ids[i];
            values[i] = id >= 0 && id < static_cast<int>(by_id.size()) ? by_id[id] : 0.0;
        }
        return true;
    }
};

// A parameter from its map card or else from a table column; prints the
// message of the source used. Returns false after an error; `found` tells
// whether either source gave it.
struct ParameterSource {
    Card card;
    const char* map_message;    // with the file name
    const char* table_message;  // without
    const char* array_name;
    const char* kind;  // kind of file for the open-failure message
};

bool read_parameter(Model& model, RunContext& ctx, const ParameterSource& source, SoilTable& table,
                    int column, std::vector<double>& values, bool& found) {
    found = false;
    // A card given without a file name asks for the mapping table.
    const bool names_map =
        model.project.given(source.card) && !strip_quotes(model.project.text(source.card)).empty();
    if (model.project.given(source.card) && !names_map && !table.available(model)) {
        ctx.print_and_log(
            "Error: the card that asks for the %s names no map, and the mapping table file has "
            "no table to take it from\n",
            source.array_name);
        ctx.error.raise(err::message_printed);
        return false;
    }
    if (names_map) {
        ctx.print_and_log(source.map_message, model.project.text(source.card).c_str());
        found = true;
        return read_cell_map(model, ctx, model.project.text(source.card), values, source.array_name,
                             source.kind);
    }
    if (!table.available(model))
        return true;
    ctx.print_and_log("%s", source.table_message);
    found = true;
    return table.fill(model, ctx, column, values, source.array_name);
}

bool read_soil_index(Model& model, RunContext& ctx) {
    if (!model.project.given(Card::SOIL_TYPE_MAP))
        return true;
    const std::string path = strip_quotes(model.project.text(Card::SOIL_TYPE_MAP));
    ctx.print_and_log("reading soil map from file: %s\n", path.c_str());
    if (!allocate(ctx, model.soil.soil_index, static_cast<std::size_t>(model.grid.num_cells) + 1,
                  "soil_type"))
        return false;
    std::FILE* file = std::fopen(path.c_str(), "r");
    if (!file) {
        ctx.error.raise(err::open_file, {.text1 = "soil type map", .text2 = path});
        return false;
    }
    const bool ok = read_integer_map(ctx, file, path, model.grid, model.soil.soil_index);
    std::fclose(file);
    return ok;
}

// A parameter the method cannot do without has neither a map nor a table.
bool missing_parameter(RunContext& ctx, const char* what, const char* card) {
    ctx.print_and_log(
        "Error: Green and Ampt infiltration needs the %s: give the %s card or the "
        "GREEN_AMPT_INFILTRATION table\n",
        what, card);
    ctx.error.raise(err::message_printed);
    return false;
}

// The values a soil parameter can take: from `lowest` (itself allowed or not)
// to `highest`.
struct Range {
    double lowest;
    bool lowest_allowed;
    double highest;
};

constexpr Range kNotNegative{0.0, true, HUGE_VAL};
constexpr Range kFraction{0.0, true, 1.0};

// A value no soil can have (negative, beyond its bounds, or not a number)
// would turn the infiltration into nonsense several phases later; it stops the
// run here, naming the first cell that holds one, in the units of its map or table.
bool in_range(const Model& model, RunContext& ctx, const std::vector<double>& values,
              const char* what, const char* units, Range range) {
    const Grid& g = model.grid;
    for (int i = 1; i <= g.num_cells && static_cast<std::size_t>(i) < values.size(); ++i) {
        const double v = values[i];
        const bool above_lowest = range.lowest_allowed ? v >= range.lowest : v > range.lowest;
        if (above_lowest && v <= range.highest)
            continue;
        ctx.print_and_log(
            "Error: the %s of grid cell %d (row %d, column %d) is %g%s, which no soil can "
            "have.\n",
            what, i, g.cell_row.size() > static_cast<std::size_t>(i) ? g.cell_row[i] : 0,
            g.cell_col.size() > static_cast<std::size_t>(i) ? g.cell_col[i] : 0, v, units);
        ctx.error.raise(err::message_printed);
        return false;
    }
    return true;
}

bool read_green_ampt_parameters(Model& model, RunContext& ctx, SoilTable& table) {
    Soil& soil = model.soil;
    bool found = false;
    if (!read_parameter(
            model, ctx,
            {Card::CONDUCTIVITY, "reading saturated hydraulic conductivity map from file: %s\n",
             "reading saturated hydraulic conductivity table and map from the master table file\n",
             "hyd_cond", "hydraulic conductivity map"},
            table, kConductivityColumn, soil.conductivity, found))
        return false;
    if (!found)
        return missing_parameter(ctx, "saturated hydraulic conductivity", "CONDUCTIVITY");
    if (!in_range(model, ctx, soil.conductivity, "saturated hydraulic conductivity", " cm/h",
                  kNotNegative))
        return false;
    scale(soil.conductivity, kCmPerHourToMetresPerSecond);
    if (!read_parameter(model, ctx,
                        {Card::CAPILLARY, "reading capillary drive map from file: %s\n",
                         "reading capillary drive map from the master table file\n", "cap_head",
                         "capillary head map"},
                        table, kCapillaryColumn, soil.capillary_head, found))
        return false;
    if (!found)
        return missing_parameter(ctx, "capillary head", "CAPILLARY");
    if (!in_range(model, ctx, soil.capillary_head, "capillary head", " cm", kNotNegative))
        return false;
    scale(soil.capillary_head, kCmToMetres);
    if (!read_parameter(model, ctx,
                        {Card::POROSITY, "reading porosity map from file: %s\n",
                         "reading porosity table and map from the master table file\n", "porosity",
                         "porosity map"},
                        table, kPorosityColumn, soil.porosity, found))
        return false;
    if (!found)
        return missing_parameter(ctx, "porosity", "POROSITY");
    // A porosity of 0 is allowed: with no conductivity it marks ground that
    // takes no water in, such as rock or pavement.
    if (!in_range(model, ctx, soil.porosity, "porosity", "", kFraction))
        return false;
    if (model.project.infiltration != InfiltrationMethod::redistribution)
        return true;

    bool pore_index = false;
    bool residual = false;
    if (!read_parameter(model, ctx,
                        {Card::PORE_INDEX, "reading pore distribution index map from file: %s\n",
                         "reading pore distribution index map from master table file\n",
                         "pore_index", "pore distribution index map"},
                        table, kPoreIndexColumn, soil.pore_index, pore_index))
        return false;
    if (!read_parameter(model, ctx,
                        {Card::RESIDUAL_SAT, "reading residual saturation map from file: %s\n",
                         "reading residual saturation map from the master table file\n",
                         "resid_sat", "residual saturation map"},
                        table, kResidualColumn, soil.residual_saturation, residual))
        return false;
    if (!pore_index || !residual) {
        ctx.print(!pore_index
                      ? "For infiltration redistribution, the pore index map must be specified\n"
                      : "For infiltration redistribution, pore index map must be specified\n");
        ctx.print_error("Program stopped.\n");
        ctx.error.raise(err::message_printed);
        return false;
    }
    return in_range(model, ctx, soil.pore_index, "pore distribution index", "",
                    {0.0, false, HUGE_VAL}) &&
           in_range(model, ctx, soil.residual_saturation, "residual saturation", "", kFraction);
}

bool read_evapotranspiration_parameters(Model& model, RunContext& ctx) {
    Soil& soil = model.soil;
    SoilTable table(MappingTable::evapotranspiration);
    bool found = false;
    const struct {
        ParameterSource source;
        int column;
        std::vector<double>* values;
    } parameters[] = {
        {{Card::ALBEDO, "reading albedo map from file: %s\n",
          "reading albedo table and map from the master table file\n", "albedo", "albedo map"},
         kAlbedoColumn,
         &soil.albedo},
        {{Card::VHEIGHT, "reading vegetation-height map from file: %s\n",
          "reading vegetation-height table and map from the master table file\n", "veg_height",
          "vegetation height map"},
         kVegetationHeightColumn,
         &soil.vegetation_height},
        {{Card::TCOEFF, "reading transmission-coefficient map from file: %s\n",
          "reading transmission-coefficient table and map from the master table file\n",
          "trans_coeff", "transmission coefficient map"},
         kTransmissionColumn,
         &soil.transmission_coefficient},
        {{Card::CANOPY, "reading canopy resistance map from file: %s\n",
          "reading canopy resistance map from file\n", "canopy_resist", "canopy resistance map"},
         kCanopyColumn,
         &soil.canopy_resistance},
        {{Card::WILTING_POINT, "reading wilting point map from file: %s\n",
          "reading wilting point table and map from the master table file\n", "wilting_point",
          "wilting point map"},
         kWiltingPointColumn,
         &soil.wilting_point},
    };
    for (const auto& p : parameters)
        if (!read_parameter(model, ctx, p.source, table, p.column, *p.values, found))
            return false;
    return true;
}

bool read_initial_moisture(Model& model, RunContext& ctx) {
    Soil& soil = model.soil;
    const int n = model.grid.num_cells;
    SoilTable table(MappingTable::green_ampt_initial_soil_moisture);
    bool found = false;
    if (!read_parameter(model, ctx,
                        {Card::MOISTURE, "reading soil moisture map from file: %s\n",
                         "reading soil moisture table and map from the master table file\n",
                         "moisture", "soil moisture map"},
                        table, 1, soil.moisture, found))
        return false;
    if (!found) {
        // Without a moisture map or table the soil starts uniformly at its
        // driest: the residual saturation where known, else dry.
        ctx.print_and_log("initializing uniform initial soil water content\n");
        if (!allocate(ctx, soil.moisture, static_cast<std::size_t>(n) + 1, "moisture"))
            return false;
        for (int i = 1; i <= n; ++i)
            soil.moisture[i] = soil.residual_saturation.empty() ? 0.0 : soil.residual_saturation[i];
    }
    if (!in_range(model, ctx, soil.moisture, "initial water content", "", kFraction))
        return false;

    switch (model.project.infiltration) {
        case InfiltrationMethod::redistribution: {
            if (!allocate_infiltration_state(model, ctx))
                return false;
            std::copy(soil.moisture.begin(), soil.moisture.end(), soil.front_moisture.begin());
            std::copy(soil.moisture.begin(), soil.moisture.end(), soil.surface_moisture.begin());
            if (model.run.long_term) {
                soil.moisture_layer_depth = model.project.real(Card::SOIL_MOIST_DEPTH);
                if (!allocate(ctx, soil.stored_water, static_cast<std::size_t>(n) + 1,
                              "soil_moist"))
                    return false;
                for (int i = 1; i <= n; ++i)
                    soil.stored_water[i] = soil.moisture[i] * soil.moisture_layer_depth;
                if (model.project.given(Card::TOP_LAYER_DEPTH)) {
                    soil.top_layer_depth = model.project.real(Card::TOP_LAYER_DEPTH);
                    if (!allocate(ctx, soil.top_water, static_cast<std::size_t>(n) + 1,
                                  "top_water"))
                        return false;
                    for (int i = 1; i <= n; ++i)
                        soil.top_water[i] = soil.moisture[i] * soil.top_layer_depth;
                }
            }
            break;
        }
        case InfiltrationMethod::green_ampt:
            // Plain Green and Ampt only needs the moisture deficit.
            for (int i = 1; i <= n; ++i) {
                soil.moisture[i] = soil.porosity[i] - soil.moisture[i];
                if (soil.moisture[i] < 0.0) {
                    ctx.print("Warning: initial water content > phi at grid %d\n", i);
                    soil.moisture[i] = 0.0;
                }
            }
            break;
        default:
            break;
    }
    return true;
}

bool read_aquifer_maps(Model& model, RunContext& ctx) {
    Soil& soil = model.soil;
    const ProjectSettings& p = model.project;
    const bool richards = p.infiltration == InfiltrationMethod::richards;
    const bool groundwater = p.given(Card::GW_SIMULATION);
    const int n = model.grid.num_cells;
    if ((groundwater || richards) && p.given(Card::WATER_TABLE)) {
        ctx.print_and_log("reading water table map from file: %s\n",
                          p.text(Card::WATER_TABLE).c_str());
        if (!read_cell_map(model, ctx, p.text(Card::WATER_TABLE), soil.water_table, "water_table",
                           "water table map"))
            return false;
    }
    if (p.given(Card::AQUIFER_BOTTOM)) {
        ctx.print_and_log("reading aquifer bottom map from file: %s\n",
                          p.text(Card::AQUIFER_BOTTOM).c_str());
        if (!read_cell_map(model, ctx, p.text(Card::AQUIFER_BOTTOM), soil.aquifer_bottom,
                           "aquifer_bottom", "aquifer bottom map"))
            return false;
    } else if (richards && !soil.water_table.empty()) {
        if (!allocate(ctx, soil.aquifer_bottom, static_cast<std::size_t>(n) + 1, "aquifer_bottom"))
            return false;
        for (int i = 1; i <= n; ++i) soil.aquifer_bottom[i] = soil.water_table[i] - 0.1;
        soil.richards_bottom_spacing = 0.1;
    }
    if (soil.aquifer_bottom.empty() ||
        model.grid.elevation.size() < static_cast<std::size_t>(n) + 1)
        return true;
    for (int i = 1; i <= n; ++i) {
        if (soil.aquifer_bottom[i] >= model.grid.elevation[i]) {
            ctx.print(
                "Aquifer bottom elevation %lf for cell %d is at or above ground surface elevation "
                "%lf \n",
                soil.aquifer_bottom[i], i, model.grid.elevation[i]);
            ctx.print("Aquifer bottom elevation set to ground elevation \n");
            soil.aquifer_bottom[i] = model.grid.elevation[i];
        }
    }
    return true;
}

// Soil layer input file: the number of soil types, an integer that is not
// used, then per soil type its index and three lines of conductivity (cm/h),
// capillary head (cm), porosity, initial moisture and, for the upper two
// layers, thickness (cm).
bool layer_file_fault(RunContext& ctx, const std::string& file_name, const char* what, int number) {
    ctx.print_and_log("Error: problem reading the soil layer input file %s: %s %d\n",
                      file_name.c_str(), what, number);
    ctx.error.raise(err::message_printed);
    return false;
}

}  // namespace

bool read_soil_layer_file(Model& model, RunContext& ctx, const std::string& name) {
    const std::string file_name = strip_quotes(name);
    std::FILE* file = std::fopen(file_name.c_str(), "r");
    if (!file) {
        ctx.error.raise(err::open_file, {.text1 = "soil layer input", .text2 = file_name});
        return false;
    }
    // Free format: every number is a token of its own, lines carry no meaning.
    LineReader reader(file, ctx);
    std::string text;
    std::string line;
    while (reader.next(line)) {
        text += line;
        text += '\n';
    }
    std::fclose(file);
    Tokens tokens(text);

    int types = 0;
    int unused = 0;
    if (!tokens.integer(types) || types < 0)
        return layer_file_fault(ctx, file_name, "bad number of soil types", types);
    if (!tokens.integer(unused))
        return layer_file_fault(ctx, file_name, "missing second count after", types);
    Soil& soil = model.soil;
    for (int t = 1; t <= types; ++t) {
        int index = 0;
        if (!tokens.integer(index))
            return layer_file_fault(ctx, file_name, "missing index of soil type", t);
        if (index < 1 || index > 100000)
            return layer_file_fault(ctx, file_name, "soil index out of range:", index);
        if (static_cast<int>(soil.layer_table.size()) <= index)
            soil.layer_table.resize(index + 1);
        LayeredSoilType& type = soil.layer_table[index];
        for (int k = 0; k < 3; ++k) {
            SoilLayer& layer = type.layers[k];
            bool ok = tokens.real(layer.conductivity) && tokens.real(layer.capillary_head) &&
                      tokens.real(layer.porosity) && tokens.real(layer.initial_moisture);
            if (ok && k < 2)
                ok = tokens.real(layer.thickness);
            if (!ok)
                return layer_file_fault(ctx, file_name, "missing or bad layer values of soil index",
                                        index);
            if (layer.conductivity <= 0.0)
                return layer_file_fault(ctx, file_name,
                                        "conductivity must be positive for soil index", index);
            if (layer.porosity - layer.initial_moisture < 0.0 || layer.porosity <= 0.0)
                return layer_file_fault(ctx, file_name,
                                        "porosity below initial moisture for soil index", index);
        }
        type.given = true;
    }
    return true;
}

void read_soil_parameters(Model& model, RunContext& ctx) {
    const InfiltrationMethod method = model.project.infiltration;
    if (method == InfiltrationMethod::none && !model.run.long_term) {
        read_aquifer_maps(model, ctx);
        return;
    }
    if (!read_soil_index(model, ctx))
        return;

    SoilTable green_ampt(MappingTable::green_ampt_infiltration);
    if (method == InfiltrationMethod::green_ampt || method == InfiltrationMethod::redistribution) {
        if (!read_green_ampt_parameters(model, ctx, green_ampt))
            return;
        // Layered soil and plain Green and Ampt without an index map keep the
        // table's own index as the soil index.
        if (model.soil.soil_index.empty() && green_ampt.read)
            model.soil.soil_index = green_ampt.ids;
    }
    if (model.run.long_term && !read_evapotranspiration_parameters(model, ctx))
        return;

    if (method == InfiltrationMethod::green_ampt || method == InfiltrationMethod::redistribution) {
        if (!read_initial_moisture(model, ctx))
            return;
    }
    if (method == InfiltrationMethod::layered_soil) {
        if (model.soil.soil_index.empty() && green_ampt.available(model)) {
            if (!green_ampt.load(model, ctx))
                return;
            model.soil.soil_index = green_ampt.ids;
        }
        if (!read_soil_layer_file(model, ctx, model.project.text(Card::SOIL_LAYER_INPUT_FILE)))
            return;
    }
    if (!read_aquifer_maps(model, ctx))
        return;
    if (method == InfiltrationMethod::richards) {
        set_up_richards(model, ctx);
        if (ctx.error.pending())
            return;
    }
    if (method != InfiltrationMethod::none && model.soil.infiltrated_depth.empty())
        allocate_infiltration_state(model, ctx);
}

void set_up_soil_layers(Model& model, RunContext& ctx) {
    if (model.project.infiltration != InfiltrationMethod::layered_soil)
        return;
    Soil& soil = model.soil;
    const int n = model.grid.num_cells;
    // Every cell's soil type must have its layers before the first step.
    if (soil.soil_index.size() < static_cast<std::size_t>(n) + 1) {
        ctx.print_and_log(
            "Error: layered soil infiltration needs the soil type of every cell (SOIL_TYPE_MAP)\n");
        ctx.error.raise(err::message_printed);
        return;
    }
    const int types = static_cast<int>(soil.layer_table.size());
    for (int i = 1; i <= n; ++i) {
        const int type = soil.soil_index[i];
        if (type < 1 || type >= types || !soil.layer_table[type].given) {
            ctx.print_and_log(
                "Error: no soil layers given for soil type %d of grid cell %d in the soil layer "
                "input file\n",
                type, i);
            ctx.error.raise(err::message_printed);
            return;
        }
    }
}

}  // namespace torva
