// The availability check: which tables of the mapping table files can be
// read, printed once when the files are loaded and asked by the processes.

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "core/context.hpp"
#include "core/model_state.hpp"
#include "grid/mapping.hpp"
#include "grid/mapping_internal.hpp"
#include "input/tokens.hpp"

namespace torva {
namespace {

using namespace mapping_internal;

struct CheckedTable {
    const char* label;
    MappingTable table;
};

// The availability check, in its printing order.
constexpr CheckedTable kGridCheck[] = {
    {"Roughness", MappingTable::roughness},
    {"Interception", MappingTable::interception},
    {"Retention", MappingTable::retention},
    {"G&A Infiltration", MappingTable::green_ampt_infiltration},
    {"G&A Soil Moisture", MappingTable::green_ampt_initial_soil_moisture},
    {"Richards Havercamp", MappingTable::richards_havercamp},
    {"Richards Brooks", MappingTable::richards_brooks},
    {"Evapotranspiration", MappingTable::evapotranspiration},
    {"Sediments", MappingTable::sediments},
    {"Sediment Erosion Properties", MappingTable::soil_erosion_props},
    {"Contaminants", MappingTable::contaminant_transport},
    {"Wetlands", MappingTable::wetland_properties},
    {"Overland Boundary", MappingTable::overland_boundary},
    {"Groundwater Wells", MappingTable::well_table},
    {"Groundwater", MappingTable::groundwater},
    {"Groundwater Boundary", MappingTable::groundwater_boundary},
    {"Area Reduction", MappingTable::area_reduction},
    {"KVX Nitrogen", MappingTable::kvx_n},
    {"KVX Phosphorus", MappingTable::kvx_p},
    {"KVX Other", MappingTable::kvx_oth},
    {"KVX Carbon", MappingTable::kvx_c},
    {"KVX Dispersion", MappingTable::dispersion},
    {"KVX Soil Carbon", MappingTable::kvx_soil_c},
    {"KVX Soil Nitrogen", MappingTable::kvx_soil_n},
    {"KVX Soil Phosphorus", MappingTable::kvx_soil_p},
    {"KVX Groundwater Nitrogen", MappingTable::kvx_gw_n},
    {"KVX Groundwater Phosphorus", MappingTable::kvx_gw_p},
    {"KVX Groundwater Other", MappingTable::kvx_gw_oth},
    {"KVX Soil Km", MappingTable::kvx_soil_km},
    {"KVX Soil Koc", MappingTable::kvx_soil_koc},
};

struct CheckedStreamTable {
    const char* label;
    StreamTable table;
};

constexpr CheckedStreamTable kStreamCheck[] = {
    {"Roughness", StreamTable::roughness},  {"KVX Nitrogen", StreamTable::kvx_n},
    {"KVX Phosphorus", StreamTable::kvx_p}, {"KVX Carbon", StreamTable::kvx_c},
    {"KVX Other", StreamTable::kvx_oth},    {"Dispersion", StreamTable::dispersion},
};

bool file_opens(const std::string& path) {
    if (path.empty())
        return false;
    std::FILE* f = std::fopen(path.c_str(), "r");
    if (!f)
        return false;
    std::fclose(f);
    return true;
}

// The count on the NUM_SED or NUM_CONTAM line among the keyword lines after a table line.
int count_line_value(const TableFile& file, const TableLocation& location, int count_keyword) {
    for (std::size_t i = location.line + 1; i < file.lines.size(); ++i) {
        const int k = file.line_keyword[i];
        if (k == 0)
            break;
        if (k == count_keyword) {
            Tokens t(file.lines[i]);
            std::string word;
            t.text(word);
            return t.integer();
        }
    }
    return 0;
}

void print_check_line(RunContext& ctx, const char* label, bool present) {
    const int dots = std::max(0, 35 - static_cast<int>(std::strlen(label)));
    ctx.print("  %s%s%s\n", label, std::string(dots, '.').c_str(), present ? "Y" : "N");
}

}  // namespace

namespace mapping_internal {

void check_grid_tables(MappingTables& tables, RunContext& ctx) {
    ctx.print("\nChecking 2D grid mapping tables...\n");
    for (const CheckedTable& c : kGridCheck) {
        const int number = static_cast<int>(c.table);
        const TableLocation location = find_table(tables.grid_file, number);
        bool present = false;
        if (c.table == MappingTable::sediments)
            present =
                location.found && count_line_value(tables.grid_file, location, kNumSedKeyword) > 0;
        else if (c.table == MappingTable::contaminant_transport)
            present = location.found &&
                      count_line_value(tables.grid_file, location, kNumContamKeyword) > 0;
        else
            present = location.found && file_opens(location.index_map_path);
        tables.present[number] = present;
        print_check_line(ctx, c.label, present);
    }
}

void check_stream_tables(MappingTables& tables, RunContext& ctx) {
    ctx.print("\nChecking stream mapping table file...\n");
    for (const CheckedStreamTable& c : kStreamCheck) {
        const int number = static_cast<int>(c.table);
        const TableLocation location = find_table(tables.stream_file, number);
        const bool present = location.found && file_opens(location.index_map_path);
        tables.stream_present[number] = present;
        print_check_line(ctx, c.label, present);
    }
}

}  // namespace mapping_internal

bool has_table(const Model& model, MappingTable which) {
    return is_grid_table(which) && model.tables.present[static_cast<int>(which)];
}

bool has_stream_table(const Model& model, StreamTable which) {
    const int n = static_cast<int>(which);
    return n >= 1 && n <= kLastStreamTable && model.tables.stream_present[n];
}

}  // namespace torva
