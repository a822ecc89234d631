// The grid set-up as a user meets it: the program run on a project with a
// 200 x 300 mask and elevation map.

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "support/harness.hpp"

namespace torva {
namespace {

// The watershed is the block of rows 11 to 190 and columns 21 to 280 with a
// hole of rows 51 to 60 and columns 101 to 110: 180 x 260 - 100 = 46700 cells.
// The outlet at row 190, column 150 follows 179 full rows of 260 cells less
// the hole, then 130 cells of its own row: cell 46440 + 130 = 46570.
bool inside(int r, int c) {
    const bool block = r >= 11 && r <= 190 && c >= 21 && c <= 280;
    const bool hole = r >= 51 && r <= 60 && c >= 101 && c <= 110;
    return block && !hole;
}

TEST(GridProgram, InitialisationPrintsCellsAndOutletAndWritesMaskMap) {
    test::TempDir dir;
    const std::string header =
        "north: 4506000.0\nsouth: 4500000.0\neast: 309000.0\nwest: 300000.0\nrows: 200\n"
        "cols: 300\n";
    std::ostringstream mask, elevation;
    for (int r = 1; r <= 200; ++r) {
        for (int c = 1; c <= 300; ++c) {
            mask << (inside(r, c) ? "1 " : "0 ");
            elevation << 200.0 - 0.5 * r << ' ';
        }
        mask << '\n';
        elevation << '\n';
    }
    dir.write("mask.msk", header + mask.str());
    dir.write("elevation.ele", header + elevation.str());
    dir.write("p.prj",
              "TORVAPROJECT\nWATERSHED_MASK mask.msk\nELEVATION elevation.ele\nROWS 200\nCOLS 300\n"
              "GRIDSIZE 30\nOUTROW 190\nOUTCOL 150\nOUTSLOPE 0.01\nMANNING_N 0.05\nTIMESTEP 30\n"
              "TOT_TIME 1\nHYD_FREQ 1\nMAP_FREQ 60\nSTART_DATE 2020 6 1\nSTART_TIME 10 0\n"
              "PRECIP_UNIF\nRAIN_INTENSITY 10\nRAIN_DURATION 5\n");
    const test::ProgramRun run = test::run_program_in(dir.path(), {"p.prj"});
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.out.find("reading watershed mask from file: mask.msk\n"
                           "number of grid cells in watershed: 46700\n"
                           "reading elevation map from file: elevation.ele\n"
                           "outlet is in grid cell: 46570\n"),
              std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("building cell to cell connectivity information\n"), std::string::npos);
    EXPECT_NE(run.out.find("Running....\n"), std::string::npos);
    EXPECT_EQ(run.out.find("Warning"), std::string::npos);

    // The maskmap as a user would check it: the header, the first row inside
    // the block and the last cell number.
    std::istringstream lines(dir.read("maskmap"));
    std::vector<std::string> rows;
    for (std::string line; std::getline(lines, line);) rows.push_back(line);
    ASSERT_EQ(rows.size(), 206u);
    EXPECT_EQ(rows[0] + rows[1] + rows[2] + rows[3] + rows[4] + rows[5],
              "north: 4506000.00south: 4500000.00east: 309000.00west: 300000.00rows:   200"
              "cols:   300");
    std::string first_inside, outside_row;
    for (int c = 1; c <= 300; ++c) {
        outside_row += "0 ";
        first_inside += c <= 20 || c > 280 ? "0 " : std::to_string(c - 20) + " ";
    }
    EXPECT_EQ(rows[6], outside_row);
    EXPECT_EQ(rows[16], first_inside);
    EXPECT_NE(rows[195].find(" 46700 0 "), std::string::npos);
}

}  // namespace
}  // namespace torva
