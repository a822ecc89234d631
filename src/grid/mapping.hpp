#pragma once
// Index maps and mapping tables: per-cell (and per-node) parameters from
// id-keyed tables. A mapping table file holds any number of tables; each table
// names an index map whose cell values are the ids of the table's rows, and a
// lookup turns one column of the table into a per-cell array.
//
// Typical use by a process that owns a parameter:
//
//     if (has_table(model, MappingTable::roughness))
//         table_to_cells(model, ctx, MappingTable::roughness, 1, model.surface.manning_n,
//         "manning_n");
//
// Several columns of one table are best read in one call (the index map is
// read, checked and its census printed once):
//
//     read_table(model, ctx, MappingTable::interception,
//                {{1, &storage, "interception_storage"}, {2, &coeff, "interception_coeff"}});
//
// The readers, one job to a file: table_file.cpp (the file's layout and a
// table's rows), index_map.cpp (the index maps), table_lookup.cpp (rows and
// index map into per-cell arrays), table_availability.cpp (which tables can be
// read), startup_tables.cpp (the files and the tables read once at start-up)
// and stream_mapping.cpp (the tables of the channel nodes).

#include <array>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "grid/mapping_state.hpp"
#include "input/series.hpp"

namespace torva {

struct Model;
struct RunContext;
struct Grid;

// The words of the keyword list that are not tables.
inline constexpr int kNumIdsKeyword = 137;
inline constexpr int kIndexMapKeyword = 138;
inline constexpr int kNumContamKeyword = 139;
inline constexpr int kNumSedKeyword = 140;

// The file word of a table ("ROUGHNESS", "RICHARDS_EQN_INFILTRAIION_HAVERCAMP", ...).
const char* table_name(MappingTable table);
const char* table_name(StreamTable table);
// Number of value columns of a table (0 for tables with a layout of their own).
int table_columns(MappingTable table);
int table_columns(StreamTable table);

// The keyword a line begins with (case-sensitively; longer names are tried
// before the names they begin with), as its number in the file kind's list:
// a table number, or one of the k...Keyword numbers; 0 when none.
int keyword_of(std::string_view line, TableFileKind kind);

// Where one table stands in its file.
struct TableLocation {
    bool found = false;
    std::size_t line = 0;        // the table line
    std::string index_map_name;  // the rest of the table line
    std::string index_map_path;  // empty when no INDEX_MAP line bears that name
};

// Rows of one table: ids and their values, row by row.
struct TableRows {
    int num_ids = 0;
    int largest_id = 0;
    int columns = 0;
    std::vector<int> ids;        // num_ids entries
    std::vector<double> values;  // num_ids x columns, row-major
    double value(int row, int column) const { return values[row * columns + column - 1]; }
};

// Whether index value 0 inside the mask is refused or means "no entry" (the
// cells outside every wetland, the cells without an overland boundary).
enum class IndexZero { refused, means_none };

// Reads the file's lines; false when the file cannot be opened (nothing raised).
bool load_table_file(RunContext& ctx, const std::string& path, TableFileKind kind, TableFile& file);
// Takes the lines of a file already in memory (also what the fuzz target drives).
void parse_table_file(std::vector<std::string> lines, TableFileKind kind, TableFile& file);
TableLocation find_table(const TableFile& file, int table_number);
// The NUM_IDS count of the table line at `location` (0 when it is missing).
int read_row_count(const TableFile& file, const TableLocation& location);
// The n rows of a table with `columns` values each. Raises 66 (no entries)
// or reports an early end of the file; false then.
bool read_table_rows(RunContext& ctx, const TableFile& file, const TableLocation& location,
                     const char* name, int columns, TableRows& rows);
// Reads an index map into per-cell ids (N + 1 entries), checking its rows and
// columns against the grid and every id inside the mask against 1..largest_id,
// and prints the census of the ids. Raises the error of the first fault; false then.
bool read_index_map(RunContext& ctx, const std::string& path, const Grid& grid, int largest_id,
                    IndexZero zero, std::vector<int>& cell_ids);

// A wanted column of a table and the per-cell array it fills.
struct TableColumn {
    int column;                     // 1-based value column of the table
    std::vector<double>* per_cell;  // resized to N + 1 when its size differs
    const char* array_name;         // printed when its allocation fails
};

// Reads the mapping table files named by the cards, prints the availability
// checks, and reads the time series index, wetland and overland boundary tables.
void read_index_maps(Model& model, RunContext& ctx);

// Whether the mapping table file is in use and holds the table with an index
// map that can be opened (the availability check's answer).
bool has_table(const Model& model, MappingTable which);
bool has_stream_table(const Model& model, StreamTable which);

// Gives every cell the value of column `column` of the table row whose id is
// the cell's index map value (0.0 for ids without a row). False, with the
// error raised, when the table, its index map or the allocation fails.
bool table_to_cells(Model& model, RunContext& ctx, MappingTable which, int column,
                    std::vector<double>& per_cell, const char* array_name);
// Several columns at once.
bool read_table(Model& model, RunContext& ctx, MappingTable which,
                std::initializer_list<TableColumn> columns);
// The per-cell ids of a table's index map and the table's rows, for processes
// that keep the id (soil index) or lay out records of their own (wells, whose
// index map gives 0 to the cells without one).
bool read_table_with_ids(Model& model, RunContext& ctx, MappingTable which, TableRows& rows,
                         std::vector<int>& cell_ids, IndexZero zero = IndexZero::refused);

// Per-node values of a channel network: [node][link], both from 1.
using LinkNodeValues = std::vector<std::vector<double>>;

// Gives every node of each link whose stream map index is non-zero the value
// of the table columns wanted (destinations[k] for column k + 1; null where a
// column is not wanted). The destinations must be sized (max nodes + 1) x
// (num_links + 1) by the caller.
bool read_stream_table(Model& model, RunContext& ctx, StreamTable which,
                       std::initializer_list<LinkNodeValues*> destinations, int num_links,
                       const std::vector<int>& nodes_per_link);

}  // namespace torva
