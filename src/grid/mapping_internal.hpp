#pragma once
// What the readers of the mapping table files share among themselves: the
// message codes, the row layout, the integer scanner of index and stream maps
// and the steps that several table readers take. Not for use outside src/grid.

#include <climits>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "grid/mapping.hpp"
#include "input/tokens.hpp"

namespace torva {

namespace mapping_internal {

inline constexpr int kUnableToOpenMappingTable = 64;
inline constexpr int kUnableToOpenIndexFile = 65;
inline constexpr int kNoEntriesInTable = 66;
inline constexpr int kWetlandIdCount = 67;
inline constexpr int kTooManyWetlands = 68;
inline constexpr int kIndexIdExceedsTable = 71;
inline constexpr int kWrongRowsAndColumns = 72;
inline constexpr int kWrongRows = 73;
inline constexpr int kWrongColumns = 74;
inline constexpr int kOverlandBoundaryTableMissing = 84;
inline constexpr int kUnableToOpenStreamMap = 115;
inline constexpr int kStreamMapHeader = 116;
inline constexpr int kStreamMapLinks = 117;
inline constexpr int kStreamMapData = 118;

inline constexpr int kLargestWetlandId = 300;

// Row layout: the id in characters 1 to 6, descriptions to character 86,
// the values from character 87.
inline constexpr std::size_t kIdWidth = 6;
inline constexpr std::size_t kValuesStart = 86;

inline bool starts_with(std::string_view line, std::string_view word) {
    return line.substr(0, word.size()) == word;
}

// Carriage returns of files written on other systems separate numbers like blanks.
inline bool is_number_separator(char c) {
    return is_separator(c) || c == '\r';
}

// Integer of a fixed-width field or token, as much of it as reads ("12ab" is 12,
// "" is 0), held to the int range.
long lenient_long(std::string_view text);

// A real truncated to an integer, held to the int range (a type column of 1e30
// must not become undefined behaviour).
int truncate_to_int(double v);

// Prints a message of the reader's own and stops the run after it.
void fail_with_printed_message(RunContext& ctx);
void report_unexpected_end(RunContext& ctx, const std::string& path);

// The first row of a table: after the table line and its NUM_IDS line, past
// any further keyword lines and the one column heading line.
std::size_t first_row_line(const TableFile& file, const TableLocation& location);

bool is_grid_table(MappingTable which);

// The integers of a map file, one after the other; line breaks carry no meaning.
class IntegerScanner {
  public:
    explicit IntegerScanner(LineReader& reader) : reader_(reader) {}

    // The next token, valid until the next call; false at end of file.
    bool next(std::string_view& token);
    // The next integer: false when the token is missing or not wholly an
    // integer that fits.
    bool next_checked(long& value);

  private:
    // The next token, reading further lines as needed; false at end of file.
    // The view lasts until the next call.
    bool next_token(std::string_view& token);

    LineReader& reader_;
    std::string line_;
    std::size_t pos_ = 0;
};

// Column k of the table as a lookup by id; ids without a row give 0.0, and
// of two rows with one id the later wins.
std::vector<double> column_lookup(const TableRows& rows, int column);

// Reads a table and its index map; the common first half of every grid table read.
bool read_rows_and_ids(Model& model, RunContext& ctx, MappingTable which, IndexZero zero,
                       TableRows& rows, std::vector<int>& cell_ids);

// Gives each wanted column's per-cell array the looked-up values of the cells' ids.
bool distribute_columns(RunContext& ctx, const TableRows& rows, const std::vector<int>& cell_ids,
                        int num_cells, std::initializer_list<TableColumn> columns);

// The availability checks, printed when the files are loaded.
void check_grid_tables(MappingTables& tables, RunContext& ctx);
void check_stream_tables(MappingTables& tables, RunContext& ctx);

}  // namespace mapping_internal
}  // namespace torva
