#include "support/grid_projects.hpp"

#include <sstream>

#include "support/grids.hpp"
#include "support/projects.hpp"

namespace torva::test {

void write_grid_project(const TempDir& dir, int rows, int cols, double cell,
                        const std::string& edits, const std::string& uniform,
                        const std::vector<std::pair<std::string, CellValue>>& maps) {
    char size[64];
    std::snprintf(size, sizeof size, "ROWS %d\nCOLS %d\nGRIDSIZE %g\n", rows, cols, cell);
    dir.write("p.prj", edited_project(size + edits));
    const auto every = [](double value) { return [value](int, int) { return value; }; };
    dir.write("mask.msk", map_of(rows, cols, cell, every(1.0)));
    std::istringstream names_and_values(uniform);
    std::string name;
    for (double value; names_and_values >> name >> value;)
        dir.write(name, map_of(rows, cols, cell, every(value)));
    for (const auto& [name, value] : maps) dir.write(name, map_of(rows, cols, cell, value));
}

}  // namespace torva::test
