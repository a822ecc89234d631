#pragma once
// The mapping tables of one simulation: which tables the files hold, the
// files' lines, and the tables read once at start-up.

#include <array>
#include <cstddef>
#include <string>
#include <vector>

#include "core/series_lists.hpp"

namespace torva {

// Tables of the mapping table file, by their number in the file's keyword list.
enum class MappingTable : int {
    roughness = 1,
    interception = 2,
    retention = 3,
    green_ampt_infiltration = 4,
    green_ampt_initial_soil_moisture = 5,
    richards_havercamp = 6,
    richards_brooks = 7,
    evapotranspiration = 8,
    sediments = 9,
    soil_erosion_props = 10,
    contaminant_transport = 11,
    wetland_properties = 12,
    material_index = 13,
    overland_boundary = 14,
    time_series_index = 15,
    well_table = 16,
    groundwater = 17,
    groundwater_boundary = 18,
    area_reduction = 19,
    kvx_n = 20,
    kvx_p = 21,
    kvx_c = 22,
    kvx_oth = 23,
    dispersion = 24,
    kvx_soil_c = 25,
    kvx_soil_n = 26,
    kvx_soil_p = 27,
    kvx_gw_n = 28,
    kvx_gw_p = 29,
    kvx_gw_oth = 30,
    kvx_soil_km = 31,
    kvx_soil_koc = 32,
    precip_conc = 50000,
    partition = 60000,
};
inline constexpr int kLastGridTable = 32;

// Tables of the stream mapping table file.
enum class StreamTable : int {
    roughness = 1,
    kvx_n = 2,
    kvx_p = 3,
    kvx_c = 4,
    kvx_oth = 5,
    dispersion = 6,
};
inline constexpr int kLastStreamTable = 6;

enum class TableFileKind { grid, stream };

// The lines of one mapping table file, read once per simulation with the
// replacement values applied.
struct TableFile {
    struct IndexMap {
        std::string path;  // enclosing double quotes removed
        std::string name;  // the rest of the INDEX_MAP line
    };
    TableFileKind kind = TableFileKind::grid;
    std::string path;
    bool loaded = false;
    bool valid_header = false;  // line 1 holds the file word; otherwise no tables at all
    std::vector<std::string> lines;
    std::vector<int> line_keyword;  // keyword_of each line, found once
    std::vector<IndexMap> index_maps;
    std::size_t first_table_line = 0;  // first line after the index map lines
};

// A wetland's record, fields 1 to 8 (field 0 unused): mm become metres and
// per-day rates per-second rates when read; field 6 is not filled from the table.
struct Wetland {
    std::array<double, 9> field{};
};

// Per-cell overland boundary conditions (OV_BOUNDARY card).
struct OverlandBoundaryCells {
    std::vector<int> type;      // first column, truncated; 0 means no boundary
    std::vector<double> value;  // second column: slope or water-surface elevation
    // Second column as read: for type 3 cells the id of the TIME_SERIES_INDEX
    // entry whose series replaces `value` every step, so the id survives that update.
    std::vector<double> index;
};

// Mapping tables of one simulation: the files, which tables are available and
// the variants read once at start-up.
struct MappingTables {
    TableFile grid_file;                             // MAPPING_TABLE
    TableFile stream_file;                           // ST_MAPPING_TABLE
    std::array<bool, kLastGridTable + 1> present{};  // by table number
    std::array<bool, kLastStreamTable + 1> stream_present{};
    // TIME_SERIES_INDEX: ids and their series (-1 where the name was not found).
    TimeSeriesIndexTable time_series_index;
    int num_wetlands = 0;
    std::vector<Wetland> wetlands;    // 1..num_wetlands
    std::vector<int> wetland_number;  // per cell, 0 outside wetlands
    OverlandBoundaryCells ov_boundary;
};

}  // namespace torva
