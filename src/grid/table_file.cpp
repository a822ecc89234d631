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
#include "input/numbers.hpp"
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

// One row of a table, for reading and for the messages that name it.
struct TableRow {
    const TableFile& file;
    const char* table;
    std::size_t index;  // in file.lines; the file's line number is one more

    std::string_view text() const { return file.lines[index]; }
    std::size_t line_number() const { return index + 1; }
};

std::string_view trim_separators(std::string_view field) {
    while (!field.empty() && is_number_separator(field.front())) field.remove_prefix(1);
    while (!field.empty() && is_number_separator(field.back())) field.remove_suffix(1);
    return field;
}

// "Error: in mapping table file F, line L (table T, id I), column C: what.\n";
// the id and the column are left out where they are not known.
bool row_fails(RunContext& ctx, const TableRow& row, const int* id, std::size_t column,
               const std::string& what) {
    std::string place = "table " + std::string(row.table);
    if (id)
        place += ", id " + std::to_string(*id);
    std::string at;
    if (column > 0)
        at = ", column " + std::to_string(column);
    ctx.print_and_log("Error: in mapping table file %s, line %zu (%s)%s: %s.\n",
                      row.file.path.c_str(), row.line_number(), place.c_str(), at.c_str(),
                      what.c_str());
    fail_with_printed_message(ctx);
    return false;
}

// The id: the first word of characters 1 to 6 (a description that starts early
// does not spoil it).
bool read_row_id(RunContext& ctx, const TableRow& row, int& id) {
    std::string_view field = trim_separators(row.text().substr(0, kIdWidth));
    std::size_t end = 0;
    while (end < field.size() && !is_number_separator(field[end])) ++end;
    field = field.substr(0, end);
    const NumberFault fault = read_integer(field, id);
    if (fault == NumberFault::none)
        return true;
    return row_fails(
        ctx, row, nullptr, 1,
        "the id \"" + std::string(field) + "\" in columns 1 to 6 " + number_fault_text(fault));
}

// The values from character 87 on, as many as the table has columns. A value
// cut by that column (written from an earlier column) or one that is missing
// would otherwise be read as a wrong number or as 0.
bool read_row_values(RunContext& ctx, const TableRow& row, int id, int columns, double* values) {
    const std::string_view text = row.text();
    if (text.size() > kValuesStart && !is_number_separator(text[kValuesStart]) &&
        !is_number_separator(text[kValuesStart - 1])) {
        std::size_t start = kValuesStart - 1;
        while (start > kIdWidth && !is_number_separator(text[start - 1])) --start;
        std::size_t stop = kValuesStart;
        while (stop < text.size() && !is_number_separator(text[stop])) ++stop;
        const std::string_view cut = text.substr(start, stop - start);
        double ignored = 0.0;
        if (read_real(cut, ignored) == NumberFault::none)
            return row_fails(ctx, row, &id, start + 1,
                             "the value " + std::string(cut) +
                                 " starts before column 87, where the values of a row begin");
    }
    std::size_t pos = kValuesStart;
    for (int k = 1; k <= columns; ++k) {
        while (pos < text.size() && is_number_separator(text[pos])) ++pos;
        std::size_t stop = pos;
        while (stop < text.size() && !is_number_separator(text[stop])) ++stop;
        if (pos == stop)
            return row_fails(ctx, row, &id, 0,
                             "value " + std::to_string(k) + " of " + std::to_string(columns) +
                                 " is missing; the values of a row begin in column 87");
        const std::string_view token = text.substr(pos, stop - pos);
        const NumberFault fault = read_real(token, values[k - 1]);
        if (fault != NumberFault::none)
            return row_fails(ctx, row, &id, pos + 1,
                             std::string(token) + " " + number_fault_text(fault));
        pos = stop;
    }
    return true;
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
    if (location.found && location.line + 1 < file.lines.size()) {
        // A count that is there must read; a missing one is the "no entries" below.
        Tokens t(file.lines[location.line + 1]);
        std::string word, count;
        t.text(word);
        int n = 0;
        const NumberFault fault = t.text(count) ? read_integer(count, n) : NumberFault::none;
        if (fault != NumberFault::none) {
            ctx.print_and_log(
                "Error: in mapping table file %s, line %zu (table %s): NUM_IDS %s %s.\n",
                file.path.c_str(), location.line + 2, name, count.c_str(),
                number_fault_text(fault));
            fail_with_printed_message(ctx);
            return false;
        }
    }
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
        const TableRow row{file, name, first + r};
        int id = 0;
        if (!read_row_id(ctx, row, id))
            return false;
        rows.ids[r] = id;
        rows.largest_id = std::max(rows.largest_id, id);
        double* values = rows.values.data() + static_cast<std::size_t>(r) * columns;
        if (columns > 0 && !read_row_values(ctx, row, id, columns, values))
            return false;
    }
    return true;
}

}  // namespace torva
