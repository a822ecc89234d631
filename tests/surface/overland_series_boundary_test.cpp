// Overland boundaries whose water surface follows a time series: the cell's id
// picks the first TIME_SERIES_INDEX entry of that id, and a lookup that cannot
// be made stops the run with the time series messages.

#include <gtest/gtest.h>

#include "surface/overland_grid.hpp"

namespace torva {
namespace {

constexpr const char* kUnknown =
    "Error: attempting to extract a value from an unknown time series in the time series "
    "table.    Check the mapping table file (.cmt). The specified time series index is 7, "
    "but the \nindex is not found in the time series index table.\n";

TEST(OverlandSeriesBoundary, CellsTakeTheFirstIndexEntryOfTheirIdOrStopTheRun) {
    struct Case {
        const char* what;
        TimeSeriesIndexTable index;
        double cell_id;
        double value;  // of the type 3 cell after the update
        const char* message;
    };
    // Series "low" rises 10 -> 11 m and "high" 20 -> 22 m over a day; a quarter
    // of a day in they stand at 10.25 and 20.5 m.
    const Case cases[] = {
        {"one entry", {{4, 0}}, 4.0, 10.25, ""},
        {"first of two entries of one id", {{4, 0}, {4, 1}}, 4.0, 10.25, ""},
        {"the id's own entry among others", {{3, 1}, {4, 0}}, 4.0, 10.25, ""},
        {"integer part of the id", {{3, 1}, {4, 0}}, 3.7, 20.5, ""},
        {"id not in the table", {{4, 0}}, 7.0, 0.0, kUnknown},
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
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RunContext ctx;
        test::Console console(ctx);
        auto m = test::overland_model("ade", 10.0);
        test::give_card(*m, Card::OV_BOUNDARY);
        test::build_grid(m->grid, 1, 3, 10.0, [](int, int) { return 10.0; });
        OverlandBoundaryCells& b = m->tables.ov_boundary;
        b.type = {0, 3, 2, 0};
        b.value = {0.0, c.cell_id, 12.5, 0.0};
        b.index = b.value;
        const double t0 = m->clock.start_time;
        ctx.series.time_series.push_back({"low", {t0, t0 + 1.0}, {10.0, 11.0}, false});
        ctx.series.time_series.push_back({"high", {t0, t0 + 1.0}, {20.0, 22.0}, false});
        ctx.series.time_series.push_back({"empty", {}, {}, false});
        m->tables.time_series_index = c.index;
        test::finish_set_up(*m, ctx, 0.05);
        m->clock.current_time = t0 + 0.25;
        overland_flow_phase(*m, ctx);
        EXPECT_EQ(console.text(), c.message);
        EXPECT_EQ(ctx.error.pending(), *c.message != '\0');
        EXPECT_DOUBLE_EQ(b.value[1], c.value);
        EXPECT_EQ(b.value[2], 12.5);  // a fixed head keeps its level
        EXPECT_EQ(b.index[1], c.cell_id);
    }
}

}  // namespace
}  // namespace torva
