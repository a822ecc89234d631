// Raster map files: the reader in its three modes with its checks and
// warnings, and the grid map, exchange grid and dataset writers.

#include "grid/raster.hpp"

#include <gtest/gtest.h>

#include "core/errors.hpp"
#include "grid_support.hpp"
#include "input/replace.hpp"

namespace torva {
namespace {

using namespace grid_test;  // the grid tests' files, contexts and maps

// What a reader made of a map text: its result, values (-1 where none was
// stored), console and error code.
struct Read {
    bool ok = false;
    std::vector<double> values;
    std::string console;
    int code = 0;
};

Read read_map(Grid& grid, const std::string& text, const std::string& path, bool integer) {
    CapturedContext c;
    Read result;
    std::FILE* file = file_with(text);
    if (integer) {
        std::vector<int> values(grid.num_cells + 1, -1);
        result.ok = read_integer_map(c.ctx, file, path, grid, values);
        result.values.assign(values.begin(), values.end());
    } else {
        result.values.assign(grid.num_cells + 1, -1.0);
        result.ok = read_real_map(c.ctx, file, path, grid, result.values);
    }
    std::fclose(file);
    result.console = c.console();
    result.code = c.ctx.error.code;
    return result;
}

// Maps read as real values (R) or integers (I) over a grid drawn by its mask:
// the values stored in cell order (none given: not compared) and the console.
// A map of another size than the grid stops before any value is read; integer
// maps run on over line breaks; integer values outside the census are stored
// all the same; zero values inside the mask are counted, outside they are not.
TEST(RasterReader, EachMapReadsToItsValuesAndMessages) {
    enum Mode { R, I };
    struct Case {
        std::vector<std::string> mask;
        Mode mode;
        std::string text;  // after the header of the mask's shape, unless it starts with "n"
        bool ok;
        std::vector<double> values;
        std::string console;
    };
    const std::string zeros = "Warning: Map contains ";
    const std::string wrong = "1 1 1 1\n1 1 1 1\n1 1 1 1\n1 1 1 1\n";
    const std::string rows = "Incorrect number of rows in map: m\n";
    const std::string cols = "Incorrect number of columns in map: m\n";
    const std::string both = "Incorrect number of rows and columns in map: m\n";
    const std::string end = "Unexpected end of file in file: m\n";
    std::string census;
    for (int k : {1, 2, 3, 4, 6})
        census += "In map m category " + std::to_string(k) + " has 1 values\n";
    const std::vector<double> none(10, -1.0);
    const std::vector<std::string> square = {"###", "###", "###"}, tall = {"##", "##", "##"};
    const Case cases[] = {
        {{"##.", "#.#"}, R, "1.5\t2.25 , 99\n3e2,,7,-4.125", true, {-1, 1.5, 2.25, 300, -4.125}},
        {{"#####", "#####"},
         R,
         "7 8 9 0 0\n1,2,,3 0 0\n",
         true,
         {-1, 7, 8, 9, 0, 0, 1, 2, 3, 0, 0},
         zeros + "4 cells with zero values. Map: m\n"},
        {{"##", ".#"},
         R,
         "0 0\n0.0 0\n",
         true,
         {},
         zeros + "only zero values. Map: m\n" + zeros + "3 cells with zero values. Map: m\n"},
        {{"#.", ".#"}, R, "0 5\n5 0\n", true, {}, zeros + "2 cells with zero values. Map: m\n"},
        {{"##"}, I, "0 0\n", true, {}, zeros + "only zero values. Map: m\n"},
        {{"###", "#.#"}, I, "1 2 3\n4 5 6\n", true, {-1, 1, 2, 3, 4, 6}, census},
        {{"###", "#.#"}, I, "1 2 3 4 5 6", true, {-1, 1, 2, 3, 4, 6}, census},
        {{"###", "#.#"}, I, "1\n2 3 4\n\n5\n6\n", true, {-1, 1, 2, 3, 4, 6}, census},
        {{"####", "###."},
         I,
         "4 1 4 0\n-3 20000 10000 9\n",
         true,
         {-1, 4, 1, 4, 0, -3, 20000, 10000},
         "In map m category 1 has 1 values\nIn map m category 4 has 2 values\n"
         "In map m category 10000 has 1 values\n"
         "Warning: In map m 2 values lie outside the categories 0 to 10000.\n"},
        {square, R, "n" + map_header(4, 3) + wrong, false, none, rows},
        {square, I, "n" + map_header(4, 3) + wrong, false, none, rows},
        {square, R, "n" + map_header(3, 2) + wrong, false, none, cols},
        {square, I, "n" + map_header(3, 2) + wrong, false, none, cols},
        {square, R, "n" + map_header(4, 4) + wrong, false, none, both},
        {square, I, "n" + map_header(4, 4) + wrong, false, none, both},
        {std::vector<std::string>(100, "#"), R, "n" + map_header(101, 1), false, {}, rows},
        {tall, R, "1 2\n3 4\n", false, {}, end},
        {tall, I, "1 2\n3 4\n5", false, {}, end},
        {tall, R, "nnorth: 30\nsouth: 0\n", false, {}, end},
        {{"#"}, R, "n", false, {}, end},
        {{"#"}, I, "n" + std::string("\0\0\0\n\n", 5), false},
        {{"#"}, R, "nrows: 99999999999999999999\n", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        Grid grid = grid_from_mask(c.mask);
        const std::string text = c.text.starts_with('n')
                                     ? c.text.substr(1)
                                     : map_header(c.mask.size(), c.mask[0].size()) + c.text;
        const Read read = read_map(grid, text, "m", c.mode == I);
        EXPECT_EQ(read.ok, c.ok);
        EXPECT_EQ(read.code, c.ok ? 0 : err::message_printed);
        if (!c.values.empty())
            EXPECT_EQ(read.values, c.values);
        if (c.console == rows || c.console == cols || c.console == both) {
            // A second line gives the sizes found and expected and the card.
            EXPECT_TRUE(read.console.starts_with(c.console + "  The map has ")) << read.console;
            EXPECT_NE(read.console.find("columns. Change "), std::string::npos) << read.console;
        } else if (!c.console.empty() || c.ok) {
            EXPECT_EQ(read.console, c.console);
        }
    }
}

TEST(RasterReader, HeaderKeywordsAreNotComparedAndBoundsBecomeTheGeoreference) {
    Grid grid = grid_from_mask({"##"});
    const Read read =
        read_map(grid, "n: 4510.5\ns: 4500.5\nx: 320.0\ny: 300.0\nr: 1\nc: 2\n5 6\n", "m", false);
    ASSERT_TRUE(read.ok);
    EXPECT_EQ(std::vector<double>({grid.north, grid.south, grid.east, grid.west}),
              std::vector<double>({4510.5, 4500.5, 320.0, 300.0}));
    EXPECT_EQ(read.values, (std::vector<double>{-1.0, 5.0, 6.0}));
}

TEST(RasterReader, RowLongerThanTheLineBufferStaysOneRow) {
    // 2500 values of "12345.6789 " make a row of 27500 characters; cutting it
    // into two rows would shift the second row of the map.
    Grid grid = grid_from_mask({std::string(2500, '#'), std::string(2500, '#')});
    std::string row1, row2;
    for (int c = 0; c < 2500; ++c) {
        row1 += "12345.6789 ";
        row2 += "2 ";
    }
    const Read read = read_map(grid, map_header(2, 2500) + row1 + "\n" + row2 + "\n", "m", false);
    ASSERT_TRUE(read.ok);
    EXPECT_EQ(read.values[2500], 12345.6789);
    EXPECT_EQ(read.values[2501], 2.0);
    EXPECT_EQ(read.values[5000], 2.0);
    EXPECT_EQ(read.console, "");
}

TEST(RasterReader, ReplacementValuesAreSubstitutedInRealMapRows) {
    // A declared tag stands for its value printed with its format; an
    // undeclared bracket is reported and its row parsed as it stands, where
    // the bracket is no number.
    CapturedContext c;
    c.ctx.replacement = {
        .parameters = {{.tag = "[DEPTH]", .format = "%4.2lf", .real_value = 2.345}},
        .active = true};
    Grid grid = grid_from_mask({"##", "##"});
    std::vector<double> values(5, -1.0);
    std::FILE* file = file_with(map_header(2, 2) + "[DEPTH] 1\n[X] 3\n");
    ASSERT_FALSE(read_real_map(c.ctx, file, "depth.asc", grid, values));
    std::fclose(file);
    EXPECT_EQ(values[1], 2.35);
    EXPECT_EQ(values[2], 1.0);
    EXPECT_EQ(c.ctx.replacement.count, 1);
    EXPECT_EQ(c.console(),
              "Error: unable to match replace pair: [X] 3\n"
              "Error: in map depth.asc, row 2, column 1: [X] is not a number.\n");
}

// The writers, on a 2 x 3 grid of 30 m cells with one cell outside the mask.
// The exchange grid's lower-left centre is 1015.00 for the west bound 1000,
// right-aligned in nine characters; the cell outside carries -9999.99, the
// no-data value its header declares, so that a reader honouring the header
// leaves it out.
class RasterWriter : public ::testing::Test {
  protected:
    RasterWriter() : grid(grid_from_mask({"##.", "###"}, 30.0)) {
        grid.north = 4560.0;
        grid.south = 4500.0;
        grid.east = 1090.0;
        grid.west = 1000.0;
    }
    std::string dataset(DatasetEncoding encoding) {
        test::TempDir dir;
        CapturedContext c;
        OutputFile file = open_dataset(c.ctx, dir.file("depth"), 100, "Depth", grid, encoding);
        EXPECT_TRUE(file.is_open());
        write_dataset_step(file.get(), 60.0, grid, values, encoding);
        EXPECT_TRUE(file.close());
        return dir.read("depth");
    }
    Grid grid;
    std::vector<double> values = {0.0, 1.5, 2.0, 3.25, 0.0, 10.125};
};

// The cell number map is checked with the grid set-up, as the maskmap.
TEST_F(RasterWriter, GridMapAndExchangeGrid) {
    for (const auto& [write, expected] : {std::pair{&write_grid_map, "grid_map.txt"},
                                          {&write_exchange_grid, "exchange_grid.txt"}}) {
        std::FILE* file = std::tmpfile();
        EXPECT_TRUE(write(file, grid, values));
        EXPECT_EQ(contents(file), golden(expected));
        std::fclose(file);
    }
}

TEST_F(RasterWriter, TextAndBinaryDatasets) {
    EXPECT_EQ(dataset(DatasetEncoding::text), golden("dataset_text.txt"));
    // Fifteen little-endian 32-bit header fields (version 3000 first: b8 0b
    // 00 00), the name zero-padded to 40 bytes, the step header, a 16-bit flag
    // per cell and a double per cell.
    const std::string bytes = dataset(DatasetEncoding::binary);
    ASSERT_EQ(bytes.size(), 4u * 15 + 40 + 4 + 2 + 8 + 6 * 2 + 6 * 8);
    EXPECT_EQ(bytes.substr(0, 4), std::string("\xb8\x0b\0\0", 4));
    EXPECT_EQ(bytes, golden("dataset_binary.bin"));
}

TEST_F(RasterWriter, DatasetThatCannotBeCreatedRaisesTheOutputFileError) {
    CapturedContext c;
    const OutputFile file =
        open_dataset(c.ctx, "/no/such/folder/depth.dat", 100, "Depth", grid, DatasetEncoding::text);
    EXPECT_FALSE(file.is_open());
    EXPECT_EQ(c.ctx.error.code, err::open_output_file);
    report_error(c.ctx);
    EXPECT_EQ(c.console(), "\nError: Can't open output file: /no/such/folder/depth.dat\n");
}

}  // namespace
}  // namespace torva
