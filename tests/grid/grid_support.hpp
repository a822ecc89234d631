#pragma once
// Test support for the grid tests: files made from text, a context whose
// console is captured, and small grids built from a mask drawn as text.

#include <string>
#include <vector>

#include "core/context.hpp"
#include "grid/grid.hpp"
#include "support/harness.hpp"

namespace torva::grid_test {

using test::contents;
using test::file_with;
using test::read_file;

inline std::string golden(const std::string& name) {
    return test::golden("grid/golden/" + name);
}

// A run context whose console and error stream go to temporary files.
struct CapturedContext {
    RunContext ctx;
    test::Console capture{ctx};
    std::string console() { return capture.text(); }
    std::string errors() { return capture.errors(); }
};

// A grid whose mask is drawn row by row, north first: '#' inside, '.' outside.
inline Grid grid_from_mask(const std::vector<std::string>& rows, double cell_size = 10.0) {
    Grid grid;
    grid.rows = static_cast<int>(rows.size());
    grid.cols = rows.empty() ? 0 : static_cast<int>(rows[0].size());
    grid.cell_size = cell_size;
    grid.north = grid.rows * cell_size;
    grid.east = grid.cols * cell_size;
    grid.cell_number.assign(static_cast<std::size_t>(grid.rows + 2) * (grid.cols + 2), 0);
    grid.cell_row.assign(1, 0);
    grid.cell_col.assign(1, 0);
    for (int r = 1; r <= grid.rows; ++r)
        for (int c = 1; c <= grid.cols; ++c)
            if (rows[r - 1][c - 1] == '#') {
                grid.number_at(r, c) = ++grid.num_cells;
                grid.cell_row.push_back(r);
                grid.cell_col.push_back(c);
            }
    return grid;
}

// A grid map header for rows x cols cells of 10 m with its south-west corner at 0, 0.
inline std::string map_header(int rows, int cols) {
    return "north: " + std::to_string(rows * 10) +
           "\nsouth: 0\neast: " + std::to_string(cols * 10) +
           "\nwest: 0\nrows: " + std::to_string(rows) + "\ncols: " + std::to_string(cols) + "\n";
}

}  // namespace torva::grid_test
