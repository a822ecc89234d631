#include "grid/mapping.hpp"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unordered_map>

#include "core/arrays.hpp"
#include "core/context.hpp"
#include "core/model_state.hpp"
#include "grid/grid.hpp"
#include "input/tokens.hpp"

namespace torva {
namespace {

constexpr int kUnableToOpenMappingTable = 64;
constexpr int kUnableToOpenIndexFile = 65;
constexpr int kNoEntriesInTable = 66;
constexpr int kWetlandIdCount = 67;
constexpr int kTooManyWetlands = 68;
constexpr int kIndexIdExceedsTable = 71;
constexpr int kWrongRowsAndColumns = 72;
constexpr int kWrongRows = 73;
constexpr int kWrongColumns = 74;
constexpr int kOverlandBoundaryTableMissing = 84;
constexpr int kUnableToOpenStreamMap = 115;
constexpr int kStreamMapHeader = 116;
constexpr int kStreamMapLinks = 117;
constexpr int kStreamMapData = 118;

constexpr int kLargestWetlandId = 300;

// Row layout: the id in characters 1 to 6, descriptions to character 86,
// the values from character 87.
constexpr std::size_t kIdWidth = 6;
constexpr std::size_t kValuesStart = 86;

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

bool starts_with(std::string_view line, std::string_view word) {
    return line.substr(0, word.size()) == word;
}

// Carriage returns of files written on other systems separate numbers like blanks.
bool is_number_separator(char c) {
    return is_separator(c) || c == '\r';
}

// Integer of a fixed-width field or token, as much of it as reads ("12ab" is 12,
// "" is 0), held to the int range.
long lenient_long(std::string_view text) {
    char buffer[32];
    const std::size_t n = std::min(text.size(), sizeof buffer - 1);
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
    const long v = std::strtol(buffer, nullptr, 10);
    return std::clamp(v, static_cast<long>(INT_MIN), static_cast<long>(INT_MAX));
}

// A real truncated to an integer, held to the int range (a type column of 1e30
// must not become undefined behaviour).
int truncate_to_int(double v) {
    if (std::isnan(v))
        return 0;
    if (v >= 2147483647.0)
        return INT_MAX;
    if (v <= -2147483648.0)
        return INT_MIN;
    return static_cast<int>(v);
}

// Prints a message of the reader's own and stops the run after it.
void fail_with_printed_message(RunContext& ctx) {
    ctx.error.raise(err::message_printed);
}

void report_unexpected_end(RunContext& ctx, const std::string& path) {
    ctx.print_and_log("Unexpected end of file in file: %s\n", path.c_str());
    fail_with_printed_message(ctx);
}

// The first row of a table: after the table line and its NUM_IDS line, past
// any further keyword lines and the one column heading line.
std::size_t first_row_line(const TableFile& file, const TableLocation& location) {
    std::size_t i = location.line + 2;
    while (i < file.lines.size() && file.line_keyword[i] != 0) ++i;
    return i + 1;
}

// The integers of a map file, one after the other; line breaks carry no meaning.
class IntegerScanner {
  public:
    explicit IntegerScanner(LineReader& reader) : reader_(reader) {}

    // Next value as much of the token as reads as an integer; false at end of file.
    bool next(long& value) {
        std::string_view token;
        if (!next_token(token))
            return false;
        value = lenient_long(token);
        return true;
    }

    // Checked form: false when the token is missing or not wholly an integer.
    bool next_checked(long& value) {
        std::string_view view;
        if (!next_token(view))
            return false;
        const std::string token(view);
        char* stop = nullptr;
        errno = 0;
        value = std::strtol(token.c_str(), &stop, 10);
        return stop != token.c_str() && *stop == '\0' && errno != ERANGE && value >= INT_MIN &&
               value <= INT_MAX;
    }

  private:
    // The next token, reading further lines as needed; false at end of file.
    // The view lasts until the next call.
    bool next_token(std::string_view& token) {
        while (true) {
            while (pos_ < line_.size() && is_number_separator(line_[pos_])) ++pos_;
            if (pos_ < line_.size())
                break;
            if (!reader_.next(line_))
                return false;
            pos_ = 0;
        }
        std::size_t end = pos_;
        while (end < line_.size() && !is_number_separator(line_[end])) ++end;
        token = std::string_view(line_).substr(pos_, end - pos_);
        pos_ = end;
        return true;
    }

    LineReader& reader_;
    std::string line_;
    std::size_t pos_ = 0;
};

// Grid-map header: six lines of a word and a number; only rows and columns are used.
bool read_map_header(LineReader& reader, int& rows, int& cols) {
    std::string line;
    for (int i = 0; i < 6; ++i) {
        if (!reader.next(line))
            return false;
        Tokens t(line);
        std::string word;
        t.text(word);
        std::string number;
        t.text(number);
        if (i == 4)
            rows = static_cast<int>(lenient_long(number));
        if (i == 5)
            cols = static_cast<int>(lenient_long(number));
    }
    return true;
}

// Column k of the table as a lookup by id; ids without a row give 0.0, and
// of two rows with one id the later wins.
std::vector<double> column_lookup(const TableRows& rows, int column) {
    std::vector<double> lookup(static_cast<std::size_t>(std::max(rows.largest_id, 0)) + 1, 0.0);
    for (int r = 0; r < rows.num_ids; ++r)
        if (rows.ids[r] >= 1)
            lookup[rows.ids[r]] = rows.value(r, column);
    return lookup;
}

bool check_column(RunContext& ctx, const char* name, int column, int columns) {
    if (column >= 1 && column <= columns)
        return true;
    ctx.print_and_log("Column %d asked of table %s, which has %d columns\n", column, name, columns);
    fail_with_printed_message(ctx);
    return false;
}

bool is_grid_table(MappingTable which) {
    const int n = static_cast<int>(which);
    return n >= 1 && n <= kLastGridTable;
}

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

// The TIME_SERIES_INDEX rows: an id in characters 1 to 6 and the name of a
// time series read from the project's series files.
void read_time_series_index(MappingTables& tables, RunContext& ctx) {
    const TableFile& file = tables.grid_file;
    const TableLocation location =
        find_table(file, static_cast<int>(MappingTable::time_series_index));
    if (!location.found)
        return;
    const int n = read_row_count(file, location);
    if (n <= 0) {
        ctx.error.raise(kNoEntriesInTable, {.text1 = "TIME_SERIES_INDEX"});
        return;
    }
    const std::size_t first = first_row_line(file, location);
    if (first > file.lines.size() || file.lines.size() - first < static_cast<std::size_t>(n)) {
        report_unexpected_end(ctx, file.path);
        return;
    }
    tables.time_series_index.clear();
    for (int r = 0; r < n; ++r) {
        const std::string_view row = file.lines[first + r];
        const int id = static_cast<int>(lenient_long(row.substr(0, kIdWidth)));
        std::string name;
        if (row.size() > kIdWidth)
            Tokens(row.substr(kIdWidth)).text(name);
        ctx.print("Adding table to list: %s... ", name.c_str());
        const int series = time_series_position(ctx.series, name);
        ctx.print("%s", series >= 0 ? "Success!\n" : "Failure, table not found.\n");
        tables.time_series_index.push_back({id, series});
    }
}

// Reads a table and its index map; the common first half of every grid table read.
bool read_rows_and_ids(Model& model, RunContext& ctx, MappingTable which, IndexZero zero,
                       TableRows& rows, std::vector<int>& cell_ids) {
    const TableFile& file = model.tables.grid_file;
    if (!file.loaded) {
        ctx.error.raise(kUnableToOpenMappingTable,
                        {.text2 = model.project.text(Card::MAPPING_TABLE)});
        return false;
    }
    const TableLocation location = find_table(file, static_cast<int>(which));
    if (!read_table_rows(ctx, file, location, table_name(which), table_columns(which), rows))
        return false;
    return read_index_map(ctx, location.index_map_path, model.grid, rows.largest_id, zero,
                          cell_ids);
}

// Gives each wanted column's per-cell array the looked-up values of the cells' ids.
bool distribute_columns(RunContext& ctx, const TableRows& rows, const std::vector<int>& cell_ids,
                        int num_cells, std::initializer_list<TableColumn> columns) {
    for (const TableColumn& c : columns) {
        if (!c.per_cell)
            continue;
        const std::vector<double> lookup = column_lookup(rows, c.column);
        std::vector<double>& per_cell = *c.per_cell;
        if (per_cell.size() != static_cast<std::size_t>(num_cells) + 1 &&
            !allocate(ctx, per_cell, static_cast<std::size_t>(num_cells) + 1, c.array_name))
            return false;
        const int* ids = cell_ids.data();
        const double* values = lookup.data();
        double* out = per_cell.data();
#pragma omp parallel for schedule(static)
        for (int cell = 1; cell <= num_cells; ++cell)
            out[cell] = ids[cell] >= 1 ? values[ids[cell]] : 0.0;
    }
    return true;
}

void print_progress(const Model& model, RunContext& ctx, const char* line) {
    if (!model.run.super_quiet)
        ctx.print("%s", line);
    ctx.log("%s", line);
}

// WETLAND_PROPERTIES: the ids of the index map become wetland numbers 1, 2, ...
// in the order of their first cell, and each wetland gets its record.
void read_wetlands(Model& model, RunContext& ctx) {
    TableRows rows;
    std::vector<int> cell_ids;
    if (!read_rows_and_ids(model, ctx, MappingTable::wetland_properties, IndexZero::means_none,
                           rows, cell_ids))
        return;
    MappingTables& tables = model.tables;
    const int num_cells = model.grid.num_cells;
    std::unordered_map<int, int> number_of_id;
    std::vector<int> id_of_number(1, 0);
    if (!allocate(ctx, tables.wetland_number, static_cast<std::size_t>(num_cells) + 1,
                  "wetland_number"))
        return;
    for (int cell = 1; cell <= num_cells; ++cell) {
        const int id = cell_ids[cell];
        if (id < 1)
            continue;
        auto [it, added] = number_of_id.try_emplace(id, static_cast<int>(id_of_number.size()));
        if (added)
            id_of_number.push_back(id);
        tables.wetland_number[cell] = it->second;
    }
    const int distinct = static_cast<int>(id_of_number.size()) - 1;
    if (distinct != rows.num_ids) {
        ctx.error.raise(kWetlandIdCount, {.number1 = distinct, .number2 = rows.num_ids});
        return;
    }
    if (rows.largest_id > kLargestWetlandId) {
        ctx.error.raise(kTooManyWetlands);
        return;
    }
    std::array<std::vector<double>, 8> lookup;
    for (int k = 1; k <= 7; ++k) lookup[k] = column_lookup(rows, k);
    tables.num_wetlands = distinct;
    tables.wetlands.assign(static_cast<std::size_t>(distinct) + 1, Wetland{});
    for (int w = 1; w <= distinct; ++w) {
        const int id = id_of_number[w];
        std::array<double, 9>& f = tables.wetlands[w].field;
        // Depths come in millimetres, rates per day; the model works in metres and seconds.
        f[1] = lookup[1][id] / 1000.0;
        f[2] = lookup[2][id] / 1000.0;
        f[3] = lookup[3][id] / 86400.0;
        f[4] = lookup[4][id] / 1000.0;
        f[5] = lookup[5][id] / 86400.0;
        f[7] = lookup[6][id];
        f[8] = lookup[7][id] / 1000.0;
    }
}

// OVERLAND_BOUNDARY: type and value of each boundary cell; cells of index 0 have none.
void read_overland_boundary(Model& model, RunContext& ctx) {
    TableRows rows;
    std::vector<int> cell_ids;
    if (!read_rows_and_ids(model, ctx, MappingTable::overland_boundary, IndexZero::means_none, rows,
                           cell_ids))
        return;
    OverlandBoundaryCells& b = model.tables.ov_boundary;
    const int num_cells = model.grid.num_cells;
    std::vector<double> first_column;
    if (!distribute_columns(ctx, rows, cell_ids, num_cells,
                            {{1, &first_column, "ov_boundary_type"},
                             {2, &b.value, "ov_boundary_value"},
                             {2, &b.index, "ov_boundary_index"}}))
        return;
    if (!allocate(ctx, b.type, static_cast<std::size_t>(num_cells) + 1, "ov_boundary_type"))
        return;
    for (int cell = 1; cell <= num_cells; ++cell)
        b.type[cell] = truncate_to_int(first_column[cell]);
}

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

bool read_index_map(RunContext& ctx, const std::string& path, const Grid& grid, int largest_id,
                    IndexZero zero, std::vector<int>& cell_ids) {
    std::FILE* f = path.empty() ? nullptr : std::fopen(path.c_str(), "r");
    if (!f) {
        ctx.error.raise(kUnableToOpenIndexFile, {.text2 = path});
        return false;
    }
    LineReader reader(f, ctx);
    int rows = 0, cols = 0;
    bool ok = read_map_header(reader, rows, cols);
    if (!ok) {
        report_unexpected_end(ctx, path);
    } else if (rows != grid.rows || cols != grid.cols) {
        // Checked before any value is read, so a map of another shape never
        // reaches the grid's arrays.
        const int code = rows != grid.rows && cols != grid.cols ? kWrongRowsAndColumns
                         : rows != grid.rows                    ? kWrongRows
                                                                : kWrongColumns;
        ctx.error.raise(code, {.text2 = path});
        ok = false;
    } else {
        ok = allocate(ctx, cell_ids, static_cast<std::size_t>(grid.num_cells) + 1, "index_map");
    }
    std::vector<int> census(ok ? static_cast<std::size_t>(std::max(largest_id, 0)) + 1 : 0, 0);
    IntegerScanner scanner(reader);
    for (int r = 1; ok && r <= rows; ++r) {
        for (int c = 1; c <= cols; ++c) {
            long value = 0;
            if (!scanner.next(value)) {
                report_unexpected_end(ctx, path);
                ok = false;
                break;
            }
            const int cell = grid.number_at(r, c);
            if (cell <= 0)
                continue;
            if (value > largest_id) {
                ctx.error.raise(kIndexIdExceedsTable, {.number1 = r, .number2 = c, .text2 = path});
                ok = false;
                break;
            }
            if (value < 1 && !(value == 0 && zero == IndexZero::means_none)) {
                ctx.print_and_log(
                    "Index ID %ld below 1 inside the watershed mask, file: %s [row %d:col %d]\n",
                    value, path.c_str(), r, c);
                fail_with_printed_message(ctx);
                ok = false;
                break;
            }
            cell_ids[cell] = static_cast<int>(value);
            if (value >= 1)
                ++census[value];
        }
    }
    std::fclose(f);
    if (!ok)
        return false;
    for (std::size_t id = 1; id < census.size(); ++id)
        if (census[id] > 0)
            ctx.print("In map %s category %zu has %d values\n", path.c_str(), id, census[id]);
    return true;
}

void read_index_maps(Model& model, RunContext& ctx) {
    MappingTables& tables = model.tables;
    tables = MappingTables{};
    const ProjectSettings& p = model.project;
    if (p.given(Card::MAPPING_TABLE)) {
        if (!load_table_file(ctx, p.text(Card::MAPPING_TABLE), TableFileKind::grid,
                             tables.grid_file)) {
            ctx.error.raise(kUnableToOpenMappingTable, {.text2 = p.text(Card::MAPPING_TABLE)});
            return;
        }
        check_grid_tables(tables, ctx);
        read_time_series_index(tables, ctx);
        if (ctx.error.pending())
            return;
    }
    if (p.given(Card::ST_MAPPING_TABLE)) {
        if (!load_table_file(ctx, p.text(Card::ST_MAPPING_TABLE), TableFileKind::stream,
                             tables.stream_file)) {
            ctx.error.raise(kUnableToOpenMappingTable, {.text2 = p.text(Card::ST_MAPPING_TABLE)});
            return;
        }
        check_stream_tables(tables, ctx);
    }
    if (has_table(model, MappingTable::wetland_properties)) {
        print_progress(model, ctx, "Simulating wetlands\n");
        read_wetlands(model, ctx);
        if (ctx.error.pending())
            return;
    }
    if (p.given(Card::OV_BOUNDARY)) {
        if (!has_table(model, MappingTable::overland_boundary)) {
            ctx.error.raise(kOverlandBoundaryTableMissing);
            return;
        }
        read_overland_boundary(model, ctx);
    }
}

bool has_table(const Model& model, MappingTable which) {
    return is_grid_table(which) && model.tables.present[static_cast<int>(which)];
}

bool has_stream_table(const Model& model, StreamTable which) {
    const int n = static_cast<int>(which);
    return n >= 1 && n <= kLastStreamTable && model.tables.stream_present[n];
}

bool table_to_cells(Model& model, RunContext& ctx, MappingTable which, int column,
                    std::vector<double>& per_cell, const char* array_name) {
    return read_table(model, ctx, which, {{column, &per_cell, array_name}});
}

bool read_table(Model& model, RunContext& ctx, MappingTable which,
                std::initializer_list<TableColumn> columns) {
    for (const TableColumn& c : columns)
        if (!check_column(ctx, table_name(which), c.column, table_columns(which)))
            return false;
    TableRows rows;
    std::vector<int> cell_ids;
    if (!read_rows_and_ids(model, ctx, which, IndexZero::refused, rows, cell_ids))
        return false;
    return distribute_columns(ctx, rows, cell_ids, model.grid.num_cells, columns);
}

bool read_table_with_ids(Model& model, RunContext& ctx, MappingTable which, TableRows& rows,
                         std::vector<int>& cell_ids) {
    return read_rows_and_ids(model, ctx, which, IndexZero::refused, rows, cell_ids);
}

bool read_stream_table(Model& model, RunContext& ctx, StreamTable which,
                       std::initializer_list<LinkNodeValues*> destinations, int num_links,
                       const std::vector<int>& nodes_per_link) {
    const TableFile& file = model.tables.stream_file;
    const char* name = table_name(which);
    const int columns = table_columns(which);
    if (!file.loaded) {
        ctx.error.raise(kUnableToOpenMappingTable,
                        {.text2 = model.project.text(Card::ST_MAPPING_TABLE)});
        return false;
    }
    if (static_cast<int>(destinations.size()) > columns) {
        ctx.print_and_log("Table %s has %d columns, %zu asked for\n", name, columns,
                          destinations.size());
        fail_with_printed_message(ctx);
        return false;
    }
    // The destinations must hold every node of every link; a short one is refused
    // rather than written past.
    int max_nodes = 0;
    bool sized = num_links >= 0 && nodes_per_link.size() > static_cast<std::size_t>(num_links);
    for (int l = 1; sized && l <= num_links; ++l)
        max_nodes = std::max(max_nodes, nodes_per_link[l]);
    for (LinkNodeValues* d : destinations) {
        if (!d || !sized)
            continue;
        if (d->size() <= static_cast<std::size_t>(max_nodes))
            sized = false;
        for (std::size_t node = 1; sized && node < d->size(); ++node)
            if ((*d)[node].size() <= static_cast<std::size_t>(num_links))
                sized = false;
    }
    if (!sized) {
        ctx.print_and_log(
            "Error: the per-node arrays for stream table %s do not hold every link and node\n",
            name);
        fail_with_printed_message(ctx);
        return false;
    }

    const TableLocation location = find_table(file, static_cast<int>(which));
    TableRows rows;
    if (!read_table_rows(ctx, file, location, name, columns, rows))
        return false;

    const std::string& path = location.index_map_path;
    std::FILE* f = path.empty() ? nullptr : std::fopen(path.c_str(), "r");
    if (!f) {
        ctx.error.raise(kUnableToOpenStreamMap, {.text2 = path});
        return false;
    }
    std::vector<int> link_index(static_cast<std::size_t>(num_links) + 1, 0);
    bool ok = true;
    {
        LineReader reader(f, ctx);
        std::string line;
        std::string word;
        if (reader.next(line))
            Tokens(line).text(word);
        while (!word.empty() && word.back() == '\r') word.pop_back();
        if (word != "STREAM_MAP") {
            ctx.error.raise(kStreamMapHeader, {.text2 = path});
            ok = false;
        }
        if (ok) {
            int links = -1;
            if (reader.next(line)) {
                Tokens t(line);
                std::string word;
                t.text(word);
                links = t.integer();
            }
            if (links != num_links) {
                ctx.error.raise(kStreamMapLinks, {.text2 = path});
                ok = false;
            }
        }
        IntegerScanner scanner(reader);
        for (int l = 1; ok && l <= num_links; ++l) {
            long value = 0;
            if (!scanner.next_checked(value)) {
                ctx.error.raise(kStreamMapData, {.text2 = path});
                ok = false;
            } else if (value < 0 || value > rows.largest_id) {
                ctx.print_and_log(
                    "Stream map index %ld of link %d is not an id of table %s (file: %s)\n", value,
                    l, name, path.c_str());
                fail_with_printed_message(ctx);
                ok = false;
            } else {
                link_index[l] = static_cast<int>(value);
            }
        }
    }
    std::fclose(f);
    if (!ok)
        return false;

    int column = 0;
    for (LinkNodeValues* d : destinations) {
        ++column;
        if (!d)
            continue;
        const std::vector<double> lookup = column_lookup(rows, column);
        for (int l = 1; l <= num_links; ++l) {
            if (link_index[l] == 0)
                continue;
            for (int node = 1; node <= nodes_per_link[l]; ++node)
                (*d)[node][l] = lookup[link_index[l]];
        }
    }
    return true;
}

}  // namespace torva
