// Mapping tables and index maps: the table file layout, the keyword list, the
// index map checks and census, the lookups into per-cell and per-node arrays,
// the availability check and the wetland, overland boundary and time series
// index variants. Files are written to a temporary folder and read back through
// the same functions the run uses; console output is compared exactly.

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "core/context.hpp"
#include "core/errors.hpp"
#include "core/model_state.hpp"
#include "grid/mapping.hpp"
#include "grid_support.hpp"
#include "support/harness.hpp"

namespace torva {
namespace {

namespace fs = std::filesystem;

std::string row(int id, const std::string& values) {
    return test::table_row(id, values);
}

// A grid-map header and the given value rows.
std::string map_text(int rows, int cols, const std::string& values) {
    return "north: 1000.0\nsouth: 970.0\neast: 530.0\nwest: 500.0\nrows: " + std::to_string(rows) +
           "\ncols: " + std::to_string(cols) + "\n" + values;
}

class MappingTest : public ::testing::Test {
  protected:
    // Index maps are named relative to the folder of the run, as users write
    // them. The grid is 3 x 3 with its north-west corner outside the
    // watershed: cells 1 2 / 3 4 5 / 6 7 8.
    MappingTest() : previous_folder_(fs::current_path()) {
        fs::current_path(dir_.path());
        model.grid = grid_test::grid_from_mask({".##", "###", "###"});
    }
    ~MappingTest() override { fs::current_path(previous_folder_); }

    std::string write(const std::string& name, const std::string& text) {
        return dir_.write(name, text).string();
    }
    void use_mapping_table(const std::string& text) {
        model.project[Card::MAPPING_TABLE].given = true;
        model.project[Card::MAPPING_TABLE].text = write("tables.cmt", text);
    }
    // A mapping table file of one table, its rows given as id and values, over
    // the index map m.idx of the 3 x 3 grid holding `ids`.
    void use_table(const std::string& table, const std::string& ids,
                   const std::vector<std::pair<int, std::string>>& rows) {
        write("m.idx", map_text(3, 3, ids));
        std::string text = "TORVA_INDEX_MAP_TABLES\nINDEX_MAP m.idx \"M\"\n" + table +
                           " \"M\"\nNUM_IDS " + std::to_string(rows.size()) + "\nID D VALUES\n";
        for (const auto& [id, values] : rows) text += row(id, values) + "\n";
        use_mapping_table(text);
    }
    // Console output since the last call, with the folder written as <dir>.
    std::string console() {
        std::string text = capture_.take();
        const std::string folder = dir_.path().string();
        for (std::size_t at; (at = text.find(folder)) != std::string::npos;)
            text.replace(at, folder.size(), "<dir>");
        return text;
    }
    // Console output since the last call, ending with the reporter's message
    // for the pending error.
    std::string reported() {
        report_error(ctx);
        return console();
    }

    test::TempDir dir_;
    fs::path previous_folder_;
    RunContext ctx;
    test::Console capture_{ctx};
    Model model;
};

// Names that begin other names: the longest that fits wins. Only the start of
// the first word is looked at, and case matters. The stream file has its own
// index map word and its own table numbers.
TEST(MappingKeywords, LinesGetTheLongestNameTheyBeginWith) {
    const std::pair<std::string, int> grid_lines[] = {
        {"ROUGHNESS m", 1},       {"GROUNDWATER_BOUNDARY m", 18},
        {"GROUNDWATER m", 17},    {"KVX_SOIL_KOC m", 32},
        {"KVX_SOIL_KM m", 31},    {"KVX_N m", 20},
        {"NUM_IDS m", 137},       {"PRECIP_CONC m", 50000},
        {"ROUGHNESS_EXTRA m", 1}, {"GROUNDWATER_BOUNDARYX", 18},
        {"roughness m", 0},       {" ROUGHNESS m", 0},
    };
    for (const auto& [line, number] : grid_lines)
        EXPECT_EQ(keyword_of(line, TableFileKind::grid), number) << line;
    EXPECT_EQ(keyword_of("RICHARDS_EQN_INFILTRATION_HAVERCAMP", TableFileKind::grid), 0);
    EXPECT_EQ(keyword_of("ST_INDEX_MAP a b", TableFileKind::stream), kIndexMapKeyword);
    EXPECT_EQ(keyword_of("INDEX_MAP a b", TableFileKind::stream), 0);
    EXPECT_EQ(keyword_of("DISPERSION x", TableFileKind::stream), 6);
    EXPECT_EQ(keyword_of("DISPERSION x", TableFileKind::grid), 24);
}

// Where each table of a file stands: a file with another first line holds no
// tables; index map names differing in case are different maps; the first
// table line of a name counts; GROUNDWATER is not found in the line of
// GROUNDWATER_BOUNDARY.
TEST(MappingTableFile, TablesAreFoundByTheirWholeNameUnderTheirIndexMap) {
    TableFile file;
    parse_table_file({"TORVA_STREAM_INDEX_MAP_TABLES", "INDEX_MAP a.idx \"Soils\"",
                      "ROUGHNESS \"Soils\"", "NUM_IDS 1"},
                     TableFileKind::grid, file);
    EXPECT_FALSE(find_table(file, 1).found);
    parse_table_file(
        {"TORVA_INDEX_MAP_TABLES extra words", "INDEX_MAP \"my maps/soils.idx\" \"Soils\"",
         "INDEX_MAP soils_lower.idx \"soils\"", "GREEN_AMPT_INFILTRATION \"soils\"", "NUM_IDS 1",
         "RETENTION \"Soils\"", "NUM_IDS 1", "RETENTION \"Other\"",
         "GROUNDWATER_BOUNDARY \"soils\"", "NUM_IDS 1", "GROUNDWATER \"soils\""},
        TableFileKind::grid, file);
    ASSERT_EQ(file.index_maps.size(), 2u);
    EXPECT_EQ(find_table(file, 4).index_map_path, "soils_lower.idx");
    EXPECT_EQ(find_table(file, 3).line, 5u);
    EXPECT_EQ(find_table(file, 3).index_map_path, "my maps/soils.idx");
    EXPECT_FALSE(find_table(file, 1).found);
    EXPECT_EQ(find_table(file, 18).line, 8u);
    EXPECT_EQ(find_table(file, 17).line, 10u);
}

TEST_F(MappingTest, RowsReadTheirValuesFromColumn87Only) {
    // Rows whose values start early or are missing are refused (see the
    // input refusal tests); these read.
    TableFile file;
    parse_table_file({"TORVA_INDEX_MAP_TABLES", "INDEX_MAP a.idx \"A\"", "INTERCEPTION \"A\"",
                      "NUM_IDS 2", "NUM_SED 4", "ID DESCRIPTION STORAGE COEFF",
                      row(12345, "1.5\t2.25"), row(7, "4 0 extra words")},
                     TableFileKind::grid, file);
    TableRows rows;
    ASSERT_TRUE(read_table_rows(ctx, file, find_table(file, 2), "INTERCEPTION", 2, rows));
    EXPECT_EQ(rows.num_ids, 2);
    EXPECT_EQ(rows.largest_id, 12345);
    EXPECT_EQ(rows.ids, (std::vector<int>{12345, 7}));
    EXPECT_EQ(rows.values, (std::vector<double>{1.5, 2.25, 4.0, 0.0}));
    EXPECT_EQ(rows.value(1, 1), 4.0);
}

TEST_F(MappingTest, ReplacementValuesAreSubstitutedInTableRows) {
    ctx.replacement = {.parameters = {{.tag = "[KSAT]", .format = "%5.3lf", .real_value = 2.5}},
                       .active = true};
    use_table("GREEN_AMPT_INFILTRATION", "0 1 1\n1 1 1\n1 1 1\n", {{1, "1 2 3 4 5 [KSAT]"}});
    read_index_maps(model, ctx);
    std::vector<double> sixth;
    ASSERT_TRUE(table_to_cells(model, ctx, MappingTable::green_ampt_infiltration, 6, sixth, "g"));
    EXPECT_EQ(sixth, (std::vector<double>{0, 2.5, 2.5, 2.5, 2.5, 2.5, 2.5, 2.5, 2.5}));
    EXPECT_EQ(ctx.replacement.count, 1);
}

// Index maps read the same whatever their line breaks, or are refused with
// their messages.
TEST_F(MappingTest, IndexMapsReadOrAreRefusedWithTheirMessages) {
    struct Case {
        const char* what;
        std::string map;
        std::string message;
    };
    const std::string census =
        "In map <dir>/m.idx category 1 has 4 values\nIn map <dir>/m.idx category 2 has 4 values\n";
    const std::vector<Case> cases = {
        {"on one line", map_text(3, 3, "1 1 2 2 1 2 1 1 2"), ""},
        {"by rows, with commas", map_text(3, 3, "1 1 2\r\n2 1 2\r\n\r\n1,1,2\r\n"), ""},
        {"id beyond the table", map_text(3, 3, "0 1 1\n1 1 3\n1 1 1\n"),
         "\nIndex ID exceeds table limit, file: <dir>/m.idx [row 2:col 3]\n"},
        {"id 0 inside the mask", map_text(3, 3, "0 1 1\n0 1 1\n1 1 1\n"),
         "Index ID 0 below 1 inside the watershed mask, file: <dir>/m.idx [row 2:col 1]\n\n"},
        {"negative id", map_text(3, 3, "0 1 1\n1 1 1\n1 1 -4\n"),
         "Index ID -4 below 1 inside the watershed mask, file: <dir>/m.idx [row 3:col 3]\n\n"},
        {"too many rows", map_text(4, 3, "0 1 1\n1 1 1\n1 1 1\n1 1 1\n"),
         "\nIncorrect number of rows in map: <dir>/m.idx\n"},
        {"too few columns", map_text(3, 2, "1 1\n1 1\n1 1\n"),
         "\nIncorrect number of columns in map: <dir>/m.idx\n"},
        {"rows and columns", map_text(2000000000, -3, "1\n"),
         "\nIncorrect number of rows and columns in map: <dir>/m.idx\n"},
        {"short map", map_text(3, 3, "0 1 1\n1 1 1\n1 1\n"),
         "Unexpected end of file in file: <dir>/m.idx\n\n"},
        {"short header", "north: 1\nsouth: 0\n", "Unexpected end of file in file: <dir>/m.idx\n\n"},
        {"no file", "", "\nUnable to open index file <dir>/m.idx\n"},
    };
    for (const Case& c : cases) {
        const std::string path = write("m.idx", c.map);
        if (c.map.empty())
            fs::remove(path);
        std::vector<int> ids;
        ctx.error.clear();
        EXPECT_EQ(read_index_map(ctx, path, model.grid, 2, IndexZero::refused, ids),
                  c.message.empty())
            << c.what;
        if (c.message.empty())
            EXPECT_EQ(ids, (std::vector<int>{0, 1, 2, 2, 1, 2, 1, 1, 2})) << c.what;
        EXPECT_EQ(reported(), c.message.empty() ? census : c.message) << c.what;
    }
}

TEST_F(MappingTest, TableFaultsAreRefusedWithTheirMessages) {
    write("a.idx", map_text(3, 3, "0 1 1\n1 1 1\n1 1 1\n"));
    const std::string none =
        "\nProblem reading mapping table file -- no entries found in table RETENTION (NUM_IDS is "
        "0)\n";
    // NUM_IDS 0; no RETENTION table; fewer rows than NUM_IDS; an index map name unknown.
    const std::string head = "TORVA_INDEX_MAP_TABLES\nINDEX_MAP a.idx \"A\"\n";
    const std::pair<std::string, std::string> cases[] = {
        {head + "RETENTION \"A\"\nNUM_IDS 0\nID D V\n", none},
        {head + "ROUGHNESS \"A\"\nNUM_IDS 1\n", none},
        {head + "RETENTION \"A\"\nNUM_IDS 2000000000\nID\n" + row(1, "2") + "\n",
         "Unexpected end of file in file: <dir>/tables.cmt\n\n"},
        {head + "RETENTION \"a\"\nNUM_IDS 1\nID\n" + row(1, "2") + "\n",
         "\nUnable to open index file \n"},
    };
    for (const auto& [file, message] : cases) {
        SCOPED_TRACE(file);
        use_mapping_table(file);
        ctx.error.clear();
        read_index_maps(model, ctx);
        ASSERT_FALSE(ctx.error.pending());
        console();
        std::vector<double> depth;
        EXPECT_FALSE(
            table_to_cells(model, ctx, MappingTable::retention, 1, depth, "retention_depth"));
        EXPECT_EQ(reported(), message);
    }
}

// Without the card no table is available and nothing is printed; with it the
// check lists every table in its order.
TEST_F(MappingTest, AvailabilityCheckPrintsEveryTableInItsOrder) {
    read_index_maps(model, ctx);
    EXPECT_FALSE(ctx.error.pending());
    EXPECT_FALSE(has_table(model, MappingTable::roughness));
    EXPECT_EQ(console(), "");
    write("soils.idx", map_text(3, 3, "0 1 1\n1 1 1\n1 1 1\n"));
    const auto table = [](const char* name, const char* values) {
        return std::string(name) + "\nNUM_IDS 1\nID\n" + row(1, values) + "\n";
    };
    use_mapping_table(
        "TORVA_INDEX_MAP_TABLES\nINDEX_MAP soils.idx \"Soils\"\n"
        "INDEX_MAP gone.idx \"Gone\"\n" +
        table("ROUGHNESS \"Soils\"", "0.03") + table("RETENTION \"Gone\"", "2") +
        table("GROUNDWATER_BOUNDARY \"Soils\"", "1") +
        "SEDIMENTS\nNUM_SED 2\nID\nCONTAMINANT_TRANSPORT\nNUM_CONTAM 0\nID\n" +
        table("KVX_OTH \"Soils\"", "1 2 3"));
    read_index_maps(model, ctx);
    ASSERT_FALSE(ctx.error.pending());
    EXPECT_EQ(console(), test::golden("grid/golden/availability_check.txt"));
    // Retention's index map does not open.
    using enum MappingTable;
    for (const auto& [table, available] : {std::pair{roughness, true},
                                           {retention, false},
                                           {groundwater_boundary, true},
                                           {groundwater, false},
                                           {sediments, true},
                                           {contaminant_transport, false},
                                           {partition, false}})
        EXPECT_EQ(has_table(model, table), available) << static_cast<int>(table);
}

// Ids 1 and 3 have rows (3 twice: the later wins), id 2 has none and gives 0;
// the cell outside the mask holds 9, which no check looks at. Two columns are
// read in one pass, with one census after the availability check.
TEST_F(MappingTest, TableToCellsGivesEachCellItsRowAndZeroForIdsWithoutARow) {
    use_table("INTERCEPTION", "9 1 1\n3 3 2\n1 3 3\n",
              {{1, "1.0 0.1"}, {3, "3.0 0.2"}, {3, "5.0 0.3"}});
    read_index_maps(model, ctx);
    std::vector<double> storage, coeff;
    ASSERT_TRUE(
        read_table(model, ctx, MappingTable::interception,
                   {{1, &storage, "interception_storage"}, {2, &coeff, "interception_coeff"}}));
    EXPECT_EQ(storage, (std::vector<double>{0, 1, 1, 5, 5, 0, 1, 5, 5}));
    EXPECT_EQ(coeff, (std::vector<double>{0, 0.1, 0.1, 0.3, 0.3, 0, 0.1, 0.3, 0.3}));
    const std::string out = console();
    EXPECT_NE(out.find("  Interception.......................Y\n"), std::string::npos) << out;
    EXPECT_TRUE(
        out.ends_with("N\nIn map m.idx category 1 has 3 values\nIn map m.idx category 2 "
                      "has 1 values\nIn map m.idx category 3 has 4 values\n"))
        << out;
}

TEST_F(MappingTest, WetlandsAreNumberedInTheOrderOfTheirFirstCell) {
    // Ids 9 and 5 only; cells of index 0 lie outside every wetland.
    use_table("WETLAND_PROPERTIES", "5 0 9\n9 0 5\n0 5 5\n",
              {{5, "100 200 8640 400 43200 0.5 700"}, {9, "1000 2000 86400 4000 86400 0.25 7000"}});
    model.run.super_quiet = true;
    read_index_maps(model, ctx);
    ASSERT_FALSE(ctx.error.pending()) << reported();
    const MappingTables& t = model.tables;
    EXPECT_EQ(t.num_wetlands, 2);
    EXPECT_EQ(t.wetland_number, (std::vector<int>{0, 0, 1, 1, 0, 2, 0, 2, 2}));
    // Millimetres become metres, per-day rates per-second rates; field 6 stays empty.
    EXPECT_EQ(t.wetlands[1].field,
              (std::array<double, 9>{0, 1.0, 2.0, 1.0, 4.0, 1.0, 0, 0.25, 7.0}));
    EXPECT_EQ(t.wetlands[2].field,
              (std::array<double, 9>{0, 0.1, 0.2, 0.1, 0.4, 0.5, 0, 0.5, 0.7}));
}

// Sets of tables and index maps that stop the run as they are read: the
// reporter's message. (300 wetland ids are accepted, 301 are not.)
TEST_F(MappingTest, TableSetsThatCannotBeUsedStopTheRun) {
    const struct {
        std::string ids, rows;  // a wetland table's index map and row ids; none: the file below
        std::string file;       // no file when empty
        std::string message;
    } cases[] = {
        {"", "", "", "\nUnable to open Mapping Table file: <dir>/tables.cmt\n"},
        {"", "", "TORVA_INDEX_MAP_TABLES\n",
         "\nError: The OV_BOUNDARY card has been specified in the project file but the \n"
         "       OVERLAND_BOUNDARY table was not found...\n"},
        {"0 300 300\n300 0 0\n0 0 300\n", "300", "", ""},
        {"0 301 301\n301 0 0\n0 0 0\n", "301", "",
         "\nThe number of wetland ids specified in the master table file \n"
         "is over 300!  This is highly unusual.  I'm bombing... in a   \n"
         "dazed and confused state.  So many wetlands!\n"},
        {"0 2 2\n2 0 0\n0 0 0\n", "1 2", "",
         "\nThere is a problem with the wetlands index map.  It contains\n"
         "1 ID's, while the mapping table file contains 2 ID's.\n"
         "The index map and mapping table file must have the same number\nof ID's. \n"},
    };
    model.run.super_quiet = true;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        ctx.error.clear();
        std::vector<std::pair<int, std::string>> rows;
        std::istringstream ids(c.rows);
        for (int id; ids >> id;) rows.emplace_back(id, "1 1 1 1 1 1 1");
        if (!c.ids.empty())
            use_table("WETLAND_PROPERTIES", c.ids, rows);
        else
            use_mapping_table(c.file);
        if (c.file.empty() && c.ids.empty())
            fs::remove(dir_.path() / "tables.cmt");
        model.project[Card::OV_BOUNDARY].given = !c.file.empty();
        read_index_maps(model, ctx);
        console();
        EXPECT_EQ(ctx.error.pending(), !c.message.empty());
        if (c.message.empty())
            EXPECT_EQ(model.tables.num_wetlands, 1);
        EXPECT_EQ(reported(), c.message);
    }
}

TEST_F(MappingTest, OverlandBoundaryGivesTypeValueAndSeriesId) {
    use_table("OVERLAND_BOUNDARY", "0 0 0\n0 0 1\n2 0 3\n",
              {{1, "1.9 0.002"}, {2, "2 101.5"}, {3, "3 4"}});
    model.project[Card::OV_BOUNDARY].given = true;
    read_index_maps(model, ctx);
    ASSERT_FALSE(ctx.error.pending()) << reported();
    const OverlandBoundaryCells& b = model.tables.ov_boundary;
    EXPECT_EQ(b.type, (std::vector<int>{0, 0, 0, 0, 0, 1, 2, 0, 3}));
    EXPECT_EQ(b.value, (std::vector<double>{0, 0, 0, 0, 0, 0.002, 101.5, 0, 4}));
    EXPECT_EQ(b.index, b.value);
}

TEST_F(MappingTest, TimeSeriesIndexLinksIdsToSeriesByName) {
    ctx.series.time_series.push_back(TimeSeries{.name = "tide gauge"});
    ctx.series.time_series.push_back(TimeSeries{.name = "river"});
    use_mapping_table(
        "TORVA_INDEX_MAP_TABLES\nTIME_SERIES_INDEX\nNUM_IDS 3\nID NAME\n"
        "     4\"tide gauge\"\n    12 river\n     7 lake\n");
    read_index_maps(model, ctx);
    ASSERT_FALSE(ctx.error.pending());
    const std::string out = console();
    EXPECT_NE(out.find("Adding table to list: tide gauge... Success!\n"
                       "Adding table to list: river... Success!\n"
                       "Adding table to list: lake... Failure, table not found.\n"),
              std::string::npos)
        << out;
    std::vector<std::pair<int, int>> ids_and_series;
    for (const auto& [id, series] : model.tables.time_series_index)
        ids_and_series.emplace_back(id, series);
    EXPECT_EQ(ids_and_series, (std::vector<std::pair<int, int>>{{4, 0}, {12, 1}, {7, -1}}));
}

class StreamMappingTest : public MappingTest {
  protected:
    void use_stream_table(const std::string& stream_map) {
        write("links.smp", stream_map);
        model.project[Card::ST_MAPPING_TABLE].given = true;
        model.project[Card::ST_MAPPING_TABLE].text =
            write("stream.cmt",
                  "TORVA_STREAM_INDEX_MAP_TABLES\nST_INDEX_MAP links.smp \"Links\"\n"
                  "KVX_N \"Links\"\nNUM_IDS 2\nID D A B C D\n" +
                      row(1, "1 2 3 4") + "\n" + row(2, "10 20 30 40") + "\n");
        read_index_maps(model, ctx);
    }
    // Three links of 2, 3 and 1 nodes.
    const int num_links = 3;
    const std::vector<int> nodes_per_link{0, 2, 3, 1};
    LinkNodeValues a = LinkNodeValues(4, std::vector<double>(4, -1.0));
    LinkNodeValues c = LinkNodeValues(4, std::vector<double>(4, -1.0));
};

TEST_F(StreamMappingTest, EveryNodeOfAnIndexedLinkGetsItsRow) {
    use_stream_table("STREAM_MAP\nNLINKS 3\n2\n0 1\n");
    ASSERT_FALSE(ctx.error.pending());
    EXPECT_EQ(console(),
              "\nChecking stream mapping table file...\n"
              "  Roughness..........................N\n"
              "  KVX Nitrogen.......................Y\n"
              "  KVX Phosphorus.....................N\n"
              "  KVX Carbon.........................N\n"
              "  KVX Other..........................N\n"
              "  Dispersion.........................N\n");
    EXPECT_TRUE(has_stream_table(model, StreamTable::kvx_n));
    ASSERT_TRUE(read_stream_table(model, ctx, StreamTable::kvx_n, {&a, nullptr, &c}, num_links,
                                  nodes_per_link));
    // Link 2 has index 0 and keeps its values; node 2 of link 3 does not exist.
    EXPECT_EQ(
        a, (LinkNodeValues{{-1, -1, -1, -1}, {-1, 10, -1, 1}, {-1, 10, -1, -1}, {-1, -1, -1, -1}}));
    EXPECT_EQ(
        c, (LinkNodeValues{{-1, -1, -1, -1}, {-1, 30, -1, 3}, {-1, 30, -1, -1}, {-1, -1, -1, -1}}));
    // A destination too short for link 2's three nodes is refused, not written past.
    LinkNodeValues too_few_nodes(3, std::vector<double>(4, 0.0));
    EXPECT_FALSE(read_stream_table(model, ctx, StreamTable::kvx_n, {&too_few_nodes}, num_links,
                                   nodes_per_link));
    EXPECT_EQ(
        reported(),
        "Error: the per-node arrays for stream table KVX_N do not hold every link and node\n\n");
}

TEST_F(StreamMappingTest, StreamMapFaultsAreRefusedWithTheirMessages) {
    const std::string header = "\nStream map file does not use correct header (file: links.smp)\n";
    const std::string data =
        "\nError reading data from stream map file. Check to make sure that the correct number of "
        "\ndata points exist for each link. (file: links.smp)\n";
    const std::pair<std::string, std::string> cases[] = {
        {"STREAM_MAP\r\nNLINKS 3\r\n1 1 1\r\n", ""},
        {"STREAM_MAPS\nNLINKS 3\n1 1 1\n", header},
        {"LINK_MAP\nNLINKS 3\n1 1 1\n", header},
        {"STREAM_MAP\nNLINKS 4\n1 1 1 1\n",
         "\nNLINKS or MAXNODES card in stream map file does not match channel input file (file: "
         "links.smp)\n"},
        {"STREAM_MAP\nNLINKS 3\n1 1\n", data},
        {"STREAM_MAP\nNLINKS 3\n1 x 1\n", data},
        {"STREAM_MAP\nNLINKS 3\n1 3 1\n",
         "Stream map index 3 of link 2 is not an id of table KVX_N (file: links.smp)\n\n"},
        {"", "\nUnable to open stream map file links.smp\n"},  // no file
    };
    for (const auto& [map, message] : cases) {
        SCOPED_TRACE(map);
        ctx.error.clear();
        use_stream_table(map);
        if (map.empty())
            fs::remove(dir_.path() / "links.smp");
        console();
        EXPECT_EQ(
            read_stream_table(model, ctx, StreamTable::kvx_n, {&a}, num_links, nodes_per_link),
            message.empty());
        EXPECT_EQ(reported(), message);
    }
}

}  // namespace
}  // namespace torva
