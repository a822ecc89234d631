// Interception, retention and overland roughness: where each parameter comes
// from, its units and checks, and the canopy's share of the rain.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "grid/mapping.hpp"
#include "meteo/rain_setup.hpp"
#include "support/grids.hpp"
#include "surface/roughness.hpp"

namespace torva {
namespace {

using test::RainSetup;

// July holds the full store at every latitude, January a quarter of it;
// spring leaves come later north of 37 degrees.
TEST(Interception, SeasonalDivisorFollowsMonthAndLatitude) {
    const double month_latitude_divisor[][3] = {
        {7, 10.0, 1.0}, {7, 60.0, 1.0}, {1, 10.0, 4.0}, {12, 45.0, 4.0}, {4, 36.9, 2.5},
        {4, 37.0, 4.0}, {5, 30.0, 1.0}, {5, 40.0, 3.0}, {6, 40.0, 2.0},  {10, 40.0, 2.5}};
    for (const auto& [month, latitude, divisor] : month_latitude_divisor)
        EXPECT_EQ(seasonal_divisor(static_cast<int>(month), latitude), divisor)
            << month << latitude;
}

// Worked example: July, 2 mm storage, coefficient 0.1, 10 mm/h in 360 s steps,
// so P = 1 mm of rain per step.
//  step 1: capacity 2 > P: the whole 1 mm is held, nothing reaches the ground.
//  step 2: capacity 1 = P: the store fills with the remaining 1 mm; no rain is
//          left beyond it, so nothing passes and nothing more is held.
//  step 3 on: the store is full; of P the share 0.1 stays on the leaves and
//          0.9 mm (9 mm/h) reaches the ground.
// Every step, held + passed = P: the canopy never holds rain that did not fall.
TEST(Interception, WorkedExampleFillsTheStoreThenPassesNinetyPercent) {
    RainSetup s(1, 2, 10.0, 360.0);
    s.use_uniform(10.0, 60);
    s.model->run.super_quiet = true;
    SurfaceParameters& surface = s.model->surface;
    surface.interception = true;
    surface.interception_storage.assign(3, 2.0);
    surface.interception_coeff.assign(3, 0.1);
    surface.intercepted_depth.assign(3, 0.0);
    surface.effective_rain_rate.assign(3, 0.0);
    s.prepare();

    // mm/h passing, mm held and m on the ground after each step
    const double expected[][3] = {
        {0.0, 1.0, 0.0}, {0.0, 2.0, 0.0}, {9.0, 2.1, 0.0009}, {9.0, 2.2, 0.0018}};
    for (const auto& [passing, held, depth] : expected) {
        ASSERT_TRUE(s.step()) << s.console();
        EXPECT_NEAR(surface.effective_rain_rate[1], passing, 1e-12) << held;
        EXPECT_NEAR(surface.intercepted_depth[1], held, 1e-12);
        EXPECT_NEAR(s.model->overland.depth[1], depth, 1e-15) << held;
    }
    // Two 10 m cells: 2.2 mm held is 0.44 m3, 4 mm fallen is 0.8 m3.
    EXPECT_NEAR(s.model->totals.run.interception, 0.44, 1e-12);
    EXPECT_NEAR(s.model->totals.run.precipitation, 0.8, 1e-12);
    const double on_ground = (s.model->overland.depth[1] + s.model->overland.depth[2]) * 100.0;
    EXPECT_NEAR(s.model->totals.run.interception + on_ground, s.model->totals.run.precipitation,
                1e-12);
}

// One hour of January on three 10 m cells. January divides storage and
// coefficient alike by 4: on cell 1, 4 mm of storage hold 1 mm and a
// coefficient of 0.4 keeps 0.1 of the rain beyond. Of 3 mm, 1 mm fills the
// store and 0.1 * 2 mm more stays on the leaves: 1.2 mm held (0.12 m3 on
// 100 m2), 1.8 mm/h reaching the ground. Cell 2, a lake, passes its rain
// whole; negative rain on cell 3 gives none.
TEST(Interception, JanuaryDividesStorageAndCoefficientByFourAndLakesPassTheRain) {
    SurfaceParameters s;
    s.interception_storage = {0.0, 4.0, 2.0, 2.0};
    s.interception_coeff = {0.0, 0.4, 0.5, 0.5};
    s.intercepted_depth.assign(4, 0.0);
    s.effective_rain_rate.assign(4, 0.0);
    const std::vector<int> lake = {0, 0, 3, 0};
    const double volume = intercept_rain(s, {0.0, 3.0, 5.0, -1.0}, 3, 3600.0, 10.0, 1, 45.0, &lake);
    EXPECT_NEAR(s.intercepted_depth[1], 1.2, 1e-12);
    EXPECT_NEAR(s.effective_rain_rate[1], 1.8, 1e-12);
    EXPECT_NEAR(volume, 0.12, 1e-12);
    EXPECT_EQ(s.effective_rain_rate[2], 5.0);
    EXPECT_EQ(s.intercepted_depth[2], 0.0);
    EXPECT_EQ(s.effective_rain_rate[3], 0.0);
}

// A map of the 6 x 7 watershed of 100 m cells (numbered row by row) holding
// 0.05, or 0 in the listed cells.
std::string map_file(RainSetup& s, const std::string& name, std::vector<int> zeros = {}) {
    const auto value = [&](int r, int c) {
        return std::count(zeros.begin(), zeros.end(), (r - 1) * 7 + c) ? 0.0 : 0.05;
    };
    return s.dir.write(name, test::map_of(6, 7, 100.0, value)).string();
}

TEST(SurfaceParameterSources, UniformRetentionIsKeptInMetresAndNoCardRetainsNothing) {
    for (const double retention : {5.0, 0.0}) {
        RainSetup s{6, 7, 100.0, 60.0, 0.0, 600.0};  // 6 x 7 cells of 100 m
        if (retention > 0.0)
            s.card(Card::RETENTION).real[0] = retention;
        read_surface_parameters(*s.model, s.ctx);
        ASSERT_FALSE(s.ctx.error.pending()) << s.console();
        ASSERT_EQ(s.model->surface.retention_depth.size(), 43u);
        EXPECT_EQ(s.model->surface.retention_depth[1], retention / 1000.0);
        EXPECT_EQ(s.model->surface.retention_depth[42], retention / 1000.0);
        EXPECT_EQ(s.model->surface.manning_n[42], 0.03);
        EXPECT_FALSE(s.model->surface.interception);
        EXPECT_EQ(s.console(), "");
    }
}

// The map of retention is read before that of roughness, which stands in for
// MANNING_N; a storage capacity map turns interception on, with no coefficient.
TEST(SurfaceParameterSources, RoughnessRetentionAndInterceptionMapsAreRead) {
    RainSetup s{6, 7, 100.0, 60.0, 0.0, 600.0};  // 6 x 7 cells of 100 m
    s.card(Card::ROUGHNESS).text = map_file(s, "n.map");
    s.card(Card::RETEN_DEPTH).text = map_file(s, "ret.map");
    s.card(Card::STORAGE_CAPACITY).text = map_file(s, "s.map");
    s.model->project[Card::MANNING_N].given = false;
    read_surface_parameters(*s.model, s.ctx);
    ASSERT_FALSE(s.ctx.error.pending()) << s.console();
    const SurfaceParameters& p = s.model->surface;
    EXPECT_EQ(p.manning_n[17], 0.05);
    EXPECT_DOUBLE_EQ(p.retention_depth[1], 0.00005);
    EXPECT_TRUE(p.interception);
    EXPECT_EQ(p.interception_storage[42], 0.05);
    EXPECT_EQ(p.interception_coeff[42], 0.0);
    const std::string dir = s.dir.path().string();
    const std::string console = s.console();
    const auto retention_line =
        console.find("reading retention storage map from file: " + dir + "/ret.map\n");
    const auto roughness_line =
        console.find("reading roughness map from file: " + dir + "/n.map\n");
    ASSERT_NE(retention_line, std::string::npos) << console;
    ASSERT_NE(roughness_line, std::string::npos) << console;
    EXPECT_LT(retention_line, roughness_line);
}

// What the console ends with.
TEST(SurfaceParameterSources, ValuesThatCannotBeUsedStopTheRun) {
    const struct {
        double manning, retention;           // uniform; retention 0: no card
        std::vector<int> zero_cells_of_map;  // a roughness map is read when not empty
        std::string message;
    } cases[] = {
        {0.03,
         -2.0,
         {},
         "Error: the retention depth of grid cell 1 (row 1, column 1) is -2 mm; retention "
         "depths cannot be negative.\n"},
        {0.0,
         0.0,
         {},
         "\nInvalid spatially uniform overland flow Manning n value=0.000000\nGive MANNING_N "
         "(more than 0), a ROUGHNESS map, or a roughness table in the MAPPING_TABLE file.\n"
         "TORVA exiting.\n"},
        {0.0, 0.0, {40, 17}, "Overland Manning n=0 at grid cell 17.  Program terminating.\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        RainSetup s{6, 7, 100.0, 60.0, 0.0, 600.0};  // 6 x 7 cells of 100 m
        s.card(Card::MANNING_N).real[0] = c.manning;
        if (c.retention != 0.0)
            s.card(Card::RETENTION).real[0] = c.retention;
        if (!c.zero_cells_of_map.empty()) {
            s.card(Card::ROUGHNESS).text = map_file(s, "n.map", c.zero_cells_of_map);
            s.model->project[Card::MANNING_N].given = false;
            s.model->run.quiet = true;
        }
        read_surface_parameters(*s.model, s.ctx);
        EXPECT_EQ(s.ctx.error.code, err::message_printed);
        const std::string console = s.console();
        EXPECT_TRUE(console.ends_with(c.message)) << console;
    }
}

std::string table_row(int id, const std::string& values) {
    return test::table_row(id, values, "  land use") + "\n";
}

TEST(SurfaceParameterSources, TablesGiveInterceptionRetentionAndRoughness) {
    RainSetup s{6, 7, 100.0, 60.0, 0.0, 600.0};  // 6 x 7 cells of 100 m
    // Land use 1 in the west half of the grid (columns 1 to 3), 2 in the east.
    const std::string index_path =
        s.dir
            .write("landuse.idx",
                   test::map_of(6, 7, 100.0, [](int, int c) { return c < 4 ? 1 : 2; }))
            .string();
    const std::string tables =
        "TORVA_INDEX_MAP_TABLES\nINDEX_MAP \"" + index_path + "\" \"Land use\"\n" +
        "ROUGHNESS \"Land use\"\nNUM_IDS 2\nID DESCRIPTION N\n" + table_row(1, "0.04") +
        table_row(2, "0.2") + "INTERCEPTION \"Land use\"\nNUM_IDS 2\nID DESCRIPTION S C\n" +
        table_row(1, "2.5 0.1") + table_row(2, "0.5 0.3") +
        "RETENTION \"Land use\"\nNUM_IDS 2\nID DESCRIPTION R\n" + table_row(1, "4") +
        table_row(2, "12");
    s.card(Card::MAPPING_TABLE).text = s.dir.write("tables.cmt", tables).string();
    s.card(Card::INTERCEPTION);
    s.card(Card::RETEN_DEPTH);
    s.model->project[Card::MANNING_N].given = false;
    read_index_maps(*s.model, s.ctx);
    ASSERT_FALSE(s.ctx.error.pending()) << s.console();
    read_surface_parameters(*s.model, s.ctx);
    ASSERT_FALSE(s.ctx.error.pending()) << s.console();

    const SurfaceParameters& p = s.model->surface;
    // Cells 1, 3 and 36 in the west, 4, 7 and 42 in the east.
    EXPECT_EQ(
        (std::vector{p.interception_storage[1], p.interception_coeff[1], p.interception_storage[7],
                     p.interception_coeff[42], p.manning_n[36], p.manning_n[42]}),
        (std::vector{2.5, 0.1, 0.5, 0.3, 0.04, 0.2}));
    EXPECT_DOUBLE_EQ(p.retention_depth[3], 0.004);
    EXPECT_DOUBLE_EQ(p.retention_depth[4], 0.012);
    const std::string console = s.console();
    for (const char* line :
         {"reading interception storage table and map from master table file\n",
          "reading interception coeff. table and map from the master table file\n",
          "reading retention storage table and map from master table file\n",
          "reading roughness table and map from master table file\n"})
        EXPECT_NE(console.find(line), std::string::npos) << line << console;
}

}  // namespace
}  // namespace torva
