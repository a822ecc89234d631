#pragma once
// Projects on grids of any size for end-to-end tests: the small project's
// cards on a grid of the given shape, with maps drawn by functions.

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "support/harness.hpp"

namespace torva::test {

// The value of a map at a row and column, rows from the north.
using CellValue = std::function<double(int, int)>;

// Writes p.prj: the small project with ROWS, COLS and GRIDSIZE of a rows x
// cols grid of `cell` m, then `edits` applied as edited_project applies them.
// Its maps are grid maps of that grid: `uniform` names maps of one value each
// ("name value name value..."), `maps` gives maps drawn by functions. The
// mask is all inside unless a map named mask.msk is given.
void write_grid_project(const TempDir& dir, int rows, int cols, double cell,
                        const std::string& edits, const std::string& uniform = "",
                        const std::vector<std::pair<std::string, CellValue>>& maps = {});

}  // namespace torva::test
