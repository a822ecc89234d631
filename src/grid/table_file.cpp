// The mapping table file: its keywords, its tables with their column counts,
// and the rows of one table as ids and values.

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/context.hpp"
#include "grid/mapping.hpp"
#include "grid/mapping_internal.hpp"
#include "input/tokens.hpp"

namespace torva {
namespace mapping_internal {

long lenient_long(std::string_view text) {
    char buffer[32];
    const std::size_t n = std::min(text.size(), sizeof buffer - 1);
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
    const long v = std::strtol(buffer, nullptr, 10);
    return std::clamp(v, static_cast<long>(INT_MIN), static_cast<long>(INT_MAX));
}

int truncate_to_int(double v) {
    if (std::isnan(v))
        return 0;
    if (v >= 2147483647.0)
        return INT_MAX;
    if (v <= -2147483648.0)
        return INT_MIN;
    return static_cast<int>(v);
}

void fail_with_printed_message(RunContext& ctx) {
    ctx.error.raise(err::message_printed);
}

void report_unexpected_end(RunContext& ctx, const std::string& path) {
    ctx.print_and_log("Unexpected end of file in file: %s\n", path.c_str());
    fail_with_printed_message(ctx);
}

std::size_t first_row_line(const TableFile& file, const TableLocation& location) {
    std::size_t i = location.line + 2;
    while (i < file.lines.size() && file.line_keyword[i] != 0) ++i;
    return i + 1;
}

bool is_grid_table(MappingTable which) {
    const int n = static_cast<int>(which);
    return n >= 1 && n <= kLastGridTable;
}

}  // namespace mapping_internal

using namespace mapping_internal;

namespace {

struct Keyword {
    const char* word;
    int number;
};

// Tested in this order: ROUGHNESS first, and every name before the names it
// begins with (GROUNDWATER_BOUNDARY before GROUNDWATER), so a line is given
// the longest name it starts with.
constexpr Keyword kGridKeywords[] = {
    {"ROUGHNESS", 1},
    {"INTERCEPTION", 2},
    {"RETENTION", 3},
    {"GREEN_AMPT_INFILTRATION", 4},
    {"GREEN_AMPT_INITIAL_SOIL_MOISTURE", 5},
    {"RICHARDS_EQN_INFILTRAIION_HAVERCAMP", 6},
    {"RICHARDS_EQN_INFILTRATION_BROOKS", 7},
    {"EVAPOTRANSPIRATION", 8},
    {"SEDIMENTS", 9},
    {"SOIL_EROSION_PROPS", 10},
    {"CONTAMINANT_TRANSPORT", 11},
    {"WETLAND_PROPERTIES", 12},
    {"MATERIAL_INDEX", 13},
    {"OVERLAND_BOUNDARY", 14},
    {"TIME_SERIES_INDEX", 15},
    {"WELL_TABLE", 16},
    {"GROUNDWATER_BOUNDARY", 18},
    {"GROUNDWATER", 17},
    {"AREA_REDUCTION", 19},
    {"KVX_N", 20},
    {"KVX_P", 21},
    {"KVX_C", 22},
    {"KVX_OTH", 23},
    {"DISPERSION", 24},
    {"KVX_SOIL_C", 25},
    {"KVX_SOIL_N", 26},
    {"KVX_SOIL_P", 27},
    {"KVX_GW_N", 28},
    {"KVX_GW_P", 29},
    {"KVX_GW_OTH", 30},
    {"KVX_SOIL_KM", 31},
    {"KVX_SOIL_KOC", 32},
    {"PRECIP_CONC", 50000},
    {"PARTITION", 60000},
    {"NUM_IDS", kNumIdsKeyword},
    {"INDEX_MAP", kIndexMapKeyword},
    {"NUM_CONTAM", kNumContamKeyword},
    {"NUM_SED", kNumSedKeyword},
};

constexpr Keyword kStreamKeywords[] = {
    {"ROUGHNESS", 1},
    {"KVX_N", 2},
    {"KVX_P", 3},
    {"KVX_C", 4},
    {"KVX_OTH", 5},
    {"DISPERSION", 6},
    {"NUM_IDS", kNumIdsKeyword},
    {"ST_INDEX_MAP", kIndexMapKeyword},
    {"NUM_CONTAM", kNumContamKeyword},
    {"NUM_SED", kNumSedKeyword},
};

// Value columns by table number (0 for tables with a layout of their own).
constexpr int kGridColumns[kLastGridTable + 1] = {0, 1, 2, 1, 6, 1, 9, 11, 5, 0, 8,
                                                  0, 7, 0, 2, 1, 3, 2, 1,  1, 4, 3,
                                                  2, 3, 1, 2, 5, 6, 4, 4,  2, 6, 6};
constexpr int kStreamColumns[kLastStreamTable + 1] = {0, 1, 4, 3, 2, 3, 1};

const char* kGridHeader = "TORVA_INDEX_MAP_TABLES";
const char* kStreamHeader = "TORVA_STREAM_INDEX_MAP_TABLES";

}  // namespace

const char* table_name(MappingTable table) {
    for (const Keyword& k : kGridKeywords)
        if (k.number == static_cast<int>(table))
            return k.word;
    return "";
}

const char* table_name(StreamTable table) {
    for (const Keyword& k : kStreamKeywords)
        if (k.number == static_cast<int>(table))
            return k.word;
    return "";
}

int table_columns(MappingTable table) {
    return is_grid_table(table) ? kGridColumns[static_cast<int>(table)] : 0;
}

int table_columns(StreamTable table) {
    const int n = static_cast<int>(table);
    return n >= 1 && n <= kLastStreamTable ? kStreamColumns[n] : 0;
}

int keyword_of(std::string_view line, TableFileKind kind) {
    if (kind == TableFileKind::grid) {
        for (const Keyword& k : kGridKeywords)
            if (starts_with(line, k.word))
                return k.number;
    } else {
        for (const Keyword& k : kStreamKeywords)
            if (starts_with(line, k.word))
                return k.number;
    }
    return 0;
}

bool load_table_file(RunContext& ctx, const std::string& path, TableFileKind kind,
                     TableFile& file) {
    file = TableFile{};
    file.kind = kind;
    file.path = strip_quotes(path);
    std::FILE* f = std::fopen(file.path.c_str(), "r");
    if (!f)
        return false;
    std::vector<std::string> lines;
    {
        LineReader reader(f, ctx);
        std::string line;
        while (reader.next(line)) lines.push_back(line);
    }
    std::fclose(f);
    std::string kept_path = file.path;
    parse_table_file(std::move(lines), kind, file);
    file.path = kept_path;
    return true;
}

void parse_table_file(std::vector<std::string> lines, TableFileKind kind, TableFile& file) {
    file.kind = kind;
    file.lines = std::move(lines);
    file.loaded = true;
    file.index_maps.clear();
    file.line_keyword.resize(file.lines.size());
    for (std::size_t i = 0; i < file.lines.size(); ++i)
        file.line_keyword[i] = keyword_of(file.lines[i], kind);
    const char* header = kind == TableFileKind::grid ? kGridHeader : kStreamHeader;
    file.valid_header = !file.lines.empty() && starts_with(file.lines[0], header);
    if (!file.valid_header) {
        file.first_table_line = file.lines.size();
        return;
    }
    std::size_t i = 1;
    for (; i < file.lines.size() && file.line_keyword[i] == kIndexMapKeyword; ++i) {
        Tokens t(file.lines[i]);
        std::string word;
        t.text(word);
        TableFile::IndexMap map;
        t.text(map.path);
        map.name = std::string(t.rest());
        file.index_maps.push_back(std::move(map));
    }
    file.first_table_line = i;
}

TableLocation find_table(const TableFile& file, int table_number) {
    TableLocation location;
    if (!file.valid_header)
        return location;
    for (std::size_t i = file.first_table_line; i < file.lines.size(); ++i) {
        if (file.line_keyword[i] != table_number)
            continue;
        location.found = true;
        location.line = i;
        Tokens t(file.lines[i]);
        std::string word;
        t.text(word);
        location.index_map_name = std::string(t.rest());
        for (const TableFile::IndexMap& map : file.index_maps) {
            if (map.name == location.index_map_name) {
                location.index_map_path = map.path;
                break;
            }
        }
        break;
    }
    return location;
}

int read_row_count(const TableFile& file, const TableLocation& location) {
    if (!location.found || location.line + 1 >= file.lines.size())
        return 0;
    Tokens t(file.lines[location.line + 1]);
    std::string word;
    t.text(word);
    return t.integer();
}

bool read_table_rows(RunContext& ctx, const TableFile& file, const TableLocation& location,
                     const char* name, int columns, TableRows& rows) {
    rows = TableRows{};
    const int n = read_row_count(file, location);
    if (!location.found || n <= 0) {
        ctx.error.raise(kNoEntriesInTable, {.text1 = name});
        return false;
    }
    const std::size_t first = first_row_line(file, location);
    // A count larger than the lines left is caught before anything is sized by it.
    if (first > file.lines.size() || file.lines.size() - first < static_cast<std::size_t>(n)) {
        report_unexpected_end(ctx, file.path);
        return false;
    }
    rows.num_ids = n;
    rows.columns = columns;
    rows.ids.resize(n);
    rows.values.assign(static_cast<std::size_t>(n) * columns, 0.0);
    rows.largest_id = INT_MIN;
    for (int r = 0; r < n; ++r) {
        const std::string_view row = file.lines[first + r];
        const int id = static_cast<int>(lenient_long(row.substr(0, kIdWidth)));
        rows.ids[r] = id;
        rows.largest_id = std::max(rows.largest_id, id);
        if (row.size() <= kValuesStart)
            continue;
        Tokens values(row.substr(kValuesStart));
        for (int k = 0; k < columns; ++k)
            rows.values[static_cast<std::size_t>(r) * columns + k] = values.real();
    }
    return true;
}

}  // namespace torva
