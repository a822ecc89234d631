// The Richards soil table and the column layout: the soil types and their
// three layers, the nodes each layer makes, the initial heads, and the water
// the columns hold at the start.

#include <omp.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "core/arrays.hpp"
#include "core/context.hpp"
#include "core/model_state.hpp"
#include "grid/mapping.hpp"
#include "input/tokens.hpp"
#include "soil/richards.hpp"
#include "soil/richards_relations.hpp"

namespace torva {
namespace {

constexpr double kCmPerHourToMetresPerSecond = 1.0 / 360000.0;
constexpr double kCmToMetres = 0.01;
// Soil indices above this are taken for a fault of the file.
constexpr int kLargestSoilIndex = 100000;
// No initial head is taken drier than this: the relations give heads without
// bound as theta nears theta_r.
constexpr double kDriestHead = -1.0e5;  // m
// Nodes below the soil layers of a column over an aquifer, at most.
constexpr int kMostAquiferNodes = 200;

bool table_fault(RunContext& ctx, const std::string& file_name, int line, const std::string& what) {
    ctx.print("\n");  // after "Reading Soil Table"
    ctx.print_and_log("Error: Richards soil table %s, line %d: %s\n", file_name.c_str(), line,
                      what.c_str());
    ctx.error.raise(err::message_printed);
    return false;
}

// The numbers of one line; false when a token is not wholly a finite number.
bool line_numbers(const std::string& line, std::vector<double>& values) {
    values.clear();
    Tokens tokens(line);
    while (!tokens.empty()) {
        double v = 0.0;
        if (!tokens.real(v))
            return false;
        values.push_back(v);
    }
    return true;
}

bool blank(const std::string& line) {
    return line.find_first_not_of(" \t\r,") == std::string::npos;
}

// Layer values of a Brooks-Corey line (eleven values) or a Havercamp line
// (ten values), converted to metres and seconds.
RichardsLayer layer_from_line(SoilWaterRelation relation, const std::vector<double>& v) {
    RichardsLayer l;
    l.conductivity = v[0] * kCmPerHourToMetresPerSecond;
    l.theta_s = v[1];
    l.theta_r = v[2];
    l.theta_i = v[3];
    l.thickness = v[6] * kCmToMetres;
    l.spacing = v[9] * kCmToMetres;
    if (relation == SoilWaterRelation::brooks_corey) {
        l.pore_index = v[4];
        l.bubbling_head = -std::fabs(v[5]) * kCmToMetres;
        l.wilting_point = v[7];
        l.field_capacity = v[8];
        l.root_share = v[10];
        if (l.pore_index > 0.0)
            set_brooks_corey_junction(l);
    } else {
        l.alpha = v[4] * kCmToMetres;
        l.beta = v[5];
        l.b = v[8];
        // A is given for heads in cm: A / (A + |h_cm|^B) = A' / (A' + |h_m|^B)
        // with A' = A / 100^B.
        l.a = v[7] * std::pow(kCmToMetres, l.b);
        l.wilting_point = l.theta_r;
        l.field_capacity = l.theta_s;
    }
    return l;
}

// What no soil can have, named for the message; empty when the layer is sound.
std::string unphysical(SoilWaterRelation relation, const RichardsLayer& l) {
    std::ostringstream out;
    if (!(l.conductivity > 0.0))
        out << "the saturated conductivity must be positive";
    else if (!(l.theta_s > 0.0 && l.theta_s <= 1.0))
        out << "the saturated water content must lie above 0 and at most 1";
    else if (!(l.theta_r >= 0.0 && l.theta_r < l.theta_s))
        out << "the residual water content must lie from 0 to below the saturated water content";
    else if (!(l.theta_i >= l.theta_r && l.theta_i <= l.theta_s))
        out << "the initial water content must lie between the residual and saturated water "
               "contents";
    else if (!(l.thickness >= 0.0))
        out << "the layer thickness must not be negative";
    else if (!(l.spacing > 0.0))
        out << "the node spacing must be positive";
    else if (relation == SoilWaterRelation::brooks_corey) {
        if (!(l.pore_index > 0.0))
            out << "the pore distribution index must be positive";
        else if (!(l.bubbling_head < 0.0))
            out << "the bubbling head must not be 0";
        else if (!(l.wilting_point >= l.theta_r && l.wilting_point <= l.field_capacity &&
                   l.field_capacity <= l.theta_s))
            out << "the wilting point and field capacity must lie in order between the residual "
                   "and saturated water contents";
        else if (!(l.root_share >= 0.0))
            out << "the root share must not be negative";
    } else if (!(l.alpha > 0.0 && l.beta > 0.0 && l.a > 0.0 && l.b > 0.0)) {
        out << "alpha, beta, A and B must be positive";
    }
    return out.str();
}

}  // namespace

bool parse_richards_soil_table(RichardsColumns& columns, RunContext& ctx, const std::string& text,
                               const std::string& file_name, bool mapping_form, bool long_term) {
    const SoilWaterRelation relation = columns.relation;
    const std::size_t per_line = relation == SoilWaterRelation::brooks_corey ? 11 : 10;
    const char* form = relation == SoilWaterRelation::brooks_corey ? "Brooks-Corey" : "Havercamp";
    std::vector<std::string> lines;
    {
        std::istringstream in(text);
        std::string line;
        while (std::getline(in, line)) lines.push_back(line);
    }
    std::size_t at = 0;
    // The next line that holds anything, and its number.
    const auto next_line = [&](std::string& line, int& number) {
        while (at < lines.size()) {
            number = static_cast<int>(at) + 1;
            line = lines[at++];
            if (!blank(line))
                return true;
        }
        number = static_cast<int>(lines.size());
        return false;
    };
    std::string line;
    int number = 0;
    int types = 0;
    std::vector<double> v;
    if (mapping_form) {
        // Each count follows a keyword; a heading line comes after them.
        for (int k = 0; k < 2; ++k) {
            if (!next_line(line, number))
                return table_fault(ctx, file_name, number, "the table ends before its counts");
            Tokens tokens(line);
            std::string keyword;
            int count = 0;
            tokens.text(keyword);
            if (!tokens.integer(count) || count < 0)
                return table_fault(ctx, file_name, number,
                                   "a count must follow the keyword (as in NUM_IDS 3)");
            if (k == 0)
                types = count;
        }
        if (!next_line(line, number))
            return table_fault(ctx, file_name, number, "the table ends before its heading line");
    } else {
        if (!next_line(line, number) || !line_numbers(line, v) || v.size() != 2 ||
            v[0] != std::floor(v[0]) || v[0] < 0.0)
            return table_fault(ctx, file_name, number,
                               "the first line must hold two whole numbers: the number of soil "
                               "types and a second count");
        types = static_cast<int>(v[0]);
    }
    if (types < 1)
        return table_fault(ctx, file_name, number, "the table holds no soil types");

    for (int t = 1; t <= types; ++t) {
        if (!next_line(line, number))
            return table_fault(ctx, file_name, number,
                               "the table ends before soil type " + std::to_string(t) + " of " +
                                   std::to_string(types));
        if (!line_numbers(line, v) || v.size() != 1 || v[0] != std::floor(v[0]) || v[0] < 1.0 ||
            v[0] > kLargestSoilIndex)
            return table_fault(ctx, file_name, number,
                               "a line with the soil index alone (a whole number from 1) must "
                               "stand before the three layer lines");
        const int index = static_cast<int>(v[0]);
        if (static_cast<int>(columns.types.size()) <= index)
            columns.types.resize(static_cast<std::size_t>(index) + 1);
        RichardsSoilType& type = columns.types[index];
        if (type.given)
            return table_fault(ctx, file_name, number,
                               "soil index " + std::to_string(index) + " is given twice");
        for (int k = 0; k < 3; ++k) {
            if (!next_line(line, number))
                return table_fault(ctx, file_name, number,
                                   "the table ends inside soil index " + std::to_string(index));
            if (!line_numbers(line, v) || v.size() != per_line)
                return table_fault(ctx, file_name, number,
                                   std::string("a ") + form + " layer line must hold " +
                                       std::to_string(per_line) + " numbers (soil index " +
                                       std::to_string(index) + ", layer " + std::to_string(k + 1) +
                                       ")");
            type.layers[k] = layer_from_line(relation, v);
            const std::string fault = unphysical(relation, type.layers[k]);
            if (!fault.empty())
                return table_fault(ctx, file_name, number,
                                   "soil index " + std::to_string(index) + ", layer " +
                                       std::to_string(k + 1) + ": " + fault);
        }
        if (long_term) {
            // Havercamp lines have no room for the wilting point, field
            // capacity and root shares: a long-term run gives them here.
            if (!next_line(line, number) || !line_numbers(line, v) || v.size() != 4)
                return table_fault(ctx, file_name, number,
                                   "a long-term run needs a line of four further values after "
                                   "the layers of soil index " +
                                       std::to_string(index));
            if (relation == SoilWaterRelation::havercamp) {
                const double share3 = 1.0 - v[2] - v[3];
                for (int k = 0; k < 3; ++k) {
                    RichardsLayer& l = type.layers[k];
                    l.wilting_point = v[0];
                    l.field_capacity = v[1];
                    l.root_share = k == 0 ? v[2] : k == 1 ? v[3] : share3;
                    if (!(l.wilting_point >= l.theta_r && l.wilting_point <= l.field_capacity &&
                          l.field_capacity <= l.theta_s) ||
                        v[2] < 0.0 || v[3] < 0.0 || share3 < -1e-12)
                        return table_fault(ctx, file_name, number,
                                           "soil index " + std::to_string(index) +
                                               ": the wilting point and field capacity must lie "
                                               "in order within every layer's water contents, "
                                               "and the root shares from 0 to 1 in sum");
                }
            }
        }
        type.given = true;
    }
    return true;
}

bool lay_out_richards_columns(RichardsColumns& columns, RunContext& ctx,
                              const std::string& file_name) {
    columns.max_nodes = 0;
    for (std::size_t index = 1; index < columns.types.size(); ++index) {
        RichardsSoilType& type = columns.types[index];
        if (!type.given)
            continue;
        type.node_layer.clear();
        type.node_dz.clear();
        type.node_depth.clear();
        double depth = 0.0;
        int last_layer = -1;
        for (int k = 0; k < 3; ++k) {
            const RichardsLayer& l = type.layers[k];
            // Whole nodes only: a layer keeps thickness / spacing of them.
            const int nodes = static_cast<int>(std::floor(l.thickness / l.spacing + 1e-9));
            for (int j = 0; j < nodes; ++j) {
                type.node_layer.push_back(k);
                type.node_dz.push_back(l.spacing);
                type.node_depth.push_back(depth + 0.5 * l.spacing);
                depth += l.spacing;
            }
            if (nodes > 0)
                last_layer = k;
        }
        if (last_layer < 0) {
            ctx.print("\n");
            ctx.print_and_log(
                "Error: Richards soil table %s: soil index %zu has no node: every layer is "
                "thinner than its node spacing\n",
                file_name.c_str(), index);
            ctx.error.raise(err::message_printed);
            return false;
        }
        // The bottom node, one spacing of the deepest layer below the others;
        // free drainage copies its head to the bottom.
        const double dz = type.layers[last_layer].spacing;
        type.node_layer.push_back(last_layer);
        type.node_dz.push_back(dz);
        type.node_depth.push_back(depth + 0.5 * dz);
        depth += dz;
        type.soil_nodes = static_cast<int>(type.node_dz.size());
        // Over an aquifer, nodes of the deepest layer's soil at the aquifer
        // spacing reach down to the deepest initial water table; a deeper
        // water table is bridged by the bottom face.
        if (columns.aquifer_spacing > 0.0) {
            const double gap = type.water_table_depth - depth;
            const int extra =
                gap > 0.0
                    ? std::min(static_cast<int>(std::ceil(gap / columns.aquifer_spacing - 1e-9)),
                               kMostAquiferNodes)
                    : 0;
            for (int j = 0; j < extra; ++j) {
                type.node_layer.push_back(last_layer);
                type.node_dz.push_back(columns.aquifer_spacing);
                type.node_depth.push_back(depth + 0.5 * columns.aquifer_spacing);
                depth += columns.aquifer_spacing;
            }
        }
        type.nodes = static_cast<int>(type.node_dz.size());
        type.depth = depth;
        type.node_inverse_dz.resize(type.node_dz.size());
        for (std::size_t i = 0; i < type.node_dz.size(); ++i)
            type.node_inverse_dz[i] = 1.0 / type.node_dz[i];
        type.face_inverse_distance.assign(type.nodes, 0.0);
        for (int i = 1; i < type.nodes; ++i)
            type.face_inverse_distance[i] = 1.0 / (type.node_depth[i] - type.node_depth[i - 1]);
        type.node_theta_r.resize(type.node_dz.size());
        for (std::size_t i = 0; i < type.node_dz.size(); ++i)
            type.node_theta_r[i] = type.layers[type.node_layer[i]].theta_r;
        type.brooks_corey_node.clear();
        if (columns.relation == SoilWaterRelation::brooks_corey)
            for (int i = 0; i < type.nodes; ++i)
                type.brooks_corey_node.push_back(
                    brooks_corey_constants(type.layers[type.node_layer[i]]));

        // Root weights: each layer's share spread over its nodes by thickness.
        std::array<double, 3> share{};
        double total = 0.0;
        for (int k = 0; k < 3; ++k) total += share[k] = type.layers[k].root_share;
        if (total <= 0.0) {
            share = {1.0, 0.0, 0.0};
            total = 1.0;
        }
        // Roots reach the soil's nodes, not those below it.
        std::array<double, 3> layer_depth{};
        for (int i = 0; i < type.soil_nodes; ++i)
            layer_depth[type.node_layer[i]] += type.node_dz[i];
        type.root_weight.assign(type.nodes, 0.0);
        type.root_depth = 0.0;
        type.root_nodes = 0;
        for (int i = 0; i < type.soil_nodes; ++i) {
            const int k = type.node_layer[i];
            if (layer_depth[k] > 0.0)
                type.root_weight[i] = share[k] / total * type.node_dz[i] / layer_depth[k];
            if (type.root_weight[i] > 0.0) {
                type.root_depth += type.node_dz[i];
                type.root_nodes = i + 1;
            }
        }
        columns.max_nodes = std::max(columns.max_nodes, type.nodes);
    }
    columns.stride = static_cast<std::size_t>(columns.max_nodes);
    return true;
}

bool initialise_richards_columns(RichardsColumns& rc, RunContext& ctx,
                                 const std::vector<int>& soil_type, int cells,
                                 const std::vector<double>* depth_to_water) {
    const std::size_t size = static_cast<std::size_t>(cells) + 1;
    for (int i = 1; i <= cells; ++i) {
        const int t = soil_type[i];
        if (t < 1 || t >= static_cast<int>(rc.types.size()) || !rc.types[t].given) {
            ctx.print("\n");
            ctx.print_and_log(
                "Error: grid cell %d has soil index %d, which the Richards soil table does not "
                "give\n",
                i, t);
            ctx.error.raise(err::message_printed);
            return false;
        }
    }
    rc.soil_type.assign(soil_type.begin(), soil_type.begin() + static_cast<long>(size));
    if (!allocate(ctx, rc.head, size * rc.stride, "PHEAD") ||
        !allocate(ctx, rc.theta, size * rc.stride, "THETA") ||
        !allocate(ctx, rc.substep, size, "richards_substep") ||
        !allocate(ctx, rc.top, size, "richards_top") ||
        !allocate(ctx, rc.slow, size, "richards_slow") ||
        !allocate(ctx, rc.trends, size, "richards_trends") ||
        !allocate(ctx, rc.trend, size * 2 * rc.stride, "richards_trend") ||
        !allocate(ctx, rc.relations, size * rc.stride, "richards_relations") ||
        !allocate(ctx, rc.step_slow_substeps, size, "richards_slow_substeps") ||
        !allocate(ctx, rc.root_zone_water, size, "root_zone_water") ||
        !allocate(ctx, rc.failed, size, "richards_failed") ||
        !allocate(ctx, rc.failed_node, size, "richards_failed_node") ||
        !allocate(ctx, rc.failed_time, size, "richards_failed_time") ||
        !allocate(ctx, rc.step_substeps, size, "richards_substeps") ||
        !allocate(ctx, rc.step_iterations, size, "richards_iterations") ||
        !allocate(ctx, rc.step_unsettled, size, "richards_unsettled") ||
        !allocate(ctx, rc.step_infiltrated, size, "richards_infiltrated") ||
        !allocate(ctx, rc.step_drained, size, "richards_drained") ||
        !allocate(ctx, rc.step_uptake, size, "richards_uptake") ||
        !allocate(ctx, rc.step_canopy_et, size, "richards_canopy_et") ||
        !allocate(ctx, rc.step_ponded_et, size, "richards_ponded_et") ||
        !allocate(ctx, rc.step_from_water_table, size, "richards_from_water_table") ||
        !allocate(ctx, rc.aquifer_share, size, "richards_aquifer_share"))
        return false;
    for (int i = 1; i <= cells; ++i) {
        const RichardsSoilType& type = rc.types[rc.soil_type[i]];
        double* h = &rc.head[static_cast<std::size_t>(i) * rc.stride];
        double* theta = &rc.theta[static_cast<std::size_t>(i) * rc.stride];
        for (int j = 0; j < type.nodes; ++j) {
            const RichardsLayer& l = type.layers[type.node_layer[j]];
            theta[j] = l.theta_i;
            h[j] = std::max(head_of_theta(rc.relation, l, l.theta_i), kDriestHead);
            if (depth_to_water && type.node_depth[j] > (*depth_to_water)[i]) {
                theta[j] = l.theta_s;
                h[j] = type.node_depth[j] - (*depth_to_water)[i];
            }
        }
        rc.substep[i] = 1.0;
        rc.top[i] = ColumnTop::flux;
        rc.slow[i] = SlowSoil{};
        rc.trends[i] = HeadTrends{};
        // Nothing evaluated yet.
        for (std::size_t j = 0; j < rc.stride; ++j)
            rc.relations[static_cast<std::size_t>(i) * rc.stride + j].head =
                std::numeric_limits<double>::quiet_NaN();
        rc.root_zone_water[i] = root_zone_water_depth(type, theta);
    }
    // One solver scratch per thread, sized for the deepest column.
    const int threads = std::max(omp_get_max_threads(), 1);
    rc.scratch.assign(static_cast<std::size_t>(threads), RichardsScratch{});
    const std::size_t n = static_cast<std::size_t>(rc.max_nodes) + 1;
    for (RichardsScratch& s : rc.scratch) {
        for (LineVector<double>* v :
             {&s.diagonal, &s.rhs, &s.eliminated, &s.head_old, &s.theta_old, &s.head_trend,
              &s.trend_before, &s.trend_spare, &s.face_k, &s.face_g, &s.flux, &s.source, &s.pace})
            if (!allocate(ctx, *v, n, "richards_scratch"))
                return false;
        if (!allocate(ctx, s.moved_nodes, n, "richards_scratch"))
            return false;
    }
    return true;
}

namespace {

// The settings of the cards, decided once.
void richards_settings(const Model& model, RichardsColumns& rc) {
    const ProjectSettings& p = model.project;
    rc.relation =
        p.richards_c_option == 2 ? SoilWaterRelation::havercamp : SoilWaterRelation::brooks_corey;
    rc.face = p.richards_k_option == 1 ? FaceConductivity::arithmetic : FaceConductivity::geometric;
    rc.ponded = p.richards_upper_option == 2   ? PondedConductivity::saturated
                : p.richards_upper_option == 3 ? PondedConductivity::average
                                               : PondedConductivity::first_node;
    rc.upper_weight = p.real(Card::RICHARDS_WEIGHT);
    rc.dtheta_max = p.real(Card::RICHARDS_DTHETA_MAX);
    rc.iter_max = p.integer(Card::RICHARDS_ITER_MAX);
    // Over an aquifer the water table holds the bottom of every column above
    // an active aquifer cell; elsewhere the columns drain freely.
    const bool aquifer = p.given(Card::GW_SIMULATION);
    rc.bottom = aquifer ? ColumnBottom::water_table : ColumnBottom::free_drainage;
    rc.aquifer_spacing = aquifer ? p.real(Card::AQUIFER_DELTA_Z) : 0.0;
    rc.root_uptake = model.run.long_term;
}

bool settings_fault(RunContext& ctx, const char* what) {
    ctx.print_and_log("Error: %s\n", what);
    ctx.error.raise(err::message_printed);
    return false;
}

bool check_settings(const RichardsColumns& rc, RunContext& ctx) {
    if (!(rc.dtheta_max > 0.0 && rc.dtheta_max <= 1.0))
        return settings_fault(ctx, "RICHARDS_DTHETA_MAX must lie above 0 and at most 1");
    if (rc.iter_max < 1)
        return settings_fault(ctx, "RICHARDS_ITER_MAX must be at least 1");
    if (!(rc.upper_weight >= 0.0 && rc.upper_weight <= 1.0))
        return settings_fault(ctx, "RICHARDS_WEIGHT must lie from 0 to 1");
    return true;
}

// The whole text of the soil table file, read line by line so that
// replacement values are resolved.
bool read_table_text(RunContext& ctx, const std::string& path, std::string& text) {
    std::FILE* file = std::fopen(path.c_str(), "r");
    if (!file) {
        ctx.error.raise(err::open_file, {.text1 = "Richards soil table", .text2 = path});
        return false;
    }
    LineReader reader(file, ctx);
    std::string line;
    while (reader.next(line)) {
        text += line;
        text += '\n';
    }
    std::fclose(file);
    return !ctx.error.pending();
}

}  // namespace

void set_up_richards(Model& model, RunContext& ctx) {
    Soil& soil = model.soil;
    RichardsColumns& rc = soil.richards;
    richards_settings(model, rc);
    if (!check_settings(rc, ctx))
        return;
    const int n = model.grid.num_cells;
    const MappingTable table = rc.relation == SoilWaterRelation::brooks_corey
                                   ? MappingTable::richards_brooks
                                   : MappingTable::richards_havercamp;
    ctx.print("Reading Soil Table");
    std::string text;
    std::string file_name;
    bool mapping_form = false;
    std::vector<int> from_table_ids;
    if (model.project.given(Card::SOIL_LAYER_INPUT_FILE)) {
        file_name = strip_quotes(model.project.text(Card::SOIL_LAYER_INPUT_FILE));
        if (!read_table_text(ctx, file_name, text))
            return;
    } else if (has_table(model, table)) {
        // The table inside the mapping table file: its lines after the table
        // line, and its index map as the soil index.
        const TableFile& file = model.tables.grid_file;
        const TableLocation where = find_table(file, static_cast<int>(table));
        file_name = file.path;
        for (std::size_t k = where.line + 1; k < file.lines.size(); ++k)
            text += file.lines[k] + '\n';
        mapping_form = true;
        if (soil.soil_index.empty()) {
            ctx.print("\n");
            if (!read_index_map(ctx, where.index_map_path, model.grid, kLargestSoilIndex,
                                IndexZero::refused, soil.soil_index))
                return;
        }
    } else {
        ctx.print("\n");
        ctx.print_and_log(
            "Error: Richards infiltration needs the soil table: give SOIL_LAYER_INPUT_FILE or "
            "the %s table in the mapping table file\n",
            table_name(table));
        ctx.error.raise(err::message_printed);
        return;
    }
    if (!parse_richards_soil_table(rc, ctx, text, file_name, mapping_form, model.run.long_term))
        return;
    if (soil.soil_index.size() < static_cast<std::size_t>(n) + 1) {
        ctx.print("\n");
        ctx.print_and_log(
            "Error: Richards infiltration needs the soil index of every cell (SOIL_TYPE_MAP)\n");
        ctx.error.raise(err::message_printed);
        return;
    }
    // Over an aquifer each column reaches down to its water table.
    std::vector<double> depth_to_water;
    if (rc.bottom == ColumnBottom::water_table) {
        if (!(rc.aquifer_spacing > 0.0)) {
            ctx.print("\n");
            ctx.print_and_log(
                "Error: AQUIFER_DELTA_Z %g: the node spacing below the soil layers (m) must be "
                "greater than 0\n",
                rc.aquifer_spacing);
            ctx.error.raise(err::message_printed);
            return;
        }
        if (soil.water_table.size() < static_cast<std::size_t>(n) + 1) {
            ctx.print("\n");
            ctx.print_and_log(
                "Error: Richards columns over an aquifer need the initial water table "
                "(WATER_TABLE)\n");
            ctx.error.raise(err::message_printed);
            return;
        }
        depth_to_water.assign(static_cast<std::size_t>(n) + 1, 0.0);
        for (int i = 1; i <= n; ++i) {
            depth_to_water[i] = model.grid.elevation[i] - soil.water_table[i];
            const int t = soil.soil_index[i];
            if (t >= 1 && t < static_cast<int>(rc.types.size()))
                rc.types[t].water_table_depth =
                    std::max(rc.types[t].water_table_depth, depth_to_water[i]);
        }
    }
    if (!lay_out_richards_columns(rc, ctx, file_name))
        return;
    if (!initialise_richards_columns(rc, ctx, soil.soil_index, n,
                                     depth_to_water.empty() ? nullptr : &depth_to_water))
        return;
    ctx.print("   Done\n");
    ctx.print("Initialize Richards Params\n");
    const double area = model.grid.cell_size * model.grid.cell_size;
    double root_zone = 0.0;
    for (int i = 1; i <= n; ++i) root_zone += rc.root_zone_water[i];
    const double column = columns_water_depth(rc, n);
    ctx.print_and_log("Inital volume of water in root zone= %lf \n \n", root_zone * area);
    ctx.print_and_log("Inital volume of water in soil column= %lf \n \n", column * area);
}

}  // namespace torva
