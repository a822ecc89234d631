#pragma once
// The watershed grid: cells inside the mask, their numbering, neighbours and elevations.

#include <string>
#include <vector>

namespace torva {

// Side codes of a cell, as bits.
enum Side { kNorthSide = 1, kEastSide = 2, kSouthSide = 4, kWestSide = 8 };

// An opening in an overland flow dike through which water crosses the dike
// once it stands above the crest.
struct LowSpot {
    int row = 0;
    int col = 0;
    int side = 0;            // side code of the dike crossed
    double fraction = 0.0;   // opening width as a fraction of the cell size
    double elevation = 0.0;  // crest elevation, m
    double flow = 0.0;       // running flow through the opening
};

struct Grid {
    int rows = 0;
    int cols = 0;
    double cell_size = 0.0;  // metres
    // The grid's corners: those of the first map read (the watershed mask),
    // which every later map must share to half a cell; `georeference_map`
    // names that map, empty until it is read.
    double north = 0.0, south = 0.0, east = 0.0, west = 0.0;
    std::string georeference_map;
    // Spatial reference (WKT) of the first map that carries one, named by
    // `spatial_reference_map`; empty while no map has carried one (text maps
    // carry none). Every map that carries one must carry the same.
    std::string spatial_reference;
    std::string spatial_reference_map;
    int num_cells = 0;
    double area = 0.0;  // square metres
    // Cell number of the outlet cell at (OUTROW, OUTCOL); 0 when that position
    // is outside the mask, which only explicit channel routing allows.
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
    std::vector<int> dike_sides;  // side codes of the sides that carry a dike

    // Low spots of the dikes, in file order (low spot k is low_spots[k - 1]).
    std::vector<LowSpot> low_spots;

    int number_at(int row, int col) const { return cell_number[row * (cols + 2) + col]; }
    int& number_at(int row, int col) { return cell_number[row * (cols + 2) + col]; }
    // The cell number at a position, 0 for a position off the grid.
    int number_or_zero(int row, int col) const {
        if (row < 1 || row > rows || col < 1 || col > cols)
            return 0;
        return number_at(row, col);
    }
};

}  // namespace torva
