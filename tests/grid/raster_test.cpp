// Raster map files: the reader in its three modes with its checks and
// warnings, and the grid map, exchange grid and dataset writers.

#include "grid/raster.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <type_traits>

#include "core/errors.hpp"
#include "grid_support.hpp"
#include "input/replace.hpp"

namespace torva {
namespace {

using grid_test::CapturedContext;
using grid_test::contents;
using grid_test::file_with;
using grid_test::golden;
using grid_test::grid_from_mask;
using grid_test::map_header;

// What a reader made of a map text: its result, values, console and error code.
template <typename T>
struct Read {
    bool ok = false;
    std::vector<T> values;
    std::string console;
    int code = 0;
};

template <typename T>
Read<T> read_map(Grid& grid, const std::string& text, const char* path) {
    CapturedContext c;
    Read<T> result;
    result.values.assign(grid.num_cells + 1, T(-1));
    std::FILE* file = file_with(text);
    if constexpr (std::is_same_v<T, double>)
        result.ok = read_real_map(c.ctx, file, path, grid, result.values);
    else
        result.ok = read_integer_map(c.ctx, file, path, grid, result.values);
    std::fclose(file);
    result.console = c.console();
    result.code = c.ctx.error.code;
    return result;
}

Read<double> read_real(Grid& grid, const std::string& text, const char* path = "map.asc") {
    return read_map<double>(grid, text, path);
}
Read<int> read_integer(Grid& grid, const std::string& text, const char* path = "map.idx") {
    return read_map<int>(grid, text, path);
}

TEST(RasterReader, RealMapStoresMaskCellsInCellNumberOrder) {
    // Cells 1 2 . / 3 . 4 ; separators of any kind and number, and a last row
    // without its newline.
    Grid grid = grid_from_mask({"##.", "#.#"});
    const Read<double> read = read_real(grid,
                                        "north: 20\nsouth: 0\neast: 30\nwest: 0\nrows: 2\ncols: 3\n"
                                        "1.5\t2.25 , 99\n3e2,,7,-4.125");
    ASSERT_TRUE(read.ok);
    EXPECT_EQ(read.values, (std::vector<double>{-1.0, 1.5, 2.25, 300.0, -4.125}));
    EXPECT_EQ(read.console, "");
    EXPECT_EQ(read.code, 0);
}

TEST(RasterReader, HeaderKeywordsAreNotComparedAndBoundsBecomeTheGeoreference) {
    Grid grid = grid_from_mask({"##"});
    const Read<double> read =
        read_real(grid, "n: 4510.5\ns: 4500.5\nx: 320.0\ny: 300.0\nr: 1\nc: 2\n5 6\n");
    ASSERT_TRUE(read.ok);
    EXPECT_EQ(grid.north, 4510.5);
    EXPECT_EQ(grid.south, 4500.5);
    EXPECT_EQ(grid.east, 320.0);
    EXPECT_EQ(grid.west, 300.0);
    EXPECT_EQ(read.values, (std::vector<double>{-1.0, 5.0, 6.0}));
}

// Zero values inside the mask are counted and warned about; "1,2,,3" is
// three values. Values outside the mask do not count. (Short rows and words
// are refused: see the input refusal tests.)
TEST(RasterReader, ZeroValuesInsideTheMaskAreCountedAndWarnedAbout) {
    struct Case {
        std::vector<std::string> mask;
        std::string values;
        std::string console;
        bool integer = false;
    };
    const std::string zeros = "Warning: Map contains ";
    const Case cases[] = {
        {{"#####", "#####"},
         "7 8 9 0 0\n1,2,,3 0 0\n",
         zeros + "4 cells with zero values. Map: map.asc\n"},
        {{"##", ".#"},
         "0 0\n0.0 0\n",
         zeros + "only zero values. Map: map.asc\n" + zeros +
             "3 cells with zero values. Map: map.asc\n"},
        {{"#.", ".#"}, "0 5\n5 0\n", zeros + "2 cells with zero values. Map: map.asc\n"},
        {{"##"}, "0 0\n", zeros + "only zero values. Map: map.idx\n", true},
    };
    for (const Case& c : cases) {
        Grid grid = grid_from_mask(c.mask);
        const std::string text = map_header(c.mask.size(), c.mask[0].size()) + c.values;
        const std::string console =
            c.integer ? read_integer(grid, text).console : read_real(grid, text).console;
        EXPECT_EQ(console, c.console) << c.values;
    }
    Grid grid = grid_from_mask({"#####", "#####"});
    EXPECT_EQ(read_real(grid, map_header(2, 5) + cases[0].values).values,
              (std::vector<double>{-1.0, 7, 8, 9, 0, 0, 1, 2, 3, 0, 0}));
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
    const Read<double> read = read_real(grid, map_header(2, 2500) + row1 + "\n" + row2 + "\n");
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
    ReplacementParameter depth;
    depth.tag = "[DEPTH]";
    depth.format = "%4.2lf";
    depth.kind = ReplacementParameter::Kind::real;
    depth.real_value = 2.345;
    c.ctx.replacement.parameters.push_back(depth);
    c.ctx.replacement.active = true;
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

TEST(RasterReader, IntegerMapReadsTheSameWhateverItsLineBreaks) {
    Grid grid = grid_from_mask({"###", "#.#"});
    const Read<int> by_rows = read_integer(grid, map_header(2, 3) + "1 2 3\n4 5 6\n");
    const Read<int> one_line = read_integer(grid, map_header(2, 3) + "1 2 3 4 5 6");
    const Read<int> ragged = read_integer(grid, map_header(2, 3) + "1\n2 3 4\n\n5\n6\n");
    ASSERT_TRUE(by_rows.ok && one_line.ok && ragged.ok);
    EXPECT_EQ(by_rows.values, (std::vector<int>{-1, 1, 2, 3, 4, 6}));
    EXPECT_EQ(one_line.values, by_rows.values);
    EXPECT_EQ(ragged.values, by_rows.values);
}

TEST(RasterReader, IntegerMapPrintsItsCensusAndStoresValuesItCannotCount) {
    // Value 0 is counted but never reported; -3 and 20000 lie outside the
    // census table and are stored all the same. The 9 outside the mask is
    // not counted.
    Grid grid = grid_from_mask({"####", "###."});
    const Read<int> read =
        read_integer(grid, map_header(2, 4) + "4 1 4 0\n-3 20000 10000 9\n", "dikes.map");
    ASSERT_TRUE(read.ok);
    EXPECT_EQ(read.values, (std::vector<int>{-1, 4, 1, 4, 0, -3, 20000, 10000}));
    EXPECT_EQ(read.console, golden("census.txt"));
}

TEST(RasterReader, FullGridModeStoresEveryCellAndKeepsTheBorderZero) {
    CapturedContext c;
    Grid grid;
    grid.rows = 2;
    grid.cols = 3;
    std::vector<int> full(4 * 5, 0);
    std::FILE* file = file_with(map_header(2, 3) + "0 7 -1\n1 0 2\n");
    ASSERT_TRUE(read_full_grid_map(c.ctx, file, "mask.msk", grid, full));
    std::fclose(file);
    EXPECT_EQ(full, (std::vector<int>{0, 0, 0, 0,  0,  //
                                      0, 0, 7, -1, 0,  //
                                      0, 1, 0, 2,  0,  //
                                      0, 0, 0, 0,  0}));
    EXPECT_EQ(c.console(), "");
}

// A map of another size than the grid stops before any value is read, so
// the arrays keep what they held.
TEST(RasterReader, MapOfAnotherSizeIsRefusedWithItsMessage) {
    struct Case {
        std::string header;
        const char* golden;
    };
    const Case cases[] = {
        {map_header(4, 3), "wrong_rows.txt"},
        {map_header(3, 2), "wrong_cols.txt"},
        {map_header(4, 4), "wrong_rows_and_cols.txt"},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.golden);
        Grid grid = grid_from_mask({"###", "###", "###"});
        const Read<double> real =
            read_real(grid, test.header + "1 1 1 1\n1 1 1 1\n1 1 1 1\n1 1 1 1\n", "elevation.ele");
        EXPECT_FALSE(real.ok);
        EXPECT_EQ(real.code, err::message_printed);
        EXPECT_EQ(real.console, golden(test.golden));
        EXPECT_EQ(real.values, std::vector<double>(10, -1.0));

        const Read<int> integer = read_integer(
            grid, test.header + "1 1 1 1\n1 1 1 1\n1 1 1 1\n1 1 1 1\n", "elevation.ele");
        EXPECT_FALSE(integer.ok);
        EXPECT_EQ(integer.console, golden(test.golden));
        EXPECT_EQ(integer.values, std::vector<int>(10, -1));
    }
}

TEST(RasterReader, ShortMapStopsWithUnexpectedEnd) {
    Grid grid = grid_from_mask({"##", "##", "##"});
    const Read<double> real = read_real(grid, map_header(3, 2) + "1 2\n3 4\n", "short.asc");
    EXPECT_FALSE(real.ok);
    EXPECT_EQ(real.code, err::message_printed);
    EXPECT_EQ(real.console, golden("short_map.txt"));

    const Read<int> integer = read_integer(grid, map_header(3, 2) + "1 2\n3 4\n5", "short.asc");
    EXPECT_FALSE(integer.ok);
    EXPECT_EQ(integer.console, golden("short_map.txt"));

    const Read<double> header_only = read_real(grid, "north: 30\nsouth: 0\n", "short.asc");
    EXPECT_FALSE(header_only.ok);
    EXPECT_EQ(header_only.console, golden("short_map.txt"));
}

TEST(RasterReader, EmptyOrGarbageFilesEndCleanly) {
    Grid tall = grid_from_mask(std::vector<std::string>(100, "#"));
    EXPECT_EQ(read_real(tall, map_header(101, 1), "big.asc").console,
              "Incorrect number of rows in map: big.asc\n");
    Grid grid = grid_from_mask({"#"});
    EXPECT_FALSE(read_real(grid, "").ok);
    EXPECT_FALSE(read_integer(grid, std::string("\0\0\0\n\n", 5)).ok);
    EXPECT_FALSE(read_real(grid, "rows: 99999999999999999999\n").ok);
}

// The writers, on a 2 x 3 grid with one cell outside the mask.
class RasterWriter : public ::testing::Test {
  protected:
    RasterWriter() : grid(grid_from_mask({"##.", "###"}, 30.0)) {
        grid.north = 4560.0;
        grid.south = 4500.0;
        grid.east = 1090.0;
        grid.west = 1000.0;
        values = {0.0, 1.5, 2.0, 3.25, 0.0, 10.125};
    }
    Grid grid;
    std::vector<double> values;
};

TEST_F(RasterWriter, GridMapWritesZeroOutsideTheMask) {
    std::FILE* file = std::tmpfile();
    write_grid_map(file, grid, values);
    EXPECT_EQ(contents(file), golden("grid_map.txt"));
    std::fclose(file);
}

TEST_F(RasterWriter, CellNumberMapWritesTheNumbering) {
    std::FILE* file = std::tmpfile();
    write_cell_number_map(file, grid);
    EXPECT_EQ(contents(file),
              "north:   4560.00\nsouth:   4500.00\neast:   1090.00\nwest:   1000.00\n"
              "rows:     2\ncols:     3\n1 2 0 \n3 4 5 \n");
    std::fclose(file);
}

TEST_F(RasterWriter, ExchangeGridMarksOutsideCellsWithTheDeclaredNoDataValue) {
    // West bound 1000 with 30 m cells: the lower-left centre is 1015.00, right-
    // aligned in nine characters. The cell outside the mask carries -9999.99,
    // the value the header declares, so that a reader honouring the header
    // leaves it out.
    std::FILE* file = std::tmpfile();
    write_exchange_grid(file, grid, values);
    const std::string text = contents(file);
    std::fclose(file);
    EXPECT_EQ(text, golden("exchange_grid.txt"));
    EXPECT_NE(text.find("xllcenter   1015.00\n"), std::string::npos);
    EXPECT_NE(text.find("NODATA_value -9999.99\n"), std::string::npos);
    EXPECT_NE(text.find("2.0000 -9999.99 \n"), std::string::npos);
    EXPECT_EQ(text.find("-9999.9999"), std::string::npos);
}

TEST_F(RasterWriter, TextDatasetHeaderAndStep) {
    const auto dir = std::filesystem::temp_directory_path() / "torva_grid_dataset_text";
    std::filesystem::create_directories(dir);
    const std::string path = (dir / "depth.dat").string();
    CapturedContext c;
    OutputFile file = open_dataset(c.ctx, path, 100, "Depth", grid, DatasetEncoding::text);
    ASSERT_TRUE(file.is_open());
    write_dataset_step(file.get(), 60.0, grid, values, DatasetEncoding::text);
    ASSERT_TRUE(file.close());
    EXPECT_EQ(grid_test::read_file(path), golden("dataset_text.txt"));
    std::filesystem::remove_all(dir);
}

TEST_F(RasterWriter, BinaryDatasetIsLittleEndianWithAZeroPaddedName) {
    const auto dir = std::filesystem::temp_directory_path() / "torva_grid_dataset_binary";
    std::filesystem::create_directories(dir);
    const std::string path = (dir / "depth.bin").string();
    CapturedContext c;
    OutputFile file = open_dataset(c.ctx, path, 100, "Depth", grid, DatasetEncoding::binary);
    ASSERT_TRUE(file.is_open());
    write_dataset_step(file.get(), 60.0, grid, values, DatasetEncoding::binary);
    ASSERT_TRUE(file.close());
    const std::string bytes = grid_test::read_file(path);
    std::filesystem::remove_all(dir);
    // Fifteen 32-bit header fields (version 3000 first: b8 0b 00 00), the name
    // in 40 bytes, the step header, a 16-bit flag per cell and a double per cell.
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
