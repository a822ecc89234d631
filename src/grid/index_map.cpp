// Index maps: the integer maps whose cell values are the ids of a table's rows.

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>

#include "core/arrays.hpp"
#include "core/context.hpp"
#include "grid/grid.hpp"
#include "grid/mapping.hpp"
#include "grid/mapping_internal.hpp"
#include "input/numbers.hpp"
#include "input/tokens.hpp"

namespace torva {
namespace mapping_internal {

bool IntegerScanner::next(std::string_view& token) {
    return next_token(token);
}

bool IntegerScanner::next_checked(long& value) {
    std::string_view token;
    if (!next_token(token))
        return false;
    int v = 0;
    const bool read = read_integer(token, v) == NumberFault::none;
    value = v;
    return read;
}

bool IntegerScanner::next_token(std::string_view& token) {
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

}  // namespace mapping_internal

using namespace mapping_internal;

namespace {

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

}  // namespace

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
            std::string_view token;
            if (!scanner.next(token)) {
                report_unexpected_end(ctx, path);
                ok = false;
                break;
            }
            const int cell = grid.number_at(r, c);
            int read = 0;
            const NumberFault fault = read_integer(token, read);
            // Outside the mask any number will do, as a no-data value; words never.
            if (fault == NumberFault::not_a_number || (fault != NumberFault::none && cell > 0)) {
                const std::string shown(token);
                ctx.print_and_log("Error: in map %s, row %d, column %d: %s %s.\n", path.c_str(), r,
                                  c, shown.c_str(), number_fault_text(fault));
                fail_with_printed_message(ctx);
                ok = false;
                break;
            }
            if (cell <= 0)
                continue;
            const long value = read;
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

}  // namespace torva
