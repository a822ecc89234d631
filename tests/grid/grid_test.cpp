// The watershed grid set-up: mask, cell numbering, maskmap, elevation and
// outlet, dikes and low spots, and the connectivity step with its checks.

#include "grid/grid.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <tuple>

#include "core/errors.hpp"
#include "core/model_state.hpp"
#include "grid_support.hpp"
#include "support/harness.hpp"

namespace torva {
namespace {

namespace fs = std::filesystem;
using namespace grid_test;  // the grid tests' files, contexts and maps

// Each test works in a fresh folder of its own, as the program does in the
// folder of its project.
class GridSetUp : public ::testing::Test {
  protected:
    GridSetUp() : before(fs::current_path()) { fs::current_path(folder.path()); }
    ~GridSetUp() override { fs::current_path(before); }

    void write(const std::string& name, const std::string& text) { folder.write(name, text); }
    // A card of a number (integer or real, as the card reads it) or a text.
    void card(Card c, double value, const std::string& text = "") {
        model->project[c].given = true;
        model->project[c].integer[0] = static_cast<int>(value);
        model->project[c].real[0] = value;
        model->project[c].text = text;
    }
    // A project of rows x cols cells of 10 m with the outlet at (out_row, out_col).
    void project(int rows, int cols, int out_row, int out_col, double cell_size = 10.0) {
        card(Card::ROWS, rows);
        card(Card::COLS, cols);
        card(Card::GRIDSIZE, cell_size);
        card(Card::OUTROW, out_row);
        card(Card::OUTCOL, out_col);
        card(Card::WATERSHED_MASK, 0, "mask.msk");
        card(Card::ELEVATION, 0, "elevation.ele");
    }
    // The set-up steps as the driver runs them; false when one raised an error.
    bool set_up() {
        read_grid_maps(*model, c->ctx);
        if (c->ctx.error.pending())
            return false;
        allocate_grid_arrays(*model, c->ctx);
        if (c->ctx.error.pending())
            return false;
        build_connectivity(*model, c->ctx);
        if (c->ctx.error.pending())
            return false;
        compute_watershed_area(*model, c->ctx);
        // Once every input is read, the driver writes the maskmap.
        write_mask_map(*model, c->ctx);
        return !c->ctx.error.pending();
    }
    const Grid& grid() const { return model->grid; }

    test::TempDir folder;
    const fs::path& dir = folder.path();
    fs::path before;
    std::unique_ptr<Model> model = std::make_unique<Model>();
    std::unique_ptr<CapturedContext> c = std::make_unique<CapturedContext>();
};

TEST_F(GridSetUp, NumbersMaskCellsRowByRowAndLinksEdgeNeighbours) {
    // Mask values 7 and -1 count as inside, like 1:
    //   . 1 2 .        cells 1 2
    //   3 . 4 5        cells 3 . 4 5
    //   6 7 8 .        cells 6 7 8
    project(3, 4, 3, 2);
    write("mask.msk", map_header(3, 4) + "0 1 7 0\n1 0 -1 1\n1 1 1 0\n");
    write("elevation.ele", map_header(3, 4) + "0 5 6 0\n4 0 3 2\n3 2 1 0\n");
    ASSERT_TRUE(set_up());
    const Grid& g = grid();
    EXPECT_EQ(g.num_cells, 8);
    EXPECT_EQ(g.cell_row, (std::vector<int>{0, 1, 1, 2, 2, 2, 3, 3, 3}));
    EXPECT_EQ(g.cell_col, (std::vector<int>{0, 2, 3, 1, 3, 4, 1, 2, 3}));
    EXPECT_EQ(g.elevation, (std::vector<double>{0, 5, 6, 4, 3, 2, 3, 2, 1}));
    EXPECT_EQ(g.east_neighbour, (std::vector<int>{0, 2, 0, 0, 5, 0, 7, 8, 0}));
    EXPECT_EQ(g.west_neighbour, (std::vector<int>{0, 0, 1, 0, 0, 4, 0, 6, 7}));
    EXPECT_EQ(g.south_neighbour, (std::vector<int>{0, 0, 4, 6, 8, 0, 0, 0, 0}));
    EXPECT_EQ(g.north_neighbour, (std::vector<int>{0, 0, 0, 0, 2, 0, 3, 0, 4}));
    EXPECT_EQ(g.dike_sides, std::vector<int>(9, 0));
    EXPECT_EQ(g.outlet_cell, 7);
    EXPECT_EQ(g.area, 800.0);
    EXPECT_EQ(c->console(), golden("grid_set_up.txt"));
    EXPECT_EQ(read_file(dir / "maskmap"),
              "north:     30.00\nsouth:      0.00\neast:     40.00\nwest:      0.00\n"
              "rows:     3\ncols:     4\n0 1 2 0 \n3 0 4 5 \n6 7 8 0 \n");
}

// A 200 x 300 mask of 30 m cells: the block of rows 11 to 190 and columns 21
// to 280 with a hole of rows 51 to 60 and columns 101 to 110, 180 x 260 - 100
// = 46700 cells. The outlet at row 190, column 150 follows 179 full rows of
// 260 cells less the hole, then 130 cells of its own row: cell 46440 + 130.
TEST_F(GridSetUp, LargeMaskWithAHoleNumbersItsCellsAndOutlet) {
    project(200, 300, 190, 150, 30.0);
    write("mask.msk", test::map_of(200, 300, 30, [](int r, int c) {
              const bool block = r >= 11 && r <= 190 && c >= 21 && c <= 280;
              return block && !(r >= 51 && r <= 60 && c >= 101 && c <= 110) ? 1.0 : 0.0;
          }));
    write("elevation.ele", test::map_of(200, 300, 30, [](int r, int) { return 200.0 - 0.5 * r; }));
    ASSERT_TRUE(set_up());
    EXPECT_NE(c->console().find("number of grid cells in watershed: 46700\n"
                                "reading elevation map from file: elevation.ele\n"
                                "outlet is in grid cell: 46570\n"),
              std::string::npos);
    // The maskmap: the first row inside the block, and the last cell number.
    std::string first_inside = "\n";
    for (int c = 1; c <= 300; ++c)
        first_inside += c <= 20 || c > 280 ? "0 " : std::to_string(c - 20) + " ";
    const std::string maskmap = read_file(dir / "maskmap");
    EXPECT_EQ(std::count(maskmap.begin(), maskmap.end(), '\n'), 206);
    EXPECT_NE(maskmap.find(first_inside + "\n"), std::string::npos);
    EXPECT_NE(maskmap.find(" 46700 0 "), std::string::npos);
}

// A set-up that goes on with all of these: GRIDSIZE 30 with cells of 30.04 and
// 30.09 m (they agree to the tenth, truncated); the outlet outside the mask,
// as channels carry the water; a maskmap that cannot be written, as a folder
// stands where it should go.
TEST_F(GridSetUp, SetUpThatGoesOnDespiteSmallFaults) {
    project(2, 2, 2, 2, 30.0);
    write("mask.msk", "north: 60.08\nsouth: 0\neast: 60.18\nwest: 0\nrows: 2\ncols: 2\n1 1\n1 0\n");
    write("elevation.ele", map_header(2, 2) + "1 2\n3 4\n");
    model->project.channel_routing = ChannelRouting::explicit_routing;
    fs::create_directory(dir / "maskmap");
    ASSERT_TRUE(set_up());
    EXPECT_EQ(grid().outlet_cell, 0);
    EXPECT_NE(c->console().find("Error: unable to open mask map file for writing\n"),
              std::string::npos);
}

// Each set-up that cannot go on stops with its message.
// Cells of 30.1 m fail the size check north-south first; 29.99 m truncates to
// 29.9 against the card's 30.0 and fails east-west.
TEST_F(GridSetUp, EachUnworkableSetUpStopsWithItsMessage) {
    struct Case {
        int rows, cols, out_row, out_col;
        double cell_size;
        std::string mask, elevation;  // file texts; no file when empty
        std::string message;          // a golden file, or the end of the console
        int code;
    };
    const std::string h = map_header(2, 2);
    const std::string full = h + "1 1\n1 1\n";
    const std::string ground = h + "1 2\n3 4\n";
    const std::vector<Case> cases = {
        {2, 2, 1, 1, 30.0,
         "north: 60.2\nsouth: 0\neast: 60.2\nwest: 0\nrows: 2\ncols: 2\n1 1\n1 1\n", "",
         "cell_size_north_south.txt", err::message_printed},
        {2, 2, 1, 1, 30.0,
         "north: 60\nsouth: 0\neast: 59.98\nwest: 0\nrows: 2\ncols: 2\n1 1\n1 1\n", "",
         "cell_size_east_west.txt", err::message_printed},
        {2, 2, 2, 2, 10.0, h + "1 1\n1 0\n", ground, "outlet_outside.txt", err::message_printed},
        {2, 2, 99, -5, 10.0, full, ground, "and OUTCOL project file cards.  TORVA terminating.\n\n",
         err::message_printed},
        {2, 2, 1, 1, 10.0, "", "",
         "\nError: Unable to open watershed mask file.\n  (File: mask.msk)\n", err::open_file},
        {0, 3, 1, 1, 10.0, "", "",
         "Error: the ROWS and COLS cards must give the numbers of rows and columns of\n"
         "the grid; they read 0 and 3.\n",
         err::message_printed},
        // A map of fewer rows than the grid (more rows: see the raster tests).
        {2, 2, 1, 1, 10.0, full, map_header(1, 2) + "1 2\n",
         "Incorrect number of rows in map: elevation.ele\n"
         "  The map has 1 rows and 2 columns; the grid has 2 rows and 2 columns. Change ROWS in "
         "the project file, or give the map the grid's size.\n",
         err::message_printed},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.message);
        model = std::make_unique<Model>();
        c = std::make_unique<CapturedContext>();
        for (const char* name : {"mask.msk", "elevation.ele"}) fs::remove(dir / name);
        project(k.rows, k.cols, k.out_row, k.out_col, k.cell_size);
        if (!k.mask.empty())
            write("mask.msk", k.mask);
        if (!k.elevation.empty())
            write("elevation.ele", k.elevation);
        EXPECT_FALSE(set_up());
        EXPECT_EQ(c->ctx.error.code, k.code);
        if (k.code != err::message_printed)
            report_error(c->ctx);
        const std::string console = c->console();
        EXPECT_TRUE(console.ends_with(k.message.ends_with(".txt") ? golden(k.message) : k.message))
            << console;
        if (k.cell_size == 30.0)  // the mask's cells are not the grid's: no maskmap
            EXPECT_FALSE(fs::exists(dir / "maskmap"));
    }
}

// Dikes and low spots on a 2 x 2 grid, cells 1 2 / 3 4 with elevations 10 11 /
// 12 13 and a dike between cells 1 and 2 (east side of 1, west side of 2).
class LowSpots : public GridSetUp {
  protected:
    void dikes(const std::string& dike_values, const std::string& lowspot_text) {
        project(2, 2, 1, 1);
        write("mask.msk", map_header(2, 2) + "1 1\n1 1\n");
        write("elevation.ele", map_header(2, 2) + "10 11\n12 13\n");
        fs::remove(dir / "dikes.map");
        if (!dike_values.empty())  // no dike map otherwise
            write("dikes.map", map_header(2, 2) + dike_values);
        write("spots.txt", lowspot_text);
        card(Card::DIKE_MAP, 0, "dikes.map");
        card(Card::LOWSPOT_FILE, 0, "spots.txt");
    }
    // The console after the set-up lines, which every case shares.
    std::string failure() {
        const std::string all = c->console();
        const std::string last = "building cell to cell connectivity information\n";
        const std::size_t at = all.find(last);
        return at == std::string::npos ? all : all.substr(at + last.size());
    }
};

TEST_F(LowSpots, ReadsSpotLinesInFileOrderSkippingOthers) {
    dikes("2 8\n0 0\n",
          "\nlowspot\n# two openings\nSPOT 1 1 2 0.5 11.5\nnot a spot\n"
          "spot,1,1,2,1.5,12.25\n");
    ASSERT_TRUE(set_up());
    ASSERT_EQ(grid().low_spots.size(), 2u);
    const auto spot = [](const LowSpot& s) {
        return std::tuple(s.row, s.col, s.side, s.fraction, s.elevation, s.flow);
    };
    EXPECT_EQ(spot(grid().low_spots[0]), std::tuple(1, 1, kEastSide, 0.5, 11.5, 0.0));
    EXPECT_EQ(spot(grid().low_spots[1]), std::tuple(1, 1, kEastSide, 1.5, 12.25, 0.0));
    EXPECT_EQ(grid().dike_sides, (std::vector<int>{0, 2, 8, 0, 0}));
    EXPECT_EQ(c->console(), golden("dike_set_up.txt"));
}

// A file that does not start with LOWSPOT or has no SPOT line is refused on
// the error stream, a dike map that does not open on the console; then every check of the
// connectivity step, in the order it is made, each case failing on its own check only.
TEST_F(LowSpots, EachUnworkableLowSpotStopsWithItsMessage) {
    struct Case {
        const char* dike_values;
        const char* file;
        const char* golden;
    };
    const Case cases[] = {
        {"2 8\n0 0\n", "SPOT 1 1 2 0.5 11.5\n", "lowspot_header.txt"},
        {"2 8\n0 0\n", "LOWSPOT\nsomething else\n", "lowspot_no_spots.txt"},
        {"2 8\n0 0\n", "SPOT 1 2 8 1.51 11.5", "lowspot_fraction.txt"},
        {"2 8\n0 0\n", "SPOT 1 2 3 0.5 11.5", "lowspot_direction.txt"},
        {"2 8\n0 0\n", "SPOT 2 1 2 0.5 13.5", "lowspot_no_dike.txt"},
        {"2 8\n0 0\n", "SPOT 9 9 2 0.5 13.5", "lowspot_no_dike_off_grid.txt"},
        {"2 8\n0 0\n", "SPOT 1 2 1 0.5 11.5", "lowspot_top_out.txt"},
        {"2 8\n0 0\n", "SPOT 1 1 4 0.5 12.5", "lowspot_bottom_no_dike.txt"},
        {"2 8\n0 0\n", "SPOT 1 2 8 0.5 10.5", "lowspot_cell_above_crest.txt"},
        {"2 8\n0 0\n", "SPOT 1 1 2 0.5 10.5", "lowspot_neighbour_above_crest.txt"},
        {"0 0\n2 4\n", "SPOT 2 1 2 0.5 13.5", "lowspot_along_dike.txt"},
        {"", "SPOT 1 1 2 0.5 11.5", "dike_map_missing.txt"},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.golden);
        c = std::make_unique<CapturedContext>();
        model = std::make_unique<Model>();
        const std::string file = test.file;
        const bool spot_line = file.starts_with("SPOT") && file.back() != '\n';
        dikes(test.dike_values, spot_line ? "LOWSPOT\n" + file + "\n" : file);
        EXPECT_FALSE(set_up());
        EXPECT_EQ(c->ctx.error.code, err::message_printed);
        EXPECT_EQ(spot_line ? failure() : c->errors(), golden(test.golden));
    }
}

}  // namespace
}  // namespace torva
