// Interception, retention and overland roughness: where each parameter comes
// from, its units and checks, and the canopy's share of the rain.

#include <gtest/gtest.h>

#include <string>

#include "grid/mapping.hpp"
#include "meteo/rain_setup.hpp"
#include "support/grids.hpp"
#include "surface/roughness.hpp"

namespace torva {
namespace {

using test::golden;
using test::RainSetup;

TEST(Interception, SeasonalDivisorFollowsMonthAndLatitude) {
    // July holds the full store at every latitude; January a quarter of it.
    EXPECT_EQ(seasonal_divisor(7, 10.0), 1.0);
    EXPECT_EQ(seasonal_divisor(7, 60.0), 1.0);
    EXPECT_EQ(seasonal_divisor(1, 10.0), 4.0);
    EXPECT_EQ(seasonal_divisor(12, 45.0), 4.0);
    // Spring leaves come later north of 37 degrees.
    EXPECT_EQ(seasonal_divisor(4, 36.9), 2.5);
    EXPECT_EQ(seasonal_divisor(4, 37.0), 4.0);
    EXPECT_EQ(seasonal_divisor(5, 30.0), 1.0);
    EXPECT_EQ(seasonal_divisor(5, 40.0), 3.0);
    EXPECT_EQ(seasonal_divisor(6, 40.0), 2.0);
    EXPECT_EQ(seasonal_divisor(10, 40.0), 2.5);
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

    const double expected_passing[] = {0.0, 0.0, 9.0, 9.0};
    const double expected_held[] = {1.0, 2.0, 2.1, 2.2};
    const double expected_depth[] = {0.0, 0.0, 0.0009, 0.0018};
    for (int k = 0; k < 4; ++k) {
        SCOPED_TRACE(k + 1);
        ASSERT_TRUE(s.step()) << s.console();
        EXPECT_NEAR(surface.effective_rain_rate[1], expected_passing[k], 1e-12);
        EXPECT_NEAR(surface.intercepted_depth[1], expected_held[k], 1e-12);
        EXPECT_NEAR(s.model->overland.depth[1], expected_depth[k], 1e-15);
    }
    // Two 10 m cells: 2.2 mm held is 0.44 m3, 4 mm fallen is 0.8 m3.
    EXPECT_NEAR(s.model->totals.run.interception, 0.44, 1e-12);
    EXPECT_NEAR(s.model->totals.run.precipitation, 0.8, 1e-12);
    const double on_ground = (s.model->overland.depth[1] + s.model->overland.depth[2]) * 100.0;
    EXPECT_NEAR(s.model->totals.run.interception + on_ground, s.model->totals.run.precipitation,
                1e-12);
}

// January divides storage and coefficient alike by 4: 4 mm of storage hold
// 1 mm and a coefficient of 0.4 keeps 0.1 of the rain beyond. Of 3 mm in one
// hour, 1 mm fills the store and 0.1 * 2 mm more stays on the leaves: 1.2 mm
// held (0.12 m3 on 100 m2), 1.8 mm/h reaching the ground.
TEST(Interception, JanuaryDividesStorageAndCoefficientByFour) {
    SurfaceParameters s;
    s.interception_storage = {0.0, 4.0};
    s.interception_coeff = {0.0, 0.4};
    s.intercepted_depth = {0.0, 0.0};
    s.effective_rain_rate = {0.0, 0.0};
    const double volume = intercept_rain(s, {0.0, 3.0}, 1, 3600.0, 10.0, 1, 45.0, nullptr);
    EXPECT_NEAR(s.intercepted_depth[1], 1.2, 1e-12);
    EXPECT_NEAR(s.effective_rain_rate[1], 1.8, 1e-12);
    EXPECT_NEAR(volume, 0.12, 1e-12);
}

TEST(Interception, LakeCellsPassRainAndNegativeRainGivesNone) {
    SurfaceParameters s;
    s.interception_storage = {0.0, 2.0, 2.0};
    s.interception_coeff = {0.0, 0.5, 0.5};
    s.intercepted_depth = {0.0, 0.0, 0.0};
    s.effective_rain_rate = {0.0, 0.0, 0.0};
    const std::vector<int> lake = {0, 3, 0};
    const double volume = intercept_rain(s, {0.0, 5.0, -1.0}, 2, 60.0, 10.0, 7, 40.0, &lake);
    EXPECT_EQ(s.effective_rain_rate[1], 5.0);
    EXPECT_EQ(s.effective_rain_rate[2], 0.0);
    EXPECT_EQ(volume, 0.0);
    EXPECT_EQ(s.intercepted_depth[1], 0.0);
}

// A 6 x 7 watershed of 100 m cells; cells are numbered row by row.
class SurfaceParameterSources : public ::testing::Test {
  protected:
    RainSetup s{6, 7, 100.0, 60.0, 0.0, 600.0};

    std::string map_with_zeros_at(std::initializer_list<int> zero_cells) {
        std::string text = "north: 600\nsouth: 0\neast: 700\nwest: 0\nrows: 6\ncols: 7\n";
        int cell = 0;
        for (int r = 0; r < 6; ++r) {
            for (int c = 0; c < 7; ++c) {
                ++cell;
                bool zero = false;
                for (int z : zero_cells) zero = zero || z == cell;
                text += zero ? "0 " : "0.05 ";
            }
            text += "\n";
        }
        return text;
    }
    void read() {
        s.model->project[Card::MANNING_N].given = false;
        read_surface_parameters(*s.model, s.ctx);
    }
};

TEST_F(SurfaceParameterSources, UniformRetentionIsKeptInMetres) {
    s.card(Card::MANNING_N).real[0] = 0.03;
    s.card(Card::RETENTION).real[0] = 5.0;
    read_surface_parameters(*s.model, s.ctx);
    ASSERT_FALSE(s.ctx.error.pending()) << s.console();
    EXPECT_EQ(s.model->surface.retention_depth[1], 0.005);
    EXPECT_EQ(s.model->surface.retention_depth[42], 0.005);
    EXPECT_EQ(s.model->surface.manning_n[42], 0.03);
    EXPECT_FALSE(s.model->surface.interception);
    EXPECT_EQ(s.console(), "");
}

TEST_F(SurfaceParameterSources, NegativeRetentionStopsTheRunNamingTheCell) {
    s.card(Card::MANNING_N).real[0] = 0.03;
    s.card(Card::RETENTION).real[0] = -2.0;
    read_surface_parameters(*s.model, s.ctx);
    EXPECT_EQ(s.ctx.error.code, err::message_printed);
    EXPECT_EQ(s.console(),
              "Error: the retention depth of grid cell 1 (row 1, column 1) is -2 mm; retention "
              "depths cannot be negative.\n");
}

TEST_F(SurfaceParameterSources, WithoutRetentionCardsNothingIsRetained) {
    s.card(Card::MANNING_N).real[0] = 0.03;
    read_surface_parameters(*s.model, s.ctx);
    ASSERT_EQ(s.model->surface.retention_depth.size(), 43u);
    EXPECT_EQ(s.model->surface.retention_depth[7], 0.0);
}

TEST_F(SurfaceParameterSources, RoughnessMapStopsAtTheFirstCellWithoutRoughness) {
    s.card(Card::ROUGHNESS).text = s.dir.write("n.map", map_with_zeros_at({40, 17})).string();
    s.model->run.quiet = true;
    read();
    EXPECT_EQ(s.ctx.error.code, err::message_printed);
    const std::string stop = "Overland Manning n=0 at grid cell 17.  Program terminating.\n";
    const std::string console = s.console();
    ASSERT_GE(console.size(), stop.size());
    EXPECT_EQ(console.substr(console.size() - stop.size()), stop) << console;
}

TEST_F(SurfaceParameterSources, RoughnessAndRetentionMapsAreRead) {
    s.card(Card::ROUGHNESS).text = s.dir.write("n.map", map_with_zeros_at({})).string();
    s.card(Card::RETEN_DEPTH).text = s.dir.write("ret.map", map_with_zeros_at({})).string();
    read();
    ASSERT_FALSE(s.ctx.error.pending()) << s.console();
    EXPECT_EQ(s.model->surface.manning_n[17], 0.05);
    EXPECT_DOUBLE_EQ(s.model->surface.retention_depth[1], 0.00005);
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

TEST_F(SurfaceParameterSources, InterceptionMapsOverrideAndAreAnnounced) {
    s.card(Card::STORAGE_CAPACITY).text = s.dir.write("s.map", map_with_zeros_at({})).string();
    s.card(Card::MANNING_N).real[0] = 0.1;
    s.model->run.quiet = true;
    read_surface_parameters(*s.model, s.ctx);
    ASSERT_FALSE(s.ctx.error.pending()) << s.console();
    EXPECT_TRUE(s.model->surface.interception);
    EXPECT_EQ(s.model->surface.interception_storage[42], 0.05);
    EXPECT_EQ(s.model->surface.interception_coeff[42], 0.0);
}

std::string table_row(int id, const std::string& values) {
    return test::table_row(id, values, "  land use") + "\n";
}

TEST_F(SurfaceParameterSources, TablesGiveInterceptionRetentionAndRoughness) {
    // Land use 1 in the west half of the grid (columns 1 to 3), 2 in the east.
    std::string index = "north: 600\nsouth: 0\neast: 700\nwest: 0\nrows: 6\ncols: 7\n";
    for (int r = 0; r < 6; ++r) index += "1 1 1 2 2 2 2\n";
    const std::string index_path = s.dir.write("landuse.idx", index).string();
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
    EXPECT_EQ(p.interception_storage[1], 2.5);
    EXPECT_EQ(p.interception_coeff[1], 0.1);
    EXPECT_EQ(p.interception_storage[7], 0.5);
    EXPECT_EQ(p.interception_coeff[42], 0.3);
    EXPECT_DOUBLE_EQ(p.retention_depth[3], 0.004);
    EXPECT_DOUBLE_EQ(p.retention_depth[4], 0.012);
    EXPECT_EQ(p.manning_n[36], 0.04);
    EXPECT_EQ(p.manning_n[42], 0.2);
    const std::string console = s.console();
    for (const char* line :
         {"reading interception storage table and map from master table file\n",
          "reading interception coeff. table and map from the master table file\n",
          "reading retention storage table and map from master table file\n",
          "reading roughness table and map from master table file\n"})
        EXPECT_NE(console.find(line), std::string::npos) << line << console;
}

TEST_F(SurfaceParameterSources, ZeroUniformManningNStopsTheRun) {
    s.card(Card::MANNING_N).real[0] = 0.0;
    read_surface_parameters(*s.model, s.ctx);
    EXPECT_EQ(s.ctx.error.code, err::message_printed);
    EXPECT_EQ(s.console(), golden("surface/golden/zero_manning_n.txt"));
}

}  // namespace
}  // namespace torva
