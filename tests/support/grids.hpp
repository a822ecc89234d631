#pragma once
// Hand-built watershed grids for tests: drawn by functions or by a mask of text.

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "grid/grid.hpp"

namespace torva::test {

// Every position where `inside` holds is a cell, with the elevation that
// `ground` gives; cells are numbered row by row.
inline void build_grid(
    Grid& g, int rows, int cols, double cell_size, const std::function<double(int, int)>& ground,
    const std::function<bool(int, int)>& inside = [](int, int) { return true; }) {
    g.rows = rows;
    g.cols = cols;
    g.cell_size = cell_size;
    g.cell_number.assign((rows + 2) * (cols + 2), 0);
    int n = 0;
    for (int r = 1; r <= rows; ++r)
        for (int c = 1; c <= cols; ++c)
            if (inside(r, c))
                g.number_at(r, c) = ++n;
    g.num_cells = n;
    g.area = n * cell_size * cell_size;
    for (auto* a : {&g.cell_row, &g.cell_col, &g.east_neighbour, &g.south_neighbour,
                    &g.west_neighbour, &g.north_neighbour})
        a->assign(n + 1, 0);
    g.elevation.assign(n + 1, 0.0);
    g.north = rows * cell_size;
    g.east = cols * cell_size;
    for (int r = 1; r <= rows; ++r)
        for (int c = 1; c <= cols; ++c) {
            const int i = g.number_at(r, c);
            if (!i)
                continue;
            g.cell_row[i] = r;
            g.cell_col[i] = c;
            g.elevation[i] = ground(r, c);
            g.east_neighbour[i] = g.number_at(r, c + 1);
            g.west_neighbour[i] = g.number_at(r, c - 1);
            g.south_neighbour[i] = g.number_at(r + 1, c);
            g.north_neighbour[i] = g.number_at(r - 1, c);
        }
}

// A grid whose mask is drawn row by row, north first: '#' inside, '.' outside.
inline Grid grid_from_mask(const std::vector<std::string>& rows, double cell_size = 10.0) {
    Grid grid;
    build_grid(
        grid, static_cast<int>(rows.size()), rows.empty() ? 0 : static_cast<int>(rows[0].size()),
        cell_size, [](int, int) { return 0.0; },
        [&](int r, int c) { return rows[r - 1][c - 1] == '#'; });
    return grid;
}

// The header of a grid map of rows x cols cells of `cell` metres, south-west
// corner at 0, 0.
inline std::string grid_header(int rows, int cols, double cell) {
    char text[160];
    std::snprintf(text, sizeof text, "north: %g\nsouth: 0\neast: %g\nwest: 0\nrows: %d\ncols: %d\n",
                  rows * cell, cols * cell, rows, cols);
    return text;
}

// The same grid's map with value(row, col) in each position, rows from the north.
inline std::string map_of(int rows, int cols, double cell,
                          const std::function<double(int, int)>& value) {
    std::string map = grid_header(rows, cols, cell);
    char text[64];
    for (int r = 1; r <= rows; ++r)
        for (int c = 1; c <= cols; ++c) {
            std::snprintf(text, sizeof text, "%g%s", value(r, c), c < cols ? " " : "\n");
            map += text;
        }
    return map;
}

// The same grid's map holding the text `value` (a number, or a replacement
// tag) in every position.
inline std::string uniform_map(int rows, int cols, double cell, const std::string& value) {
    std::string map = grid_header(rows, cols, cell);
    for (int r = 1; r <= rows; ++r)
        for (int c = 1; c <= cols; ++c) map += value + (c < cols ? " " : "\n");
    return map;
}

// A mapping table row: the id in characters 1 to 6, a description up to
// character 86, the values from character 87.
inline std::string table_row(int id, const std::string& values,
                             const std::string& description = "soil") {
    char id_field[16];
    std::snprintf(id_field, sizeof id_field, "%6d", id);
    std::string line = id_field + description;
    line.resize(86, ' ');
    return line + values;
}

}  // namespace torva::test
