#include "support/projects.hpp"

namespace torva::test {

std::string small_project_text(const std::string& extra_cards, const std::string& time_step) {
    return "TORVAPROJECT\n"
           "WATERSHED_MASK mask.msk\n"
           "ELEVATION elevation.ele\n"
           "ROWS 3\n"
           "COLS 3\n"
           "GRIDSIZE 10\n"
           "OUTROW 3\n"
           "OUTCOL 2\n"
           "OUTSLOPE 0.01\n"
           "MANNING_N 0.05\n"
           "TIMESTEP " +
           time_step +
           "\n"
           "TOT_TIME 10\n"
           "HYD_FREQ 5\n"
           "MAP_FREQ 60\n"
           "START_DATE 2020 6 1\n"
           "START_TIME 10 0\n"
           "PRECIP_UNIF\n"
           "RAIN_INTENSITY 10\n"
           "RAIN_DURATION 5\n" +
           extra_cards;
}

void write_small_project(const TempDir& dir, const std::string& extra_cards,
                         const std::string& time_step) {
    dir.write("p.prj", small_project_text(extra_cards, time_step));
    const std::string header = "north: 30\nsouth: 0\neast: 30\nwest: 0\nrows: 3\ncols: 3\n";
    dir.write("mask.msk", header + "1 1 1\n1 1 1\n1 1 1\n");
    dir.write("elevation.ele", header + "10.2 10.1 10.2\n10.1 10.0 10.1\n10.0 9.9 10.0\n");
}

}  // namespace torva::test
