// The grid set-up as a user meets it: the built program run on a project with
// a 200 x 300 mask and elevation map.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

#include <sys/wait.h>

#include "grid_support.hpp"

namespace torva {
namespace {

namespace fs = std::filesystem;

// The watershed is the block of rows 11 to 190 and columns 21 to 280 with a
// hole of rows 51 to 60 and columns 101 to 110: 180 x 260 - 100 = 46700 cells.
// The outlet at row 190, column 150 follows 179 full rows of 260 cells less
// the hole, then 130 cells of its own row: cell 46440 + 130 = 46570.
constexpr int kRows = 200;
constexpr int kCols = 300;
constexpr int kCells = 46700;
constexpr int kOutletCell = 46570;

bool inside(int r, int c) {
    const bool block = r >= 11 && r <= 190 && c >= 21 && c <= 280;
    const bool hole = r >= 51 && r <= 60 && c >= 101 && c <= 110;
    return block && !hole;
}

std::string header() {
    return "north: 4506000.0\nsouth: 4500000.0\neast: 309000.0\nwest: 300000.0\nrows: 200\n"
           "cols: 300\n";
}

class GridProgram : public ::testing::Test {
  protected:
    void SetUp() override {
        std::random_device rd;
        dir = fs::temp_directory_path() / ("torva_grid_program_" + std::to_string(rd()));
        fs::create_directories(dir);
        std::ofstream mask(dir / "mask.msk");
        std::ofstream elevation(dir / "elevation.ele");
        mask << header();
        elevation << header();
        for (int r = 1; r <= kRows; ++r) {
            for (int c = 1; c <= kCols; ++c) {
                mask << (inside(r, c) ? "1 " : "0 ");
                elevation << 200.0 - 0.5 * r << ' ';
            }
            mask << '\n';
            elevation << '\n';
        }
        std::ofstream(dir / "p.prj") << "TORVAPROJECT\n"
                                        "WATERSHED_MASK mask.msk\n"
                                        "ELEVATION elevation.ele\n"
                                        "ROWS 200\n"
                                        "COLS 300\n"
                                        "GRIDSIZE 30\n"
                                        "OUTROW 190\n"
                                        "OUTCOL 150\n"
                                        "OUTSLOPE 0.01\n"
                                        "MANNING_N 0.05\n"
                                        "TIMESTEP 30\n"
                                        "TOT_TIME 1\n"
                                        "HYD_FREQ 1\n"
                                        "MAP_FREQ 60\n"
                                        "START_DATE 2020 6 1\n"
                                        "START_TIME 10 0\n"
                                        "PRECIP_UNIF\n"
                                        "RAIN_INTENSITY 10\n"
                                        "RAIN_DURATION 5\n";
    }
    void TearDown() override { fs::remove_all(dir); }

    // Runs the program in the project's folder; its console output.
    std::string run(const std::string& arguments) {
        const std::string command = "cd '" + dir.string() + "' && '" TORVA_BINARY "' " + arguments +
                                    " > console.txt 2> errors.txt";
        status = std::system(command.c_str());
        return grid_test::read_file(dir / "console.txt");
    }

    // The maskmap as a user would check it: the header, the first row inside
    // the block and the last cell number.
    void expect_mask_map(const std::string& name) {
        SCOPED_TRACE(name);
        const std::string text = grid_test::read_file(dir / name);
        std::istringstream lines(text);
        std::string line;
        std::string head;
        for (int i = 0; i < 6 && std::getline(lines, line); ++i) head += line + "\n";
        EXPECT_EQ(head,
                  "north: 4506000.00\nsouth: 4500000.00\neast: 309000.00\nwest: 300000.00\n"
                  "rows:   200\ncols:   300\n");
        std::vector<std::string> rows;
        while (std::getline(lines, line)) rows.push_back(line);
        ASSERT_EQ(rows.size(), 200u);
        std::string first_inside;
        for (int c = 1; c <= 20; ++c) first_inside += "0 ";
        for (int n = 1; n <= 260; ++n) first_inside += std::to_string(n) + " ";
        for (int c = 1; c <= 20; ++c) first_inside += "0 ";
        std::string outside_row;
        for (int c = 1; c <= 300; ++c) outside_row += "0 ";
        EXPECT_EQ(rows[0], outside_row);
        EXPECT_EQ(rows[10], first_inside);
        EXPECT_NE(rows[189].find(" 46700 0 "), std::string::npos);
    }

    fs::path dir;
    int status = -1;
};

TEST_F(GridProgram, InitialisationPrintsCellsAndOutletAndWritesMaskMap) {
    const std::string console = run("p.prj");
    EXPECT_EQ(status, 0);
    EXPECT_NE(console.find("reading watershed mask from file: mask.msk\n"
                           "number of grid cells in watershed: " +
                           std::to_string(kCells) +
                           "\n"
                           "reading elevation map from file: elevation.ele\n"
                           "outlet is in grid cell: " +
                           std::to_string(kOutletCell) + "\n"),
              std::string::npos)
        << console;
    EXPECT_NE(console.find("building cell to cell connectivity information\n"), std::string::npos);
    EXPECT_NE(console.find("Running....\n"), std::string::npos);
    EXPECT_NE(console.find("Run time:"), std::string::npos);
    EXPECT_EQ(console.find("Warning"), std::string::npos);
    expect_mask_map("maskmap");
}

TEST_F(GridProgram, BatchRunsNumberTheirMaskMaps) {
    const std::string console = run("-b3 p.prj");
    EXPECT_EQ(status, 0);
    EXPECT_NE(console.find("TORVA is running in batch mode, and is running 3 runs...\n"),
              std::string::npos);
    expect_mask_map("0000_maskmap");
    expect_mask_map("0001_maskmap");
    expect_mask_map("0002_maskmap");
    EXPECT_FALSE(fs::exists(dir / "maskmap"));
    EXPECT_FALSE(fs::exists(dir / "0003_maskmap"));
}

TEST_F(GridProgram, WrongRowCountEndsTheRunCleanly) {
    std::ofstream(dir / "p.prj", std::ios::app) << "ROWS 201\n";
    const std::string console = run("p.prj");
    // The program ends on its own (a failed run is reported in its status),
    // never by a signal.
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_NE(console.find("reading watershed mask from file: mask.msk\n"
                           "Incorrect number of rows in map: mask.msk\n\n"),
              std::string::npos)
        << console;
    EXPECT_EQ(console.find("Running...."), std::string::npos);
    EXPECT_NE(console.find("Run time:"), std::string::npos);
    EXPECT_FALSE(fs::exists(dir / "maskmap"));
}

}  // namespace
}  // namespace torva
