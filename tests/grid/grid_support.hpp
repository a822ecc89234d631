#pragma once
// Test support for the grid tests: files made from text, a context whose
// console is captured, and small grids built from a mask drawn as text.

#include <string>

#include "core/context.hpp"
#include "grid/grid.hpp"
#include "support/grids.hpp"
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

using test::grid_from_mask;

// A grid map header for rows x cols cells of 10 m with its south-west corner at 0, 0.
inline std::string map_header(int rows, int cols) {
    return test::grid_header(rows, cols, 10.0);
}

}  // namespace torva::grid_test
