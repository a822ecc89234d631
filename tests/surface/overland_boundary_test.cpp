// Where overland water meets an edge: dikes on either side of a cell, the low
// spots that let water over a dike, and the free-outflow and head boundaries,
// each with the water it moves and counts; boundaries whose water surface
// follows a time series (the cell's id picks the first TIME_SERIES_INDEX entry
// of that id; a lookup that cannot be made stops the run with the time series
// messages).

#include <gtest/gtest.h>

#include <cmath>

#include "surface/overland_grid.hpp"

namespace torva {
namespace {

using test::overland_watershed;

// Two cells, the first 1 m above the second, either side by side (east) or
// one above the other (south), with 0.2 m of water on the upper one.
TEST(OverlandDikes, ADikeOnTheSideFacingTheLowerCellKeepsAllWaterBack) {
    const struct {
        const char* what;
        bool south;
        int upper_dike, lower_dike;
        bool blocked;
    } cases[] = {{"east dike", false, kEastSide, kWestSide, true},
                 {"south dike", true, kSouthSide, kNorthSide, true},
                 {"dike on the other sides", true, kEastSide | kWestSide, 0, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        RunContext ctx;
        auto m = overland_watershed(
            ctx, "ade", 10.0, c.south ? 2 : 1, c.south ? 1 : 2, 10.0,
            [](int r, int col) { return 12.0 - r - col; }, 0, 0.05,
            [&](Model& model) {
                model.grid.dike_sides = {0, c.upper_dike, c.lower_dike};
            });
        m->overland.depth[1] = 0.2;
        overland_flow_phase(*m, ctx);
        EXPECT_EQ(m->overland.depth[2] == 0.0, c.blocked);
        EXPECT_EQ(m->overland.depth[1] == 0.2, c.blocked);
    }
}

// A low spot in the south dike of the upper cell, crest at 10.1 m, open over
// half the cell width. Both cells lie at 10 m; 0.3 m of water stands on the
// upper one: head H = 10.3 - 10.1 = 0.2 m, and the weir passes
//   Q = 0.5 * 0.2^1.5 * 1.48 * 10 = 0.5 * 0.0894427191 * 14.8 = 0.66187612 m3/s,
// which over the 10 s step moves Q * 10 / 100 = 0.066187612 m to the lower cell.
TEST(OverlandLowSpots, WaterOverALowSpotFollowsTheWeirLaw) {
    RunContext ctx;
    auto m = overland_watershed(ctx, "ade", 10.0, 2, 1, 10.0, test::level, 0, 0.05, [](Model& m) {
        test::give_card(m, Card::LOWSPOT_FILE);
        m.grid.dike_sides = {0, kSouthSide, kNorthSide};
        m.grid.low_spots.push_back(LowSpot{1, 1, kSouthSide, 0.5, 10.1});
    });
    m->overland.depth[1] = 0.3;
    overland_flow_phase(*m, ctx);
    EXPECT_NEAR(m->grid.low_spots[0].flow, 0.66187612, 1e-8);
    EXPECT_NEAR(m->overland.depth[1], 0.3 - 0.066187612, 1e-9);
    EXPECT_NEAR(m->overland.depth[2], 0.066187612, 1e-9);
}

// Overland boundary cells of the given types and values (index 1 to 3) on a
// level row of three 10 m cells at 10 m, n 0.05.
std::unique_ptr<Model> boundary_row(RunContext& ctx, std::vector<int> type,
                                    std::vector<double> value) {
    return overland_watershed(ctx, "ade", 10.0, 1, 3, 10.0, test::level, 0, 0.05, [&](Model& m) {
        test::give_card(m, Card::OV_BOUNDARY);
        m.tables.ov_boundary = {type, value, value};
    });
}

// The end cells have three open sides. With p = 5/3 as single precision, a
// free-outflow cell of depth h at boundary slope S loses
//   dd = h^p sqrt(S) 10 / 0.05 * 10 / 100 = 20 sqrt(S) h^p,
// and 0.1^p = 0.021544343, so at h = 0.1 m:
//   S = 0.0001: dd = 0.0043088686 m, three times that is below h: one dd leaves;
//   S = 0.04:   dd = 0.086177372 m, over h / 3: the whole 0.1 m leaves.
// A head boundary, fixed or following a series, sets the cell to its level
// above ground, never below it.
TEST(OverlandBoundary, FreeOutflowAndHeadCellsMoveAndCountTheirWater) {
    const struct {
        const char* what;
        int cell, type;
        double value, depth;
        double depth_after, slope_out, head_out, head_in;  // m, m3, m3, m3
    } cases[] = {
        {"small free outflow", 1, 1, 0.0001, 0.1, 0.1 - 0.0043088686, 0.43088686, 0.0, 0.0},
        {"free outflow over a third", 3, 1, 0.04, 0.1, 0.0, 10.0, 0.0, 0.0},
        {"head above ground", 3, 2, 10.3, 0.0, 0.3, 0.0, 0.0, 30.0},
        {"head below ground", 3, 2, 9.5, 0.2, 0.0, 0.0, 20.0, 0.0},
        {"series head above ground", 3, 3, 10.3, 0.0, 0.3, 0.0, 0.0, 30.0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        RunContext ctx;
        std::vector<int> type(4, 0);
        std::vector<double> value(4, 0.0);
        type[c.cell] = c.type;
        value[c.cell] = c.value;
        auto m = boundary_row(ctx, type, value);
        m->overland.depth[c.cell] = c.depth;
        apply_overland_boundaries(*m, ctx, 10.0);
        EXPECT_NEAR(m->overland.depth[c.cell], c.depth_after, 1e-10);
        EXPECT_GE(m->overland.depth[c.cell], 0.0);
        EXPECT_NEAR(m->totals.run.slope_boundary_outflow, c.slope_out, 1e-8);
        EXPECT_NEAR(m->totals.run.boundary_outflow, c.head_out, 1e-9);
        EXPECT_NEAR(m->totals.run.boundary_inflow, c.head_in, 1e-9);
        EXPECT_EQ(m->totals.event.boundary_outflow, m->totals.run.boundary_outflow);
    }
}

// Series "low" rises 10 -> 11 m and "high" 20 -> 22 m over a day; a quarter
// of a day in they stand at 10.25 and 20.5 m. Cell 1 follows a series, cell 2
// holds a fixed head of 12.5 m.
TEST(OverlandSeriesBoundary, CellsTakeTheFirstIndexEntryOfTheirIdOrStopTheRun) {
    const std::string unknown =
        "Error: attempting to extract a value from an unknown time series in the time series "
        "table.    Check the mapping table file (.cmt). The specified time series index is 7, "
        "but the \nindex is not found in the time series index table.\n";
    const struct {
        const char* what;
        TimeSeriesIndexTable index;
        double cell_id;
        double value;  // of the series cell after the update
        std::string message;
    } cases[] = {
        {"one entry", {{4, 0}}, 4.0, 10.25, ""},
        {"first of two entries of one id", {{4, 0}, {4, 1}}, 4.0, 10.25, ""},
        {"the id's own entry among others", {{3, 1}, {4, 0}}, 4.0, 10.25, ""},
        {"integer part of the id", {{3, 1}, {4, 0}}, 3.7, 20.5, ""},
        {"id not in the table", {{4, 0}}, 7.0, 0.0, unknown},
        {"entry whose series was not read",
         {{4, -1}, {4, 0}},
         4.0,
         0.0,
         "Error: attempting to extract a value from a time series that does not exist.\n"},
        {"series without entries",
         {{4, 2}},
         4.0,
         0.0,
         "Error: attempting to extract a value from a time series [empty] with no entries.\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        RunContext ctx;
        test::Console console(ctx);
        auto m = boundary_row(ctx, {0, 3, 2, 0}, {0.0, c.cell_id, 12.5, 0.0});
        const double t0 = m->clock.start_time;
        ctx.series.time_series = {{"low", {t0, t0 + 1.0}, {10.0, 11.0}, false},
                                  {"high", {t0, t0 + 1.0}, {20.0, 22.0}, false},
                                  {"empty", {}, {}, false}};
        m->tables.time_series_index = c.index;
        m->clock.current_time = t0 + 0.25;
        overland_flow_phase(*m, ctx);
        const OverlandBoundaryCells& b = m->tables.ov_boundary;
        EXPECT_EQ(console.text(), c.message);
        EXPECT_EQ(ctx.error.pending(), !c.message.empty());
        EXPECT_DOUBLE_EQ(b.value[1], c.value);
        EXPECT_EQ(b.value[2], 12.5);  // a fixed head keeps its level
        EXPECT_EQ(b.index[1], c.cell_id);
    }
}

}  // namespace
}  // namespace torva
