#pragma once
// The watershed grid: cells inside the mask, their numbering, neighbours and elevations.

#include <vector>

namespace torva {

struct Model;
struct RunContext;

// Side codes of a cell, as bits.
enum Side { kNorthSide = 1, kEastSide = 2, kSouthSide = 4, kWestSide = 8 };

struct Grid {
    int rows = 0;
    int cols = 0;
    double cell_size = 0.0;  // metres
    // Bounds from the header of the last map read.
    double north = 0.0, south = 0.0, east = 0.0, west = 0.0;
    int num_cells = 0;
    double area = 0.0;  // square metres
    int outlet_cell = 0;

    // Cell number of every grid position, (rows + 2) x (cols + 2) with a border
    // of zeros; 0 outside the watershed.
    std::vector<int> cell_number;

    // Per-cell arrays, N + 1 entries.
    std::vector<int> cell_row;  // 1 = northernmost
    std::vector<int> cell_col;  // 1 = westernmost
    std::vector<double> elevation;
    std::vector<int> east_neighbour;
    std::vector<int> south_neighbour;
    std::vector<int> west_neighbour;
    std::vector<int> north_neighbour;
    std::vector<int> dike_sides;

    int number_at(int row, int col) const { return cell_number[row * (cols + 2) + col]; }
    int& number_at(int row, int col) { return cell_number[row * (cols + 2) + col]; }
};

// Reads the mask and elevation maps and numbers the cells.
void read_grid_maps(Model& model, RunContext& ctx);
// Allocates the per-cell arrays of the run.
void allocate_grid_arrays(Model& model, RunContext& ctx);
// Finds every cell's neighbours, the low spots and the dikes.
void build_connectivity(Model& model, RunContext& ctx);
// Sums the areas of the cells that enter the surface water balance.
void compute_watershed_area(Model& model, RunContext& ctx);

}  // namespace torva
